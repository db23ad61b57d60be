#!/usr/bin/env bash
# eml2msg as a careless or hostile user meets it: usage, inputs that are not message files,
# the input named as the output, and links where the output is written.
# Usage: eml2msg_test.sh path/to/eml2msg [path/to/eml2pst]
set -uo pipefail
bin=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]"; failures=$((failures + 1)); fi
}
printf 'From: a@example.com\r\nSubject: hello\r\n\r\nbody\r\n' > in.eml

"$bin" --help > help.txt 2>&1; check "help exits 0" 0 $?
grep -q "usage: eml2msg" help.txt; check "help shows the usage" 0 $?
"$bin" in.eml 2> err.txt; check "one argument is bad usage" 1 $?
grep -q "usage: eml2msg" err.txt; check "bad usage shows the usage" 0 $?
"$bin" 2>/dev/null; check "no argument is bad usage" 1 $?

timeout 10 "$bin" /dev/zero out.msg 2> err.txt; check "a device is refused" 2 $?
grep -q "not a regular file" err.txt; check "a device is refused with the reason" 0 $?
mkfifo fifo
timeout 10 "$bin" fifo out.msg 2> err.txt; check "a FIFO is refused, not waited on" 2 $?
mkdir folder.eml
"$bin" folder.eml out.msg 2>/dev/null; check "a folder is refused" 2 $?
test -e out.msg; check "no output for refused inputs" 1 $?

cp in.eml same.eml
"$bin" same.eml same.eml 2> err.txt; check "the input as the output is refused" 1 $?
cmp -s in.eml same.eml; check "the input is unchanged" 0 $?
ln -s same.eml alias.eml
"$bin" same.eml alias.eml 2>/dev/null; check "the input through a link is refused" 1 $?
cmp -s in.eml same.eml; check "the input is still unchanged" 0 $?

# An existing output is never replaced unless asked: the program never overwrites.
echo precious > victim.txt
ln -s "$work/victim.txt" .out.msg.part
ln -s "$work/victim.txt" out.msg
"$bin" in.eml out.msg 2> err.txt; check "an existing output is refused" 1 $?
grep -q "already exists; give --force" err.txt; check "the refusal says how to replace it" 0 $?
test -L out.msg; check "the refused output is untouched" 0 $?
"$bin" --force in.eml out.msg; check "--force writes past planted links" 0 $?
check "the links' target is untouched" precious "$(cat victim.txt)"
test -L out.msg; check "the output replaced the link at its name" 1 $?
check "only the output and the planted link remain" ".out.msg.part out.msg" \
  "$(ls -A | grep -E '^\.?out' | tr '\n' ' ' | sed 's/ $//')"

# eml2pst: the same promise for data files.
if [ -n "${2:-}" ]; then
  pst=$(realpath "$2")
  "$pst" store.pst Inbox in.eml; check "eml2pst writes a new store" 0 $?
  size=$(stat -c %s store.pst)
  "$pst" store.pst Inbox in.eml in.eml 2> err.txt; check "eml2pst refuses an existing store" 1 $?
  grep -q "already exists; give --force" err.txt; check "eml2pst says how to replace it" 0 $?
  check "the refused store is untouched" "$size" "$(stat -c %s store.pst)"
  "$pst" --force store.pst Inbox in.eml in.eml; check "eml2pst --force replaces it" 0 $?
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
