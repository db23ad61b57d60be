#!/usr/bin/env python3
"""Has readers we did not write read the stores that pst_samples writes, and compares what each
reader lists (folder tree, and for every message its subject, sender, recipients, time, plain
text, HTML and attachment names and bytes) with what the import put in (the samples' JSON).

usage: independent_readers.py READER PST_SAMPLES CORPUS_DIR WORK_DIR [PSTCHECK]
       independent_readers.py READER --given STORE JSON WORK_DIR [PSTCHECK]
The second form reads a store written elsewhere against its JSON (pst_samples --describe).
READER: pstcheck, pypff, pffexport, readpst, lspst, pst-extractor, outlook-pst.
Exits 77 (skipped) when the reader is not installed or cannot be installed."""
import email
import email.policy
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zlib
from datetime import datetime, timezone

SKIPPED = 77
STORES = ("corpus", "many", "large")
TOP = "Top of Outlook data file"


class Mismatch(Exception):
    pass


def text(s):
    """Text as readers give it back: line ends and trailing blanks vary, content must not."""
    if isinstance(s, bytes):
        s = s.decode("utf-8", "replace")
    return s.replace("\r\n", "\n").rstrip("\n\x00 \t")


def bmp(s):
    """libpff decodes UTF-16 surrogate pairs wrongly (U+1F4F7 comes back as U+1F0F8), so for its
    readers a character beyond the Basic Multilingual Plane is compared as a placeholder. The raw
    property bytes are right: every other reader gets the character itself."""
    return "".join(c if ord(c) < 0x10000 else "\ufffd" for c in s)


def check(what, expected, found):
    if expected != found:
        raise Mismatch("%s: expected %r, found %r" % (what, expected, found))


def expected_folders(sample):
    return {TOP + "/" + f["name"]: f["messages"] for f in sample["folders"]}


def compare(reader, sample, found, fields):
    """found: {folder path: [message dicts]}; fields: what this reader can report."""
    for path, messages in expected_folders(sample).items():
        if path not in found:
            raise Mismatch("%s: folder %r missing (has %s)" % (reader, path, sorted(found)))
        narrow = "narrow_text" in fields
        key = bmp if narrow else (lambda s: s)
        got = {key(m["subject"]): m for m in found[path]}
        check("%s %s: message count" % (reader, path), len(messages), len(found[path]))
        for want in messages:
            m = got.get(key(want["subject"]))
            if m is None:
                raise Mismatch("%s: message %r missing" % (reader, want["subject"]))
            compare_message(reader + ": " + want["subject"], want, m, fields)
    for path in (TOP, TOP + "/Deleted Items"):
        if "empty_folders" in fields and path not in found:
            raise Mismatch("%s: folder %r missing" % (reader, path))


def compare_message(where, want, m, fields):
    key = bmp if "narrow_text" in fields else (lambda s: s)
    # readpst writes a From header, whose person is the one the message was sent for.
    who = "representing" if "from_header" in fields and "representing_name" in want else "sender"
    if "sender" in fields:
        check(where + " sender", key(want[who + "_name"]), key(m["sender_name"]))
    if "sender_email" in fields:
        check(where + " sender address", want[who + "_email"], m["sender_email"])
    if "time" in fields:
        check(where + " time", want["submit_time"], m["submit_time"])
    if "body" in fields:
        check(where + " body", key(text(want["body"])), key(text(m["body"])))
    if "html" in fields:
        check(where + " HTML", text(bytes.fromhex(want["html_hex"])), text(m["html"]))
    if "recipients" in fields:
        names = sorted((r[0], r[1]) for r in want["recipients"])
        check(where + " recipients", names, sorted((r[0], r[1]) for r in m["recipients"]))
    if "attachments" in fields:
        check(where + " attachment count", len(want["attachments"]), len(m["attachments"]))
        wanted, listed = want["attachments"], m["attachments"]
        if "attachments_reversed" in fields:  # readpst lists a message's attachments last first
            listed = list(reversed(listed))
        for a, b in zip(wanted, listed):
            if "embedded" in a:
                if "embedded" in fields and b.get("embedded") is not None:
                    compare_message(where + " embedded", a["embedded"], b["embedded"],
                                    fields - {"attachments"} | {"attachments"})
                continue
            check(where + " attachment name", a["name"], b["name"])
            check(where + " attachment bytes", (a["size"], a["crc"]), (b["size"], b["crc"]))


