#!/usr/bin/env bash
# Draws the skin's images into images/ and the window icon icon.png with ImageMagick 6
# (`convert`) and the WenQuanYi Zen Hei font. The PNGs are committed; run this again after
# changing a colour or a size here.
#
# Palette: primary blue #2B7BD6 (pressed #1F63B3), success green #27A061 (pressed #1E8550),
# warning amber #F0A020, text #2E3A4B, lines #C9D6E6, header tint #E6F0FC.
set -euo pipefail
cd "$(dirname "$0")"
font=/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc
out=images
mkdir -p "$out"
strip=(-strip -define png:exclude-chunks=date,time)

# Window background 590 x 420: a soft blue header fading to white, two faint rings at the right.
convert -size 590x220 gradient:'#E6F0FC'-'#FFFFFF' \
  -size 590x200 xc:'#FFFFFF' -append \
  -fill none -stroke '#DCE9F9' -strokewidth 14 -draw 'circle 560,150 560,240' \
  -stroke '#E6F0FB' -strokewidth 8 -draw 'circle 480,215 480,255' \
  "${strip[@]}" "$out/bkg.png"

# Title art 273 x 35 for the main and the download window; 165 x 34 for the completion window.
convert -size 273x35 xc:none -font "$font" -pointsize 27 -fill '#1F4E8C' -stroke '#1F4E8C' \
  -strokewidth 0.6 -gravity west -annotate +0+0 '欢迎使用课件安装工具' "${strip[@]}" "$out/welcome.png"
convert -size 273x35 xc:none -font "$font" -pointsize 27 -fill '#1F4E8C' -stroke '#1F4E8C' \
  -strokewidth 0.6 -gravity west -annotate +0+0 '正在安装课件，请稍候' "${strip[@]}" "$out/waiting.png"
convert -size 165x34 xc:none \
  -fill '#27A061' -stroke none -draw 'circle 16,17 16,2' \
  -fill none -stroke white -strokewidth 3.2 -draw 'polyline 8,17 14,23 24,11' \
  -font "$font" -pointsize 27 -fill '#1F4E8C' -stroke '#1F4E8C' -strokewidth 0.6 \
  -gravity west -annotate +40+0 '安装完成' "${strip[@]}" "$out/complete.png"

# Buttons: rounded, flat; the text is drawn by the layout.
button() { # name width height radius colour
  convert -size "$2x$3" xc:none -fill "$5" -stroke none \
    -draw "roundrectangle 0,0 $(($2 - 1)),$(($3 - 1)) $4,$4" "${strip[@]}" "$out/$1.png"
}
button btnAZ-n 240 40 6 '#2B7BD6'
button btnAZ-p 240 40 6 '#1F63B3'
button ok-n 240 40 6 '#27A061'
button ok-p 240 40 6 '#1E8550'
button btn-n 80 30 4 '#2B7BD6'
button btn-p 80 30 4 '#1F63B3'

# Caption buttons 23 x 23: grey glyphs; hot/pushed get a tinted or red square.
convert -size 23x23 xc:none -stroke '#5B6B7F' -strokewidth 1.6 -draw 'line 7,12 16,12' \
  "${strip[@]}" "$out/mini-n.png"
convert -size 23x23 xc:none -fill '#D6E4F5' -stroke none -draw 'roundrectangle 1,1 21,21 3,3' \
  -stroke '#2E3A4B' -strokewidth 1.6 -draw 'line 7,12 16,12' "${strip[@]}" "$out/min-p.png"
convert -size 23x23 xc:none -stroke '#5B6B7F' -strokewidth 1.6 -draw 'line 7,7 16,16' \
  -draw 'line 16,7 7,16' "${strip[@]}" "$out/close-n.png"
convert -size 23x23 xc:none -fill '#E5534B' -stroke none -draw 'roundrectangle 1,1 21,21 3,3' \
  -stroke white -strokewidth 1.6 -draw 'line 7,7 16,16' -draw 'line 16,7 7,16' \
  "${strip[@]}" "$out/close-p.png"

# Progress bar 520 x 8: track and fill with round ends (layouts slice them with corner 4).
convert -size 520x8 xc:none -fill '#E1E8F0' -draw 'roundrectangle 0,0 519,7 4,4' \
  "${strip[@]}" "$out/progress_b.png"
convert -size 520x8 gradient:'#5AA2EE'-'#2B7BD6' -rotate -90 -resize 520x8\! \
  \( -size 520x8 xc:none -fill white -draw 'roundrectangle 0,0 519,7 4,4' \) \
  -compose CopyOpacity -composite "${strip[@]}" "$out/progress_f.png"

# Message dialog 360 x 200: white with a light caption strip; the layout draws the border.
convert -size 360x200 xc:'#FFFFFF' -fill '#F1F6FC' -draw 'rectangle 0,0 359,24' \
  "${strip[@]}" "$out/msgBkg.png"
convert -size 50x50 xc:none -fill '#F0A020' -draw 'circle 25,25 25,3' \
  -fill white -draw 'roundrectangle 22,11 28,31 3,3' -draw 'circle 25,38 25,41' \
  "${strip[@]}" "$out/msgLogo.png"

# The window icon 64 x 64 at 8 bits a channel, 32 bits a pixel (also kept in the archive): a USB
# stick with a down arrow on it.
convert -size 64x64 xc:none -fill '#2B7BD6' -draw 'roundrectangle 2,2 61,61 12,12' \
  -fill white -draw 'rectangle 25,9 39,21' -fill '#2B7BD6' \
  -draw 'rectangle 28,13 30,17' -draw 'rectangle 34,13 36,17' \
  -fill white -draw 'roundrectangle 20,22 44,56 5,5' \
  -fill '#2B7BD6' -draw 'rectangle 29,29 35,39' -draw 'polygon 24,38 40,38 32,48' \
  -depth 8 "${strip[@]}" PNG32:icon.png
cp icon.png "$out/logo.png"
