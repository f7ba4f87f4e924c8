#!/bin/sh
# Draws Quillivar's artwork with ImageMagick 6 and writes it next to this script:
#   icons/quillivar-{16,32,48,256}.png and icons/quillivar.ico   application icon
#   HAND-M.CUR                                                   pointing-hand cursor
#   drag.ico                                                     file-list drag pointer
# Everything is drawn here from scratch, so the files can be rebuilt at any time:
#   sh data/make-art.sh
# The output is byte-for-byte the same on every run (no time stamps are stored).
set -eu

cd "$(dirname "$0")"
mkdir -p icons

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# No date/time chunks and no comments in the PNGs, so reruns give identical files.
png_opts="-strip -define png:exclude-chunks=date,time"

# Palette of the icon.
blue='#1f4e79'       # page border, quill
fold='#c9dbeb'       # the turned-down corner
shadow='#00000040'   # soft shadow under the page
text='#9db4cb'       # lines of "text" on the page
sky='#6fa8dc'
hill_far='#5f9e57'
hill_near='#2f6f3a'
sun='#f2b134'

# ---------------------------------------------------------------------------------------
# Pixel art helper: reads rows of characters on stdin and writes a PNG.
#   pixel_art WIDTH HEIGHT OUT.png 'C #rrggbb' ...
# Each character stands for one pixel; '.' is always transparent. Short rows are padded
# with '.', so the art only needs to spell out the pixels that are drawn.
pixel_art() {
    width=$1 height=$2 out=$3
    shift 3
    {
        echo '/* XPM */'
        echo 'static char *art[] = {'
        echo "\"$width $height $(($# + 1)) 1\","
        echo '". c None",'
        for colour in "$@"; do
            echo "\"$(echo "$colour" | cut -c1) c $(echo "$colour" | cut -c3-)\","
        done
        awk -v w="$width" -v h="$height" '
            NR <= h {
                row = substr($0, 1, w)
                while (length(row) < w) row = row "."
                printf "\"%s\",\n", row
            }
            END { for (i = NR; i < h; i++) { row = ""; while (length(row) < w) row = row "."; printf "\"%s\",\n", row } }'
        echo '};'
    } > "$work/art.xpm"
    # shellcheck disable=SC2086
    convert "$work/art.xpm" $png_opts "PNG32:$out"
}

# ---------------------------------------------------------------------------------------
# The application icon: a sheet of paper with its top right corner turned down, a few lines
# of text ending in a quill, and a landscape picture on the lower half: a document that
# becomes an image.
#
# Each size has a layout of its own, in its own pixels, so that the border and the picture
# frame fall on whole pixels and stay sharp; the smaller the size, the less detail. It is
# drawn eight times larger (four for 256) and brought down with a box filter, which
# averages every block exactly and so gives clean anti-aliased curves.
icon_layout() {
    quill=''
    case $1 in
        256)
            zoom=4 border=8 frame=6 corner_radius=6
            page='44,12 160,12 204,56 204,244 44,244'
            corner='160,12 160,56 204,56'
            bars='roundrectangle 72,40 150,50 5,5
                  roundrectangle 72,62 158,72 5,5
                  roundrectangle 72,84 136,94 5,5
                  roundrectangle 72,106 112,116 5,5'
            picture='60 134 128 94' sun_at='154,162 154,146'
            # Nib at the end of the last line, pointing up and to the right past the fold.
            quill='122 116 -37 140'
            ;;
        48)
            zoom=8 border=2 frame=1 corner_radius=0.5
            page='9,3 29,3 38,12 38,46 9,46'
            corner='29,3 29,12 38,12'
            bars='roundrectangle 13,8 26,10 1,1
                  roundrectangle 13,12 30,14 1,1
                  roundrectangle 13,16 23,18 1,1'
            picture='12.5 21.5 22 21' sun_at='28.5,26.5 28.5,23.5'
            ;;
        32)
            zoom=8 border=2 frame=1 corner_radius=0.5
            page='6,2 19,2 26,9 26,30 6,30'
            corner='19,2 19,9 26,9'
            bars='roundrectangle 9,6 17,8 0.5,0.5
                  roundrectangle 9,10 20,12 0.5,0.5'
            picture='9.5 15.5 13 12' sun_at='19,19 19,17'
            ;;
    esac
}

# The quill of the 256 px icon, in its own units: nib at (0,0), tip at (1,0). The vane is
# wider on the upper side and has two notches, like a real feather.
quill_fill='#5b8fc2'
quill_nib='M 0,0 L 0.17,-0.022 L 0.19,0 L 0.17,0.022 Z'
quill_vane='M 0.17,-0.01
    C 0.27,-0.07 0.38,-0.10 0.47,-0.105 L 0.44,-0.075
    C 0.54,-0.11 0.64,-0.115 0.73,-0.10 L 0.70,-0.07
    C 0.82,-0.085 0.93,-0.05 1,0
    C 0.86,0.045 0.66,0.065 0.46,0.058 L 0.49,0.038
    C 0.36,0.045 0.25,0.035 0.17,0.01 Z'

