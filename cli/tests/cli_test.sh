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
"$bin" --format pst --output pst "in box.mbx" "in box.mbx" > out.txt 2> err.txt; check "pst" 0 $?
check "the store file is named" "store file: $work/pst/in box.mbx.pst" "$(grep '^store file' out.txt)"
test -s "pst/in box.mbx.pst"; check "the store is there" 0 $?
check "no message files beside it" 0 "$(find pst -type f ! -name '*.pst' | wc -l)"
"$bin" --format pst --output pst "in box.mbx" > out.txt 2> err.txt; check "pst again" 0 $?
check "a later store never overwrites" "store file: $work/pst/in box.mbx (2).pst" "$(grep '^store file' out.txt)"
"$bin" --format msg --output msg "in box.mbx" > out.txt 2> err.txt; check "msg" 0 $?
check "Outlook files per message" "Email-0.msg Email-1.msg" "$(ls "msg$work/in box.mbx" | tr '\n' ' ' | sed 's/ $//')"
grep -q "^store file: $work/msg/Temp[0-9.]* [0-9.]*\.pst$" out.txt; check "the temporary store is named" 0 $?
"$bin" --format eml --output o 2> err.txt; check "nothing to convert" 1 $?

# The fallback charset: a known name (in any of its spellings), else bad usage that says where
# the names are; the list of names needs nothing else.
"$bin" --list-charsets > charsets.txt; check "--list-charsets exits 0" 0 $?
grep -q '^koi8-r  (koi8r, koi8, ' charsets.txt; check "names with their other names" 0 $?
"$bin" --charset x-martian --format pst --output o "in box.mbx" 2> err.txt
check "an unknown --charset is bad usage" 1 $?
grep -q "'x-martian' is not a charset.*--list-charsets" err.txt; check "it says where the names are" 0 $?
"$bin" --charset us-ascii --format pst --output o "in box.mbx" 2> /dev/null
check "ASCII names no fallback" 1 $?
printf '%s\r\nSubject: \xcf\xf0\xe8\r\n\r\n\xcf\xf0\xe8\r\n' "$sep" > cyrillic.mbx
"$bin" --quiet --charset CP-1251 --format pst --output cs cyrillic.mbx > out.txt 2> err.txt
check "a run with --charset" 0 $?
check "nothing on the terminal" "" "$(cat out.txt err.txt)"
"$bin" --format eml --output o --folder nowhere 2>/dev/null; check "folder missing" 1 $?

# One data file for many mailboxes, and data files kept below a size: .pst only, with sane
# names and sizes.
"$bin" --format eml --single-store All --output o "in box.mbx" 2> err.txt
check "--single-store needs the .pst form" 1 $?
"$bin" --format pst --single-store "a/b" --output o "in box.mbx" 2> /dev/null
check "--single-store takes a name, not a path" 1 $?
"$bin" --format pst --split-stores 12Q --output o "in box.mbx" 2> err.txt
check "--split-stores takes a size" 1 $?
grep -q "'12Q' is not a size" err.txt; check "it says what a size is" 0 $?
"$bin" --format msg --split-stores 20G --output o "in box.mbx" 2> /dev/null
check "--split-stores needs the .pst form" 1 $?
"$bin" --format pst --single-store All --split-stores 20G --output one "in box.mbx" tree/A.MBOX \
  > out.txt 2> err.txt
check "one data file for two mailboxes" 0 $?
check "it is named as asked" "store file: $work/one/All.pst" "$(grep '^store file' out.txt)"

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
check "one line naming the missing mailbox and why" \
  "quillon-convert: cannot open the mailbox '$work/missing.mbx': No such file or directory" \
  "$(grep -v '^\[' err.txt)"
test -f "out3$work/in box.mbx/email-1.eml"; check "the good mailbox still converted" 0 $?

# Mailboxes that hold no message: said once, plainly, and not a failure.
: > empty.mbx; printf F > one.mbx; mkdir folder.mbx
"$bin" --format eml --output out5 empty.mbx one.mbx > out.txt 2> err.txt
check "empty mailboxes are no failure" 0 $?
check "empty mailboxes say so" "[1/2] $work/empty.mbx: empty, no messages|[2/2] $work/one.mbx: 1 byte, no messages" \
  "$(paste -sd'|' err.txt)"
grep -q "successfully\|File size\|could not open" out.txt err.txt; check "no window texts" 1 $?
"$bin" --format eml --output out5 folder.mbx > /dev/null 2> err.txt; check "a folder as a mailbox" 2 $?
grep -q "cannot open the mailbox '$work/folder.mbx': Is a directory" err.txt
check "a folder as a mailbox says so" 0 $?

# Each file once, however often and however it is named.
ln -s "in box.mbx" alias.mbx
"$bin" --format eml --output out6 "in box.mbx" "./in box.mbx" alias.mbx > out.txt 2> err.txt
check "repeated mailboxes" 0 $?
grep -q "^1 mailbox: 2 messages written" out.txt; check "converted and counted once" 0 $?

