#!/usr/bin/env python3
"""Converts the charset corpus (make_charset_corpus.py) into the .msg and .pst forms and has
readers we did not write read every subject, name, address, attachment name and text back:
@kenjiuno/msgreader the .msg files, pst-extractor and libpff (pypff) the .pst files. Each must
find what the writer of the message meant. The runs must leave nothing from a library on
standard error.

usage: check_charset_corpus.py QUILLON_CONVERT WORK NPM_FOLDER [--report]

With --report, says how many messages keep every field for each reader and exits 0 whatever
it found (for measuring a program that is not expected to pass). A program without --charset
converts the unlabelled mailbox without it. Exits 77 (skipped) when no reader can be had."""
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys

SKIPPED = 77
HERE = pathlib.Path(__file__).resolve().parent
READERS = HERE.parent.parent / "pst" / "tests" / "readers"
PST_EXTRACTOR_DUMP = READERS / "pst_extractor_dump.js"
sys.path.insert(0, str(READERS))
from independent_readers import run  # noqa: E402  (programs' output read through files)
NPM_PACKAGES = ["@kenjiuno/msgreader@1.28.0", "pst-extractor@1.12.0"]
# The mailboxes, and what the run is told for each.
RUNS = {"Charsets.mbx": [], "Unlabelled-1251.mbx": ["--charset", "windows-1251"]}

PYPFF_DUMP = r'''
import json, sys, pypff
def entries(item):
    out = {}
    for s in range(item.get_number_of_record_sets()):
        for e in item.get_record_set(s).entries:
            out.setdefault(e.entry_type, e)
    return out
def string(es, tag):
    e = es.get(tag)
    return e.data.decode("utf-16-le").rstrip("\0") if e is not None and e.data else ""
def message(m):
    es = entries(m)
    attachments = []
    for i in range(m.number_of_attachments):
        ae = entries(m.get_attachment(i))
        if 0x3705 in ae and ae[0x3705].data_as_integer == 5:
            attachments.append({"embedded": string(ae, 0x3001)})
        else:
            attachments.append(string(ae, 0x3707))
    return {"subject": m.subject or "", "sender_name": m.sender_name or "",
            "sender_email": string(es, 0x0C1F), "display_to": string(es, 0x0E04),
            "attachments": attachments,
            "text": (m.plain_text_body or b"").decode("utf-8", "replace")}
def folder(f, out):
    for i in range(f.number_of_sub_messages):
        out.setdefault(f.name or "", []).append(message(f.get_sub_message(i)))
    for i in range(f.number_of_sub_folders):
        folder(f.get_sub_folder(i), out)
p = pypff.file()
p.open(sys.argv[1])
out = {}
folder(p.get_root_folder(), out)
json.dump(out, sys.stdout)
'''


def spaced(text):
    return re.sub(r"\s+", " ", text or "").strip()


def normalised(text):
    lines = (text or "").replace("\0", "").replace("\r\n", "\n").replace("\r", "\n").split("\n")
    return "\n".join(line.rstrip(" \t") for line in lines).strip("\n")


def attachment_key(a):
    return "embedded: " + spaced(a["embedded"]) if isinstance(a, dict) else a


def display_name(recipient):
    return recipient[0] or recipient[1]


def compare(want, got, fields):
    """The fields of `want` that `got` does not hold as written."""
    wrong = []

    def check(field, expected, found):
        if expected != found:
            wrong.append("%s: expected %r, found %r" % (field, expected, found))

    check("subject", spaced(want["subject"]), spaced(got["subject"]))
    check("sender name", want["sender_name"], got["sender_name"])
    check("sender address", want["sender_email"].lower(), got["sender_email"].lower())
    if "recipients" in fields:
        check("recipients", sorted([r[0], r[1].lower()] for r in want["recipients"]),
              sorted([r[0], (r[1] or "").lower()] for r in got["recipients"]))
    if "display_to" in fields:
        check("To", "; ".join(display_name(r) for r in want["recipients"]), got["display_to"])
    if "keywords" in fields and "keywords" in want:
        check("keywords", want["keywords"], got["keywords"])
    check("attachments", sorted(attachment_key(a) for a in want["attachments"]),
          sorted(attachment_key(a) for a in got["attachments"]))
    check("text", normalised(want["text"]), normalised(got["text"]))
    return wrong


def ensure_npm(npm_folder):
    modules = os.path.join(npm_folder, "node_modules")
    if all(os.path.exists(os.path.join(modules, p.rsplit("@", 1)[0], "package.json"))
           for p in NPM_PACKAGES):
        return modules
    if not shutil.which("node") or not shutil.which("npm"):
        return None
    os.makedirs(npm_folder, exist_ok=True)
    r = run(["npm", "install", "--prefix", npm_folder, "--no-audit", "--no-fund",
             "--loglevel=error"] + NPM_PACKAGES)
    return modules if r.returncode == 0 else None


