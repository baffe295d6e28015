#!/bin/sh
# Renders the application icon and the cable diagram from their SVG sources.
# Run from anywhere after editing an SVG; the PNGs are checked in.
set -eu
cd "$(dirname "$0")"
mkdir -p icons

rsvg-convert -w 16 -h 16 tolmera-reader-16.svg -o icons/tolmera-reader-16.png
for size in 22 24; do
    rsvg-convert -w "$size" -h "$size" tolmera-reader-small.svg -o "icons/tolmera-reader-$size.png"
done
for size in 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" tolmera-reader.svg -o "icons/tolmera-reader-$size.png"
done

rsvg-convert -w 383 -h 210 cable.svg -o cable.png
