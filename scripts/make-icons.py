#!/usr/bin/python3
"""Draws the Quillfen icon (a false-colour beam spot crossed by a quill) at the sizes
the program ships: 16, 24, 32, 48 and 256 pixels. Run it again after changing the design;
the PNGs it writes are committed."""
import math
import sys
from PIL import Image, ImageDraw

RAMP = [(0, 0, 0), (0, 0, 163), (0, 169, 253), (0, 252, 253), (0, 252, 0),
        (252, 252, 0), (252, 128, 0), (252, 2, 0), (252, 2, 252), (255, 255, 255)]


def ramp(t):
    t = max(0.0, min(1.0, t)) * (len(RAMP) - 1)
    i = min(int(t), len(RAMP) - 2)
    f = t - i
    return tuple(int(a + (b - a) * f) for a, b in zip(RAMP[i], RAMP[i + 1]))


def draw(size):
    s = 1024
    img = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    spot = Image.new("RGBA", (s, s))
    px = spot.load()
    cx, cy, sigma = s * 0.42, s * 0.58, s * 0.22
    for y in range(0, s, 4):
        for x in range(0, s, 4):
            v = math.exp(-((x - cx) ** 2 + (y - cy) ** 2) / (2 * sigma * sigma))
            c = ramp(0.12 + 0.88 * v) + (255,)
            for dy in range(4):
                for dx in range(4):
                    px[x + dx, y + dy] = c
    mask = Image.new("L", (s, s), 0)
    ImageDraw.Draw(mask).rounded_rectangle((24, 24, s - 24, s - 24), radius=180, fill=255)
    img.paste(spot, (0, 0), mask)
    d = ImageDraw.Draw(img)
    # The quill: a long leaf shape from top right to bottom left, with its shaft.
    ax, ay, bx, by = s * 0.86, s * 0.10, s * 0.22, s * 0.86
    ang = math.atan2(by - ay, bx - ax)
    nx, ny = -math.sin(ang), math.cos(ang)
    pts = []
    for k in range(41):
        t = k / 40
        w = math.sin(math.pi * min(t / 0.8, 1.0)) * s * 0.11
        pts.append((ax + (bx - ax) * t + nx * w, ay + (by - ay) * t + ny * w))
    for k in range(40, -1, -1):
        t = k / 40
        w = math.sin(math.pi * min(t / 0.8, 1.0)) * s * 0.05
        pts.append((ax + (bx - ax) * t - nx * w, ay + (by - ay) * t - ny * w))
    d.polygon(pts, fill=(255, 255, 255, 240))
    d.line((ax, ay, bx, by), fill=(40, 40, 60, 255), width=max(14, s // 64))
    d.rounded_rectangle((24, 24, s - 24, s - 24), radius=180, outline=(20, 20, 40, 255), width=20)
    return img.resize((size, size), Image.LANCZOS)


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "src/app/icons"
    for size in (16, 24, 32, 48, 256):
        draw(size).save(f"{out}/quillfen-{size}.png")