def system_python_with_pypff():
    for candidate in (sys.executable, "/usr/bin/python3"):
        if candidate and run([candidate, "-c", "import pypff"]).returncode == 0:
            return candidate
    return None


def message_folder(output, mailbox):
    """Where the .msg form wrote the messages of `mailbox`: a folder named after its path."""
    for dirpath, _, filenames in os.walk(output):
        if dirpath.endswith(os.sep + mailbox) and "Email-0.msg" in filenames:
            return dirpath
    return None


def pst_messages(folders, mailbox):
    """The messages of the store's mail folder (named after the mailbox)."""
    for name, messages in folders.items():
        if name.endswith(mailbox):
            return messages
    return []


def main():
    args = [a for a in sys.argv[1:] if a != "--report"]
    report_only = "--report" in sys.argv[1:]
    if len(args) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    convert, work, npm_folder = args
    work = pathlib.Path(work).resolve()
    shutil.rmtree(work, ignore_errors=True)
    inbox = work / "in"
    r = run([sys.executable, str(HERE / "make_charset_corpus.py"), str(inbox)])
    if r.returncode != 0:
        print(r.stderr.decode(), file=sys.stderr)
        return 1
    expected = json.loads((inbox / "expected.json").read_text(encoding="utf-8"))
    has_charset = "--charset" in run([convert, "--help"]).stdout.decode()

    problems = []
    env = dict(os.environ, SOURCE_DATE_EPOCH="1796601600")
    for form in ("msg", "pst"):
        for box, options in RUNS.items():
            r = run([convert, "--quiet", "--format", form, "--output", str(work / form)] +
                    (options if has_charset else []) + [str(inbox / box)], env=env)
            library = [line for line in r.stderr.decode("utf-8", "replace").splitlines()
                       if re.search(r"GLib|GMime|CRITICAL|g_convert|\*\*", line)]
            if library:
                problems.append("%s, %s form: the libraries wrote on standard error: %s" %
                                (box, form, library[:3]))
            if r.returncode not in (0,):
                problems.append("%s, %s form: exit %d: %s" % (box, form, r.returncode,
                                                              r.stderr.decode()[-500:]))

    readers = {}
    modules = ensure_npm(npm_folder)
    if modules:
        def msgreader(box):
            folder = message_folder(work / "msg", box)
            if folder is None:
                return None
            r = run(["node", str(HERE / "charset_msgreader_dump.js"), folder, modules])
            return json.loads(r.stdout) if r.returncode == 0 else None

        def pst_extractor(box):
            store = work / "pst" / (box + ".pst")
            r = run(["node", str(PST_EXTRACTOR_DUMP), str(store), npm_folder])
            if r.returncode != 0:
                return None
            listing = json.loads(r.stdout)
            messages = pst_messages({f["path"]: f["messages"] for f in listing["folders"]}, box)
            for m in messages:
                m["recipients"] = [[r[0], r[1]] for r in m["recipients"]]
                m["attachments"] = [{"embedded": a["display_name"]} if "embedded" in a
                                    else a["name"] for a in m["attachments"]]
                m["text"] = m["body"]
            return messages

        readers["msgreader (.msg)"] = (msgreader, {"recipients", "keywords"})
        readers["pst-extractor (.pst)"] = (pst_extractor, {"recipients"})
    python = system_python_with_pypff()
    if python:
        def libpff(box):
            r = run([python, "-c", PYPFF_DUMP, str(work / "pst" / (box + ".pst"))])
            return pst_messages(json.loads(r.stdout), box) if r.returncode == 0 else None

        readers["libpff (.pst)"] = (libpff, {"display_to"})
    if not readers:
        print("skipped: no reader (Node.js with npm, or python3-pypff) is installed")
        return SKIPPED

    all_kept = True
    for reader, (read, fields) in readers.items():
        kept = total = 0
        for box in RUNS:
            want = expected[box]
            got = read(box) or []
            total += len(want)
            for i, w in enumerate(want):
                wrong = ["not found"] if i >= len(got) else compare(w, got[i], fields)
                if wrong:
                    for line in wrong:
                        print("%s: %s %s: %s" % (reader, box, w["name"], line))
                else:
                    kept += 1
        all_kept = all_kept and kept == total
        print("%s: %d of %d messages keep every field (%.0f%%)" %
              (reader, kept, total, 100.0 * kept / total))
    for p in problems:
        print("FAIL: " + p)
    if report_only:
        return 0
    return 0 if all_kept and not problems else 1


if __name__ == "__main__":
    sys.exit(main())