# --folder takes one folder; what follows is a mailbox.
"$bin" --format eml --output out7 --folder tree "in box.mbx" > out.txt 2>&1; check "--folder then a mailbox" 0 $?
grep -q "^3 mailboxes: 6 messages written" out.txt; check "the mailbox after --folder is a mailbox" 0 $?

# A folder that cannot be searched is one line; the rest is converted.
seg=$(printf 'd%.0s' $(seq 200))
mkdir -p deep/tree && cp "in box.mbx" deep/tree/ok.mbx
(cd deep/tree && for i in $(seq 25); do mkdir "$seg" && cd "$seg"; done && cp "$work/in box.mbx" deep.mbx)
"$bin" --format eml --output out8 --folder deep "in box.mbx" > out.txt 2> err.txt
check "an unsearchable folder fails that folder only" 2 $?
check "one line for it" 1 "$(grep -c 'File name too long' err.txt)"
check "the rest converted" 4 "$(find out8 -name 'email-*.eml' | wc -l)"
grep -q "1 folder not searched" out.txt; check "the summary counts it" 0 $?

# Problems past the hundredth are counted, not dropped.
"$bin" --quiet --format eml --output out9 $(seq -f 'gone%g.mbx' 1 105) > out.txt 2> err.txt
check "many missing mailboxes" 2 $?
check "a hundred problem lines" 100 "$(grep -c "cannot open the mailbox" err.txt)"
grep -q "and 5 more problems" err.txt; check "and the rest counted" 0 $?

# Files of an earlier run that this run did not replace are pointed out.
printf '%s\r\nSubject: a\r\n\r\none\r\n' "$sep" > "in box.mbx.1"
mkdir -p "out$work" && cp -r "out$work/in box.mbx" "out$work/in box.mbx.1"
"$bin" --format eml --output out "in box.mbx.1" > out.txt 2>&1; check "earlier files are no failure" 0 $?
grep -q "^warning: .*also holds 1 message file of an earlier run" out.txt
check "earlier files are pointed out" 0 $?

# A summary that cannot be written is a failure.
"$bin" --format eml --output out10 "in box.mbx" > /dev/full 2>/dev/null; check "full standard output" 2 $?

# Ctrl-C and SIGTERM stop like closing the window: complete files only, a summary, 130 or 143.
awk -v s="$sep" 'BEGIN { for (i = 0; i < 300000; i++) printf "%s\r\nSubject: %06d\r\n\r\nbody\r\n", s, i }' > big.mbx
for sig in INT TERM; do
  rm -rf stop; "$bin" --format eml --output stop big.mbx > out.txt 2> err.txt &
  pid=$!
  for _ in $(seq 500); do
    [ "$(find stop -name 'email-*' 2>/dev/null | head -200 | wc -l)" -ge 200 ] && break; sleep 0.02
  done
  kill -$sig $pid; wait $pid; code=$?
  check "SIG$sig exit status" $([ $sig = INT ] && echo 130 || echo 143) $code
  grep -q "^Stopped by SIG$sig: 1 mailbox: [0-9]* messages\? written" out.txt; check "SIG$sig summary" 0 $?
  check "SIG$sig leaves no temporary file" 0 "$(find stop -name '.*part' -o -name '.*.lock' | wc -l)"
  check "SIG$sig leaves complete files only" 0 "$(find stop -name 'email-*.eml' ! -size 66c | wc -l)"
  counted=$(sed -n 's/^Stopped by SIG[A-Z]*: 1 mailbox: \([0-9]*\) messages\? written.*/\1/p' out.txt)
  check "SIG$sig leaves exactly the files it counts" "$counted" "$(find stop -name 'email-*.eml' | wc -l)"
done

# A run killed outright leaves its temporary files; the next run into the folder removes them.
rm -rf killed; "$bin" --format pst --output killed big.mbx > /dev/null 2>&1 &
pid=$!
for _ in $(seq 500); do
  [ -n "$(find killed -maxdepth 1 -name '.big.mbx.pst.*.part' -size +100k 2>/dev/null)" ] && break
  sleep 0.02
done
kill -KILL $pid; wait $pid 2>/dev/null
check "kill -9 leaves a store's temporary file" 1 "$(find killed -maxdepth 1 -name '.*.part' | wc -l)"
"$bin" --format pst --output killed "in box.mbx" > out.txt 2> err.txt; check "the next run" 0 $?
grep -q "^warning: '$work/killed/' held 2 leftover temporary files ([0-9]* bytes) of an earlier run that was killed; they were removed$" out.txt
check "the next run removes them and says so" 0 $?
check "nothing of the killed run is left" 0 "$(find killed -name '.*.part' -o -name '.*.lock' | wc -l)"

touch blocker
"$bin" --format eml --output blocker/x "in box.mbx" > /dev/null 2>&1; check "output blocked" 3 $?
"$bin" --format eml --output "" "in box.mbx" 2> err.txt; check "an empty --output is bad usage" 1 $?

