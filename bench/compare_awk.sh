#!/usr/bin/env bash
# Whole-process comparison: dilateJobs against an awk one-liner that multiplies
# the same four fields of a 200,000-job instance file. Prints the best wall time
# of RUNS runs and the peak resident memory of each.
#   bench/compare_awk.sh [DILATEJOBS] [RUNS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
tool="${1:-$root/build/dilateJobs}"
runs="${2:-5}"
[ -x "$tool" ] || { echo "compare_awk: no executable $tool (build first)" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
input="$work/jobs.txt"
awk 'BEGIN {
  srand(1)
  for (i = 0; i < 200000; i++) {
    a = int(rand() * 100000); w = 10 + int(rand() * 990); c = 1 + int(rand() * 2)
    lo = 1 + int(rand() * int(w / 2)); hi = (c == 1) ? lo : lo + int(rand() * (w - lo + 1))
    print a, a + w, c, lo, hi
  }
}' > "$input"

# measure NAME STDOUT COMMAND...: best wall seconds and peak RSS (KiB) over $runs runs.
measure() {
  local name="$1" stdout="$2"; shift 2
  local best="" peak=0 t m
  for _ in $(seq "$runs"); do
    if [ -x /usr/bin/time ]; then
      /usr/bin/time -f '%e %M' -o "$work/time" "$@" > "$stdout"
      read -r t m < "$work/time"
    else
      read -r t m < <(python3 - "$stdout" "$@" <<'PY'
import resource, subprocess, sys, time
with open(sys.argv[1], "wb") as out:
    start = time.perf_counter()
    subprocess.run(sys.argv[2:], stdout=out, check=True)
print(f"{time.perf_counter() - start:.3f} {resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss}")
PY
)
    fi
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best="$t"; fi
    [ "$m" -gt "$peak" ] && peak="$m"
  done
  printf '%-12s best of %d: %6.3f s   peak RSS: %7d KiB\n' "$name" "$runs" "$best" "$peak"
  eval "${name//[^a-zA-Z]/_}_time=$best"
}

echo "input: 200000 jobs, $(wc -c < "$input") bytes; awk is $(readlink -f "$(command -v awk)")"
measure dilateJobs /dev/null "$tool" "$input" 3 "$work/out-tool.txt"
measure awk "$work/out-awk.txt" awk '{ print $1 * 3, $2 * 3, $3, $4 * 3, $5 * 3 }' "$input"
cmp -s "$work/out-tool.txt" "$work/out-awk.txt" && echo "outputs identical" || echo "outputs DIFFER"
if awk -v a="$dilateJobs_time" -v b="$awk_time" 'BEGIN { exit !(a < b) }'; then
  echo "dilateJobs is faster"
else
  echo "dilateJobs is NOT faster"
  exit 1
fi
