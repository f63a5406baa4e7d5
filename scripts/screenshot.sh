#!/usr/bin/env bash
# Takes a screenshot of the main window under a virtual X server: docs/main-window.png by default.
# Usage: scripts/screenshot.sh [program-folder] [output.png] [full-screen-output.png]
set -euo pipefail
cd "$(dirname "$0")/.."
program_dir=${1:-build/bin}
output=${2:-docs/main-window.png}
screen_output=${3:-}

work=$(mktemp -d)
program_dir=$(cd "$program_dir" && pwd)
cleanup() {
    [ -n "${app_pid:-}" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

display_number=$((90 + RANDOM % 400))
Xvfb ":$display_number" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display_number"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done 2>/dev/null || sleep 1
# The background the window stands on, so its transparent corners show.
convert -size 1024x768 xc:'#5B6E78' "$work/desktop.png"
display -window root "$work/desktop.png" 2>/dev/null || true # sets the backdrop, then reports 1

# A copy of the program in a folder of its own, with the user's folders in the scratch folder,
# so the screenshot never reads or writes anyone's settings.
mkdir -p "$work/program" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
cp -r "$program_dir"/. "$work/program/"
HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb \
    "$work/program/trevalon" >/dev/null 2>&1 &
app_pid=$!

window=""
for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --name '^Trevalon$' 2>/dev/null | head -1) && [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 1 # the reveal tick and the first paint
eval "$(xdotool getwindowgeometry --shell "$window")"
import -window root "$work/screen.png"
[ -n "$screen_output" ] && cp "$work/screen.png" "$screen_output"
convert "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$output"
echo "window=${WIDTH}x${HEIGHT}+${X}+${Y}"
echo "wrote $output"