# Writes the drawing of one icon size as MVG, ImageMagick's vector drawing language.
icon_mvg() {
    icon_layout "$1"
    # shellcheck disable=SC2086
    set -- $picture
    px=$1 py=$2 pw=$3 ph=$4
    px2=$(awk "BEGIN { print $px + $pw }") py2=$(awk "BEGIN { print $py + $ph }")
    # ImageMagick puts pixel centres on whole numbers; move by half a pixel of the large
    # drawing so that edges on whole numbers of the layout meet pixel edges exactly.
    nudge=$(awk "BEGIN { print -0.5 / $zoom }")
    cat <<MVG
scale $zoom,$zoom
translate $nudge,$nudge
stroke-linejoin round

# The sheet of paper and its turned-down corner.
fill white stroke '$blue' stroke-width $border
polygon $page
fill '$fold'
polygon $corner

# Text.
stroke none fill '$text'
$bars

# The picture: sky and sun, then two hills drawn in a unit square stretched over the frame.
fill '$sky'
rectangle $px,$py $px2,$py2
fill '$sun'
circle $sun_at
push graphic-context
  translate $px,$py
  scale $pw,$ph
  fill '$hill_far'
  path 'M 0,0.78 Q 0.23,0.40 0.45,0.62 Q 0.66,0.30 1,0.58 L 1,1 L 0,1 Z'
  fill '$hill_near'
  path 'M 0,1 L 0,0.86 Q 0.31,0.54 0.62,0.84 Q 0.81,0.70 1,0.82 L 1,1 Z'
pop graphic-context
fill none stroke '$blue' stroke-width $frame
roundrectangle $px,$py $px2,$py2 $corner_radius,$corner_radius
MVG
    [ -n "$quill" ] || return 0
    # shellcheck disable=SC2086
    set -- $quill
    # The quill is turned and stretched into place from its own units. A white rim keeps
    # it apart from the page border where it crosses it.
    cat <<MVG
push graphic-context
  translate $1,$2
  rotate $3
  scale $4,$4
  stroke white stroke-width 0.035 fill white
  path '$quill_vane'
  path '$quill_nib'
  stroke '$blue' stroke-width 0.012 fill '$quill_fill'
  path '$quill_vane'
  stroke none fill '$blue'
  path '$quill_nib'
  path 'M 0.14,-0.009 Q 0.6,-0.03 0.99,0 Q 0.6,-0.01 0.14,0.009 Z'
pop graphic-context
MVG
}

draw_icon() {
    size=$1 out=$2
    icon_mvg "$size" > "$work/icon-$size.mvg"
    big=$((size * zoom))
    # shellcheck disable=SC2086
    convert -size ${big}x$big xc:none -draw "$(cat "$work/icon-$size.mvg")" \
        -filter box -resize ${size}x$size $png_opts "PNG32:$out"
}

draw_icon 256 "$work/icon-256.png"
draw_icon 48 icons/quillivar-48.png
draw_icon 32 icons/quillivar-32.png

# The 256 px icon gets a soft shadow under the page, to lift it off the desktop.
icon_layout 256
# shellcheck disable=SC2086
convert -size 256x256 xc:none -fill "$shadow" -draw "translate 5,7 polygon $page" \
    -blur 0x5 "$work/icon-256.png" -composite $png_opts PNG32:icons/quillivar-256.png

# At 16 px every pixel counts, so that size is drawn by hand.
#   B border  w paper  f folded corner  t text  s sky  y sun  g hill  h near hill
pixel_art 16 16 icons/quillivar-16.png \
    "B $blue" "w #ffffff" "f $fold" "t $text" "s $sky" "y $sun" "g $hill_far" "h $hill_near" <<'EOF'
..BBBBBBBB
..BwwwwwwBB
..BwttttwBfB
..BwwwwwwBffB
..BwttttwBBBBB
..BwwwwwwwwwwB
..BwsssssssswB
..BwsssssyyswB
..BwsssssyyswB
..BwssgssssswB
..BwsgggsssswB
..BwgggggsggwB
..BwhhggggghwB
..BwhhhhhhhhwB
..BwwwwwwwwwwB
..BBBBBBBBBBBB
EOF

# One .ico holding all four sizes, for places that want a single file.
convert icons/quillivar-16.png icons/quillivar-32.png icons/quillivar-48.png \
    icons/quillivar-256.png icons/quillivar.ico

