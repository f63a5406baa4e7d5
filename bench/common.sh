# Shared by the benchmark scripts (sourced, not run): the build, a work folder removed on exit,
# the clock, medians, and the plain ffmpeg command lines a batch stands beside.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${TREVALON_BINARY_DIR:-$root/build}" && pwd)
batch=$build/bin/trevalon-batch
conv=$build/bin/data/conv
rounds=${ROUNDS:-3}
for tool in "$batch" "$conv"; do
    [ -x "$tool" ] || { echo "$tool is missing: build first (scripts/build.sh)" >&2; exit 2; }
done
for tool in ffmpeg parallel; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done
work=$(mktemp -d)
cleanup_steps=()
cleanup() {
    local step
    for step in "${cleanup_steps[@]}"; do eval "$step" || true; done
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/settings"

now() { date +%s%N; }
elapsed_ms() { echo $(( ($(now) - $1) / 1000000 )); }
median() { sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
ratio() { awk -v x="$1" -v y="$2" 'BEGIN {printf "%.3f", x / y}'; }
load() { cut -d' ' -f1 /proc/loadavg; }

# A generated clip: a tone over a little noise, stereo.
make_clip() { # seconds path
    ffmpeg -nostdin -loglevel error -f lavfi -i "sine=frequency=440:duration=$1" \
        -f lavfi -i "anoisesrc=duration=$1:amplitude=0.05" -filter_complex amix=inputs=2 -ac 2 "$2"
}

# The converter command lines trevalon-batch would run for the sources, with plain ffmpeg in the
# converter's place: the same arguments, output to the given folder. One shell line each.
ffmpeg_lines() { # output-folder trevalon-batch-options... -- sources...
    local out=$1; shift
    "$batch" --dry-run --settings-dir "$work/settings" --output "$out" "$@" |
        awk -v conv="$conv" 'index($0, conv " ") == 1 {
            print "ffmpeg -nostdin -loglevel error" substr($0, length(conv) + 1) }'
}
