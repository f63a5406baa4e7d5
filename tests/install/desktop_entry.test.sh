#!/usr/bin/env bash
# The menu entry is valid for desktop environments and names the installed program and icon.
set -euo pipefail
entry="$TREVALON_SOURCE_DIR/resources/trevalon.desktop"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry"
fi
grep -qx 'Exec=trevalon' "$entry"
grep -qx 'Icon=trevalon' "$entry"
grep -qx 'Type=Application' "$entry"
grep -Eq '^Categories=.*AudioVideo;.*Audio;' "$entry"
echo "desktop entry ok"
