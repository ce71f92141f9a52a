#!/usr/bin/env python3
"""Draws the statistics table's class icons as XPM files in res/.

One 32 x 16 image per frame class, in the icon order of the statistics table
(CMR, RTCM v2, NMEA, ATS, RTCM v3, CMR-W): a coloured tag with a three-letter
label, magenta around it as the transparent colour. Run it again after a
change and commit the images it writes.

    scripts/make_class_icons.py [OUTPUT_FOLDER]
"""
import os
import sys

WIDTH, HEIGHT = 32, 16

# 3 x 5 glyphs, one string per row, '#' = ink.
GLYPHS = {
    'A': ['.#.', '#.#', '###', '#.#', '#.#'],
    'C': ['.##', '#..', '#..', '#..', '.##'],
    'E': ['###', '#..', '##.', '#..', '###'],
    'M': ['#.#', '###', '###', '#.#', '#.#'],
    'N': ['##.', '#.#', '#.#', '#.#', '#.#'],
    'R': ['##.', '#.#', '##.', '#.#', '#.#'],
    'S': ['.##', '#..', '.#.', '..#', '##.'],
    'T': ['###', '.#.', '.#.', '.#.', '.#.'],
    'W': ['#.#', '#.#', '###', '###', '#.#'],
    '2': ['##.', '..#', '.#.', '#..', '###'],
    '3': ['##.', '..#', '.#.', '..#', '##.'],
}

# (file name, label, tag colour)
ICONS = [
    ('class_cmr', 'CMR', '#1E64C8'),
    ('class_rtcm2', 'RT2', '#2E8B3A'),
    ('class_nmea', 'NME', '#B8860B'),
    ('class_ats', 'ATS', '#8B3AA8'),
    ('class_rtcm3', 'RT3', '#C0392B'),
    ('class_cmrw', 'CMW', '#147A7A'),
]


def draw(label):
    """Rows of pixel codes: ' ' transparent, 'o' outline, 't' tag, 'w' ink."""
    rows = [[' '] * WIDTH for _ in range(HEIGHT)]
    for y in range(1, HEIGHT - 1):
        for x in range(1, WIDTH - 1):
            corner = (y in (1, HEIGHT - 2)) and (x in (1, WIDTH - 2))
            if corner:
                continue
            edge = y in (1, HEIGHT - 2) or x in (1, WIDTH - 2)
            rows[y][x] = 'o' if edge else 't'
    # Glyphs drawn at twice their size: 3 letters x 6 pixels + 2 gaps.
    left = (WIDTH - (3 * 6 + 2 * 2)) // 2
    top = (HEIGHT - 10) // 2
    for index, letter in enumerate(label):
        for gy, line in enumerate(GLYPHS[letter]):
            for gx, ink in enumerate(line):
                if ink != '#':
                    continue
                for dy in range(2):
                    for dx in range(2):
                        rows[top + gy * 2 + dy][left + index * 8 + gx * 2 + dx] = 'w'
    return [''.join(row) for row in rows]


def write_xpm(folder, name, label, colour):
    lines = ['/* XPM */', 'static const char *%s[] = {' % name,
             '"%d %d 4 1",' % (WIDTH, HEIGHT),
             '"  c None",', '"o c #202020",', '"t c %s",' % colour, '"w c #FFFFFF",']
    pixels = draw(label)
    lines += ['"%s"%s' % (row, ',' if i + 1 < len(pixels) else '') for i, row in enumerate(pixels)]
    lines.append('};')
    with open(os.path.join(folder, name + '.xpm'), 'w', encoding='ascii') as out:
        out.write('\n'.join(lines) + '\n')


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'res')
    os.makedirs(folder, exist_ok=True)
    for name, label, colour in ICONS:
        write_xpm(folder, name, label, colour)


if __name__ == '__main__':
    main()
