#!/usr/bin/python3
"""Draw the program's icons and write them as .ico files.

  icon_128.ico  movie camera          32x32 and 16x16, 16 colours
  icon_132.ico  recorder monitor      32x32 and 16x16, 16 colours
  icon_133.ico  movie camera          32x32 in 16 colours, 48x48 in 256 colours

The ICO bytes are written here rather than by an imaging library, so that
every image keeps exactly the bit depth asked for: a BITMAPINFOHEADER with
doubled height, the palette, the colour (XOR) bitmap and the one-bit
transparency (AND) mask, both bottom-up with rows padded to four bytes.

Usage: /usr/bin/python3 tools/make_icons.py [--out DIR]
(default DIR: res/icons next to this script's folder).  Needs python3-pil.
"""

import argparse
import os
import struct

from PIL import Image, ImageDraw

# The 16-colour Windows palette.
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)
CLEAR = 255  # marks a transparent pixel on the drawing canvas


def palette_256():
    """The 16 Windows colours, a 6x6x6 colour cube and 24 greys."""
    pal = list(VGA)
    levels = [0, 51, 102, 153, 204, 255]
    pal += [(r, g, b) for r in levels for g in levels for b in levels]
    pal += [(8 + 10 * i,) * 3 for i in range(24)]
    assert len(pal) == 256
    return pal


# --- pictures -------------------------------------------------------------
# At 16 x 16 every pixel counts, so the small images are drawn by hand.

ART_COLOURS = {".": CLEAR, "K": BLACK, "M": MAROON, "N": NAVY, "S": SILVER,
               "G": GREY, "R": RED, "B": BLUE, "A": AQUA, "W": WHITE}

CAMERA_16 = [
    "................",
    "..KKKK..KKKK....",
    ".KSSSSKKSSSSK...",
    ".KSKKSKKSKKSK...",
    ".KSKKSKKSKKSK...",
    ".KSSSSKKSSSSK...",
    "..KKKK..KKKK....",
    "KKKKKKKKKKKKK..K",
    "KSSSSSSSSSSSK.KK",
    "KGGGGGGGGGGGKKBK",
    "KGRRGGGGGGGGKBNK",
    "KGRRGGGGGGGGKNNK",
    "KGGGGGKKKKGGKKNK",
    "KGGGGGGGGGGGK.KK",
    "KKKKKKKKKKKKK..K",
    "................",
]

MONITOR_16 = [
    "KKKKKKKKKKKKKKKK",
    "KWWWWWWWWWWWWWSK",
    "KWKKKKKKKKKKKKGK",
    "KWKRNNNNNNNNNKGK",
    "KWKNNNNNNNNNNKGK",
    "KWKNAAAAANNANKGK",
    "KWKNAAAAANAANKGK",
    "KWKNAAAAAAAANKGK",
    "KWKNAAAAANAANKGK",
    "KWKNAAAAANNANKGK",
    "KWKKKKKKKKKKKKGK",
    "KSGGGGGGGGGGGGGK",
    "KKKKKKKKKKKKKKKK",
    "......KGGK......",
    "..KSSSSSSSSSSK..",
    "..KKKKKKKKKKKK..",
]


def pixel_art(rows):
    im = Image.new("L", (len(rows[0]), len(rows)), CLEAR)
    px = im.load()
    for y, row in enumerate(rows):
        assert len(row) == im.width
        for x, ch in enumerate(row):
            px[x, y] = ART_COLOURS[ch]
    return im


# Each drawing function paints palette indices onto an "L" canvas that
# starts out CLEAR.  They take the pixel size and place every shape on
# whole pixels, so the small sizes stay crisp.

