#!/bin/sh
# Whole-process time and peak memory of exporting generated maps, as bench/export_bench.cpp
# builds them (a central topic, 20 main topics, N/220 topics under each, 10 leaves under each of
# those), to PNG at full scale, JPEG and PDF.
#
#   bench/export_memory.sh [path/to/quillmere] [topics...]   (default: build/quillmere 1000 5000)
#
# Needs GNU time (/usr/bin/time, package "time").
set -eu
quillmere=${1:-build/quillmere}
[ $# -gt 0 ] && shift
sizes=${*:-1000 5000}
[ -x "$quillmere" ] || { echo "no program at $quillmere (build first, or give its path)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "GNU time is not installed (apt-get install time)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

outline() {
  awk -v per=$(( $1 / 220 )) 'BEGIN {
    print "Central topic"; n = 0
    for (m = 0; m < 20; m++) {
      printf "\tMain topic %d\n", m
      for (k = 0; k < per; k++) {
        printf "\t\tTopic number %d\n", ++n
        for (l = 0; l < 10; l++) printf "\t\t\tLeaf %d of topic %d\n", l, n
      }
    }
  }'
}

echo "cores: $(nproc)   load: $(cut -d' ' -f1-3 /proc/loadavg)"
for n in $sizes; do
  outline "$n" > "$work/map$n.txt"
  for ext in png jpg pdf; do
    /usr/bin/time -f "%e %M" -o "$work/time" "$quillmere" render "$work/map$n.txt" -o "$work/map$n.$ext"
    read -r seconds kib < "$work/time"
    printf '%6s topics -> %s: %6.2f s, peak %4d MiB\n' "$n" "$ext" "$seconds" $((kib / 1024))
  done
done
