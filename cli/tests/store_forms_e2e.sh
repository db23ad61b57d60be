#!/usr/bin/env bash
# The sample mailbox through quillon-convert into an Outlook data file and into .msg files, and
# every file read back by our strict checker and by readers we did not write, against what the
# message files of the same mailbox say.
#
# usage: store_forms_e2e.sh QUILLON_CONVERT PST_SAMPLES PSTCHECK QC_CORPUS_EXPECT EML2MSG WORK
# Exits 77 (skipped) only when no reader at all could run.
set -uo pipefail
bin=$1 pst_samples=$2 pstcheck=$3 expect=$4 eml2msg=$5 work=$6
top=$(cd "$(dirname "$0")/../.." && pwd)
sample="$top/samples/Sample Inbox.mbx"
failures=0
ran=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$work"
mkdir -p "$work"
for form in eml pst msg; do
  "$bin" --quiet --format $form --output "$work/$form" "$sample" || fail "quillon-convert --format $form"
done
eml_dir="$work/eml$sample"
msg_dir="$work/msg$sample"
store="$work/pst/Sample Inbox.mbx.pst"
count=$(find "$eml_dir" -name 'email-*.eml' | wc -l)
[ "$count" -gt 0 ] || fail "no message files"
emls=()
for ((j = 0; j < count; j++)); do emls+=("$eml_dir/email-$j.eml"); done

# The .pst: our checker, then every independent reader against the messages' own reading.
"$pstcheck" "$store" || fail "pstcheck"
"$pst_samples" --describe "Sample Inbox.mbx" "Sample Inbox.mbx" "$work/expected.json" "${emls[@]}" \
  || fail "describing the sample"
for reader in pypff pffexport readpst lspst pst-extractor; do
  python3 "$top/mapi/pst/tests/readers/independent_readers.py" "$reader" --given "$store" \
    "$work/expected.json" "$work/readers" "$pstcheck"
  case $? in
    0) ran=$((ran + 1)) ;;
    77) echo "($reader skipped)" ;;
    *) fail "$reader" ;;
  esac
done

# The .msg files: one per message, our checker, olefile, msgconvert and msgreader.
[ "$count" -eq "$(find "$msg_dir" -name 'Email-*.msg' | wc -l)" ] || fail "one .msg per message"
if /usr/bin/python3 -c "import olefile" 2>/dev/null; then
  /usr/bin/python3 "$top/mapi/tests/olefile_check.py" "$msg_dir"/Email-*.msg && ran=$((ran + 1)) ||
    fail "olefile"
fi
if command -v msgconvert >/dev/null; then
  for ((j = 0; j < count; j++)); do
    msgconvert --outfile "$work/back-$j.eml" "$msg_dir/Email-$j.msg" 2>/dev/null ||
      fail "msgconvert on Email-$j.msg"
  done
  /usr/bin/python3 - "$eml_dir" "$work" "$count" <<'PY' && ran=$((ran + 1)) || fail "msgconvert"
import email, email.policy, email.utils, sys
source, back, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
bad = 0
for j in range(count):
    with open(f"{source}/email-{j}.eml", "rb") as f:
        raw = f.read()
    raw = raw.split(b"\n", 1)[1] if raw.startswith(b"From ") else raw
    want = email.message_from_bytes(raw, policy=email.policy.default)
    with open(f"{back}/back-{j}.eml", "rb") as f:
        got = email.message_from_bytes(f.read(), policy=email.policy.default)
    for field in ("Subject",):
        a = " ".join(str(want.get(field, "")).split())
        b = " ".join(str(got.get(field, "")).split())
        if a != b:
            print(f"Email-{j}.msg {field}: expected {a!r}, msgconvert gives {b!r}")
            bad += 1
    a = email.utils.parseaddr(str(want.get("From", "")))[1].lower()
    b = email.utils.parseaddr(str(got.get("From", "")))[1].lower()
    if a != b:
        print(f"Email-{j}.msg From: expected {a!r}, msgconvert gives {b!r}")
        bad += 1
sys.exit(1 if bad else 0)
PY
fi
"$top/mapi/tests/corpus_readers.sh" "$eml2msg" "$expect" "$work/msgreader" \
  "$(dirname "$work")/npm-msgreader" "$eml_dir" "$msg_dir"
