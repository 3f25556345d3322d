#!/bin/sh
# The desktop window's speed with a 20,000-topic map, under Xvfb with real X input: first frame,
# frames while scrolling and panning, a keystroke in the in-place editor (limits: 500 ms, 16 ms,
# 16 ms), beside the first frame of the small example map. Needs what scripts/install-deps
# installs (Xvfb, xdotool, D-Bus) and a build with the GTK host.
#
#   bench/desktop.sh [path/to/quillmere] [TOPICS]      (default: build/quillmere, 20000)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
quillmere=${1:-build/quillmere}
[ -x "$quillmere" ] || { echo "no program at $quillmere (build first, or give its path)" >&2; exit 2; }
exec python3 "$here/desktop_bench.py" "$quillmere" "$here/.." "${2:-20000}"