# A run stopped by an error says so and why, naming the file the user would look for.
"$bin" --format pst --output /proc "in box.mbx" > out.txt 2> err.txt; check "store blocked" 3 $?
check "the stop and its reason come first" "Stopped: cannot create '/proc/in box.mbx.pst'" \
  "$(head -1 out.txt | cut -d: -f1-2)"
grep -q "1 mailbox not converted" out.txt; check "what was not converted" 0 $?
grep -q "0 messages failed\|\.part" out.txt err.txt; check "no empty counts, no hidden names" 1 $?

# A mailbox that cannot be read leaves no store; the next good one gets the plain name.
mkfifo pipe.mbx
"$bin" --format pst --output nostore missing.mbx pipe.mbx /dev/zero > out.txt 2> err.txt
check "unreadable mailboxes fail" 2 $?
grep -q "^store file" out.txt; check "no store for them" 1 $?
check "pipes and devices are named for what they are" 2 "$(grep -c ': not a regular file$' err.txt)"
check "no file in the output folder" 0 "$(find nostore -type f | wc -l)"
cp "in box.mbx" missing.mbx
"$bin" --format pst --output nostore missing.mbx > out.txt 2>&1; check "later good run" 0 $?
check "it gets the plain name" "store file: $work/nostore/missing.mbx.pst" "$(grep '^store file' out.txt)"

# --manifest: a row per message with the SHA-256 of its file; --skip-duplicates writes a copy once.
cp "in box.mbx" copy.mbx
"$bin" --format eml --output man --manifest man.csv --skip-duplicates "in box.mbx" copy.mbx \
  > out.txt 2> err.txt
check "a run with a manifest" 0 $?
check "the manifest's header" "mailbox,message,offset,length,sha256,output,message_id,subject,date,attachments,status" \
  "$(head -1 man.csv | tr -d '\r')"
check "a row per message" 4 "$(tail -n +2 man.csv | wc -l)"
file0="man$work/in box.mbx/email-0.eml"
check "the hash of the file written" "$(sha256sum "$file0" | cut -d' ' -f1)" \
  "$(sed -n 2p man.csv | cut -d, -f5)"
check "the copies name their first" "duplicate of 0 in $work/in box.mbx|duplicate of 1 in $work/in box.mbx" \
  "$(tail -n 2 man.csv | tr -d '\r' | cut -d, -f11 | paste -sd'|')"
check "the copies are not written" 0 "$(find "man$work/copy.mbx" -type f | wc -l)"
grep -q "^\[2/2\] $work/copy.mbx: 0 messages written, 2 duplicates skipped$" err.txt
check "the mailbox line counts the copies" 0 $?
grep -q "; 2 duplicates skipped$" out.txt; check "so does the summary" 0 $?
grep -q "^manifest: $work/man.csv (4 rows)$" out.txt; check "the summary names the manifest" 0 $?
"$bin" --format eml --output man2 --manifest nowhere/man.csv "in box.mbx" > /dev/null 2> err.txt
check "a manifest in a missing folder stops before the run" 3 $?
check "nothing converted then" 0 "$(find man2 -type f 2>/dev/null | wc -l)"

# A run stopped by SIGINT still lists every message of its mailbox, those written as written.
rm -rf stopm; "$bin" --format eml --output stopm --manifest stopm.csv big.mbx > out.txt 2> err.txt &
pid=$!
for _ in $(seq 500); do
  [ "$(find stopm -name 'email-*' 2>/dev/null | head -200 | wc -l)" -ge 200 ] && break; sleep 0.02
done
kill -INT $pid; wait $pid
check "SIGINT with a manifest" 130 $?
check "every message has its row" 300000 "$(tail -n +2 stopm.csv | wc -l)"
check "the rows written are the files left" "$(find stopm -name 'email-*.eml' | wc -l)" \
  "$(grep -c ',written.$' stopm.csv)"
check "the rest were not converted" "$(grep -c ',not converted: the run was stopped by SIGINT.$' stopm.csv)" \
  "$((300000 - $(find stopm -name 'email-*.eml' | wc -l)))"

if [ "$(id -u)" -eq 0 ] && command -v setpriv > /dev/null; then
  # Root reads anything; an unprivileged user meets the unreadable file as users do.
  chmod 755 "$work"; chmod 000 "in box.mbx"; mkdir -m 777 out4
  setpriv --reuid=65534 --regid=65534 --clear-groups "$bin" --format eml --output out4 \
    "$work/in box.mbx" > /dev/null 2> err.txt
  check "unreadable mailbox" 2 $?
  grep -q "cannot open the mailbox '$work/in box.mbx': Permission denied" err.txt
  check "unreadable says so" 0 $?
  chmod 644 "in box.mbx"
elif [ "$(id -u)" -ne 0 ]; then
  chmod 000 "in box.mbx"
  "$bin" --format eml --output out4 "in box.mbx" > /dev/null 2> err.txt
  check "unreadable mailbox" 2 $?
  chmod 644 "in box.mbx"
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
