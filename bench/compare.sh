#!/usr/bin/env bash
# Times quillon-convert against git mailsplit and the floor program on one generated mailbox.
#
#   bench/compare.sh [--quillon PATH] [--against PATH] [--runs N] [--work DIR] [--corpus]
#                    [--big] [--keep] [--stores]
#
#   --quillon PATH  the converter to time (default build/release/cli/quillon-convert)
#   --against PATH  another build of it to time side by side (an earlier commit's)
#   --runs N        runs per tool, the tools taking turns; the best wall-clock time counts
#                   (default 3)
#   --corpus        real-world mail instead of the generated mailbox: the test corpus repeated
#                   into 256 MiB (bench/corpus_mailbox.sh; many more, smaller messages)
#   --work DIR      where mailboxes and outputs go (default /dev/shm/qc-bench); on tmpfs the
#                   numbers are those of the page cache, not of a disk
#   --big           also convert a 1 GiB mailbox once, for its peak memory
#   --keep          keep the outputs of the last runs (they are removed by default)
#   --stores        also time the .pst and .msg forms (MB/s, peak memory, store size)
#
# The mailboxes are generated when missing and kept for the next run (256 MiB with 75,000
# messages; 1 GiB with 300,000). Output folders are emptied between runs, outside the timing.
# The floor is timed with one thread and with two, as many as the converter's writer threads.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
quillon=$root/build/release/cli/quillon-convert
against=""
corpus=0
runs=3
work=/dev/shm/qc-bench
big=0
keep=0
stores=0
while (($# > 0)); do
  case $1 in
    --quillon) quillon=$2; shift 2 ;;
    --against) against=$2; shift 2 ;;
    --corpus) corpus=1; shift ;;
    --runs) runs=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --big) big=1; shift ;;
    --keep) keep=1; shift ;;
    --stores) stores=1; shift ;;
    -h|--help) sed -n '2,23p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "compare.sh: unknown argument '$1' (see --help)" >&2; exit 2 ;;
  esac
done

bench_bin=$root/build/bench/bench
if [[ ! -x $bench_bin/gen_mailbox || ! -x $bench_bin/floor_split ]]; then
  echo "Building gen_mailbox and floor_split (preset bench) ..."
  (cd "$root" && cmake --preset bench >/dev/null &&
    cmake --build build/bench -j2 --target gen_mailbox floor_split >/dev/null)
fi
command -v git >/dev/null || { echo "compare.sh: git is needed" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "compare.sh: /usr/bin/time is needed (apt-get install time)" >&2; exit 1; }

have_quillon=1
if [[ ! -x $quillon ]]; then
  have_quillon=0
  echo "NOTE: $quillon is not built; timing only git mailsplit and the floor program."
  echo "      Build it with: cmake --preset release && cmake --build build/release -j2"
fi

mkdir -p "$work"
mailbox=$work/qc-bench-256m.mbx
offsets=$work/qc-bench-256m.off
out=$work/out
stats=$(mktemp)
trap 'rm -f "$stats"; if ((keep == 0)); then rm -rf "$out"; fi' EXIT

generate() {  # path size count
  if [[ ! -s $1 ]]; then
    echo "Generating $1 ..."
    "$bench_bin/gen_mailbox" --size "$2" --count "$3" --seed 1 "$1"
  fi
}

# once NAME OUTDIR COMMAND...: one timed run; keeps the best wall-clock seconds, the least CPU
# seconds (user and system: on a shared machine they say more about the code than the wall clock
# does) and the highest peak RSS of NAME. OUTDIR is emptied (and created, as git mailsplit wants
# it to exist) first.
declare -A best cpu rss
once() {
  local name=$1 dir=$2
  shift 2
  local start end seconds kib used
  rm -rf "$dir"
  mkdir -p "$dir"
  start=$(date +%s%N)
  /usr/bin/time -f '%M %U %S' -o "$stats" "$@" >/dev/null
  end=$(date +%s%N)
  seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
  read -r kib user system < <(tail -n 1 "$stats")
  used=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
  if [[ -z ${best[$name]:-} ]] || awk -v s="$seconds" -v b="${best[$name]}" 'BEGIN { exit !(s < b) }'; then
    best[$name]=$seconds
  fi
  if [[ -z ${cpu[$name]:-} ]] || awk -v s="$used" -v b="${cpu[$name]}" 'BEGIN { exit !(s < b) }'; then
    cpu[$name]=$used
  fi
  if ((kib > ${rss[$name]:-0})); then rss[$name]=$kib; fi
}