def camera(size):
    """A movie camera seen from the side: two film reels on top, the body,
    the lens hood opening to the right and a red recording lamp."""
    im = Image.new("L", (size, size), CLEAR)
    d = ImageDraw.Draw(im)
    if size == 16:
        return pixel_art(CAMERA_16)
    # 32 and larger: drawn on a 32 grid and scaled by whole pixels.
    k = size // 32
    off = (size - 32 * k) // 2

    def box(x0, y0, x1, y1):
        return (off + x0 * k, off + y0 * k, off + (x1 + 1) * k - 1, off + (y1 + 1) * k - 1)

    for cx in (7, 18):
        d.ellipse(box(cx - 5, 1, cx + 5, 11), fill=SILVER, outline=BLACK, width=k)
        d.ellipse(box(cx - 1, 5, cx + 1, 7), fill=BLACK)
        d.rectangle(box(cx - 3, 6, cx - 3, 6), fill=GREY)
        d.rectangle(box(cx + 3, 6, cx + 3, 6), fill=GREY)
    d.rectangle(box(1, 12, 23, 27), fill=GREY, outline=BLACK, width=k)
    d.rectangle(box(2, 13, 22, 14), fill=SILVER)
    d.rectangle(box(2, 26, 22, 26), fill=BLACK)
    hood = [(23, 17), (30, 12), (30, 28), (23, 23)]
    d.polygon([(off + x * k, off + y * k) for x, y in hood], fill=NAVY, outline=BLACK)
    d.line([(off + 24 * k, off + 18 * k), (off + 29 * k, off + 14 * k)], fill=BLUE, width=k)
    d.ellipse(box(4, 18, 8, 22), fill=RED, outline=MAROON, width=k)
    d.rectangle(box(5, 19, 5, 19), fill=WHITE)
    d.rectangle(box(11, 20, 20, 21), fill=BLACK)
    return im


def monitor(size):
    """The recorder's screen: a monitor on a stand, showing a camera, with
    the red recording mark in the corner of the picture."""
    im = Image.new("L", (size, size), CLEAR)
    d = ImageDraw.Draw(im)
    if size == 16:
        return pixel_art(MONITOR_16)
    d.rectangle((1, 2, 30, 24), fill=SILVER, outline=BLACK)
    d.line((2, 3, 29, 3), fill=WHITE)
    d.line((2, 3, 2, 23), fill=WHITE)
    d.line((3, 23, 29, 23), fill=GREY)
    d.rectangle((4, 5, 27, 21), fill=BLACK)
    d.rectangle((5, 6, 26, 20), fill=NAVY)
    # the camera on the screen
    d.ellipse((9, 7, 13, 11), fill=AQUA)
    d.ellipse((14, 7, 18, 11), fill=AQUA)
    d.rectangle((8, 12, 19, 18), fill=AQUA)
    d.polygon([(19, 14), (24, 11), (24, 19), (19, 16)], fill=AQUA)
    d.rectangle((6, 7, 8, 9), fill=RED)
    d.rectangle((12, 25, 19, 26), fill=GREY)
    d.rectangle((7, 27, 24, 30), fill=SILVER, outline=BLACK)
    d.line((8, 29, 23, 29), fill=GREY)
    return im