def run(args, **kw):
    # Output through files, not pipes: a Windows program under Wine may leave Wine's own
    # processes behind holding its output open, and reading a pipe to its end would then wait
    # for them.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        r = subprocess.run(args, stdout=out, stderr=err, timeout=900, **kw)
        out.seek(0)
        err.seek(0)
        r.stdout, r.stderr = out.read(), err.read()
    return r


# --- the readers ------------------------------------------------------------------------------

def read_pstcheck(store, work, tools):
    r = run([tools["pstcheck"], store])
    if r.returncode != 0:
        raise Mismatch("pstcheck: " + r.stdout.decode()[-3000:])
    return None


PYPFF_DUMP = r'''
import json, sys, zlib, pypff
def entries(item):
    out = {}
    for s in range(item.get_number_of_record_sets()):
        for e in item.get_record_set(s).entries:
            out.setdefault(e.entry_type, e)
    return out
def string(es, tag):
    e = es.get(tag)
    return e.data.decode("utf-16-le") if e is not None and e.data else ""
def message(m):
    es = entries(m)
    t = m.client_submit_time
    out = {"subject": m.subject or "", "sender_name": m.sender_name or "",
           "sender_email": string(es, 0x0C1F),
           "submit_time": int(t.replace(tzinfo=__import__("datetime").timezone.utc).timestamp()) if t else 0,
           "body": (m.plain_text_body or b"").decode("utf-8", "replace"),
           "html": (m.html_body or b"").decode("utf-8", "replace"), "recipients": [], "attachments": []}
    for i in range(m.number_of_attachments):
        a = m.get_attachment(i)
        ae = entries(a)
        entry = {"name": string(ae, 0x3707)}
        if 0x3705 in ae and ae[0x3705].data_as_integer == 5:
            entry["embedded"] = message(a.get_sub_item(0)) if a.number_of_sub_items else None
        else:
            data = a.read_buffer(a.size) if a.size else b""
            entry["size"], entry["crc"] = len(data), zlib.crc32(data)
        out["attachments"].append(entry)
    return out
def folder(f, path, out):
    here = (path + "/" if path else "") + (f.name or "") if path is not None else ""
    out[here] = [message(f.get_sub_message(i)) for i in range(f.number_of_sub_messages)]
    for i in range(f.number_of_sub_folders):
        folder(f.get_sub_folder(i), here, out)
p = pypff.file()
p.open(sys.argv[1])
out = {}
folder(p.get_root_folder(), None, out)
json.dump(out, sys.stdout)
'''


def system_python_with(module):
    for candidate in (sys.executable, "/usr/bin/python3"):
        if candidate and run([candidate, "-c", "import " + module]).returncode == 0:
            return candidate
    return None


def read_pypff(store, work, tools):
    python = system_python_with("pypff")
    r = run([python, "-c", PYPFF_DUMP, store])
    if r.returncode != 0:
        raise Mismatch("pypff: " + r.stderr.decode()[-2000:])
    return json.loads(r.stdout)


def parse_outlook_headers(path):
    fields = {}
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            if ":" in line:
                key, value = line.split(":", 1)
                fields[key.strip()] = value.strip()
    return fields


def pffexport_time(value):
    if not value:
        return 0
    stamp = datetime.strptime(value.split(".")[0], "%b %d, %Y %H:%M:%S")
    return int(stamp.replace(tzinfo=timezone.utc).timestamp())