case $? in
  0) ran=$((ran + 1)) ;;
  77) echo "(msgreader skipped)" ;;
  *) fail "msgreader" ;;
esac

# One data file for two mailboxes: a folder each, nested as the mailboxes' folders are below their
# common parent, with every message, read back by libpff.
mkdir -p "$work/mail/Archive/2003"
cp "$sample" "$work/mail/Sample Inbox.mbx"
cp "$sample" "$work/mail/Archive/2003/Old.mbx"
"$bin" --quiet --format pst --single-store All --output "$work/single" --folder "$work/mail" ||
  fail "quillon-convert --single-store"
"$pstcheck" "$work/single/All.pst" > /dev/null || fail "pstcheck of the single store"
python=""
for candidate in python3 /usr/bin/python3; do
  if "$candidate" -c "import pypff" 2>/dev/null; then python=$candidate; break; fi
done
if [ -n "$python" ]; then
  tree=$("$python" - "$work/single/All.pst" <<'PY'
import sys, pypff
f = pypff.file()
f.open(sys.argv[1])
def walk(folder, path):
    for i in range(folder.number_of_sub_folders):
        sub = folder.get_sub_folder(i)
        name = path + sub.name
        if sub.number_of_sub_messages:
            print(f"{name}: {sub.number_of_sub_messages}")
        walk(sub, name + "\\")
top = [f.root_folder.get_sub_folder(i) for i in range(f.root_folder.number_of_sub_folders)]
walk(next(t for t in top if t.name == "Top of Outlook data file"), "")
PY
)
  expected=$(printf 'Archive\\2003\\Old.mbx: %s\nSample Inbox.mbx: %s' "$count" "$count")
  if [ "$(printf '%s\n' "$tree" | sort)" = "$expected" ]; then
    echo "pypff: All.pst holds both mailboxes in their folders"
    ran=$((ran + 1))
  else
    fail "the single store's folders: expected $expected, pypff reads $tree"
  fi
fi

# pst-extractor reads the same folder tree with the same counts.
tree=$(python3 - "$top/mapi/pst/tests/readers" "$work/single/All.pst" "$work/readers/single" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
import independent_readers as readers
try:
    found = readers.read_pst_extractor(sys.argv[2], sys.argv[3], {})
except readers.SkipTest as e:
    print("skipped:", e)
    sys.exit(0)
top = readers.TOP + "/"
for path, messages in found.items():
    if messages and path.startswith(top):
        print("%s: %d" % (path[len(top):].replace("/", "\\"), len(messages)))
PY
)
case $tree in
  skipped:*) echo "(pst-extractor skipped)" ;;
  *)
    if [ "$(printf '%s\n' "$tree" | sort)" = "$expected" ]; then
      echo "pst-extractor: All.pst holds both mailboxes in their folders"
      ran=$((ran + 1))
    else
      fail "the single store's folders: expected $expected, pst-extractor reads $tree"
    fi
    ;;
esac

# The same two mailboxes in parts of about 1 MiB, each read back as it is completed: every part
# passes pstcheck on its own, and the parts hold every message once.
"$bin" --verify --format pst --single-store Parts --split-stores 1M --output "$work/parts" \
  --folder "$work/mail" > "$work/parts.txt" || fail "quillon-convert --split-stores --verify"
grep -qx "verified: $((2 * count)) messages read back as written" "$work/parts.txt" ||
  fail "--verify: $(cat "$work/parts.txt")"
parts=0
held=0
for part in "$work/parts"/*.pst; do
  line=$("$pstcheck" "$part") || fail "pstcheck of $part"
  n=$(printf '%s\n' "$line" | sed -n 's/.* \([0-9][0-9]*\) messages, 0 faults.*/\1/p')
  held=$((held + ${n:-0}))
  parts=$((parts + 1))
done
if [ "$parts" -ge 3 ] && [ "$held" -eq $((2 * count)) ]; then
  echo "pstcheck: $parts parts of at most 1 MiB hold the $held messages"
else
  fail "--split-stores 1M: $parts parts hold $held messages, not $((2 * count))"
fi

echo "$ran readers agreed, $failures failed"
[ "$failures" -eq 0 ] || exit 1
[ "$ran" -gt 0 ] || exit 77
