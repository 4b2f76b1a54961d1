#!/bin/sh
# Regenerates the embedded pictures in resources/ with ImageMagick:
# the two lamp images (single colour, 584x480, 24-bit RGB) and the
# application icon (512x512: a laser beam leaving an emitter).
set -eu
cd "$(dirname "$0")/../resources"

convert -size 584x480 xc:'#00FF00' -type TrueColor -define png:color-type=2 PNG24:green.png
convert -size 584x480 xc:'#ED1C24' -type TrueColor -define png:color-type=2 PNG24:red.png

# Icon: dark rounded tile, a grey emitter block on the left, a red beam with
# a bright core running to a starburst on the right.
convert -size 512x512 xc:none \
  -fill '#1B2430' -draw 'roundrectangle 16,16 496,496 72,72' \
  -fill '#8A96A8' -draw 'roundrectangle 60,196 196,316 18,18' \
  -fill '#5A6678' -draw 'rectangle 196,226 226,286' \
  -fill '#ED1C24' -draw 'rectangle 226,236 430,276' \
  -fill '#FF8A8A' -draw 'rectangle 226,250 430,262' \
  -fill '#FFE4E4' -draw 'circle 430,256 470,256' \
  -fill '#ED1C24' -draw 'polygon 430,176 446,240 510,256 446,272 430,336 414,272 350,256 414,240' \
  -fill '#FFFFFF' -draw 'circle 430,256 448,256' \
  -depth 8 PNG32:korvex_icon.png

# ImageMagick refuses icon entries above 256 pixels, so the .ico is put
# together here: a 6-byte header and one 16-byte directory entry (size 0 =
# "256 or more"; readers take the real size from the PNG) followed by the
# 512x512 PNG itself.
le16() { printf "\\$(printf %03o $(($1 & 255)))\\$(printf %03o $((($1 >> 8) & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $((($1 >> 16) & 65535)); }
size=$(wc -c < korvex_icon.png)
{
  le16 0; le16 1; le16 1
  printf '\000\000\000\000'; le16 1; le16 32; le32 "$size"; le32 22
  cat korvex_icon.png
} > korvex_ico.ico

# The icon at the sizes of the hicolor theme, for the desktop entry; the
# package installs icons/<size>/korvex.png as
# share/icons/hicolor/<size>x<size>/apps/korvex.png. No time stamps inside,
# so that regenerating changes nothing.
for size in 16 22 24 32 48 64 128 256 512; do
  mkdir -p icons/$size
  convert korvex_icon.png -filter Lanczos -resize ${size}x${size} -strip \
    -define png:exclude-chunks=date,time -depth 8 PNG32:icons/$size/korvex.png
done
