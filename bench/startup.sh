#!/bin/bash
# Start-up: the whole-process time of rendering a one-topic map to PNG and to PDF, beside
# graphviz's dot drawing a one-node graph to the same format, in one run. The two programs take
# turns, run by run, so that a change of load on a shared machine reaches both alike; the median
# and the mean per run are printed in milliseconds.
#
#   bench/startup.sh [path/to/quillmere] [N]      (default: build/quillmere, 50 runs)
#
# On a busy machine, running it as root under `chrt -f 50` keeps other work from taking the
# programs' cores; both programs get the same treatment.
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
command -v dot >/dev/null 2>&1 && have_dot=1 || have_dot=0

# Microseconds that "$@" takes, its output discarded (bash's clock: no process is started to
# read it).
once() {
  local start=${EPOCHREALTIME/[.,]/} end
  "$@" >/dev/null 2>&1
  end=${EPOCHREALTIME/[.,]/}
  echo $((end - start))
}

# The median and mean milliseconds of the microsecond figures in file $1.
summary() {
  sort -n "$1" | awk '{ t[NR] = $1; sum += $1 }
    END { printf "median %6.1f ms   mean %6.1f ms   (%d runs)\n", t[int((NR + 1) / 2)] / 1000, sum / NR / 1000, NR }'
}

echo "cores: $(nproc)   load: $(cut -d' ' -f1-3 /proc/loadavg)"
for format in png pdf; do
  # One untimed run each warms the page cache.
  "$quillmere" render "$work/one.txt" -o "$work/one.$format" >/dev/null 2>&1 || { echo "quillmere failed" >&2; exit 1; }
  [ $have_dot = 0 ] || dot -T$format "$work/one.dot" -o "$work/dot.$format" >/dev/null 2>&1 || have_dot=0
  : > "$work/q.times"
  : > "$work/d.times"
  i=0
  while [ $i -lt "$runs" ]; do
    once "$quillmere" render "$work/one.txt" -o "$work/one.$format" >> "$work/q.times"
    [ $have_dot = 0 ] || once dot -T$format "$work/one.dot" -o "$work/dot.$format" >> "$work/d.times"
    i=$((i + 1))
  done
  printf 'quillmere render one topic -> %s: %s\n' "$(echo $format | tr a-z A-Z)" "$(summary "$work/q.times")"
  if [ $have_dot = 1 ]; then
    printf 'dot -T%s one node:                %s\n' "$format" "$(summary "$work/d.times")"
  else
    echo "dot is not installed: no reference"
  fi
done
