#!/usr/bin/env bash
# Writes a mailbox of real-world mail: the test corpus's messages (mapi/tests/corpus/*.eml) in
# name order, each after a separator line, repeated until the mailbox reaches SIZE.
#
#   bench/corpus_mailbox.sh [SIZE] [OUT]
#
#   SIZE  bytes, with a k, M or G suffix (default 256M); the mailbox ends at the first whole
#         round of the corpus at or past it
#   OUT   the mailbox to write (default /dev/shm/qc-bench/qc-corpus-256m.mbx)
#
# A message that already starts with a separator line keeps it instead of getting a second one.
# The same corpus gives the same bytes every time.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
size=${1:-256M}
out=${2:-/dev/shm/qc-bench/qc-corpus-256m.mbx}

case $size in
  *k | *K) bytes=$((${size%?} * 1024)) ;;
  *M) bytes=$((${size%?} * 1024 * 1024)) ;;
  *G) bytes=$((${size%?} * 1024 * 1024 * 1024)) ;;
  *) bytes=$size ;;
esac

mkdir -p "$(dirname "$out")"
round=$(mktemp)
trap 'rm -f "$round" "$out.part" "$out.part.2"' EXIT
for message in "$root"/mapi/tests/corpus/*.eml; do
  if ! head -c 12 "$message" | grep -q '^From ???@???'; then
    printf 'From ???@??? Mon Jan 01 00:00:00 2024\r\n' >>"$round"
  fi
  cat "$message" >>"$round"
done
round_bytes=$(stat -c %s "$round")
rounds=$(((bytes + round_bytes - 1) / round_bytes))

# Doubling copies: a few dozen appends instead of one per round.
cp "$round" "$out.part"
have=1
while ((have * 2 <= rounds)); do
  cat "$out.part" "$out.part" >"$out.part.2"
  mv "$out.part.2" "$out.part"
  have=$((have * 2))
done
if ((have < rounds)); then
  head -c $(((rounds - have) * round_bytes)) "$out.part" >"$out.part.2"
  cat "$out.part.2" >>"$out.part"
  rm "$out.part.2"
fi
mv "$out.part" "$out"
messages=$(grep -c '^From ???@???' "$out" || true)
echo "$out: $(stat -c %s "$out") bytes, $rounds rounds of the corpus, $messages messages"
