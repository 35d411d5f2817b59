#!/usr/bin/python3
"""Draw the skin button strips of the start-up dialog.

Each strip is a 320 x 24 bitmap holding four 80 x 24 frames side by side:
normal, hover, pressed and disabled.  The first three show a rounded bar,
its upper half in a blue and its lower half in a second colour, with the
caption in white; the disabled frame is plain dialog grey.  Every pixel is
one of the frame's few flat colours: corners and lettering are drawn as
hard one-bit shapes, never blended, so the images carry exactly those
colours and nothing in between.

The strips are written as 24-bit uncompressed bottom-up BMP files
(BITMAPFILEHEADER + BITMAPINFOHEADER) named skin_<id>.bmp.  The bytes
depend only on this script and the fonts, so running it again reproduces
the committed files exactly.

Usage: /usr/bin/python3 tools/make_skin_bitmaps.py [--out DIR]
(default DIR: res/bitmaps next to this script's folder).  Needs
python3-pil and fonts-wqy-zenhei; Latin captions use DejaVu Sans when it
is installed.
"""

import argparse
import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFont

FRAME_W = 80
FRAME_H = 24
FRAMES = 4
STRIP_W = FRAME_W * FRAMES

# Rows 0..SPLIT-1 take the upper colour, the rest the lower colour.
SPLIT = 12
# Radius of the rounded corners, in pixels.
RADIUS = 7

WHITE = (255, 255, 255)
DIALOG_GREY = (200, 200, 200)

# Colours of the common design: (upper, lower) for normal, hover, pressed.
STANDARD = {
    "background": DIALOG_GREY,
    "bars": [
        ((112, 124, 152), (96, 96, 96)),     # normal
        ((112, 132, 167), (66, 108, 163)),   # hover
        ((61, 89, 129), (66, 108, 167)),     # pressed
    ],
    "text": WHITE,
    "bold": False,
}

# The Simplified Chinese "Setup" strip was drawn separately: a touch
# warmer grey around the corners, slightly different blues, heavier
# lettering.
SETUP_SIMPLIFIED = {
    "background": (199, 199, 202),
    "bars": [
        ((109, 121, 150), (93, 94, 97)),
        ((109, 129, 165), (63, 105, 160)),
        ((58, 86, 126), (63, 105, 164)),
    ],
    "text": WHITE,
    "bold": True,
}

# (bitmap id, caption)
STRIPS = [
    (149, "设置"),
    (151, "Setup"),
    (153, "設置"),
    (156, "Delete"),
    (157, "刪除"),
    (158, "删除"),
    (159, "OK"),
    (160, "确定"),
    (161, "確定"),
    (162, "Exit"),
    (163, "退出"),
    (164, "退出"),
    (165, "Register"),
    (167, "注冊"),
    (168, "注册"),
    (169, "Unregister"),
    (170, "注銷"),
    (171, "注销"),
]

CJK_FONT_FILE = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc"
# The "Sharp" face of the collection carries hand-tuned bitmap glyphs,
# which stay crisp without anti-aliasing at button sizes.
CJK_FACE = "WenQuanYi Zen Hei Sharp"
CJK_SIZE = 14

# Latin captions in DejaVu Sans (fonts-dejavu-core): its one-pixel stems
# at this size match the strokes of the Chinese bitmap glyphs.
LATIN_FONT_FILE = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
LATIN_SIZE = 12


def find_cjk_font(size):
    for index in range(8):
        try:
            font = ImageFont.truetype(CJK_FONT_FILE, size, index=index)
        except OSError:
            break
        if font.getname()[0] == CJK_FACE:
            return font
    sys.exit("make_skin_bitmaps: %s (face %r) is missing; install fonts-wqy-zenhei"
             % (CJK_FONT_FILE, CJK_FACE))


def find_latin_font(size, cjk_font):
    if os.path.exists(LATIN_FONT_FILE):
        return ImageFont.truetype(LATIN_FONT_FILE, size)
    # Still legible buttons, but not the committed images.
    print("make_skin_bitmaps: %s is missing (fonts-dejavu-core); Latin captions "
          "fall back to %s" % (LATIN_FONT_FILE, CJK_FACE), file=sys.stderr)
    return cjk_font