def pffexport_message(folder):
    h = parse_outlook_headers(os.path.join(folder, "OutlookHeaders.txt"))
    def read(name):
        p = os.path.join(folder, name)
        return open(p, "rb").read() if os.path.exists(p) else b""
    recipients = []
    rtxt = read("Recipients.txt").decode("utf-8", "replace")
    for block in rtxt.split("\n\n"):
        fields = dict((k.strip(), v.strip()) for k, v in
                      (line.split(":", 1) for line in block.splitlines() if ":" in line))
        if "Display name" in fields:
            recipients.append([fields["Display name"], fields.get("Email address", "")])
    attachments = []
    adir = os.path.join(folder, "Attachments")
    if os.path.isdir(adir):
        def order(name):
            return int(re.match(r"(?:Attachment)?0*(\d+)", name).group(1))
        for name in sorted(os.listdir(adir), key=order):
            p = os.path.join(adir, name)
            if os.path.isdir(p):
                inner = [os.path.join(p, d) for d in sorted(os.listdir(p))]
                attachments.append({"embedded": pffexport_message(inner[0]) if inner else None})
            else:
                data = open(p, "rb").read()
                attachments.append({"name": name.split("_", 1)[1], "size": len(data),
                                    "crc": zlib.crc32(data)})
    return {"subject": h.get("Subject", ""), "sender_name": h.get("Sender name", ""),
            "sender_email": h.get("Sender email address", ""),
            "submit_time": pffexport_time(h.get("Client submit time")),
            "body": read("Message.txt"), "html": read("Message.html"),
            "recipients": recipients, "attachments": attachments}


def read_pffexport(store, work, tools):
    target = os.path.join(work, "pffexport")
    shutil.rmtree(target + ".export", ignore_errors=True)
    r = run(["pffexport", "-q", "-f", "all", "-t", target, store])
    if r.returncode != 0:
        raise Mismatch("pffexport: " + r.stderr.decode()[-2000:])
    out = {}
    root = target + ".export"
    for dirpath, dirnames, filenames in os.walk(root):
        if os.path.basename(dirpath).startswith("Message") or "/Attachments" in dirpath:
            dirnames[:] = []
            continue
        rel = os.path.relpath(dirpath, root).replace(os.sep, "/")
        messages = [pffexport_message(os.path.join(dirpath, d)) for d in sorted(dirnames)
                    if d.startswith("Message")]
        out["" if rel == "." else rel] = messages
    return out


def readpst_message(msg):
    body, html, attachments = "", "", []

    def visit(part):
        nonlocal body, html
        ctype = part.get_content_type()
        if ctype == "message/rfc822":
            inner = part.get_payload()
            attachments.append({"embedded": readpst_message(inner[0]) if inner else None})
            return
        if part.is_multipart():
            for sub in part.iter_parts():
                visit(sub)
            return
        # readpst hands the message's RTF body out as an attachment of its own.
        if ctype == "application/rtf" and part.get_filename() == "rtf-body.rtf":
            return
        if part.get_content_disposition() == "attachment" or ctype not in ("text/plain",
                                                                            "text/html"):
            data = part.get_payload(decode=True) or b""
            attachments.append({"name": part.get_filename() or "", "size": len(data),
                                "crc": zlib.crc32(data)})
        elif ctype == "text/plain" and not body:
            body = part.get_content()
        elif ctype == "text/html" and not html:
            html = part.get_content()

    visit(msg)
    sender = email.utils.parseaddr(str(msg.get("From", "")))
    date = msg.get("Date")
    stamp = int(email.utils.parsedate_to_datetime(str(date)).timestamp()) if date else 0
    # readpst writes the message's own header block, so Bcc recipients are not listed.
    return {"subject": str(msg.get("Subject", "")), "sender_name": sender[0],
            "sender_email": sender[1], "submit_time": stamp, "body": body, "html": html,
            "recipients": [], "attachments": attachments}


