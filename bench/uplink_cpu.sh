#!/usr/bin/env bash
# What the uplink adds to hubmonitor's live CPU: PAIRS runs of
# bench/link_cpu.sh without, then with, the uplink (UPLINK=1), alternated so
# that the machine's drift falls on both alike. Prints each pair and the mean,
# spread and largest of the difference, by the 100-Hz ticks and by the
# scheduler's own run time of every thread (finer: a 30-s run is only a few
# dozen ticks).
#   bench/uplink_cpu.sh [PAIRS] [CHURN] [SECONDS]   (defaults 8, 0, 30)
# CHURN as link_cpu.sh takes it: 0 is hubsim's random events alone, 16 the
# stress where every 16th record changes all its bytes (about 130 events a
# second through the uplink).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
pairs="${1:-8}"
churn="${2:-0}"
secs="${3:-30}"
out="$(mktemp)"
trap 'rm -f "$out"' EXIT

run() { # mode -> "ticks% threads%"
    local r ticks threads
    r="$(UPLINK="$1" "$here/link_cpu.sh" "$secs" "$churn" 2>&1)"
    ticks="$(sed -n 's/.*: \([0-9.]*\) % of one core (user.*/\1/p' <<<"$r")"
    threads="$(awk '/^  thread / { s += $(NF-4) } END { printf "%.3f", s }' <<<"$r")"
    [ -n "$ticks" ] || { echo "link_cpu.sh failed:" >&2; echo "$r" >&2; exit 1; }
    echo "$ticks $threads"
}

echo "pair  off: ticks / scheduler   on: ticks / scheduler   uplink adds: ticks / scheduler"
for i in $(seq "$pairs"); do
    read -r t0 s0 < <(run 0)
    read -r t1 s1 < <(run 1)
    echo "$t0 $s0 $t1 $s1" >>"$out"
    awk -v i="$i" '{ printf "%4d  %5.2f / %5.3f %%         %5.2f / %5.3f %%         %+5.2f / %+6.3f %%\n", i, $1, $2, $3, $4, $3 - $1, $4 - $2 }' <<<"$t0 $s0 $t1 $s1"
done
python3 - "$out" <<'PY'
import statistics, sys
rows = [[float(x) for x in line.split()] for line in open(sys.argv[1])]
for name, d in (("ticks", [r[2] - r[0] for r in rows]), ("scheduler", [r[3] - r[1] for r in rows])):
    sd = statistics.stdev(d) if len(d) > 1 else 0.0
    print("uplink adds by the %s: mean %+.3f %%, sd %.3f, from %+.3f to %+.3f %%, %d of %d pairs over +0.5 %%"
          % (name, statistics.mean(d), sd, min(d), max(d), sum(x > 0.5 for x in d), len(d)))
PY
