#!/usr/bin/python3
"""Draws skeetra's four pictures and writes them to window/pictures/.

The build only embeds the files this script wrote; it never runs the script.
Change the art here, rerun with /usr/bin/python3 (which has Debian's
python3-pil for the sign lettering, in fonts-liberation2's Liberation Sans
Bold) and commit the new pictures with it.

Everything apart from the lettering is the standard library, so the GIF and
ICO writers are below, kept as small as the two formats allow.
"""

import math
import os
import struct
import sys

try:
    from PIL import Image, ImageDraw, ImageFont
except ImportError:
    sys.exit("make_pictures.py: PIL is missing; it letters the start sign. "
             "Install Debian's python3-pil and run this with /usr/bin/python3.")

OUT_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                       "..", "window", "pictures")
SIGN_FONT = "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf"


# ---------------------------------------------------------------- file writers

def lzw_encode(pixels, min_code_size):
    """GIF flavour of LZW: variable code width, codes packed LSB first."""
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    bits = 0
    nbits = 0
    width = min_code_size + 1

    def emit(code):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    def emit_data(code):
        # The decoder files each new string one code later than we do, so it
        # widens right after reading this code once the next free code no
        # longer fits; widen at the same moment.
        nonlocal width
        emit(code)
        if next_code >= 1 << width and width < 12:
            width += 1

    table = {}              # (prefix code, pixel) -> code
    next_code = end + 1
    emit(clear)
    prefix = None
    for p in pixels:
        if prefix is None:
            prefix = p
            continue
        if (prefix, p) in table:
            prefix = table[prefix, p]
            continue
        emit_data(prefix)
        if next_code < 4096:
            table[prefix, p] = next_code
            next_code += 1
        else:
            # Table full: start over rather than code on with a stale one.
            emit(clear)
            table = {}
            next_code = end + 1
            width = min_code_size + 1
        prefix = p
    if prefix is not None:
        emit_data(prefix)
    emit(end)
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


def sub_blocks(data):
    chunks = [data[i:i + 255] for i in range(0, len(data), 255)]
    return b"".join(bytes([len(c)]) + c for c in chunks) + b"\x00"


def write_gif(path, rows, palette, transparent=None):
    """One-frame GIF89a with an 8-entry global table; no extension unless
    a transparent index is asked for."""
    assert len(palette) == 8
    height, width = len(rows), len(rows[0])
    pixels = [p for row in rows for p in row]
    assert max(pixels) < 8
    # 0xA2: global table present, 3-bit colour resolution, unsorted, 8 entries.
    data = b"GIF89a" + struct.pack("<HHBBB", width, height, 0xA2, 0, 0)
    data += b"".join(bytes(rgb) for rgb in palette)
    if transparent is not None:
        data += b"\x21\xF9\x04" + struct.pack("<BHB", 0x01, 0, transparent) + b"\x00"
    data += b"\x2C" + struct.pack("<HHHHB", 0, 0, width, height, 0)
    data += b"\x03" + sub_blocks(lzw_encode(pixels, 3))
    data += b"\x3B"
    with open(path, "wb") as f:
        f.write(data)


def write_ico(path, rows, palette):
    """Single 32x32 8-bit icon. `rows` holds palette indices, None where the
    icon is see-through; those pixels get index 0 and a set AND-mask bit."""
    size = len(rows)
    assert size == 32 and all(len(r) == size for r in rows)
    colours = list(palette) + [(0, 0, 0)] * (256 - len(palette))
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # DIB rows run bottom-up
        xor += bytes(0 if p is None else p for p in row)
        line = 0
        for p in row:
            line = (line << 1) | (p is None)
        mask += line.to_bytes(size // 8, "big")  # 4 bytes: already 32-bit aligned
    image = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 8, 0,
                        len(xor) + len(mask), 0, 0, 256, 0)
    image += b"".join(bytes((b, g, r, 0)) for r, g, b in colours)
    image += xor + mask
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(header + entry + image)


# ---------------------------------------------------------------- the facade

BLACK, WHITE, GREEN, YELLOW, OLIVE, GREY = range(6)
FACADE_PALETTE = [(0x00, 0x00, 0x00), (0xFF, 0xFF, 0xFF), (0x00, 0xFF, 0x00),
                  (0xFF, 0xFF, 0x00), (0x80, 0x80, 0x00), (0x80, 0x80, 0x80),
                  (0x00, 0x00, 0x00), (0x00, 0x00, 0x00)]