def read_readpst(store, work, tools):
    target = os.path.join(work, "readpst")
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    # One process: with several, readpst numbers its files racily and may lose one.
    r = run(["readpst", "-j", "0", "-q", "-e", "-D", "-o", target, store])
    if r.returncode != 0:
        raise Mismatch("readpst: " + r.stderr.decode()[-2000:])
    out = {}
    base = os.path.join(target, os.listdir(target)[0])
    for dirpath, dirnames, filenames in os.walk(base):
        rel = os.path.relpath(dirpath, base).replace(os.sep, "/")
        messages = []
        for name in sorted(f for f in filenames if f.endswith(".eml")):
            with open(os.path.join(dirpath, name), "rb") as f:
                # readpst puts a mailbox "From " line (quoted) before an embedded message's
                # headers; it is no part of the message.
                data = re.sub(rb"(Content-Type: message/rfc822\r?\n\r?\n)>From [^\n]*\n", rb"\1",
                              f.read())
                # Python's parser splits a delivery-status part into header blocks even when
                # readpst wrote it in base64; as plain bytes it decodes as written.
                data = data.replace(b"Content-Type: message/delivery-status",
                                    b"Content-Type: application/octet-stream")
                messages.append(readpst_message(
                    email.message_from_bytes(data, policy=email.policy.default)))
        # readpst names folders without the top of the folder tree.
        out[TOP + ("" if rel == "." else "/" + rel)] = messages
    return out


def read_lspst(store, work, tools):
    r = run(["lspst", store])
    if r.returncode != 0:
        raise Mismatch("lspst: " + r.stderr.decode()[-2000:])
    out, current = {}, None
    for line in r.stdout.decode("utf-8", "replace").splitlines():
        if line.startswith("Folder \""):
            current = TOP + "/" + line[len("Folder \""):-1]
            out.setdefault(current, [])
        elif line.startswith("Email") and current:
            subject = line.split("Subject: ", 1)[1] if "Subject: " in line else ""
            out[current].append({"subject": subject})
    out.setdefault(TOP, [])
    out.setdefault(TOP + "/Deleted Items", [])
    return out


def read_pst_extractor(store, work, tools):
    npm_dir = os.path.join(os.path.dirname(work.rstrip("/")), "npm")
    if not os.path.exists(os.path.join(npm_dir, "node_modules", "pst-extractor")):
        if not shutil.which("npm") or not shutil.which("node"):
            raise SkipTest("node and npm are not installed")
        os.makedirs(npm_dir, exist_ok=True)
        r = run(["npm", "install", "--prefix", npm_dir, "--no-audit", "--no-fund",
                 "pst-extractor@1.12.0"])
        if r.returncode != 0:
            raise SkipTest("npm cannot install pst-extractor: " + r.stderr.decode()[-500:])
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pst_extractor_dump.js")
    r = run(["node", script, store, npm_dir])
    if r.returncode != 0:
        raise Mismatch("pst-extractor: " + r.stderr.decode()[-2000:])
    listing = json.loads(r.stdout)
    return {f["path"]: f["messages"] for f in listing["folders"]}


def outlook_pst_dir():
    # Beside the source tree, in shared/validators, where a checkout has it.
    here = os.path.dirname(os.path.abspath(__file__))
    candidate = os.path.normpath(os.path.join(here, "../../../../../shared/validators/outlook-pst"))
    return candidate if os.path.exists(os.path.join(candidate, "build.sh")) else None


