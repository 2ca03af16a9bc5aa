#!/usr/bin/python3
"""Draws the installer's art: res/banner.png and res/app.ico.

Every shape is a signed distance function, so edges get their anti-aliasing
from the distance alone. Text is set in a real CJK font (WenQuanYi Micro Hei,
Debian's fonts-wqy-microhei) and rasterised by FreeType through Pillow
(python3-pil); tools/setup.sh installs both. The output is the same bytes on
every run with the same font and Pillow packages. The outputs are committed;
the build never runs this.

Usage: tools/make_art.py [output-folder]   (default: res/ next to tools/)
"""
import math
import os
import struct
import sys
import zlib

try:
    from PIL import Image, ImageDraw, ImageFont
except ImportError:
    sys.exit("make_art: needs Pillow (python3-pil; tools/setup.sh installs it)")

FONT_FILE = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
PRODUCT_NAME = "\u6f88\u5c9aOffice"  # the ProductName of the version block

BANNER_W, BANNER_H = 700, 314
PIXELS_PER_METRE = 2835  # 72 dpi

BLUE = (24, 96, 200)
PAGE_COLOURS = [(255, 196, 40), (46, 170, 90), (238, 96, 42)]
DOC_BLUE = (43, 87, 170)
SHEET_GREEN = (30, 128, 72)
SLIDE_ORANGE = (214, 84, 40)
PDF_RED = (206, 38, 38)
BADGE_RED = (226, 44, 48)
WHITE = (255, 255, 255)


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


# --- distance functions in local units (negative inside) -------------------

def rbox(cx, cy, hw, hh, r):
    def d(x, y):
        qx = abs(x - cx) - hw + r
        qy = abs(y - cy) - hh + r
        return (math.hypot(max(qx, 0.0), max(qy, 0.0))
                + min(max(qx, qy), 0.0) - r)
    return d


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def capsule(ax, ay, bx, by, r):
    dx, dy = bx - ax, by - ay
    ll = dx * dx + dy * dy or 1.0

    def d(x, y):
        t = clamp(((x - ax) * dx + (y - ay) * dy) / ll)
        return math.hypot(x - ax - t * dx, y - ay - t * dy) - r
    return d


def ring(cx, cy, radius, half_width):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - radius) - half_width


def polygon(points):
    """Convex polygon, points in clockwise order on screen (y down)."""
    edges = []
    n = len(points)
    for i in range(n):
        (ax, ay), (bx, by) = points[i], points[(i + 1) % n]
        ln = math.hypot(bx - ax, by - ay)
        # outward normal of a clockwise (screen) polygon
        edges.append((ax, ay, (by - ay) / ln, -(bx - ax) / ln))

    def d(x, y):
        return max((x - ax) * nx + (y - ay) * ny for ax, ay, nx, ny in edges)
    return d


def cut(a, b):
    """a without b."""
    return lambda x, y: max(a(x, y), -b(x, y))


def union(*parts):
    return lambda x, y: min(p(x, y) for p in parts)


# --- placement: local design units to pixels --------------------------------

class Frame:
    """Maps local units to pixels: scale, then rotate about the local origin,
    then move the origin to (ox, oy)."""

    def __init__(self, ox=0.0, oy=0.0, scale=1.0, angle_deg=0.0):
        self.ox, self.oy, self.scale = ox, oy, scale
        a = math.radians(angle_deg)
        self.c, self.s = math.cos(a), math.sin(a)

    def to_pixel(self, x, y):
        x, y = x * self.scale, y * self.scale
        return (self.ox + x * self.c - y * self.s,
                self.oy + x * self.s + y * self.c)

    def to_local(self, px, py):
        x, y = px - self.ox, py - self.oy
        return ((x * self.c + y * self.s) / self.scale,
                (-x * self.s + y * self.c) / self.scale)


