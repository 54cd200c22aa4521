#!/usr/bin/env bash
# Renders Tessor's pictures from their SVG sources in this folder. The
# rendered files are committed, so a build needs neither tool; run this after
# changing a source. Needs rsvg-convert (librsvg2-bin) and ImageMagick.
#
#   tessor-N.png        program icon, N x N (hicolor sizes); tessor-small.svg
#                       below 32 pixels, where the full picture blurs
#   logo.png            about box logo, 128 x 128
#   about.png           the main window's 32 x 32 picture that opens the about
#                       box (about@2x.png for high-density screens)
#   tree-*.png          the tree's icons 0 (cd), 1 (folder), 2 (file), 16 x 16
#                       (and @2x)
#   Tessoradv.gif       the offline banner, 468 x 60
set -euo pipefail
cd "$(dirname "$0")"

png() {  # png SOURCE SIZE OUTPUT
    rsvg-convert -w "$2" -h "$2" -o "$3" "$1"
}

for size in 16 22 24; do png tessor-small.svg "$size" "tessor-$size.png"; done
for size in 32 48 64 128 256; do png tessor.svg "$size" "tessor-$size.png"; done
png logo.svg 128 logo.png
png about.svg 32 about.png
png about.svg 64 about@2x.png
for kind in cd folder file; do
    png "tree-$kind.svg" 16 "tree-$kind.png"
    png "tree-$kind.svg" 32 "tree-$kind@2x.png"
done
# A GIF has 256 colours and no partial transparency: the banner is opaque.
rsvg-convert -w 468 -h 60 banner.svg |
    convert png:- +repage -dither FloydSteinberg -colors 256 Tessoradv.gif
echo "render.sh: pictures written to $(pwd)"
