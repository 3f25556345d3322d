#!/bin/sh
# Start-up: the whole-process time of rendering a one-topic map to PNG, beside graphviz's dot
# drawing a one-node graph to PNG, in one run. Each is run N times in turn; the median and the
# mean per run are printed in milliseconds.
#
#   bench/startup.sh [path/to/quillmere] [N]      (default: build/quillmere, 50 runs)
#
# Needs dot (apt-get install graphviz) for the reference; without it only quillmere is timed.
set -eu
quillmere=${1:-build/quillmere}
runs=${2:-50}
[ -x "$quillmere" ] || { echo "no program at $quillmere (build first, or give its path)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
printf 'One topic\n' > "$work/one.txt"
printf 'digraph { a [label="One topic"] }\n' > "$work/one.dot"

# Runs "$@" $runs times and prints the median and mean milliseconds per run.
timed() {
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }  # warm the page cache
  i=0
  while [ $i -lt "$runs" ]; do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    echo $(( (end - start) / 1000 ))
    i=$((i + 1))
  done | sort -n | awk '{ t[NR] = $1; sum += $1 }
    END { printf "median %6.1f ms   mean %6.1f ms   (%d runs)\n", t[int((NR + 1) / 2)] / 1000, sum / NR / 1000, NR }'
}

echo "cores: $(nproc)   load: $(cut -d' ' -f1-3 /proc/loadavg)"
printf 'quillmere render one topic -> PNG: '
timed "$quillmere" render "$work/one.txt" -o "$work/one.png"
if command -v dot >/dev/null 2>&1; then
  printf 'dot -Tpng one node:                '
  timed dot -Tpng "$work/one.dot" -o "$work/dot.png"
else
  echo "dot is not installed: no reference"
fi
