#!/usr/bin/env bash
# Starts the real program on a virtual X server and checks what the user sees: the window appears
# centred, no magenta pixel of the skin shows inside it, its transparent corners show the desktop;
# a second start while it runs leaves at once and touches no file. Without a display it says so in
# one line and ends with an error instead of Qt's abort.
set -euo pipefail
program_dir=${TREVALON_PROGRAM_DIR:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
work=$1
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb
program="$work/program/trevalon"
# A desktop colour of its own, so the window's transparent corners can be told from the skin.
convert -size 1024x768 xc:'#5B6E78' "$work/desktop.png"
display -window root "$work/desktop.png" 2>/dev/null || true # sets the backdrop, then reports 1
"$program" >"$work/first.log" 2>&1 &
first=$!
trap 'kill $first 2>/dev/null || true' EXIT
window=""
for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --name '^Trevalon$' 2>/dev/null | head -1) && [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "FAIL: the window did not appear"; exit 1; }
sleep 1
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "window ${WIDTH}x${HEIGHT}+${X}+${Y}"
[ "$WIDTH" = 700 ] && [ "$HEIGHT" = 500 ] || { echo "FAIL: window size"; exit 1; }
[ "$X" = 162 ] && [ "$Y" = 134 ] || { echo "FAIL: window not centred on 1024x768"; exit 1; }
import -window root "$work/screen.png"
convert "$work/screen.png" -crop "700x500+$X+$Y" +repage "$work/window.png"

magenta=$(convert "$work/window.png" -fill black +opaque '#FF00FF' -fill white -opaque '#FF00FF' \
    -format '%[fx:round(mean*w*h)]' info:)
echo "magenta pixels inside the window: $magenta"
[ "$magenta" = 0 ] || { echo "FAIL: magenta shows"; exit 1; }
corner=$(convert "$work/window.png" -format '%[pixel:p{0,0}]' info:)
desktop=$(convert "$work/screen.png" -format '%[pixel:p{5,5}]' info:)
echo "corner $corner, desktop $desktop"
[ "$corner" = "$desktop" ] || { echo "FAIL: the corner is not transparent"; exit 1; }

# A second start while the first runs: it ends at once, shows nothing, writes nothing.
before=$(cd "$work" && find program home runtime -printf '%p %s %T@\n' | sort)
start_ms=$(date +%s%3N)
timeout 10 "$program" >"$work/second.log" 2>&1
status=$?
elapsed=$(( $(date +%s%3N) - start_ms ))
after=$(cd "$work" && find program home runtime -printf '%p %s %T@\n' | sort)
echo "second start: status $status after $elapsed ms"
[ "$status" = 0 ] || { echo "FAIL: second start status"; exit 1; }
[ "$before" = "$after" ] || { echo "FAIL: the second start touched files"; diff <(echo "$before") <(echo "$after"); exit 1; }
[ "$(xdotool search --onlyvisible --name '^Trevalon$' | wc -l)" = 1 ] || { echo "FAIL: two windows"; exit 1; }
kill -0 $first || { echo "FAIL: the first copy ended"; exit 1; }
echo PASS
INNER

mkdir -p "$work/program" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
cp -r "$program_dir"/. "$work/program/"
rm -f "$work/program/setup.ini" "$work/program/options.ini"

for platform in "" xcb; do
    status=0
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM="$platform" HOME="$work/home" \
        XDG_RUNTIME_DIR="$work/runtime" timeout 10 "$work/program/trevalon" \
        >"$work/headless.out" 2>"$work/headless.err" || status=$?
    echo "without a display (platform '${platform}'): status $status: $(cat "$work/headless.err")"
    [ "$status" != 0 ] && [ "$status" -lt 128 ] || { echo "FAIL: status $status"; exit 1; }
    [ "$(wc -l <"$work/headless.err")" = 1 ] && [ ! -s "$work/headless.out" ] || { echo "FAIL: not one line"; exit 1; }
    for hint in "no display" "desktop session" "xvfb-run ./scripts/run.sh" "trevalon-batch"; do
        grep -qF "$hint" "$work/headless.err" || { echo "FAIL: no hint '$hint'"; exit 1; }
    done
done
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp -noreset" bash "$work/inner.sh" "$work"
