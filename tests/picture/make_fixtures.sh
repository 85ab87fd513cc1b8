#!/usr/bin/env bash
# Writes the picture fixtures in fixtures/ with ImageMagick (and python3 for
# the icon that wraps a PNG image). The files are committed; run this again
# only to change them. Every picture shows the same four quadrants of a
# 40 x 24 picture: red top-left, lime top-right, blue bottom-left, white
# bottom-right (the palette ones keep those colours exactly).
set -euo pipefail
cd "$(dirname "$0")/fixtures"

quad() { # extra convert options before the output name
  convert -size 40x24 xc:white -fill red -draw 'rectangle 0,0 19,11' \
    -fill lime -draw 'rectangle 20,0 39,11' -fill blue -draw 'rectangle 0,12 19,23' "$@"
}
two() { # black and white halves (left black)
  convert -size 40x24 xc:white -fill black -draw 'rectangle 0,0 19,23' "$@"
}

quad -type TrueColor BMP3:quad-24.bmp
# More than 16 colours make ImageMagick write 8 bits per pixel: a grey ramp in
# the bottom row of the white quadrant.
quad \( -size 19x1 gradient:gray20-gray80 \) -geometry +21+23 -composite -type Palette -compress None BMP3:quad-8.bmp
quad -type Palette -compress RLE BMP3:quad-rle8.bmp
quad -type Palette -compress None BMP3:quad-4.bmp
two -type Bilevel BMP3:two-1.bmp
quad -type TrueColor -define bmp:format=bmp2 BMP2:quad-os2.bmp
quad -alpha off -define bmp:subtype=RGB565 BMP:quad-565.bmp
# Alpha: the top-left quadrant half transparent.
quad -alpha on -channel A -fx 'i<20&&j<12?0.5:1' +channel BMP:quad-alpha.bmp

quad -quality 95 -sampling-factor 1x1 JPG:quad-baseline.jpg
quad -quality 95 -sampling-factor 1x1 -interlace Plane JPG:quad-progressive.jpg
quad -quality 95 -colorspace Gray JPG:quad-grey.jpg
quad -quality 95 -colorspace CMYK JPG:quad-cmyk.jpg

# Progressive photo-like pictures from each encoder installed here (cjpeg,
# jpegtran: package libjpeg-turbo-progs; ImageMagick), a little larger than
# the 200 x 200 visible part and of odd sizes.
convert -size 263x229 -seed 7 plasma:fractal -blur 0x1 photo.ppm
cjpeg -progressive -quality 85 -outfile photo-cjpeg-progressive.jpg photo.ppm
# A script of many small scans with successive approximation, 4:2:2.
cat > scans.txt <<'SCANS'
0,1,2: 0-0, 0, 2;
0: 1-2, 0, 2;
0: 3-9, 0, 1;
0: 10-63, 0, 2;
1: 1-63, 0, 1;
2: 1-63, 0, 1;
0,1,2: 0-0, 2, 1;
0,1,2: 0-0, 1, 0;
0: 1-2, 2, 1;
0: 1-9, 1, 0;
0: 10-63, 2, 1;
0: 10-63, 1, 0;
1: 1-63, 1, 0;
2: 1-63, 1, 0;
SCANS
cjpeg -scans scans.txt -sample 2x1 -quality 90 -outfile photo-cjpeg-scans.jpg photo.ppm
cjpeg -progressive -restart 2 -sample 1x1 -quality 80 -outfile photo-cjpeg-restart.jpg photo.ppm
convert photo.ppm -quality 85 -sampling-factor 4:2:0 -interlace Plane JPG:photo-magick-plane.jpg
convert photo.ppm -quality 85 -colorspace Gray -interlace Plane JPG:photo-magick-grey.jpg
convert photo.ppm -quality 85 -colorspace CMYK -interlace Plane JPG:photo-magick-cmyk.jpg
# A baseline 4:2:2 picture with restart markers made progressive losslessly.
convert photo.ppm -quality 75 -sampling-factor 2x1 -define jpeg:restart-interval=3 JPG:- | jpegtran -progressive -outfile photo-jpegtran-progressive.jpg
cjpeg -quality 85 -outfile photo-baseline.jpg photo.ppm
rm -f photo.ppm scans.txt

# Icons: a 16 x 16 and a 32 x 32 image; the larger must be chosen.
quad -resize 16x16! -type TrueColor ico16.png
quad -resize 32x32! -filter point -type TrueColor ico32.png
convert ico16.png ico32.png -alpha off ICO:quad-dib.ico
rm -f ico16.png ico32.png
# 16 x 16, 4 bits per pixel, the top-left 8 x 8 transparent through the AND mask.
convert -size 16x16 xc:white -fill lime -draw 'rectangle 8,0 15,7' -fill blue -draw 'rectangle 0,8 7,15' \
  -alpha set -channel A -fx 'i<8&&j<8?0:1' +channel -type PaletteAlpha ICO:mask-4.ico
# Two 16 x 16 images, the 4-bit one above and an all-lime 32-bit one, with
# the directory's depths cleared: the deeper one must be chosen by the depth in
# its own header.
convert -size 16x16 xc:lime -type TrueColor ICO:lime-32.ico
python3 - <<'PY'
import struct
def image(name):
    d = open(name, 'rb').read()
    w, h, c, r, planes, bpp, size, offset = struct.unpack_from('<BBBBHHII', d, 6)
    return (w, h, c, r, planes), d[offset:offset + size]
images = [image('mask-4.ico'), image('lime-32.ico')]
out = struct.pack('<HHH', 0, 1, len(images))
offset = 6 + 16 * len(images)
for (w, h, c, r, planes), data in images:
    out += struct.pack('<BBBBHHII', w, h, c, r, planes, 0, len(data), offset)
    offset += len(data)
open('deepest.ico', 'wb').write(out + b''.join(data for _, data in images))
PY
rm -f lime-32.ico
# A 24 x 24 PNG image with a half-transparent top-left quadrant inside an icon directory.
# The same as an interlaced PNG.
quad -resize 24x24! -filter point -alpha on -channel A -fx 'i<12&&j<12?0.5:1' +channel PNG32:icon-png.png
quad -resize 24x24! -filter point -alpha on -channel A -fx 'i<12&&j<12?0.5:1' +channel -interlace PNG \
  PNG32:icon-png-interlaced.png
python3 - <<'PY'
import struct
for png_name, ico_name in (('icon-png.png', 'quad-png.ico'), ('icon-png-interlaced.png', 'quad-png-interlaced.ico')):
    png = open(png_name, 'rb').read()
    entry = struct.pack('<BBBBHHII', 24, 24, 0, 0, 1, 32, len(png), 6 + 16)
    open(ico_name, 'wb').write(struct.pack('<HHH', 0, 1, 1) + entry + png)
PY
rm -f icon-png.png icon-png-interlaced.png

# large-coefficients.jpg is not written here: it is quad-progressive.jpg
# with symbols of an AC Huffman table changed by fuzzing, so that the scans
# decode to coefficients of more than 10 bits.

# malformed-refinement-scans.jpg is not written here: it is the header of a
# 9000 x 9000 grey progressive JPEG written by libjpeg (jpeg_simple_progression,
# optimised Huffman tables, all pixels 128: SOI to the first SOS), then its
# AC refinement scan (DHT and SOS with Ss 1, Se 63, Ah 2, Al 1, and its
# 109 bytes of data) 30 times, then EOI.
