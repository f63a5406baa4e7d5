#!/usr/bin/env bash
# Takes a screenshot of the main window converting two files at once under a virtual X server:
# docs/two-at-once.png by default. Needs a build with its test tools (scripts/build.sh).
# Usage: scripts/screenshot-converting.sh [build-folder] [output.png]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=$(cd "${1:-build}" && pwd)
output=${2:-docs/two-at-once.png}
tool=$build_dir/tests/tools/converting_window_gui
[ -x "$tool" ] || { echo "build the test tools first (scripts/build.sh)" >&2; exit 2; }

work=$(mktemp -d)
cleanup() {
    [ -n "${app_pid:-}" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Long enough that both conversions are still under way when the picture is taken.
mkdir -p "$work/music" "$work/settings" "$work/output"
for name in "Morning Walk" "Harbour Lights" "Slow River" "Night Train" "Paper Boats"; do
    ffmpeg -hide_banner -loglevel error -f lavfi -i "sine=frequency=330:duration=900" -ac 2 \
        "$work/music/$name.wav"
done

display_number=$((90 + RANDOM % 400))
Xvfb ":$display_number" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display_number"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done 2>/dev/null || sleep 1
convert -size 1024x768 xc:'#5B6E78' "$work/desktop.png"
display -window root "$work/desktop.png" 2>/dev/null || true

QT_QPA_PLATFORM=xcb "$tool" "$build_dir/bin" "$work/settings" "$work/output" "$work"/music/*.wav \
    >"$work/log" 2>&1 &
app_pid=$!
for _ in $(seq 300); do grep -q '^converting' "$work/log" && break; sleep 0.1; done
grep -q '^converting' "$work/log" || { echo "the two conversions did not start" >&2; cat "$work/log" >&2; exit 1; }
sleep 2 # some progress in both rows and on the bar
window=$(xdotool search --onlyvisible --name '^Trevalon$' | head -1)
eval "$(xdotool getwindowgeometry --shell "$window")"
import -window root "$work/screen.png"
convert "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$output"
echo "window=${WIDTH}x${HEIGHT}+${X}+${Y}"
echo "wrote $output"
