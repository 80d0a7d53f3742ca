#!/usr/bin/env bash
# Makes the seed corpora of the fuzz targets with the standard tools
# (ImageMagick, mkfs.fat and mtools, sfdisk), fontgen, Dravik's builder and
# a board's first start-up:
#   make_seeds.sh OUT FUZZ_DIR SEED_BIN SEED_EEPROM FONTGEN FONT_TABLE "FACE_ARGS"
# OUT/<target>/ gets the seeds of each target.
set -euo pipefail
out=$1 src=$2 seed_bin=$3 seed_eeprom=$4 fontgen=$5 table=$6 faces=$7
export MTOOLS_SKIP_CHECK=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for t in command bmp gif jpeg sif image card eeprom dravik_bin dravik_macros dravik_fonts dravik_image; do
  mkdir -p "$out/fuzz_$t"
done

# Pictures: BMP in the depths and headers that tools write, GIF still,
# animated, interlaced, transparent and with a comment, and frames with and
# without a local colour table and a transparent colour.
cd "$work"
convert -size 13x7 gradient:red-blue BMP3:rgb24.bmp
convert -size 9x5 gradient:yellow-navy -type Palette -colors 200 BMP3:pal8.bmp
convert -size 11x6 gradient: -colors 12 -type Palette BMP3:pal4.bmp
convert -size 17x9 pattern:checkerboard -monochrome BMP3:mono.bmp
convert -size 20x8 xc:red -fill blue -draw 'rectangle 3,2 12,5' -type Palette -compress RLE BMP3:rle8.bmp
convert -size 10x6 gradient:red-green -alpha set -channel A -evaluate set 50% BMP:argb32.bmp
convert -size 10x6 gradient:red-green -define bmp:subtype=RGB565 BMP:rgb565.bmp
convert -size 12x12 gradient:red-blue -colors 16 BMP2:os2.bmp
convert -size 10x8 gradient:white-black still.gif
convert -delay 7 -size 8x6 xc:red xc:lime xc:blue -loop 0 anim.gif
convert -size 16x16 gradient:orange-purple -interlace GIF interlaced.gif
convert -size 9x9 xc:white -fill black -draw 'circle 4,4 4,1' -transparent white -comment "a comment" trans.gif
convert -delay 5 \( -size 8x6 xc:red -fill black -draw 'point 1,1' \) \( -size 8x6 xc:none -fill blue -draw 'rectangle 1,1 4,4' \) \
  \( -size 8x6 xc:black -fill red -draw 'point 2,2' \) -loop 0 local.gif
convert -size 20x10 pattern:checkerboard -type TrueColor BMP3:logo.trF81F.bmp
cp rgb24.bmp pal8.bmp pal4.bmp mono.bmp rle8.bmp argb32.bmp rgb565.bmp os2.bmp "$out/fuzz_bmp/"
cp still.gif anim.gif interlaced.gif trans.gif local.gif "$out/fuzz_gif/"
cp rgb24.bmp pal8.bmp rle8.bmp still.gif anim.gif "$out/fuzz_dravik_image/"

