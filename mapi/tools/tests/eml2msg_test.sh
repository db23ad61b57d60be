#!/usr/bin/env bash
# eml2msg as a careless or hostile user meets it: usage, inputs that are not message files,
# the input named as the output, and links where the output is written.
# Usage: eml2msg_test.sh path/to/eml2msg
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

echo precious > victim.txt
ln -s "$work/victim.txt" .out.msg.part
ln -s "$work/victim.txt" out.msg
"$bin" in.eml out.msg; check "writes past planted links" 0 $?
check "the links' target is untouched" precious "$(cat victim.txt)"
test -L out.msg; check "the output replaced the link at its name" 1 $?
check "only the output and the planted link remain" ".out.msg.part out.msg" \
  "$(ls -A | grep -E '^\.?out' | tr '\n' ' ' | sed 's/ $//')"

echo "$failures failed"
[ "$failures" -eq 0 ]
