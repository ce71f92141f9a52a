#!/usr/bin/env python3
"""Draws the toolbar's buttons (16 x 16 PNG, transparent background) into
res/toolbar/ and lists them in res/gui.qrc under the prefix "/toolbar". Run
it again after changing a drawing; the PNG files are committed so that a
build needs no Python.

    scripts/make_toolbar_icons.py [OUTPUT_FOLDER]
"""
import math
import os
import re
import struct
import sys
import zlib

SIZE = 16

BLACK = (0, 0, 0, 255)
GREY = (128, 128, 128, 255)
WHITE = (255, 255, 255, 255)
BLUE = (30, 80, 200, 255)
GREEN = (20, 150, 40, 255)
RED = (210, 30, 30, 255)
AMBER = (230, 150, 0, 255)
PAPER = (250, 250, 235, 255)


class Icon:
    def __init__(self):
        self.pixels = [[(0, 0, 0, 0)] * SIZE for _ in range(SIZE)]

    def dot(self, x, y, colour):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour, fill=None):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                edge = x in (x0, x1) or y in (y0, y1)
                if edge:
                    self.dot(x, y, colour)
                elif fill:
                    self.dot(x, y, fill)

    def line(self, x0, y0, x1, y1, colour):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            self.dot(round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps), colour)

    def ring(self, cx, cy, r, colour, fill=None, start=0, end=360):
        for y in range(SIZE):
            for x in range(SIZE):
                d = math.hypot(x - cx, y - cy)
                angle = math.degrees(math.atan2(cy - y, x - cx)) % 360
                if fill and d < r - 0.5:
                    self.dot(x, y, fill)
                if abs(d - r) < 0.55 and start <= angle <= end:
                    self.dot(x, y, colour)

    def cross(self, x, y, colour):  # a 5 x 5 "x" with its top left at x, y
        for i in range(5):
            self.dot(x + i, y + i, colour)
            self.dot(x + 4 - i, y + i, colour)
            self.dot(x + i + 1, y + i, colour)
            self.dot(x + 5 - i, y + i, colour)

    def plus(self, x, y, colour):  # a 5 x 5 "+" with its top left at x, y
        self.rect(x + 2, y, x + 2, y + 4, colour)
        self.rect(x, y + 2, x + 4, y + 2, colour)

    def png(self):
        raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in self.pixels)
        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
        header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
        return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def antenna(icon, colour):
    """The rover's radio: a mast with its waves."""
    icon.line(5, 4, 5, 14, colour)
    icon.line(2, 14, 8, 14, colour)
    icon.ring(5, 4, 2, colour, start=20, end=160)
    icon.ring(5, 4, 4, colour, start=30, end=150)


def tower(icon, colour):
    """The base station: a lattice tower."""
    icon.line(4, 14, 7, 2, colour)
    icon.line(10, 14, 7, 2, colour)
    icon.line(5, 10, 9, 10, colour)
    icon.line(6, 6, 8, 6, colour)
    icon.line(3, 14, 11, 14, colour)


def page(icon):
    icon.rect(2, 1, 11, 14, GREY, PAPER)
    for y in (4, 6, 8, 10):
        icon.line(4, y, 9, y, GREY)


def satellite(icon, colour):
    """The common source of NMEA positions: a satellite with its panels."""
    icon.rect(4, 4, 7, 7, colour, colour)
    icon.line(1, 1, 3, 3, colour); icon.line(8, 8, 10, 10, colour)
    icon.rect(0, 0, 2, 2, GREY, GREY); icon.rect(9, 9, 11, 11, GREY, GREY)
    icon.ring(5.5, 5.5, 7, colour, start=200, end=250)


def pin(icon):
    """A position: a map pin on a page."""
    page(icon)
    icon.ring(6, 6, 2, RED, fill=RED)
    icon.line(6, 8, 6, 11, RED)


def level(icon, bars):
    """Signal bars: as many filled as the level logs."""
    for i in range(3):
        x = 3 + i * 4
        top = 11 - i * 4
        icon.rect(x, top, x + 2, 14, BLACK, BLUE if i < bars else None)