# measure NAME OUTDIR COMMAND...: $runs runs of one tool.
measure() {
  local i
  for ((i = 1; i <= runs; i++)); do once "$@"; done
}

count_files() { find "$1" -type f | wc -l; }

if ((corpus)); then
  mailbox=$work/qc-corpus-256m.mbx
  offsets=$work/qc-corpus-256m.off
  [[ -s $mailbox ]] || "$root/bench/corpus_mailbox.sh" 256M "$mailbox"
else
  generate "$mailbox" 256M 75000
fi
size=$(stat -c %s "$mailbox")
"$bench_bin/floor_split" offsets "$mailbox" >"$offsets"
messages=$(wc -l <"$offsets")
echo "Mailbox: $mailbox ($size bytes, $messages messages); best of $runs runs"
echo

measure "floor_split offsets" "$out/offsets" "$bench_bin/floor_split" offsets "$mailbox"
# The tools take turns, so that a busy moment of the machine does not fall on one of them only.
# --keep-cr: copy the lines as they stand, as the converter does, instead of rewriting CR LF.
for ((i = 1; i <= runs; i++)); do
  once "floor_split split" "$out/floor" "$bench_bin/floor_split" split "$mailbox" "$offsets" "$out/floor"
  once "floor_split split 2" "$out/floor2" "$bench_bin/floor_split" split "$mailbox" "$offsets" "$out/floor2" 2
  once "git mailsplit --keep-cr" "$out/mailsplit" git mailsplit --keep-cr -o"$out/mailsplit" "$mailbox"
  if ((have_quillon)); then
    once "quillon-convert" "$out/quillon" "$quillon" --quiet --format eml --output "$out/quillon" "$mailbox"
  fi
  if [[ -n $against ]]; then
    once "the other build" "$out/against" "$against" --quiet --format eml --output "$out/against" "$mailbox"
  fi
done
floor_files=$(count_files "$out/floor")
floor2_files=$(count_files "$out/floor2")
mailsplit_files=$(count_files "$out/mailsplit")
if ((have_quillon)); then quillon_files=$(count_files "$out/quillon"); fi

printf '%-26s %12s %14s %8s\n' "tool" "seconds" "peak RSS MiB" "files"
row() { printf '%-26s %12s %14.1f %8s\n' "$1" "${best[$1]}" "$(awk -v k="${rss[$1]}" 'BEGIN { print k / 1024 }')" "$2"; }
row "floor_split offsets" "-"
row "floor_split split" "$floor_files"
row "floor_split split 2" "$floor2_files"
row "git mailsplit --keep-cr" "$mailsplit_files"
if ((have_quillon)); then row "quillon-convert" "$quillon_files"; fi
if [[ -n $against ]]; then row "the other build" "$(count_files "$out/against")"; fi
echo

status=0
for n in "$floor_files" "$floor2_files" "$mailsplit_files"; do
  if ((n != messages)); then
    echo "MISMATCH: a tool wrote $n files for $messages messages"
    status=1
  fi
done

