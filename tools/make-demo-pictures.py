#!/usr/bin/env python3
"""Draws the demo pictures in res/demo (committed; run again only to change them): four 1024 x 640
landscapes as RLE8 BMPs, which any Windows desktop, Wine's too, shows without a codec; smooth bands
are long runs of one colour, so each is ~10 KB."""
import itertools
import math
import struct
from pathlib import Path

WIDTH, HEIGHT = 1024, 640
SKY_LEVELS = 160  # palette entries for the sky gradient; the rest for the land


def lerp(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def ridge(x, seed, base, amplitude):
    """Height of a mountain ridge at column x: a few slow waves."""
    waves = ((0.004, 1.0), (0.011, 0.45), (0.027, 0.18))
    h = sum(a * math.sin(x * f + seed * (i + 1.7)) for i, (f, a) in enumerate(waves))
    return base + amplitude * h / 1.63


def picture(sky_top, sky_horizon, sun, layers, water=None):
    """Rows of palette indices (top first) and the palette."""
    palette = [lerp(sky_top, sky_horizon, i / (SKY_LEVELS - 1)) for i in range(SKY_LEVELS)] + [sun[3]]
    sun_index, layer_base = SKY_LEVELS, SKY_LEVELS + 1
    for near, far in (layer[3:5] for layer in layers):
        palette += [lerp(far, near, i / 7) for i in range(8)]
    water_index = len(palette)
    if water:
        palette += [lerp(water[1], water[2], i / 15) for i in range(16)]
    palette += [(0, 0, 0)] * (256 - len(palette))

    horizon = water[0] if water else HEIGHT

    def index(x, y):  # what is in front: water, the nearest ridge, the sun, the sky
        if y >= horizon:
            return water_index + min(15, (y - horizon) * 16 // (HEIGHT - horizon))
        for n, (seed, base, amplitude, _, _) in reversed(list(enumerate(layers))):
            top = ridge(x, seed, base, amplitude)
            if y >= top:
                return layer_base + n * 8 + min(7, int((y - top) * 8 / max(1, horizon - top)))
        if (x - sun[0]) ** 2 + (y - sun[1]) ** 2 <= sun[2] ** 2:
            return sun_index
        return min(SKY_LEVELS - 1, y * SKY_LEVELS // int(HEIGHT * 0.75))

    return [[index(x, y) for x in range(WIDTH)] for y in range(HEIGHT)], palette


def rle8(rows):
    out = bytearray()
    for row in reversed(rows):  # a BMP stores the bottom row first
        for value, same in itertools.groupby(row):
            run = len(list(same))
            for start in range(0, run, 255):  # a run is at most 255 long
                out += bytes((min(255, run - start), value))
        out += b"\0\0"  # end of line
    out += b"\0\1"  # end of bitmap
    return bytes(out)


def write_bmp(path, rows, palette):
    bits = rle8(rows)
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + 40 + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 1, len(bits), 2835, 2835, 256, 0)  # BI_RLE8
    Path(path).write_bytes(header + info + colours + bits)


SCENES = {
    "dawn.bmp": ((38, 52, 110), (250, 176, 120), (800, 190, 46, (255, 236, 190)),
                 [(1.0, 330, 90, (96, 70, 120), (140, 110, 150)), (2.3, 420, 70, (46, 34, 70), (80, 62, 104))]),
    "lake.bmp": ((70, 140, 210), (200, 228, 245), (260, 150, 36, (255, 252, 225)),
                 [(3.1, 300, 80, (60, 96, 130), (110, 146, 176)), (4.2, 360, 50, (40, 84, 62), (70, 120, 86))],
                 (470, (90, 140, 170), (30, 60, 90))),
    "night.bmp": ((6, 10, 30), (40, 60, 110), (820, 130, 28, (235, 235, 215)),
                  [(5.5, 380, 100, (22, 26, 48), (34, 40, 70)), (6.1, 470, 60, (8, 10, 20), (16, 18, 34))]),
    "noon.bmp": ((30, 110, 200), (170, 215, 240), (512, 110, 40, (255, 250, 210)),
                 [(7.7, 340, 110, (110, 130, 150), (170, 186, 200)), (8.9, 450, 60, (70, 120, 60), (110, 150, 80))]),
}

if __name__ == "__main__":
    out_dir = Path(__file__).resolve().parent.parent / "res" / "demo"
    out_dir.mkdir(parents=True, exist_ok=True)
    for name, scene in SCENES.items():
        write_bmp(out_dir / name, *picture(*scene))
        print(name, (out_dir / name).stat().st_size, "bytes")
