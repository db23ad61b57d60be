#!/usr/bin/env bash
# Times the .msg path (import + .msg writing) against msgconvert turning the same .msg files
# back into MIME, on the first N messages of the generated 256 MiB mailbox.
#
#   bench/msg_compare.sh [N]   (default 3000)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
count=${1:-3000}
work=/dev/shm/qc-msg-bench
box=/dev/shm/qc-bench/qc-bench-256m.mbx
bin=$root/build/bench/bench
[[ -x $bin/msg_bench ]] || (cd "$root" && cmake --preset bench >/dev/null && cmake --build build/bench -j2 --target msg_bench gen_mailbox >/dev/null)
[[ -f $box ]] || "$bin/gen_mailbox" --size 256M --count 75000 --seed 1 "$box"
command -v msgconvert >/dev/null || { echo "msgconvert is not installed"; exit 1; }

rm -rf "$work"; mkdir -p "$work/msg" "$work/eml"
echo "import + .msg writing:"
"$bin/msg_bench" "$box" "$work/msg" "$count" | tee "$work/ours.txt"
ours=$(awk '{for (i = 1; i <= NF; i++) if ($i == "s:") print $(i - 1)}' "$work/ours.txt")

echo "msgconvert on the same $count .msg files:"
start=$(date +%s.%N)
(cd "$work/eml" && find "$work/msg" -name '*.msg' -print0 | xargs -0 -n 200 msgconvert >/dev/null 2>&1)
end=$(date +%s.%N)
theirs=$(echo "$end - $start" | bc -l)
printf '%.3f s\n' "$theirs"
printf 'msgconvert / ours: %.1f (goal >= 20)\n' "$(echo "$theirs / $ours" | bc -l)"
