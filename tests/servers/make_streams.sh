#!/bin/sh
# Makes the H.264 test streams (Annex-B, 25 frames a second, an IDR picture
# every second) in the folder $1 with Debian's ffmpeg; files already there
# are kept. Solid colours at SD size, so a tile's pixels can be checked
# against the colour, and moving test pictures (the last one made is
# moving.h264, which the build waits for).
set -e
out=$1
mkdir -p "$out"
make() { # name lavfi-source
  [ -s "$out/$1.h264" ] && return 0
  ffmpeg -loglevel error -nostdin -y -f lavfi -i "$2" -t 4 -pix_fmt yuv420p \
    -c:v libx264 -preset veryfast -profile:v main -g 25 -keyint_min 25 -sc_threshold 0 -bsf:v h264_mp4toannexb \
    -f h264 "$out/$1.h264.tmp"
  mv "$out/$1.h264.tmp" "$out/$1.h264"
}
for c in red green blue white; do
  make $c color=c=$c:size=720x576:rate=25
done
make sd testsrc2=size=720x576:rate=25
make moving testsrc=size=640x480:rate=25
make yellow_small color=c=yellow:size=320x180:rate=25