# JPEG files as cjpeg writes them: baseline, progressive, grey, RGB, each
# sampling (also with factors that share a divisor), restart markers,
# optimised tables.
convert -size 19x13 gradient:red-blue -seed 5 +noise Uniform -depth 8 picture.ppm
cjpeg -quality 80 picture.ppm >baseline.jpg
cjpeg -progressive picture.ppm >progressive.jpg
cjpeg -grayscale picture.ppm >grey.jpg
cjpeg -sample 2x2 -restart 1 picture.ppm >s420_restart.jpg
cjpeg -sample 2x1 -optimize picture.ppm >s422.jpg
cjpeg -sample 1x2 -quality 30 picture.ppm >s440.jpg
cjpeg -sample 1x1 -progressive -grayscale picture.ppm >grey_progressive.jpg
cjpeg -sample 2x2,1x2,1x2 picture.ppm >s422_divisor.jpg
cjpeg -sample 1x2,1x2,1x2 -progressive picture.ppm >s444_divisor_progressive.jpg
cjpeg -rgb picture.ppm >rgb.jpg
cjpeg -progressive -restart 1 picture.ppm >progressive_restart.jpg
cp ./*.jpg "$out/fuzz_jpeg/"

# SIF fonts of the three kinds of the font table.
# shellcheck disable=SC2086
"$fontgen" sif --table "$table" --font GUI_Font16_1 --out prop.sif $faces
# shellcheck disable=SC2086
"$fontgen" sif --table "$table" --font GUI_FontArial10AA4 --out aa4_AA4.sif $faces
# shellcheck disable=SC2086
"$fontgen" sif --table "$table" --font GUI_FontArial10AA4 --aa2 --out aa2_AA2.sif $faces
cp prop.sif aa4_AA4.sif aa2_AA2.sif "$out/fuzz_sif/"

# Macro files, font lists and the memory images Dravik builds of them.
cat >macros.mac <<'MAC'
#define box 1
r 10 10 50 40 1   // a filled box
t "in a box" 12 12
#end
#define labels 2
p 2
:x1
c 100 100 20
:r1
m box
:default
l 0 0 $0 $1
#end
MAC
cat >named.mac <<'MAC'
#define first
set i0 3
m second 1 2
#end
#define second
t "$0 and $1" 5 5
:repeat
#end
MAC
printf 'F16 prop.sif\r\nAA4 aa4_AA4.sif\nAA2 aa2_AA2.sif\n' >fonts.kfl
cp macros.mac named.mac "$out/fuzz_dravik_macros/"
cp fonts.kfl "$out/fuzz_dravik_fonts/"
"$seed_bin" "$out/fuzz_image/full.BIN" plus --macros macros.mac --fonts fonts.kfl rgb24.bmp logo.trF81F.bmp anim.gif
"$seed_bin" "$out/fuzz_image/named.BIN" plus --macros named.mac still.gif
"$seed_bin" "$out/fuzz_image/fonts.BIN" plus --fonts fonts.kfl rgb24.bmp
cp "$out"/fuzz_image/*.BIN "$out/fuzz_dravik_bin/"
"$seed_bin" "$out/fuzz_dravik_bin/velm5.BIN" velm5 rgb24.bmp

# Cards: a FAT12 volume with folders, long names, pictures, the image file
# and the configuration files, and the same on a partitioned card.
cat >config.ini <<'INI'
# settings
verbose = 1
baud0 = 115200
PONMAC = 2
config = "from the card"
INI
printf 'demo = 1\r\n' >rundemo.ini
fill_volume() {
  local img=$1
  mmd -i "$img" ::SUB ::SUB/DEEPER
  mcopy -i "$img" config.ini rundemo.ini rgb24.bmp anim.gif baseline.jpg ::
  mcopy -i "$img" "$out/fuzz_image/named.BIN" ::VELM.BIN
  mcopy -i "$img" pal8.bmp "::A long file name.bmp"
  mcopy -i "$img" still.gif ::SUB/INNER.GIF
}
mkfs.fat -C fat12.img 160 >/dev/null
fill_volume fat12.img
cp fat12.img "$out/fuzz_card/"
dd if=/dev/zero of=part.img bs=1k count=200 status=none
printf 'start=8, type=1\n' | sfdisk -q part.img
mkfs.fat --offset 8 part.img 190 >/dev/null
fill_volume part.img@@4096
cp part.img "$out/fuzz_card/"

# The EEPROM of a fresh board (a 32-bit program under AddressSanitizer,
# which cannot run under user-mode emulation: there it may hang instead of
# failing), and a blank one.
timeout 120 "$seed_eeprom" "$out/fuzz_eeprom/started.bin" >/dev/null 2>&1 ||
  echo "make_seeds.sh: no started-board EEPROM seed: $seed_eeprom did not run" >&2
head -c 512 /dev/zero | tr '\0' '\377' >"$out/fuzz_eeprom/blank.bin"

# Command runs, one a line of command_seeds.txt.
n=0
while IFS= read -r line; do
  case "$line" in '#'*|'') continue ;; esac
  n=$((n + 1))
  printf '%b' "$line" >"$out/fuzz_command/seed$n"
done <"$src/command_seeds.txt"