FACADE_W, FACADE_H = 438, 424

# The game shows the figure at these top-left corners, so every opening is
# built around one of them and its foot (ledge top or base line) sits at y+55.
FIGURE_W, FIGURE_H = 43, 55
SPOT = {
    "top_1": (56, 0), "top_2": (136, 0), "top_3": (256, 0), "top_4": (336, 0),
    "second_left": (24, 112), "second_right": (368, 112),
    "middle": (192, 184),
    "third_left": (32, 216), "third_right": (368, 216),
    "door_left": (152, 344), "door_right": (224, 344), "door_side": (384, 344),
}

BASE_LINE_Y = 399          # doorways' foot; two pixels thick
LAWN_TOP = BASE_LINE_Y + 2
SIGN_TEXT = "kill them all !!!"
SIGN_FONT_SIZE = 20
# The whole sign, border included, is the start area Image1 (2040,4320 twips,
# 2295 x 615): a click anywhere on what the player sees as the sign starts
# play, and a click beside it is a plain miss.
SIGN = (136, 288, 288, 328)         # inclusive corners
SIGN_BORDER = 3
LEDGE_HIGH = 6
LINTEL_HIGH = 4
# The start text and the win box are painted over x 120..321, y 88..177;
# nothing but plain wall may go there.
CALM = (120, 88, 321, 177)


def opening(name, left=3, right=3, top=3):
    """Dark hole around a figure spot, inclusive corners."""
    x, y = SPOT[name]
    return (x - left, max(0, y - top), x + FIGURE_W - 1 + right, y + FIGURE_H - 1)


def ledge(name, x0, x1):
    """Grey ledge whose top row is the figure's foot. Ledges that run off the
    picture start or end outside it, so they get no end outline there."""
    foot = SPOT[name][1] + FIGURE_H
    return ("rect", (x0, foot, x1, foot + LEDGE_HIGH - 1), GREY, BLACK)


def lintel(box, overhang=4):
    x0, y0, x1, _ = box
    return ("rect", (x0 - overhang, y0 - LINTEL_HIGH, x1 + overhang, y0 - 1), GREY, BLACK)


