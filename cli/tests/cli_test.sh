#!/usr/bin/env bash
# The command line as a batch user meets it: exit statuses, messages and files.
# Usage: cli_test.sh path/to/quillon-convert
set -uo pipefail
bin=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]"; failures=$((failures + 1)); fi
}
sep='From ???@??? Mon Jan 01 00:00:00 2024'
printf '%s\r\nSubject: a\r\n\r\none\r\n%s\r\nSubject: b\r\n\r\ntwo\r\n' "$sep" "$sep" > "in box.mbx"
mkdir -p tree/deep/er
cp "in box.mbx" tree/A.MBOX
cp "in box.mbx" "tree/deep/er/ünï.mbx"
echo notes > tree/notes.txt

"$bin" --help > help.txt; check "help exits 0" 0 $?
grep -q -- "--format" help.txt; check "help names --format" 0 $?
"$bin" --version | grep -q "quillon-convert"; check "version" 0 $?
"$bin" --output o "in box.mbx" 2>/dev/null; check "missing --format" 1 $?
"$bin" --format txt --output o "in box.mbx" 2>/dev/null; check "unknown form" 1 $?
"$bin" --format pst --output o "in box.mbx" 2> err.txt; check "pst refused" 1 $?
grep -q "not available" err.txt; check "pst says why" 0 $?
"$bin" --format eml --output o 2> err.txt; check "nothing to convert" 1 $?
"$bin" --format eml --output o --folder nowhere 2>/dev/null; check "folder missing" 1 $?

"$bin" --format eml --output out "in box.mbx" > summary.txt 2>&1; check "plain run" 0 $?
check "first message" "$(printf '%s\r\nSubject: a\r\n\r\none\r\n\r\n' "$sep" | od -c)" \
  "$(od -c < "out$work/in box.mbx/email-0.eml")"
grep -q "2 messages written" summary.txt; check "summary counts" 0 $?

"$bin" --quiet --format emlx --output out2 --folder tree > quiet.txt 2>&1; check "folder run" 0 $?
check "quiet prints nothing" "" "$(cat quiet.txt)"
check "both mailboxes found" 4 "$(find out2 -name 'email-*.emlx' | wc -l)"
test -f "out2$work/tree/deep/er/ünï.mbx/email-1.emlx"; check "non-ASCII path" 0 $?

"$bin" --format eml --output out3 "in box.mbx" missing.mbx > /dev/null 2> err.txt
check "a missing mailbox is a failed step" 2 $?
grep -q "File not found !" err.txt; check "finder message on stderr" 0 $?
test -f "out3$work/in box.mbx/email-1.eml"; check "the good mailbox still converted" 0 $?

touch blocker
"$bin" --format eml --output blocker/x "in box.mbx" > /dev/null 2>&1; check "output blocked" 3 $?

if [ "$(id -u)" -eq 0 ] && command -v setpriv > /dev/null; then
  # Root reads anything; an unprivileged user meets the unreadable file as users do.
  chmod 755 "$work"; chmod 000 "in box.mbx"; mkdir -m 777 out4
  setpriv --reuid=65534 --regid=65534 --clear-groups "$bin" --format eml --output out4 \
    "$work/in box.mbx" > /dev/null 2> err.txt
  check "unreadable mailbox" 2 $?
  grep -q "File could not open !" err.txt; check "unreadable says so" 0 $?
  chmod 644 "in box.mbx"
elif [ "$(id -u)" -ne 0 ]; then
  chmod 000 "in box.mbx"
  "$bin" --format eml --output out4 "in box.mbx" > /dev/null 2> err.txt
  check "unreadable mailbox" 2 $?
  chmod 644 "in box.mbx"
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
