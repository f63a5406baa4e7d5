#!/usr/bin/env bash
# Installs into a temporary prefix and starts both programs through their links in <prefix>/bin:
# each must find its program folder (the converter, the help page, the sound) through the real
# path of its executable.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
cmake --install "$TREVALON_BINARY_DIR" --prefix "$prefix" >"$work/install.log"

program_dir="$prefix/lib/trevalon"
for file in trevalon trevalon-batch data/conv help.html sound.wav; do
    [ -e "$program_dir/$file" ] || { echo "not installed: $program_dir/$file"; exit 1; }
done
for link in trevalon trevalon-batch; do
    [ -L "$prefix/bin/$link" ] || { echo "no link $prefix/bin/$link"; exit 1; }
done

# The command-line program through its link: the commands it builds name the installed converter.
# A home and runtime folder of its own: no settings, caches or instance lock of anyone else's.
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" "$work/in"
mkdir -m 700 "$XDG_RUNTIME_DIR"
: >"$work/in/song.wav"
line=$("$prefix/bin/trevalon-batch" --dry-run --settings-dir "$work/in" --output "$work/out" \
    "$work/in/song.wav")
expected="$program_dir/data/conv -threads 1 -i \"$work/in/song.wav\" -y -vn -ab 128k -ar 44100 -ac 2 \"$work/out/song.mp3\""
[ "$line" = "$expected" ] || { echo "got:      $line"; echo "expected: $expected"; exit 1; }

# A real conversion through the installed converter.
ffmpeg -loglevel error -f lavfi -i "sine=duration=1" "$work/in/tone.wav"
"$prefix/bin/trevalon-batch" --quiet --format OGG --settings-dir "$work/in" --output "$work/out" \
    "$work/in/tone.wav" >/dev/null
[ -s "$work/out/tone.ogg" ] || { echo "the installed converter produced nothing"; exit 1; }

# The window through its link: it starts, stays up, and keeps its settings beside the program
# folder or in the user's configuration folder, never elsewhere.
QT_QPA_PLATFORM=offscreen "$prefix/bin/trevalon" >"$work/window.log" 2>&1 &
window=$!
sleep 2
if ! kill -0 "$window" 2>/dev/null; then
    echo "the window program exited early:"; cat "$work/window.log"; exit 1
fi
kill "$window"; wait "$window" 2>/dev/null || true
echo "install ok"