class Canvas:
    """Premultiplied RGBA in floats, 0..1."""

    def __init__(self, w, h, background=None):
        self.w, self.h = w, h
        if background is None:
            self.px = [0.0] * (w * h * 4)
        else:
            r, g, b = (c / 255.0 for c in background)
            self.px = [r, g, b, 1.0] * (w * h)

    def fill(self, frame, sdf, box, colour, alpha=1.0, soft=1.0):
        """Paints sdf (local units) inside the local bounding box `box`
        (x0, y0, x1, y1). `soft` widens the edge, in pixels, for shadows."""
        corners = [frame.to_pixel(x, y) for x in (box[0], box[2])
                   for y in (box[1], box[3])]
        pad = 1 + soft
        x0 = max(0, int(math.floor(min(c[0] for c in corners) - pad)))
        x1 = min(self.w, int(math.ceil(max(c[0] for c in corners) + pad)))
        y0 = max(0, int(math.floor(min(c[1] for c in corners) - pad)))
        y1 = min(self.h, int(math.ceil(max(c[1] for c in corners) + pad)))
        r, g, b = (c / 255.0 for c in colour)
        scale = frame.scale
        px = self.px
        for y in range(y0, y1):
            row = y * self.w
            for x in range(x0, x1):
                lx, ly = frame.to_local(x + 0.5, y + 0.5)
                cov = clamp(0.5 - sdf(lx, ly) * scale / soft)
                if cov <= 0.0:
                    continue
                a = cov * alpha
                i = (row + x) * 4
                k = 1.0 - a
                px[i] = r * a + px[i] * k
                px[i + 1] = g * a + px[i + 1] * k
                px[i + 2] = b * a + px[i + 2] * k
                px[i + 3] = a + px[i + 3] * k

    def paint_mask(self, mask, colour, alpha=1.0):
        """Paints colour through an 8-bit coverage image ("L") of the
        canvas's size, as fill() paints through a shape."""
        r, g, b = (c / 255.0 for c in colour)
        px = self.px
        for i, cov in enumerate(mask.tobytes()):
            if cov == 0:
                continue
            a = cov / 255.0 * alpha
            j = i * 4
            k = 1.0 - a
            px[j] = r * a + px[j] * k
            px[j + 1] = g * a + px[j + 1] * k
            px[j + 2] = b * a + px[j + 2] * k
            px[j + 3] = a + px[j + 3] * k

    def rgba_rows(self):
        """Straight (not premultiplied) 8-bit RGBA rows, top to bottom."""
        rows = []
        for y in range(self.h):
            row = bytearray()
            for x in range(self.w):
                i = (y * self.w + x) * 4
                a = self.px[i + 3]
                if a <= 0.0:
                    row += b"\0\0\0\0"
                    continue
                row += bytes(int(round(clamp(self.px[i + k] / a) * 255))
                             for k in range(3))
                row.append(int(round(clamp(a) * 255)))
            rows.append(bytes(row))
        return rows


# --- PNG ---------------------------------------------------------------------

def png_chunk(kind, data):
    body = kind + data
    return (struct.pack(">I", len(data)) + body
            + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF))


def png(width, height, colour_type, rows, extra_chunks=()):
    ihdr = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    raw = b"".join(b"\0" + r for r in rows)  # filter type 0 on every row
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr)
            + b"".join(png_chunk(k, d) for k, d in extra_chunks)
            + png_chunk(b"IDAT", zlib.compress(raw, 9))
            + png_chunk(b"IEND", b""))


def s15f16(v):
    return struct.pack(">i", int(round(v * 65536)))


def icc_profile():
    """A small ICC v2 display profile: sRGB primaries adapted to D50 and a
    plain 2.2 gamma curve per channel."""
    def xyz(x, y, z):
        return b"XYZ \0\0\0\0" + s15f16(x) + s15f16(y) + s15f16(z)

    def desc(text):
        t = text.encode("ascii") + b"\0"
        return (b"desc\0\0\0\0" + struct.pack(">I", len(t)) + t
                + struct.pack(">II", 0, 0) + struct.pack(">HB", 0, 0) + b"\0" * 67)

    curve = b"curv\0\0\0\0" + struct.pack(">IH", 1, int(round(2.2 * 256))) + b"\0\0"
    tags = [
        (b"desc", desc("Corvane RGB")),
        (b"cprt", b"text\0\0\0\0" + b"No copyright, use freely\0"),
        (b"wtpt", xyz(0.9642, 1.0, 0.8249)),
        (b"rXYZ", xyz(0.4361, 0.2225, 0.0139)),
        (b"gXYZ", xyz(0.3851, 0.7169, 0.0971)),
        (b"bXYZ", xyz(0.1431, 0.0606, 0.7141)),
        (b"rTRC", curve),
        (b"gTRC", curve),
        (b"bTRC", curve),
    ]
    offset = 128 + 4 + 12 * len(tags)
    table, data = b"", b""
    placed = {}
    for sig, body in tags:
        if body in placed:  # the three curves share one copy
            table += sig + struct.pack(">II", placed[body], len(body))
            continue
        while (offset + len(data)) % 4:
            data += b"\0"
        placed[body] = offset + len(data)
        table += sig + struct.pack(">II", placed[body], len(body))
        data += body
    while len(data) % 4:
        data += b"\0"
    body = struct.pack(">I", len(tags)) + table + data
    size = 128 + len(body)
    header = (struct.pack(">I", size) + b"\0\0\0\0" + struct.pack(">I", 0x02100000)
              + b"mntrRGB XYZ " + struct.pack(">6H", 2026, 1, 1, 0, 0, 0)
              + b"acsp" + b"\0" * 4 + struct.pack(">I", 0) + b"\0" * 8
              + struct.pack(">Q", 0) + struct.pack(">I", 0)
              + s15f16(0.9642) + s15f16(1.0) + s15f16(0.8249)
              + b"\0" * 4 + b"\0" * 16 + b"\0" * 28)
    assert len(header) == 128
    return header + body