def bricks(x, y, courses):
    """A loose patch of brick joints; `courses` gives the bricks per course,
    top down, and every other course shifts by half a brick like real ones."""
    w, h = 15, 7
    shapes = []
    for row, count in enumerate(courses):
        for col in range(count):
            bx = x + col * (w - 1) + (row % 2) * (w // 2)
            by = y + row * (h - 1)
            shapes.append(("rect", (bx, by, bx + w - 1, by + h - 1), None, BLACK))
    return shapes


def facade_shapes():
    """Painted in order, later shapes over earlier ones."""
    shapes = [("rect", (0, 0, FACADE_W - 1, FACADE_H - 1), OLIVE, None)]

    for x, y, courses in [(107, 16, (1, 1)), (16, 72, (2, 1)), (392, 74, (2, 1)),
                          (96, 196, (2, 2)), (318, 192, (2, 2)), (8, 300, (2, 2)),
                          (70, 352, (2, 1)), (318, 356, (2, 1)),
                          (398, 284, (2,))]:
        shapes += bricks(x, y, courses)

    # Upper floor: two pairs of windows cut by the picture's top edge.
    tops = [opening(n) for n in ("top_1", "top_2", "top_3", "top_4")]
    shapes += [("rect", box, BLACK, None) for box in tops]
    shapes.append(ledge("top_1", -1, tops[1][2] + 6))
    shapes.append(ledge("top_3", tops[2][0] - 6, FACADE_W))

    # Side windows of the second and third floor, and the lone middle one.
    for name, side in [("second_left", -1), ("second_right", 1),
                       ("third_left", -1), ("third_right", 1)]:
        box = opening(name)
        shapes += [lintel(box), ("rect", box, BLACK, None)]
        if side < 0:
            shapes.append(ledge(name, -1, box[2] + 6))
        else:
            shapes.append(ledge(name, box[0] - 6, FACADE_W))
    middle = opening("middle", top=2)   # its lintel must stay below the calm band
    shapes += [lintel(middle), ("rect", middle, BLACK, None),
               ledge("middle", middle[0] - 6, middle[2] + 6)]

    # Start sign over the two front doors: a yellow field inside a black border.
    sx0, sy0, sx1, sy1 = SIGN
    b = SIGN_BORDER
    field = (sx0 + b, sy0 + b, sx1 - b, sy1 - b)
    shapes += [("rect", SIGN, BLACK, None),
               ("rect", field, YELLOW, None),
               ("text", field, SIGN_TEXT, SIGN_FONT_SIZE, BLACK)]

    # Street level: two wide front doors with a jamb between, a narrower
    # side door, all standing on the base line.
    doors = [opening("door_left", left=6, right=6),
             opening("door_right", left=6, right=6),
             opening("door_side", left=3, right=3)]
    shapes += [lintel(box) for box in doors]
    shapes += [("rect", box, BLACK, None) for box in doors]
    shapes.append(("rect", (0, BASE_LINE_Y, FACADE_W - 1, BASE_LINE_Y + 1), BLACK, None))

    # Lawn with a walkway opening out from the front doors towards the viewer.
    shapes.append(("rect", (0, LAWN_TOP, FACADE_W - 1, FACADE_H - 1), GREEN, None))
    # The walkway runs on past the bottom edge, so no outline closes it there.
    walk_top, walk_bottom = LAWN_TOP - 1, FACADE_H
    walk_top_l, walk_top_r = SPOT["door_left"][0], SPOT["door_right"][0] + FIGURE_W
    walk_bot_l, walk_bot_r = walk_top_l - 46, walk_top_r + 46
    # Its top edge lies on the base line and merges into it.
    shapes.append(("polygon", [(walk_top_l, walk_top), (walk_top_r, walk_top),
                               (walk_bot_r, walk_bottom), (walk_bot_l, walk_bottom)],
                   GREY, BLACK))
    for y in (408, 416):    # paving joints
        t = (y - walk_top) / (walk_bottom - walk_top)
        shapes.append(("line", (round(walk_top_l + t * (walk_bot_l - walk_top_l)), y),
                       (round(walk_top_r + t * (walk_bot_r - walk_top_r)), y), BLACK))
    for x, y in [(22, 414), (64, 408), (108, 417), (330, 410), (372, 417), (414, 409)]:
        shapes += grass_tuft(x, y)
    return shapes


def grass_tuft(x, y):
    return [("line", (x, y), (x - 2, y - 4), BLACK),
            ("line", (x, y), (x, y - 5), BLACK),
            ("line", (x, y), (x + 2, y - 4), BLACK)]


class Canvas:
    def __init__(self, width, height):
        self.w, self.h = width, height
        self.px = [[0] * width for _ in range(height)]

    def dot(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, box, fill, outline):
        x0, y0, x1, y1 = box
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                edge = x in (x0, x1) or y in (y0, y1)
                c = outline if edge and outline is not None else fill
                if c is not None:
                    self.dot(x, y, c)

    def line(self, a, b, c):
        (x0, y0), (x1, y1) = a, b
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            self.dot(round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps), c)

    def polygon(self, points, fill, outline):
        # Vertices are pixel centres, like line ends, so the fill (even-odd)
        # never pokes out past the traced edges.
        edges = list(zip(points, points[1:] + points[:1]))
        for y in range(self.h):
            xs = sorted(xa + (y - ya) * (xb - xa) / (yb - ya)
                        for (xa, ya), (xb, yb) in edges
                        if (ya <= y) != (yb <= y))
            for xl, xr in zip(xs[::2], xs[1::2]):
                for x in range(math.ceil(xl), math.floor(xr) + 1):
                    self.dot(x, y, fill)
        for a, b in edges:
            self.line(a, b, outline)

    def text(self, box, text, size, c):
        """Hard-edged lettering: PIL only rasterises, a threshold drops the
        anti-aliasing so the picture keeps its plain colours."""
        x0, y0, x1, y1 = box
        w, h = x1 - x0 + 1, y1 - y0 + 1
        try:
            font = ImageFont.truetype(SIGN_FONT, size)
        except OSError:
            sys.exit(f"make_pictures.py: {SIGN_FONT} is missing; install Debian's fonts-liberation2.")
        mask = Image.new("L", (w, h), 0)
        draw = ImageDraw.Draw(mask)
        left, top, right, bottom = draw.textbbox((0, 0), text, font=font)
        draw.text(((w - (right - left)) // 2 - left, (h - (bottom - top)) // 2 - top),
                  text, font=font, fill=255)
        for y in range(h):
            for x in range(w):
                if mask.getpixel((x, y)) >= 128:
                    self.dot(x0 + x, y0 + y, c)


def draw_facade():
    canvas = Canvas(FACADE_W, FACADE_H)
    for shape in facade_shapes():
        kind, args = shape[0], shape[1:]
        getattr(canvas, kind)(*args)
    cx0, cy0, cx1, cy1 = CALM
    assert all(canvas.px[y][x] == OLIVE
               for y in range(cy0, cy1 + 1) for x in range(cx0, cx1 + 1)), \
        "something was drawn where the start text and win box go"
    return canvas.px


# ---------------------------------------------------------------- the figure

FIGURE_PALETTE = [(0x00, 0x00, 0x00), (0xFF, 0xFF, 0xFF), (0x80, 0x00, 0x80),
                  (0x00, 0xFF, 0x00), (0xFF, 0xC1, 0xA4), (0xFF, 0x00, 0x00),
                  (0x80, 0x00, 0x00), (0xFF, 0xFF, 0xFF)]
FIGURE_TRANSPARENT = 7
# Index 1 (white) stays unused so that no opaque pixel shares the
# transparent entry's colour.
FIGURE_KEY = {".": 7, "k": 0, "p": 2, "g": 3, "s": 4, "r": 5, "b": 6}

# Front view, 43 x 55: head touches the top row, soles the bottom one.
FIGURE_MAP = """
.................kkkkkkkkk.................
..............kkkssssssssskkk..............
............kkssssssssssssssskk............
..........kkssssssssssssssssssskk..........
.........ksssssssssssssssssssssssk.........
.........ksssssssssssssssssssssssk.........
........kssskkkssssssssssssskkksssk........
........kssssskkkssssssssskkksssssk........
......kkkssssssskkkssssskkkssssssskkk......
......kskssssskkssssksksssskksssssksk......
......kskssssskkssskssskssskksssssksk......
......ksksssssssssskssskssssssssssksk......
......kkkssssssssssskkkssssssssssskkk......
.........ksssssssssssssssssssssssk.........
.........ksssssssskkkkkkkssssssssk.........
..........ksssssskssssssskssssssk..........
...........ksssskssssssssskssssk...........
............kkssssssssssssssskk............
.........kkkkkkkkkkkkkkkkkkkkkkkkk.........
.......kkgggggggggggggggggggggggggkk.......
......kgggggggggggggggggggggggggggggk......
.....kgggggggggggggggggggggggggggggggk.....
....kgggggggggggggggggggggggggggggggggk....
...kgggggggggggggggggggggggggggggggggggk...
..kgggggkgggggggggggggggggggggggggkgggggk..
..kgggggkgggggggggggggggggggggggggkgggggk..
..kggggk.kgggggggggggggggggggggggk.kggggk..
..kggggk.kgggggggggggggggggggggggk.kggggk..
..kggggk.kgggggggggggggggggggggggk.kggggk..
..kggggk....kgggggggggggggggggk....kggggk..
..kggggk....kgggggggggggggggggk....kggggk..
..kggggk....kgggggggggggggggggk....kggggk..
..kggggk....kgggggggggggggggggk....kggggk..
..kkkkkk....kgggggggggggggggggk....kkkkkk..
..kssssk....kgggggggggggggggggk....kssssk..
..kssssk....kgggggggggggggggggk....kssssk..
..kssssk....kgggggggggggggggggk....kssssk..
..kkkkkk....kgggggggggggggggggk....kkkkkk..
kkkkk.......kkkkkkkkkkkkkkkkkkk.......kkkkk
krrrk.......kbbbbbbkbbbkbbbbbbk.......krrrk
krrrk.......kbbbbbbkbbbkbbbbbbk.......krrrk
krrrk.......kkkkkkkkkkkkkkkkkkk.......krrrk
kkkkk.......kpppppppppppppppppk.......kkkkk
............kppppppppkppppppppk............
............kppppppppkppppppppk............
............kppppppppkppppppppk............
............kppppppkkkkkppppppk............
............kpppppk.....kpppppk............
............kpppppk.....kpppppk............
............kpppppk.....kpppppk............
...........kkkkkkkk.....kkkkkkkk...........
..........kkkkkkkkk.....kkkkkkkkk..........
.........kkkkkkkkkk.....kkkkkkkkkk.........
.........kkkkkkkkkk.....kkkkkkkkkk.........
.........kkkkkkkkkk.....kkkkkkkkkk.........
"""


def draw_figure():
    rows = [[FIGURE_KEY[c] for c in line] for line in FIGURE_MAP.split()]
    assert len(rows) == FIGURE_H and all(len(r) == FIGURE_W for r in rows)
    return rows


# ---------------------------------------------------------------- the crosshairs

ICON_SIZE = 32
ICON_PALETTE = [(0x00, 0x00, 0x00), (0xFF, 0xFF, 0xFF), (0x8C, 0x8C, 0x8C),
                (0x90, 0x90, 0x70), (0xC8, 0xD8, 0xF0)]
ICON_BLACK, ICON_WHITE, ICON_GREY, ICON_OLIVE_GREY, ICON_PALE_BLUE = range(5)
RING_OUTER, RING_INNER = 10.7, 8.5   # radii around the crossing, in pixels
BAR_OVERSHOOT = 3.0                  # how far both bars run past the ring
TIP = 2                              # white rows closing each end of the upright bar
BAR_ROW = 15                         # the icon's 1-px horizontal bar


def draw_crosshair():
    """The window icon: a black ring crossed by a 2-px upright bar (columns
    15, 16) and a 1-px horizontal bar on BAR_ROW. Edge pixels are shaded by
    coverage, which gives the ring its soft grey/blue fringe."""
    cx = 16.0
    cy = BAR_ROW + 0.5
    reach = RING_OUTER + BAR_OVERSHOOT
    upright_top, upright_bottom = math.floor(cy - reach), math.ceil(cy + reach) - 1

    def covered(x, y):
        r = math.hypot(x - cx, y - cy)
        return (RING_INNER <= r <= RING_OUTER
                or (15 <= x < 17 and cy - reach <= y < cy + reach)
                or (BAR_ROW <= y < BAR_ROW + 1 and abs(x - cx) <= reach))

    n = 4  # sub-samples per side
    rows = []
    for py in range(ICON_SIZE):
        row = []
        for px in range(ICON_SIZE):
            hits = sum(covered(px + (i + 0.5) / n, py + (j + 0.5) / n)
                       for i in range(n) for j in range(n))
            share = hits / (n * n)
            if px in (15, 16) and (py < upright_top + TIP or py > upright_bottom - TIP) \
                    and upright_top <= py <= upright_bottom:
                row.append(ICON_WHITE)
            elif share >= 0.55:
                row.append(ICON_BLACK)
            elif share >= 0.35:
                row.append(ICON_GREY)
            elif share >= 0.2:
                row.append(ICON_OLIVE_GREY)
            elif share >= 0.08:
                row.append(ICON_PALE_BLUE)
            else:
                row.append(None)
        rows.append(row)
    return rows


def thicken_bar(icon):
    """The aiming pointer: the icon pixel for pixel, but with its horizontal
    bar doubled onto the row below, so both bars are 2 px and cross in the
    2x2 block at 15..16 whose corner (16, 16) is the hot spot. Deriving it
    from the icon keeps the two from drifting apart."""
    rows = [list(row) for row in icon]
    rows[BAR_ROW + 1] = list(icon[BAR_ROW])
    return rows


def main():
    os.makedirs(OUT_DIR, exist_ok=True)
    write_gif(os.path.join(OUT_DIR, "facade.gif"), draw_facade(), FACADE_PALETTE)
    write_gif(os.path.join(OUT_DIR, "target.gif"), draw_figure(), FIGURE_PALETTE,
              transparent=FIGURE_TRANSPARENT)
    icon = draw_crosshair()
    write_ico(os.path.join(OUT_DIR, "crosshair.ico"), icon, ICON_PALETTE)
    write_ico(os.path.join(OUT_DIR, "pointer.ico"), thicken_bar(icon), ICON_PALETTE)


if __name__ == "__main__":
    main()