def camera_shaded(size, palette):
    """The movie camera with soft edges and shading, for 256 colours."""
    s = 8  # drawn 8 times larger, then reduced
    big = Image.new("RGBA", (size * s, size * s), (0, 0, 0, 0))
    d = ImageDraw.Draw(big)
    u = size * s / 32.0

    def p(x, y):
        return (round(x * u), round(y * u))

    def b(x0, y0, x1, y1):
        return p(x0, y0) + p(x1, y1)

    ink = (24, 24, 32, 255)
    for cx in (7.5, 18.5):
        d.ellipse(b(cx - 6, 0.5, cx + 6, 12.5), fill=ink)
        d.ellipse(b(cx - 5, 1.5, cx + 5, 11.5), fill=(196, 200, 208, 255))
        d.ellipse(b(cx - 4, 2.5, cx + 3, 9.5), fill=(226, 228, 234, 255))
        for ax, ay in ((-2.5, 0), (2.5, 0), (0, -2.5), (0, 2.5)):
            d.ellipse(b(cx + ax - 1.2, 6.5 + ay - 1.2, cx + ax + 1.2, 6.5 + ay + 1.2),
                      fill=(120, 124, 134, 255))
        d.ellipse(b(cx - 1, 5.5, cx + 1, 7.5), fill=ink)
    d.rounded_rectangle(b(0.5, 12, 24, 28.5), radius=round(2 * u), fill=ink)
    # body: lighter on top, darker below
    top = (150, 156, 170)
    bottom = (84, 88, 100)
    y0, y1 = round(13 * u), round(27.5 * u)
    for y in range(y0, y1):
        t = (y - y0) / float(y1 - y0)
        c = tuple(round(top[i] + (bottom[i] - top[i]) * t) for i in range(3)) + (255,)
        d.line([(round(1.5 * u), y), (round(23 * u), y)], fill=c)
    d.polygon([p(22.5, 16.5), p(31.5, 11), p(31.5, 29), p(22.5, 23.5)], fill=ink)
    d.polygon([p(23.5, 17.2), p(30.5, 12.6), p(30.5, 27.4), p(23.5, 22.8)],
              fill=(40, 70, 140, 255))
    d.polygon([p(24, 17.6), p(30, 13.6), p(30, 16), p(24, 19)], fill=(110, 150, 220, 255))
    d.ellipse(b(3.5, 17.5, 8.5, 22.5), fill=(120, 0, 0, 255))
    d.ellipse(b(4, 18, 8, 22), fill=(230, 30, 30, 255))
    d.ellipse(b(4.8, 18.8, 6.2, 20.2), fill=(255, 190, 190, 255))
    d.rounded_rectangle(b(11, 20, 21, 22), radius=round(0.8 * u), fill=(40, 42, 50, 255))

    small = big.resize((size, size), Image.BOX)
    im = Image.new("L", (size, size), CLEAR)
    src = small.load()
    dst = im.load()
    cache = {}
    for y in range(size):
        for x in range(size):
            r, g, bb, a = src[x, y]
            if a < 128:
                continue
            # undo the blend with the transparent (black) surround
            key = (min(255, r * 255 // a), min(255, g * 255 // a), min(255, bb * 255 // a))
            if key not in cache:
                cache[key] = min(range(len(palette)), key=lambda i: (
                    sum((palette[i][c] - key[c]) ** 2 for c in range(3)), i))
            dst[x, y] = cache[key]
    return im


# --- ICO writing ----------------------------------------------------------

def dib_image(canvas, bpp, palette):
    """BITMAPINFOHEADER, palette, XOR bitmap and AND mask of one image."""
    w, h = canvas.size
    px = canvas.load()
    colours = 1 << bpp
    pal = list(palette) + [(0, 0, 0)] * (colours - len(palette))
    xor_stride = ((w * bpp + 31) // 32) * 4
    and_stride = ((w + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(h)):
        bits = []
        mbits = []
        for x in range(w):
            v = px[x, y]
            if v == CLEAR:
                bits.append(0)      # black under the mask leaves the screen as it is
                mbits.append(1)
            else:
                assert v < colours
                bits.append(v)
                mbits.append(0)
        row = bytearray()
        if bpp == 4:
            for i in range(0, w, 2):
                row.append((bits[i] << 4) | (bits[i + 1] if i + 1 < w else 0))
        else:
            row += bytes(bits)
        row += b"\0" * (xor_stride - len(row))
        xor += row
        mrow = bytearray()
        for i in range(0, w, 8):
            byte = 0
            for j in range(8):
                if i + j < w and mbits[i + j]:
                    byte |= 0x80 >> j
            mrow.append(byte)
        mrow += b"\0" * (and_stride - len(mrow))
        mask += mrow
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, bpp, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    quads = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in pal[:colours])
    return header + quads + bytes(xor) + bytes(mask)


def ico_bytes(images):
    """images: list of (canvas, bits per pixel, palette)."""
    blobs = [dib_image(c, bpp, pal) for c, bpp, pal in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (canvas, bpp, _), blob in zip(images, blobs):
        w, h = canvas.size
        out += struct.pack("<BBBBHHII", w % 256, h % 256,
                           (1 << bpp) if bpp < 8 else 0, 0, 1, bpp,
                           len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(here, "..", "res", "icons"))
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)

    pal256 = palette_256()
    icons = {
        128: [(camera(32), 4, VGA), (camera(16), 4, VGA)],
        132: [(monitor(32), 4, VGA), (monitor(16), 4, VGA)],
        133: [(camera(32), 4, VGA), (camera_shaded(48, pal256), 8, pal256)],
    }
    for ident, images in sorted(icons.items()):
        with open(os.path.join(args.out, "icon_%d.ico" % ident), "wb") as f:
            f.write(ico_bytes(images))


if __name__ == "__main__":
    main()
