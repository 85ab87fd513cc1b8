#!/usr/bin/env bash
# Draws the demo story's pictures with ImageMagick. The results are committed;
# run this again only to change them.
set -euo pipefail
cd "$(dirname "$0")/dat"
mkdir -p pics

# The forest edge: sky, meadow and three trees (24-bit BMP).
convert -size 200x200 gradient:'#8ec9ff'-'#e8f6ff' \
  -fill '#5aa832' -draw 'rectangle 0,140 200,200' \
  -fill '#6b4226' -draw 'rectangle 36,110 44,150' -draw 'rectangle 96,96 104,150' -draw 'rectangle 156,114 164,150' \
  -fill '#1f7a35' -draw 'polygon 40,40 10,120 70,120' -draw 'polygon 100,20 62,108 138,108' -draw 'polygon 160,50 132,124 188,124' \
  -type TrueColor BMP3:forest.bmp

# Sunset between the trees (baseline JPEG), larger than the window: only its top-left part shows.
convert -size 320x260 gradient:'#ff8a3d'-'#5b2a86' \
  -fill '#ffd36b' -draw 'circle 120,150 120,110' \
  -fill '#1d1d2b' -draw 'polygon 0,260 0,120 30,200 60,90 95,210 140,100 175,200 210,80 260,220 320,130 320,260' \
  -quality 90 sunset.jpg

# The little house (an icon of two sizes; the larger one is shown, on the white panel).
convert -size 128x128 xc:none \
  -fill '#c0392b' -draw 'polygon 64,10 8,62 120,62' \
  -fill '#f5deb3' -draw 'rectangle 20,62 108,120' \
  -fill '#6b4226' -draw 'rectangle 54,84 74,120' \
  -fill '#87ceeb' -draw 'rectangle 30,74 46,90' -draw 'rectangle 82,74 98,90' \
  \( +clone -resize 32x32 \) pics/House.ico

# Inside: a warm room with a lamp (8-bit palette BMP, RLE8).
convert -size 200x200 xc:'#4a2f1b' \
  -fill '#7a5230' -draw 'rectangle 0,150 200,200' \
  -fill '#ffe08a' -draw 'circle 100,60 100,35' \
  -fill '#3b2412' -draw 'rectangle 96,85 104,150' \
  -type Palette -colors 16 -compress RLE BMP3:room.bmp