def is_latin(text):
    return all(ord(ch) < 0x80 for ch in text)


def render_mask(text, font):
    """Return the caption as a set of (x, y) ink pixels, unpositioned,
    together with the y of its baseline-relative reference box."""
    pad = 8
    canvas = Image.new("1", (FRAME_W * 3, FRAME_H * 3), 0)
    ImageDraw.Draw(canvas).text((pad, pad), text, font=font, fill=1)
    w, h = canvas.size
    data = canvas.load()
    return {(x, y) for y in range(h) for x in range(w) if data[x, y]}, pad


def caption_pixels(text, font, bold):
    """Place the caption centred on the frame; returns a set of (x, y)."""
    ink, pad = render_mask(text, font)
    if not ink:
        sys.exit("make_skin_bitmaps: caption %r rendered empty" % text)
    if bold:
        # Heavier lettering: every stroke one pixel wider to the right.
        ink = ink | {(x + 1, y) for (x, y) in ink}
    left = min(x for x, _ in ink)
    right = max(x for x, _ in ink)
    top = min(y for _, y in ink)
    bottom = max(y for _, y in ink)
    width = right - left + 1
    if is_latin(text):
        # Centre the capital height, so that captions with and without
        # descenders share one baseline.
        ref, _ = render_mask("H", font)
        ref_top = min(y for _, y in ref)
        ref_bottom = max(y for _, y in ref)
        height = ref_bottom - ref_top + 1
        top = ref_top
    else:
        height = bottom - top + 1
    dx = (FRAME_W - width) // 2 - left
    dy = (FRAME_H - height) // 2 - top
    placed = {(x + dx, y + dy) for (x, y) in ink}
    for x, y in placed:
        if not (3 <= x < FRAME_W - 3 and 2 <= y < FRAME_H - 2 and inside_bar(x, y)):
            sys.exit("make_skin_bitmaps: caption %r does not fit the button" % text)
    return placed


def inside_bar(x, y):
    """True when pixel (x, y) of a frame lies on the rounded bar."""
    r = RADIUS
    cx = None
    cy = None
    if x < r:
        cx = r
    elif x >= FRAME_W - r:
        cx = FRAME_W - r
    if y < r:
        cy = r
    elif y >= FRAME_H - r:
        cy = FRAME_H - r
    if cx is None or cy is None:
        return True
    # Pixel centre against the corner circle.
    ddx = x + 0.5 - cx
    ddy = y + 0.5 - cy
    return ddx * ddx + ddy * ddy <= r * r


def draw_strip(caption, style, cjk_font, latin_font):
    """Return the strip as rows of (r, g, b), top row first."""
    font = latin_font if is_latin(caption) else cjk_font
    text = caption_pixels(caption, font, style["bold"])
    bg = style["background"]
    rows = []
    for y in range(FRAME_H):
        row = []
        for frame in range(FRAMES):
            for x in range(FRAME_W):
                if frame == 3 or not inside_bar(x, y):
                    row.append(bg)
                elif (x, y) in text:
                    row.append(style["text"])
                else:
                    upper, lower = style["bars"][frame]
                    row.append(upper if y < SPLIT else lower)
        rows.append(row)
    return rows


def bmp_bytes(rows):
    """24-bit BI_RGB bottom-up DIB in a BMP file."""
    height = len(rows)
    width = len(rows[0])
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        pixels += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0,
                       len(pixels), 2835, 2835, 0, 0)
    offset = 14 + len(info)
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return head + info + bytes(pixels)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(here, "..", "res", "bitmaps"))
    args = parser.parse_args()

    cjk_font = find_cjk_font(CJK_SIZE)
    latin_font = find_latin_font(LATIN_SIZE, cjk_font)
    os.makedirs(args.out, exist_ok=True)
    for ident, caption in STRIPS:
        style = SETUP_SIMPLIFIED if ident == 149 else STANDARD
        rows = draw_strip(caption, style, cjk_font, latin_font)
        for row in rows:
            if (0, 0, 255) in row:
                sys.exit("make_skin_bitmaps: key colour in strip %d" % ident)
        with open(os.path.join(args.out, "skin_%d.bmp" % ident), "wb") as f:
            f.write(bmp_bytes(rows))


if __name__ == "__main__":
    main()
