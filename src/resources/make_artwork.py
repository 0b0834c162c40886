#!/usr/bin/env python3
"""Draws the window's artwork into PNG files beside this script, and the program icon for
Windows (16, 32 and 48 pixels) into program.ico.

Only the standard library is used, so the pictures can be remade anywhere:
    python3 src/resources/make_artwork.py
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# A 5x7 pixel font for the few capitals the promotion picture needs.
FONT = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "G": ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    " ": ["00000"] * 7,
}


class Canvas:
    def __init__(self, width, height, fill):
        self.width = width
        self.height = height
        self.pixels = [list(fill) for _ in range(width * height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            if len(colour) == 4 and len(self.pixels[0]) == 3:
                colour = blend(self.pixels[y * self.width + x], colour)
            self.pixels[y * self.width + x] = list(colour)

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, colour)

    def rounded_rect(self, x0, y0, x1, y1, radius, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                cx = min(max(x, x0 + radius), x1 - 1 - radius)
                cy = min(max(y, y0 + radius), y1 - 1 - radius)
                if (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius:
                    self.put(x, y, colour)

    def ellipse(self, cx, cy, rx, ry, colour):
        for y in range(int(cy - ry), int(cy + ry) + 1):
            for x in range(int(cx - rx), int(cx + rx) + 1):
                if ((x + 0.5 - cx) / rx) ** 2 + ((y + 0.5 - cy) / ry) ** 2 <= 1.0:
                    self.put(x, y, colour)

    def polygon(self, points, colour):
        ys = [p[1] for p in points]
        for y in range(int(min(ys)), int(max(ys)) + 1):
            crossings = []
            for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
                if (ay <= y + 0.5 < by) or (by <= y + 0.5 < ay):
                    crossings.append(ax + (y + 0.5 - ay) * (bx - ax) / (by - ay))
            crossings.sort()
            for left, right in zip(crossings[::2], crossings[1::2]):
                for x in range(int(round(left)), int(round(right))):
                    self.put(x, y, colour)

    def line(self, x0, y0, x1, y1, thickness, colour):
        steps = int(max(abs(x1 - x0), abs(y1 - y0))) * 2 + 1
        half = thickness / 2.0
        for i in range(steps + 1):
            x = x0 + (x1 - x0) * i / steps
            y = y0 + (y1 - y0) * i / steps
            self.ellipse(x, y, half, half, colour)

    def text(self, x, y, text, scale, colour):
        for char in text:
            rows = FONT[char]
            for row, bits in enumerate(rows):
                for col, bit in enumerate(bits):
                    if bit == "1":
                        self.rect(x + col * scale, y + row * scale,
                                  x + (col + 1) * scale, y + (row + 1) * scale, colour)
            x += 6 * scale

    def gear(self, cx, cy, radius, teeth, colour, hole):
        self.ellipse(cx, cy, radius * 0.78, radius * 0.78, colour)
        for i in range(teeth):
            angle = 2 * math.pi * i / teeth
            ux, uy = math.cos(angle), math.sin(angle)
            vx, vy = -uy, ux
            w = radius * 0.18
            inner, outer = radius * 0.6, radius
            self.polygon([(cx + ux * inner + vx * w, cy + uy * inner + vy * w),
                          (cx + ux * outer + vx * w, cy + uy * outer + vy * w),
                          (cx + ux * outer - vx * w, cy + uy * outer - vy * w),
                          (cx + ux * inner - vx * w, cy + uy * inner - vy * w)], colour)
        self.ellipse(cx, cy, radius * 0.3, radius * 0.3, hole)


def blend(under, over):
    alpha = over[3] / 255.0
    return [int(round(u * (1 - alpha) + o * alpha)) for u, o in zip(under[:3], over[:3])]


def text_width(text, scale):
    return (6 * len(text) - 1) * scale


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(name, width, height, colour_type, rows, palette=None, transparency=None):
    raw = b"".join(b"\x00" + row for row in rows)
    chunks = [png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0))]
    if palette is not None:
        chunks.append(png_chunk(b"PLTE", b"".join(bytes(c) for c in palette)))
    if transparency is not None:
        chunks.append(png_chunk(b"tRNS", transparency))
    chunks.append(png_chunk(b"IDAT", zlib.compress(raw, 9)))
    chunks.append(png_chunk(b"IEND", b""))
    with open(os.path.join(HERE, name), "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + b"".join(chunks))


def write_rgba(name, canvas):
    rows = [bytes(v for p in canvas.pixels[y * canvas.width:(y + 1) * canvas.width] for v in p)
            for y in range(canvas.height)]
    write_png(name, canvas.width, canvas.height, 6, rows)


def write_rgb(name, canvas):
    rows = [bytes(v for p in canvas.pixels[y * canvas.width:(y + 1) * canvas.width] for v in p[:3])
            for y in range(canvas.height)]
    write_png(name, canvas.width, canvas.height, 2, rows)


def write_indexed(name, canvas):
    """A 256-colour picture: flat colours only, index 0 is the transparent background."""
    palette = [(0, 0, 0)]
    index = {}
    rows = []
    for y in range(canvas.height):
        row = bytearray()
        for p in canvas.pixels[y * canvas.width:(y + 1) * canvas.width]:
            if p[3] == 0:
                row.append(0)
                continue
            key = tuple(p[:3])
            if key not in index:
                index[key] = len(palette)
                palette.append(key)
            row.append(index[key])
        rows.append(bytes(row))
    assert len(palette) <= 256, "too many colours for a 256-colour icon"
    palette += [(0, 0, 0)] * (256 - len(palette))
    write_png(name, canvas.width, canvas.height, 3, rows, palette, b"\x00")


def database(canvas, x0, y0, width, height, body, top, edge):
    """A database cylinder: body, three rims and the lighter top."""
    ry = max(2, height // 8)
    cx = x0 + width / 2
    canvas.rect(x0, y0 + ry, x0 + width, y0 + height - ry, body)
    canvas.ellipse(cx, y0 + height - ry, width / 2, ry, body)
    for band in (1, 2):
        y = y0 + ry + (height - 2 * ry) * band // 3
        for x in range(x0, x0 + width):
            canvas.put(x, y, edge)
    canvas.ellipse(cx, y0 + ry, width / 2, ry, top)


def open_glyph():
    c = Canvas(16, 16, (0, 0, 0, 0))
    edge = (150, 110, 20, 255)
    c.rect(1, 3, 7, 5, (232, 184, 60, 255))
    c.rect(1, 4, 14, 14, (232, 184, 60, 255))
    c.polygon([(3, 7), (16, 7), (14, 14), (1, 14)], (252, 216, 110, 255))
    for x in range(1, 14):
        c.put(x, 14, edge)
    for y in range(3, 14):
        c.put(0, y, edge)
    return c


def start_glyph():
    c = Canvas(16, 16, (0, 0, 0, 0))
    database(c, 0, 1, 11, 14, (70, 120, 200, 255), (150, 190, 240, 255), (40, 80, 150, 255))
    c.polygon([(8, 5), (15, 10), (8, 15)], (40, 170, 60, 255))
    c.polygon([(9, 7), (13, 10), (9, 13)], (90, 210, 100, 255))
    return c


def program_icon(size=32):
    """Drawn on a 32-pixel grid, scaled to the size asked for."""
    k = size / 32
    c = Canvas(size, size, (0, 0, 0, 0))
    database(c, round(k), round(2 * k), round(20 * k), round(26 * k),
             (60, 110, 190, 255), (140, 185, 240, 255), (30, 70, 140, 255))
    green = (30, 160, 60, 255)
    dot = max(1.6 * k, 0.8)
    for step in range(0, 260, 4):
        angle = math.radians(step - 40)
        c.ellipse(k * (22 + 6 * math.cos(angle)), k * (21 + 6 * math.sin(angle)), dot, dot, green)
    c.polygon([(25 * k, 10 * k), (30 * k, 14 * k), (24 * k, 17 * k)], green)
    return c


def write_ico(name, canvases):
    """A Windows icon: one 32-bit image per size, each with the AND mask older readers want."""
    images = []
    for canvas in canvases:
        size = canvas.width
        header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
        colour = b"".join(bytes((p[2], p[1], p[0], p[3]))
                          for y in reversed(range(size))
                          for p in canvas.pixels[y * size:(y + 1) * size])
        mask_stride = (size + 31) // 32 * 4
        mask = bytearray()
        for y in reversed(range(size)):
            row = bytearray(mask_stride)
            for x in range(size):
                if canvas.pixels[y * size + x][3] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += row
        images.append((size, header + colour + bytes(mask)))
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for size, data in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(os.path.join(HERE, name), "wb") as out:
        out.write(directory + b"".join(data for _, data in images))


def promotion_picture():
    c = Canvas(345, 281, (0, 0, 0))
    for y in range(281):
        t = y / 280
        shade = (int(24 + 20 * t), int(52 + 30 * t), int(96 + 40 * t))
        c.rect(0, y, 345, y + 1, shade)
    for i in range(9):
        c.line(0, 40 + i * 30, 345, 10 + i * 30, 1, (255, 255, 255, 12))

    title = "ORVIK ERP"
    c.text((345 - text_width(title, 4)) // 2 + 2, 16, title, 4, (10, 20, 40))
    c.text((345 - text_width(title, 4)) // 2, 14, title, 4, (255, 255, 255))
    subtitle = "PRODUCTION MANAGEMENT"
    c.text((345 - text_width(subtitle, 2)) // 2, 52, subtitle, 2, (150, 215, 255))

    # The product's main screen.
    c.rounded_rect(22, 78, 323, 266, 6, (235, 240, 247))
    c.rounded_rect(22, 78, 323, 96, 6, (70, 100, 150))
    c.rect(22, 90, 323, 96, (70, 100, 150))
    for i, colour in enumerate([(240, 90, 80), (245, 190, 60), (90, 200, 100)]):
        c.ellipse(33 + i * 11, 87, 3.5, 3.5, colour)
    c.rect(22, 96, 86, 266, (214, 222, 234))
    c.rect(22, 256, 86, 266, (235, 240, 247))
    c.rounded_rect(22, 250, 86, 266, 6, (214, 222, 234))
    for i in range(6):
        c.rounded_rect(30, 106 + i * 22, 78, 118 + i * 22, 3,
                       (90, 130, 200) if i == 1 else (170, 184, 204))

    # Output per month.
    c.rect(96, 106, 222, 180, (255, 255, 255))
    bars = [34, 48, 40, 58, 52, 64]
    palette = [(70, 130, 220), (70, 130, 220), (70, 130, 220), (70, 130, 220),
               (70, 130, 220), (240, 120, 60)]
    for i, (height, colour) in enumerate(zip(bars, palette)):
        c.rect(104 + i * 19, 174 - height, 117 + i * 19, 174, colour)
    c.rect(100, 174, 218, 175, (120, 130, 150))

    # Cost trend.
    c.rect(96, 188, 222, 256, (255, 255, 255))
    points = [(102, 240), (122, 232), (142, 236), (162, 218), (182, 222), (202, 204), (216, 200)]
    for (ax, ay), (bx, by) in zip(points, points[1:]):
        c.line(ax, ay, bx, by, 2.2, (220, 60, 60))
    for x, y in points:
        c.ellipse(x, y, 2.5, 2.5, (160, 30, 30))

    # Plant and machines.
    c.rect(230, 106, 314, 256, (255, 255, 255))
    c.polygon([(238, 170), (238, 140), (254, 152), (254, 140), (270, 152), (270, 140),
               (286, 152), (286, 124), (296, 124), (296, 170)], (110, 120, 140))
    for i in range(4):
        c.rect(244 + i * 12, 158, 251 + i * 12, 165, (250, 210, 90))
    c.ellipse(291, 118, 4, 3, (200, 205, 215))
    c.ellipse(286, 112, 3, 2.5, (215, 220, 228))
    c.gear(256, 214, 22, 10, (90, 130, 200), (255, 255, 255))
    c.gear(292, 232, 14, 8, (240, 150, 60), (255, 255, 255))
    return c


if __name__ == "__main__":
    write_rgba("open16.png", open_glyph())
    write_rgba("start16.png", start_glyph())
    write_indexed("icon32.png", program_icon())
    write_ico("program.ico", [program_icon(size) for size in (16, 32, 48)])
    write_rgb("promotion.png", promotion_picture())
