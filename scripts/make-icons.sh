#!/usr/bin/env bash
# Renders the application icon's PNG sizes from resources/icons/trevalon.svg (needs librsvg2-bin).
# The PNGs are committed, so building needs nothing of this.
set -euo pipefail
cd "$(dirname "$0")/../resources/icons"
for size in 16 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" trevalon.svg -o "trevalon-$size.png"
done