def read_outlook_pst(store, work, tools):
    source = outlook_pst_dir()
    if source is None or not shutil.which("cargo"):
        raise SkipTest("Microsoft's outlook-pst reader is not here")
    build = os.path.join(os.path.dirname(work.rstrip("/")), "outlook-pst")
    examples = os.path.join(build, "target", "release", "examples")
    if not os.path.exists(os.path.join(examples, "rebuild_amap")):
        r = run(["bash", os.path.join(source, "build.sh"), build])
        if r.returncode != 0:
            raise SkipTest("outlook-pst does not build here: " + r.stderr.decode()[-500:])
    for program in ("read_header", "read_btrees", "read_density_list", "read_store_props",
                    "read_named_props", "read_ipm_subtree", "read_search_updates"):
        r = run([os.path.join(examples, program), store])
        output = (r.stdout + r.stderr).decode("utf-8", "replace")
        if r.returncode != 0 or "Error" in output:
            raise Mismatch("outlook-pst %s: %s" % (program, output[-2000:]))
    # Its allocation maps, rebuilt from the B-trees, must be ours byte for byte.
    copy = os.path.join(work, "rebuilt.pst")
    shutil.copyfile(store, copy)
    r = run([os.path.join(examples, "rebuild_amap"), copy])
    if r.returncode != 0:
        raise Mismatch("outlook-pst rebuild_amap: " + r.stderr.decode()[-2000:])
    with open(store, "rb") as a, open(copy, "rb") as b:
        a.seek(0x4400)
        b.seek(0x4400)
        ours = a.read()
        # This version writes one PMap too many when the AMaps are a multiple of eight, past
        # the end of the file; everything up to our end must be ours.
        if b.read(len(ours)) != ours:
            raise Mismatch("outlook-pst rebuilt allocation maps differ from ours")
    return None


class SkipTest(Exception):
    pass


READERS = {
    "pstcheck": (read_pstcheck, None, set()),
    "pypff": (read_pypff, "pypff", {"sender", "time", "body", "html", "attachments",
                                     "empty_folders", "narrow_text"}),
    "pffexport": (read_pffexport, "pffexport", {"sender", "sender_email", "time", "body", "html",
                                                 "recipients", "attachments", "embedded",
                                                 "empty_folders", "narrow_text"}),
    "readpst": (read_readpst, "readpst", {"sender", "sender_email", "time", "body", "html",
                                           "attachments", "embedded", "attachments_reversed",
                                           "from_header"}),
    "lspst": (read_lspst, "lspst", set()),
    "pst-extractor": (read_pst_extractor, None, {"sender", "sender_email", "time", "body", "html",
                                                  "recipients", "attachments", "empty_folders"}),
    "outlook-pst": (read_outlook_pst, None, set()),
}


def main():
    if len(sys.argv) < 5:
        print(__doc__, file=sys.stderr)
        return 2
    reader, samples, corpus, work = sys.argv[1:5]
    given, extra = None, sys.argv[5:]
    if samples == "--given":
        if len(sys.argv) < 6:
            print(__doc__, file=sys.stderr)
            return 2
        given, work, extra = (sys.argv[3], sys.argv[4]), sys.argv[5], sys.argv[6:]
    tools = {"pstcheck": extra[0] if extra else "pstcheck"}
    read, program, fields = READERS[reader]
    if program == "pypff" and system_python_with("pypff") is None:
        print("skipped: python3-pypff is not installed")
        return SKIPPED
    if program not in (None, "pypff") and not shutil.which(program):
        print("skipped: %s is not installed" % program)
        return SKIPPED
    work = os.path.join(work, reader)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    if given:
        stores = [(given[0], given[1])]
    else:
        r = run([samples, corpus, work])
        if r.returncode != 0:
            print(r.stderr.decode(), file=sys.stderr)
            return 1
        stores = [(os.path.join(work, n + ".pst"), os.path.join(work, n + ".json"))
                  for n in STORES]
    failures = 0
    for store, described in stores:
        name = os.path.basename(store)[:-len(".pst")]
        with open(described, encoding="utf-8") as f:
            sample = json.load(f)
        try:
            found = read(store, work, tools)
            if found is not None:
                compare(reader, sample, found, fields)
            print("%s: %s.pst read as written" % (reader, name))
        except SkipTest as e:
            print("skipped: %s" % e)
            return SKIPPED
        except (Mismatch, subprocess.TimeoutExpired, KeyError, ValueError) as e:
            failures += 1
            print("%s: %s.pst: %s" % (reader, name, e), file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
