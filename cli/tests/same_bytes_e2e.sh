#!/usr/bin/env bash
# The Windows program writes the same bytes as the Linux program: the sample mailbox, the test
# corpus, mail in the charsets of old mail and old mail's broken headers, through every form,
# with the clock and the identifiers fixed (SOURCE_DATE_EPOCH). Both are given the same mailbox
# paths, so that their output folders are named alike.
#
# usage: same_bytes_e2e.sh WINDOWS_QUILLON_CONVERT LINUX_QUILLON_CONVERT WORK
set -uo pipefail
windows=$1 linux=$2 work=$3
top=$(cd "$(dirname "$0")/../.." && pwd)
if [ ! -x "$linux" ]; then
  echo "skipped: no Linux build of quillon-convert to compare with ($linux); build the debug preset first"
  exit 77
fi
rm -rf "$work"
mkdir -p "$work/in"
cp "$top/samples/Sample Inbox.mbx" "$work/in/"
sep='From ???@??? Mon Jan 01 00:00:00 2024'
for eml in "$top"/mapi/tests/corpus/*.eml; do
  printf '%s\r\n' "$sep"
  cat "$eml"
  printf '\r\n'
done > "$work/in/Corpus.mbx"
# Headers in encoded words and raw bytes, bodies in the charset they name.
python3 - "$work/in/Charsets.mbx" "$sep" <<'PY'
import base64, sys
texts = {"koi8-r": "Привет, мир", "gb2312": "你好，世界", "shift_jis": "こんにちは世界",
         "iso-2022-jp": "こんにちは世界", "big5": "你好，世界", "windows-1251": "Привет, мир",
         "utf-7": "Hi > there € 😀", "iso-8859-16": "București, Țară", "euc-kr": "안녕하세요",
         "gb18030": "你好 𠀀", "koi8-u": "Привіт, світ", "iso-8859-7": "Καλημέρα"}
with open(sys.argv[1], "wb") as out:
    for name, text in texts.items():
        body = text.encode(name.replace("utf-7", "utf_7"))
        word = "=?%s?B?%s?=" % (name, base64.b64encode(body).decode())
        out.write(("%s\r\nFrom: %s <a@example.com>\r\nSubject: %s\r\nMIME-Version: 1.0\r\n"
                   "Content-Type: text/plain; charset=%s\r\n"
                   "Content-Transfer-Encoding: 8bit\r\n\r\n" % (sys.argv[2], word, word, name))
                  .encode() + body + b"\r\n")
PY
# Old mail: raw 8-bit headers, odd and broken labels, names without addresses; and mail that
# names no charset, read in the one the run is told.
python3 "$top/mapi/tests/charsets/make_charset_corpus.py" "$work/old" || exit 1
cp "$work/old/Charsets.mbx" "$work/in/Old mail.mbx"
mkdir -p "$work/in/1251"
cp "$work/old/Unlabelled-1251.mbx" "$work/in/1251/"
export SOURCE_DATE_EPOCH=1796601600
failures=0
for form in eml emlx msg pst; do
  for side in linux windows; do
    program=${!side}
    (cd "$work" && "$program" --quiet --format $form --output "$work/$side/$form" \
      "$work/in/Sample Inbox.mbx" "$work/in/Corpus.mbx" "$work/in/Charsets.mbx" \
      "$work/in/Old mail.mbx" &&
      "$program" --quiet --charset windows-1251 --format $form \
        --output "$work/$side/$form/1251" "$work/in/1251/Unlabelled-1251.mbx") \
      > "$work/$side-$form.txt" 2>&1
    echo "exit $?" >> "$work/$side-$form.txt"
  done
  if ! diff -r "$work/linux/$form" "$work/windows/$form" > "$work/diff-$form.txt"; then
    echo "FAIL: the $form files differ:"
    head -20 "$work/diff-$form.txt"
    failures=$((failures + 1))
  elif [ "$(find "$work/linux/$form" -type f | wc -l)" -eq 0 ]; then
    echo "FAIL: no $form files at all"
    failures=$((failures + 1))
  else
    echo "$form: $(find "$work/linux/$form" -type f | wc -l) files, the same bytes"
  fi
  # How the runs ended, their counts and which messages they warned of; not their times, nor
  # the paths, which each system spells its own way.
  for side in linux windows; do
    grep -o -E '^exit [0-9]+|^[0-9]+ mailbox(es)?: [0-9]+ messages? written \([^)]*\)|^warning: message [0-9]+ \(offset [0-9]+\)' \
      "$work/$side-$form.txt" > "$work/$side-$form.ended"
  done
  diff "$work/linux-$form.ended" "$work/windows-$form.ended" > /dev/null ||
    { echo "FAIL: the $form runs ended otherwise:"; diff "$work/linux-$form.txt" "$work/windows-$form.txt"; failures=$((failures + 1)); }
done
exit $((failures > 0))