if ((have_quillon)); then
  ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
  within() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }' && echo "ok" || echo "MISSED"; }
  to_mailsplit=$(ratio "${best[quillon-convert]}" "${best[git mailsplit --keep-cr]}")
  to_floor=$(ratio "${best[quillon-convert]}" "${best[floor_split split]}")
  to_floor2=$(ratio "${best[quillon-convert]}" "${best[floor_split split 2]}")
  peak=$(awk -v k="${rss[quillon-convert]}" 'BEGIN { printf "%.1f", k / 1024 }')
  echo "quillon / mailsplit: $to_mailsplit  (goal <= 1.0: $(within "$to_mailsplit" 1.0))"
  echo "quillon / floor:     $to_floor  (goal <= 1.2: $(within "$to_floor" 1.2))"
  echo "quillon / floor with two threads: $to_floor2  (goal <= 1.1: $(within "$to_floor2" 1.1))"
  if [[ -n $against ]]; then
    echo "quillon / the other build: $(ratio "${best[quillon-convert]}" "${best[the other build]}")"
  fi
  echo "quillon peak RSS:    $peak MiB  (goal <= 32: $(within "$peak" 32))"

  # The converter's files must be the floor program's, byte for byte.
  produced=$(find "$out/quillon" -name email-0.eml -printf '%h\n' | head -n 1)
  if [[ -z $produced ]]; then
    echo "MISMATCH: quillon-convert wrote no email-0.eml"
    status=1
  elif diff -rq "$out/floor" "$produced" >/dev/null; then
    echo "quillon-convert output is identical to the floor program's ($quillon_files files)"
  else
    echo "MISMATCH: quillon-convert output differs from the floor program's:"
    diff -rq "$out/floor" "$produced" | head -n 5
    status=1
  fi
fi

if ((stores && have_quillon)); then
  echo
  mbps() { awk -v b="$size" -v s="$1" 'BEGIN { printf "%.1f", b / s / 1e6 }'; }
  mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
  atleast() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b) }' && echo "ok" || echo "MISSED"; }
  # Goals: .pst at least 110 MB/s and .msg at least 90 MB/s (.pst within four times the .eml
  # form's time), peak memory at most 64 MiB.
  declare -A goal=([pst]=110 [msg]=90)
  for form in pst msg; do
    measure "quillon-convert $form" "$out/$form" "$quillon" --quiet --format $form --output "$out/$form" "$mailbox"
    if [[ -n $against ]]; then
      measure "the other build $form" "$out/against-$form" "$against" --quiet --format $form --output "$out/against-$form" "$mailbox"
    fi
    rate=$(mbps "${best[quillon-convert $form]}")
    peak=$(mib "${rss[quillon-convert $form]}")
    echo ".$form: ${best[quillon-convert $form]} s (CPU ${cpu[quillon-convert $form]} s), $rate MB/s (goal >= ${goal[$form]}: $(atleast "$rate" "${goal[$form]}")), peak RSS $peak MiB (goal <= 64: $(within "$peak" 64))"
    if [[ -n $against ]]; then
      echo "  the other build: ${best[the other build $form]} s (CPU ${cpu[the other build $form]} s), $(mbps "${best[the other build $form]}") MB/s, peak RSS $(mib "${rss[the other build $form]}") MiB"
    fi
  done
  echo ".pst / .eml time: $(ratio "${best[quillon-convert pst]}" "${best[quillon-convert]}") (goal <= 4)"
  store=$(find "$out/pst" -maxdepth 1 -name '*.pst' | head -n 1)
  store_size=$(stat -c %s "$store")
  echo ".pst store: $store_size bytes, $(ratio "$store_size" "$size") times the mailbox"
  if command -v pffexport >/dev/null; then
    rm -rf "$out/pffexport.export"
    start=$(date +%s%N)
    pffexport -q -f all -t "$out/pffexport" "$store" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    read_back=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
    echo "pffexport reads it back in $read_back s: ours / pffexport = $(ratio "${best[quillon-convert pst]}" "$read_back") (goal <= 1.0)"
    rm -rf "$out/pffexport.export"
  fi
fi

if ((big)); then
  echo
  if ((have_quillon)); then
    big_mailbox=$work/qc-bench-1g.mbx
    generate "$big_mailbox" 1G 300000
    saved_runs=$runs
    runs=1
    measure "quillon-convert 1 GiB" "$out/quillon-big" "$quillon" --quiet --format eml --output "$out/quillon-big" "$big_mailbox"
    runs=$saved_runs
    printf '1 GiB mailbox: %s s, peak RSS %.1f MiB, %s files\n' "${best[quillon-convert 1 GiB]}" \
      "$(awk -v k="${rss[quillon-convert 1 GiB]}" 'BEGIN { print k / 1024 }')" "$(count_files "$out/quillon-big")"
    rm -rf "$out/quillon-big"
  else
    echo "NOTE: --big skipped, quillon-convert is not built."
  fi
fi
exit "$status"
