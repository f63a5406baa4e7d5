#!/usr/bin/env bash
# Builds the Debian package and checks that it holds the whole program folder, the links, the menu
# entry and the icons, and that it declares what the program needs at run time.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$TREVALON_BINARY_DIR" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || {
    cat "$work/cpack.log"; exit 1; }
package=$(ls "$work"/trevalon_*.deb)

contents=$(dpkg-deb -c "$package")
info=$(dpkg-deb -I "$package")
fail=0
for path in ./usr/lib/trevalon/trevalon ./usr/lib/trevalon/trevalon-batch \
            ./usr/lib/trevalon/data/conv ./usr/lib/trevalon/help.html ./usr/lib/trevalon/sound.wav \
            ./usr/share/applications/trevalon.desktop \
            ./usr/share/icons/hicolor/scalable/apps/trevalon.svg \
            ./usr/share/icons/hicolor/48x48/apps/trevalon.png; do
    grep -qF " $path" <<<"$contents" || { echo "missing from the package: $path"; fail=1; }
done
for link in trevalon trevalon-batch; do
    grep -qE " \./usr/bin/$link -> \.\./lib/trevalon/$link\$" <<<"$contents" ||
        { echo "missing link: /usr/bin/$link"; fail=1; }
done
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
for needed in ffmpeg libqt6widgets6 libqt6multimedia6 libqt6network6 libopencore-amrnb0 libtag1v5; do
    grep -qw "$needed" <<<"$depends" || { echo "not declared: $needed (Depends: $depends)"; fail=1; }
done
grep -q '^ Package: trevalon$' <<<"$info" || { echo "wrong package name"; fail=1; }
[ "$fail" = 0 ] && echo "package ok: $(basename "$package")"
exit "$fail"