# ---------------------------------------------------------------------------------------
# Writes one byte of the given value (0-255). The value has to go into the format string as
# an octal escape: that is the only portable way for printf to write any byte.
byte() {
    # shellcheck disable=SC2059
    printf "\\$(printf '%03o' "$1")"
}

# Set the hot spot of a one-image .ico and turn it into a .cur.
#   ico_to_cur IN.ico OUT.cur X Y
# A .cur file is an .ico file with 2 instead of 1 in its type field (bytes 2-3), and with
# the hot spot in place of the colour planes (bytes 10-11) and bit count (bytes 12-13) of
# its directory entry. All fields are little endian; X and Y are below 256.
ico_to_cur() {
    cp "$1" "$2"
    { byte 2; byte 0; } | dd of="$2" bs=1 seek=2 conv=notrunc status=none
    { byte "$3"; byte 0; byte "$4"; byte 0; } | dd of="$2" bs=1 seek=10 conv=notrunc status=none
}

# Reads the type and hot spot back from a .cur file, to make sure the patch took.
#   check_cur FILE X Y
check_cur() {
    # Bytes 2-3 and 10-13, one at a time, so the check does not depend on byte order.
    # shellcheck disable=SC2046
    set -- "$@" $(od -An -tu1 -j2 -N2 "$1") $(od -An -tu1 -j10 -N4 "$1")
    type=$(($4 + 256 * $5)) x=$(($6 + 256 * $7)) y=$(($8 + 256 * $9))
    if [ "$type" -ne 2 ] || [ "$x" -ne "$2" ] || [ "$y" -ne "$3" ]; then
        echo "make-art: $1 has type $type and hot spot $x,$y" >&2
        exit 1
    fi
}

# ---------------------------------------------------------------------------------------
# The pointing hand: index finger up, the other fingers curled, thumb to the left.
# Black outline, white inside; the hot spot is the tip of the index finger.
#   # outline  w inside
pixel_art 32 32 "$work/hand.png" "# #000000" "w #ffffff" <<'EOF'
......###
.....#www#
.....#www#
.....#www#
.....#www#
.....#www#
.....#www#
.....#www#
.....#www#
.....#www#.###
.....#www##www#
.....#www#www####
.....#www#www#www#
.....#www#www#www###
.....#www#www#www#ww#
.##..#www#www#www#ww#
#ww#.#www#www#www#ww#
#www##www#www#www#ww#
#wwww#wwwwwwwwwwwwww#
.#wwwwwwwwwwwwwwwwww#
..#wwwwwwwwwwwwwwwww#
...#wwwwwwwwwwwwwwww#
....#wwwwwwwwwwwwww#
.....#wwwwwwwwwwwww#
.....#wwwwwwwwwwwww#
......#wwwwwwwwwww#
......#############
EOF
hot_x=7 hot_y=0

convert "$work/hand.png" "$work/hand.ico"
ico_to_cur "$work/hand.ico" HAND-M.CUR "$hot_x" "$hot_y"
check_cur HAND-M.CUR "$hot_x" "$hot_y"

# ---------------------------------------------------------------------------------------
# The drag pointer of the file list: a sheet of paper and an up-and-down arrow, saying
# "drag to move this file up or down the list".
#   # outline  w inside  g lines of text
pixel_art 32 32 "$work/drag.png" "# #000000" "w #ffffff" "g #808080" <<'EOF'
................................
........................#
.......................#w#
......................#www#
..##########.........#wwwww#
..#wwwwwwww##.......#wwwwwww#
..#wwwwwwww#w#.....#wwwwwwwww#
..#wwggggww#ww#....####www####
..#wwwwwwww#www#......#www#
..#wwwwwwww######.....#www#
..#wwwwwwwwwwwww#.....#www#
..#wwwwwwwwwwwww#.....#www#
..#wwgggggggggww#.....#www#
..#wwwwwwwwwwwww#.....#www#
..#wwwwwwwwwwwww#.....#www#
..#wwgggggggggww#.....#www#
..#wwwwwwwwwwwww#.....#www#
..#wwwwwwwwwwwww#.....#www#
..#wwgggggggggww#.....#www#
..#wwwwwwwwwwwww#.....#www#
..#wwwwwwwwwwwww#.....#www#
..#wwggggggwwwww#.....#www#
..#wwwwwwwwwwwww#.....#www#
..#wwwwwwwwwwwww#.....#www#
..#wwwwwwwwwwwww#..####www####
..###############..#wwwwwwwww#
....................#wwwwwww#
.....................#wwwww#
......................#www#
.......................#w#
........................#
EOF
convert "$work/drag.png" drag.ico

echo "make-art: wrote icons/quillivar-{16,32,48,256}.png icons/quillivar.ico HAND-M.CUR drag.ico"
