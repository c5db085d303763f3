#!/usr/bin/env bash
# Draws the pictures carried by the program with ImageMagick and the WenQuanYi Micro Hei font:
#   download-resting.png   88 x 28  white bold 字体下载 on a magenta gradient
#   download-over.png      88 x 28  the same on a blue-violet gradient (pointer over the button)
#   download-disabled.png  88 x 28  light grey text on a light grey face
#   tip.png              1490 x 2045 the tip window's picture; the tip window shows about the
#                                    middle 320 x 440 of it
# Run it from anywhere; it writes beside itself. The output is committed; run again only to
# change the pictures. Date and time chunks are left out so that runs give the same bytes.
set -euo pipefail
cd "$(dirname "$0")"
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
png_opts=(-strip -define png:exclude-chunks=date,time)

button() {  # button <output> <gradient> <text colour> <stroke width>
  convert -size 28x88 "gradient:$2" -rotate 90 \
    -font "$font" -pointsize 15 -gravity center \
    -fill "$3" -stroke "$3" -strokewidth "$4" -annotate +0+0 '字体下载' \
    "${png_opts[@]}" "PNG24:$1"
}
button download-resting.png  '#FF4FD8-#B0008C' '#FFFFFF' 0.7
button download-over.png     '#9A5CFF-#4B2BD0' '#FFFFFF' 0.7
button download-disabled.png '#EEEEEE-#D9D9D9' '#B4B4B4' 0.3

convert -size 1490x2045 radial-gradient:'#FFF8EE'-'#EBC9A6' \
  -fill none -stroke '#E9B98A' -strokewidth 3 \
  -draw 'circle 745,1018 745,640' -draw 'circle 745,1018 745,560' \
  -fill '#FFFDF9' -stroke '#D9925A' -strokewidth 3 \
  -draw 'roundrectangle 600,820 890,1215 22,22' \
  -fill '#C8553D' -stroke none -draw 'circle 745,905 745,855' \
  -font "$font" -gravity center \
  -fill '#FFFFFF' -pointsize 54 -annotate +0-113 '览' \
  -fill '#8A3B2A' -pointsize 40 -annotate +0+0 '谢谢支持' \
  -fill '#A0674A' -pointsize 19 -annotate +0+56 '你的支持是我努力的动力' \
  -fill '#B98B6E' -pointsize 17 -annotate +0+130 '览字坊' \
  -stroke '#D9925A' -strokewidth 2 -draw 'line 690,1120 800,1120' \
  "${png_opts[@]}" PNG24:tip.png