def draw_all():
    icons = {}

    icon = Icon(); antenna(icon, BLUE); icon.plus(10, 9, GREEN); icon.plus(10, 8, GREEN)
    icons["connect_listener"] = icon
    icon = Icon(); antenna(icon, BLUE); icon.cross(9, 9, RED)
    icons["disconnect_listener"] = icon
    icon = Icon()
    icon.rect(1, 3, 14, 12, BLACK, WHITE)
    icon.rect(3, 5, 3, 10, BLUE)  # I
    icon.rect(6, 5, 6, 10, BLUE); icon.line(7, 5, 9, 5, BLUE); icon.line(7, 10, 9, 10, BLUE)  # D
    icon.line(10, 6, 10, 9, BLUE); icon.dot(11, 7, BLUE); icon.dot(11, 8, BLUE)
    icons["product_id"] = icon
    icon = Icon(); page(icon); icon.plus(10, 10, GREEN); icon.plus(10, 9, GREEN)
    icons["create_log"] = icon
    icon = Icon(); page(icon); icon.cross(9, 10, RED)
    icons["close_log"] = icon
    for bars, name in enumerate(("level_none", "level_basic", "level_most", "level_all")):
        icon = Icon(); level(icon, bars)
        icons[name] = icon
    icon = Icon(); icon.rect(4, 3, 6, 12, BLACK, AMBER); icon.rect(9, 3, 11, 12, BLACK, AMBER)
    icons["pause"] = icon
    icon = Icon(); icon.ring(8, 8, 5, GREEN, start=0, end=300); icon.ring(8, 8, 4, GREEN, start=0, end=300)
    icon.line(11, 1, 13, 4, GREEN); icon.line(13, 4, 10, 5, GREEN)
    icons["reset_statistics"] = icon
    icon = Icon(); tower(icon, BLACK); icon.plus(10, 9, GREEN); icon.plus(10, 8, GREEN)
    icons["connect_source"] = icon
    icon = Icon(); tower(icon, BLACK); icon.cross(9, 9, RED)
    icons["disconnect_source"] = icon
    icon = Icon(); icon.ring(7.5, 7.5, 6.5, BLUE, fill=BLUE)
    icon.line(6, 4, 9, 4, WHITE); icon.dot(10, 5, WHITE); icon.dot(10, 6, WHITE); icon.dot(9, 7, WHITE)
    icon.dot(8, 8, WHITE); icon.dot(8, 9, WHITE); icon.dot(8, 11, WHITE); icon.dot(5, 5, WHITE)
    icons["about"] = icon
    icon = Icon(); satellite(icon, BLUE); icon.plus(10, 9, GREEN); icon.plus(10, 8, GREEN)
    icons["connect_common_nmea"] = icon
    icon = Icon(); satellite(icon, BLUE); icon.cross(9, 9, RED)
    icons["disconnect_common_nmea"] = icon
    icon = Icon(); pin(icon); icon.plus(10, 10, GREEN); icon.plus(10, 9, GREEN)
    icons["open_position_log"] = icon
    icon = Icon(); pin(icon); icon.cross(9, 10, RED)
    icons["close_position_log"] = icon
    icon = Icon()
    icon.rect(1, 6, 3, 9, BLACK, GREY)
    for i in range(4):
        icon.line(4 + i, 6 - i, 4 + i, 9 + i, BLACK)
    icon.ring(7, 7.5, 4, BLUE, start=300, end=360); icon.ring(7, 7.5, 4, BLUE, start=0, end=60)
    icon.ring(7, 7.5, 6.5, BLUE, start=310, end=360); icon.ring(7, 7.5, 6.5, BLUE, start=0, end=50)
    icons["cmr_sound"] = icon
    # The fake CMR schedules: a row of epochs, one bar a frame.
    icon = Icon(); icon.rect(3, 3, 5, 12, BLACK, BLUE); icon.rect(10, 3, 12, 12, BLACK, BLUE)
    icons["pause_fake"] = icon
    icon = Icon()
    for x in (1, 4, 7, 10, 13):
        icon.rect(x, 6, x + 1, 13, GREEN, GREEN)
    icon.line(1, 3, 14, 3, GREY)
    icons["schedule_5hz"] = icon
    icon = Icon(); icon.rect(3, 4, 5, 13, GREEN, GREEN); icon.line(1, 2, 14, 2, GREY); icon.plus(9, 6, BLUE)
    icons["schedule_1hz_plus"] = icon
    icon = Icon(); icon.rect(2, 4, 4, 13, GREEN, GREEN); icon.line(1, 2, 14, 2, GREY)
    icon.line(7, 6, 8, 12, AMBER); icon.line(8, 12, 10, 8, AMBER); icon.line(10, 8, 12, 12, AMBER)
    icon.line(12, 12, 13, 6, AMBER)
    icons["schedule_cmrw"] = icon
    icon = Icon(); icon.rect(6, 4, 8, 13, GREEN, GREEN); icon.line(1, 2, 14, 2, GREY)
    icons["schedule_1hz"] = icon
    icon = Icon(); satellite(icon, GREY); icon.plus(10, 9, GREEN); icon.plus(10, 8, GREEN)
    icons["more_svs"] = icon
    icon = Icon(); satellite(icon, GREY); icon.rect(10, 11, 14, 12, RED, RED)
    icons["fewer_svs"] = icon
    return icons


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "res")
    os.makedirs(os.path.join(out, "toolbar"), exist_ok=True)
    icons = draw_all()
    for name, icon in sorted(icons.items()):
        with open(os.path.join(out, "toolbar", name + ".png"), "wb") as f:
            f.write(icon.png())
    block = "<qresource prefix=\"/toolbar\">\n"
    for name in sorted(icons):
        block += "    <file alias=\"%s.png\">toolbar/%s.png</file>\n" % (name, name)
    block += "</qresource>\n"
    qrc = os.path.join(out, "gui.qrc")
    with open(qrc) as f:
        text = f.read()
    pattern = re.compile(r'<qresource prefix="/toolbar">.*?</qresource>\n', re.S)
    text = pattern.sub(lambda _: block, text) if pattern.search(text) else text.replace("</RCC>", block + "</RCC>")
    with open(qrc, "w") as f:
        f.write(text)

if __name__ == "__main__":
    main()