# --- the logo mark (design units 0..256) -------------------------------------

def draw_logo(cv, fr, with_pages=True):
    """Blue rounded square over three coloured page edges, a white swirl."""
    if with_pages:
        for i, colour in enumerate(PAGE_COLOURS):
            off = 30 - 10 * i
            cv.fill(fr, rbox(128 + off * 0.5, 128 - off, 92, 92, 34),
                    (0, 0, 256, 256), colour)
    cv.fill(fr, rbox(118, 142, 96, 96, 36), (0, 0, 256, 256), BLUE)
    # a white open ring with a bar: a stylised letter mark
    mark = cut(ring(118, 142, 46, 13), rbox(160, 142, 26, 16, 0))
    cv.fill(fr, union(mark, capsule(118, 142, 150, 142, 12)),
            (40, 60, 200, 220), WHITE)


# --- banner ------------------------------------------------------------------

def banner_background(cv):
    top, bottom = (30, 110, 214), (12, 62, 160)
    tri_h = 44.0
    tri_w = tri_h * 2 / math.sqrt(3)
    px = cv.px
    for y in range(cv.h):
        for x in range(cv.w):
            t = clamp((0.75 * y / cv.h) + 0.25 * (x / cv.w))
            base = [(top[k] + (bottom[k] - top[k]) * t) / 255.0 for k in range(3)]
            # which triangle of a triangular grid holds this pixel
            row = int(y // tri_h)
            fy = (y - row * tri_h) / tri_h
            u = x / (tri_w / 2) + (row % 2)
            col = int(math.floor(u))
            fu = u - col
            up = (col % 2 == 0)
            upper = (fu < fy) if up else (fu + fy < 1.0)
            cell = col * 2 + (1 if upper else 0)
            h = ((row * 7919 + cell * 104729) ^ 0x5BD1E995) & 0xFFFF
            glow = (h % 7) / 6.0 * 0.05 * (1.0 - 0.6 * x / cv.w)
            i = (y * cv.w + x) * 4
            for k in range(3):
                px[i + k] = base[k] + (1.0 - base[k]) * glow
            px[i + 3] = 1.0


def load_font(size):
    if not os.path.exists(FONT_FILE):
        sys.exit(f"make_art: {FONT_FILE} is missing (fonts-wqy-microhei; tools/setup.sh installs it)")
    return ImageFont.truetype(FONT_FILE, size)


def draw_text(cv, text, size, left, middle, right_limit, colour, alpha=1.0):
    """Sets text `size` pixels high with its ink's left edge at x `left` and
    its ink centred on y `middle`; it must end before x `right_limit`."""
    font = load_font(size)
    mask = Image.new("L", (cv.w, cv.h), 0)
    draw = ImageDraw.Draw(mask)
    x0, y0, x1, y1 = draw.textbbox((0, 0), text, font=font)
    if left + x1 - x0 > right_limit:
        sys.exit(f"make_art: {text!r} at {size} px runs past x {right_limit}")
    origin = (left - x0, round(middle - (y0 + y1) / 2))
    draw.text(origin, text, font=font, fill=255)
    cv.paint_mask(mask, colour, alpha)


def draw_window(cv, pivot, angle, kind, colour):
    """One document window, 150 x 196 local units, hinged below its foot."""
    fr = Frame(pivot[0], pivot[1], 0.8, angle)
    # window rectangle relative to the pivot: centred, standing above it
    x0, y0, w, h = -75, -236, 150, 196
    cx, cy = x0 + w / 2, y0 + h / 2
    box = (x0 - 12, y0 - 12, x0 + w + 12, y0 + h + 16)
    cv.fill(fr, rbox(cx + 3, cy + 7, w / 2, h / 2, 8), box, (0, 20, 60), 0.35, soft=9)
    cv.fill(fr, rbox(cx, cy, w / 2, h / 2, 7), box, WHITE)
    # title bar, with its three window buttons
    cv.fill(fr, cut(rbox(cx, y0 + 12, w / 2, 12, 7), rbox(cx, y0 + 22, w, 2, 0)),
            box, colour)
    cv.fill(fr, rbox(cx, y0 + 20, w / 2, 4, 0), box, colour)
    for i in range(3):
        cv.fill(fr, circle(x0 + w - 14 - 10 * i, y0 + 12, 2.6), box, WHITE, 0.85)
    cv.fill(fr, rbox(x0 + 22, y0 + 12, 12, 3, 1.5), box, WHITE, 0.85)
    top = y0 + 36
    light = tuple(int(c + (255 - c) * 0.75) for c in colour)
    if kind == "document":
        widths = [120, 110, 124, 86, 0, 118, 124, 100, 112, 70, 0, 122, 96]
        for i, lw in enumerate(widths):
            if lw:
                cv.fill(fr, rbox(x0 + 13 + lw / 2, top + 6 + i * 11, lw / 2, 2.4, 2.4),
                        box, (150, 160, 178))
        cv.fill(fr, rbox(x0 + 13 + 40, top - 1, 40, 3.5, 3.5), box, colour)
    elif kind == "spreadsheet":
        gx0, gy0, cols, rows, cw, ch = x0 + 12, top, 4, 10, 31.5, 14
        cv.fill(fr, rbox(gx0 + cols * cw / 2, gy0 + ch / 2, cols * cw / 2, ch / 2, 0),
                box, light)
        for i in range(1, 4):
            for j in (2, 5, 7):
                cv.fill(fr, rbox(gx0 + i * cw + cw / 2, gy0 + j * ch + ch / 2,
                                 cw / 2 - 1, ch / 2 - 1, 0), box, (214, 238, 222))
        for r in range(rows + 1):
            cv.fill(fr, rbox(gx0 + cols * cw / 2, gy0 + r * ch, cols * cw / 2, 0.6, 0),
                    box, (160, 180, 168))
        for c in range(cols + 1):
            cv.fill(fr, rbox(gx0 + c * cw, gy0 + rows * ch / 2, 0.6, rows * ch / 2, 0),
                    box, (160, 180, 168))
    elif kind == "presentation":
        cv.fill(fr, rbox(cx, top + 50, 62, 48, 3), box, light)
        for i, bh in enumerate([30, 52, 40, 68]):
            bx = cx - 39 + i * 26
            cv.fill(fr, rbox(bx, top + 88 - bh / 2, 8, bh / 2, 1.5), box, colour)
        for i in range(3):
            cv.fill(fr, rbox(x0 + 16 + 14 + i * 42, top + 124, 18, 11, 2), box,
                    (232, 222, 216))
    elif kind == "pdf":
        for i, lw in enumerate([118, 124, 90, 0, 0, 0, 0, 0, 0, 116, 124, 80]):
            if lw:
                cv.fill(fr, rbox(x0 + 13 + lw / 2, top + 6 + i * 11, lw / 2, 2.4, 2.4),
                        box, (170, 170, 178))
        # a folded-corner page badge in the middle
        cv.fill(fr, polygon([(cx - 24, top + 34), (cx + 12, top + 34), (cx + 24, top + 46),
                             (cx + 24, top + 92), (cx - 24, top + 92)]), box, colour)
        cv.fill(fr, polygon([(cx + 12, top + 34), (cx + 24, top + 46), (cx + 12, top + 46)]),
                box, (240, 150, 150))
        cv.fill(fr, cut(ring(cx, top + 66, 12, 3), rbox(cx, top + 78, 4, 8, 0)),
                box, WHITE)


def make_banner():
    cv = Canvas(BANNER_W, BANNER_H, background=(0, 0, 0))
    banner_background(cv)
    # a soft light behind the fan
    cv.fill(Frame(545, 170), circle(0, 0, 120), (-260, -260, 260, 260),
            (120, 180, 255), 0.18, soft=140)
    draw_logo(cv, Frame(30, 104, 96 / 256.0))
    # The name, left of the fan of windows, with a soft shadow like theirs.
    draw_text(cv, PRODUCT_NAME, 42, 142, 143, 342, (0, 20, 60), alpha=0.25)
    draw_text(cv, PRODUCT_NAME, 42, 140, 141, 340, WHITE)
    # a tagline under the name, as two soft bars
    cv.fill(Frame(140, 186), rbox(86, 0, 86, 3, 3), (-4, -6, 180, 6), WHITE, 0.55)
    cv.fill(Frame(140, 200), rbox(58, 0, 58, 3, 3), (-4, -6, 122, 6), WHITE, 0.35)
    fan = [(446, -12, "document", DOC_BLUE), (498, -4, "spreadsheet", SHEET_GREEN),
           (550, 4, "presentation", SLIDE_ORANGE), (602, 12, "pdf", PDF_RED)]
    for x, angle, kind, colour in fan:
        draw_window(cv, (x, 300), angle, kind, colour)
    rows = [bytes(r[i] for i in range(len(r)) if i % 4 != 3) for r in cv.rgba_rows()]
    chunks = [
        (b"iCCP", b"Corvane RGB\0\0" + zlib.compress(icc_profile(), 9)),
        (b"cHRM", struct.pack(">8I", 31270, 32900, 64000, 33000,
                              30000, 60000, 15000, 6000)),
        (b"pHYs", struct.pack(">IIB", PIXELS_PER_METRE, PIXELS_PER_METRE, 1)),
    ]
    return png(BANNER_W, BANNER_H, 2, rows, chunks)


# --- icon --------------------------------------------------------------------

def draw_icon(size):
    cv = Canvas(size, size)
    fr = Frame(0, 0, size / 256.0)
    draw_logo(cv, fr, with_pages=True)
    # red badge with a white ring and an arrow pointing up
    cv.fill(fr, circle(190, 190, 62), (120, 120, 256, 256), WHITE)
    cv.fill(fr, circle(190, 190, 52), (120, 120, 256, 256), BADGE_RED)
    arrow = union(polygon([(190, 152), (220, 186), (160, 186)]),
                  rbox(190, 200, 11, 20, 2))
    cv.fill(fr, arrow, (150, 140, 230, 230), WHITE)
    return cv.rgba_rows()


def and_mask(rows, size):
    stride = ((size + 31) // 32) * 4
    out = b""
    for row in reversed(rows):
        bits = bytearray(stride)
        for x in range(size):
            if row[x * 4 + 3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bytes(bits)
    return out


def bmp_header(size, bits, colours):
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0,
                       0, 0, 0, colours, 0)


def icon_8bpp(size):
    """Palette image with a 1-bit mask: pixels under half cover are masked,
    the rest opaque, coloured from a palette of the image's own colours."""
    rows = draw_icon(size)
    counts = {}
    for row in rows:
        for x in range(size):
            if row[x * 4 + 3] >= 128:
                c = tuple(row[x * 4:x * 4 + 3])
                counts[c] = counts.get(c, 0) + 1
    palette = sorted(counts, key=lambda c: (-counts[c], c))[:255]
    palette = [(0, 0, 0)] + palette
    palette += [(0, 0, 0)] * (256 - len(palette))
    index = {}

    def nearest(c):
        if c not in index:
            index[c] = min(range(1, 256), key=lambda i: (
                sum((a - b) ** 2 for a, b in zip(c, palette[i])), i))
        return index[c]

    stride = (size + 3) // 4 * 4
    pixels = b""
    for row in reversed(rows):
        line = bytearray(stride)
        for x in range(size):
            if row[x * 4 + 3] >= 128:
                line[x] = nearest(tuple(row[x * 4:x * 4 + 3]))
        pixels += bytes(line)
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return bmp_header(size, 8, 256) + pal + pixels + and_mask(rows, size)


def icon_32bpp(size):
    rows = draw_icon(size)
    pixels = b""
    for row in reversed(rows):
        for x in range(size):
            r, g, b, a = row[x * 4:x * 4 + 4]
            pixels += bytes((b, g, r, a))
    return bmp_header(size, 32, 0) + pixels + and_mask(rows, size)


def icon_png(size):
    return png(size, size, 6, draw_icon(size))


def make_icon():
    images = ([(s, 8, icon_8bpp(s)) for s in (16, 32, 48)]
              + [(s, 32, icon_32bpp(s)) for s in (16, 24, 32, 40, 48, 64, 96, 128)]
              + [(256, 32, icon_png(256))])
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b""
    for size, bits, blob in images:
        dim = size if size < 256 else 0
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, bits, len(blob),
                           offset + len(data))
        data += blob
    return out + data


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "res")
    with open(os.path.join(folder, "banner.png"), "wb") as f:
        f.write(make_banner())
    with open(os.path.join(folder, "app.ico"), "wb") as f:
        f.write(make_icon())


if __name__ == "__main__":
    main()
