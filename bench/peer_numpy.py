#!/usr/bin/python3
"""The Python peer: one process, numpy over each frame, tifffile for TIFF, Pillow for BMP.
   peer_numpy.py KIND WIDTH HEIGHT FRAMES DATA.orx OUTDIR"""
import sys

import numpy as np
import tifffile
from PIL import Image

from ramp import ramp

kind, w, h, frames = (int(a) for a in sys.argv[1:5])
data, out = sys.argv[5], sys.argv[6]
lut = np.array(ramp(), dtype=np.uint8) if kind == 3 else None
with open(data, "rb") as f:
    for n in range(frames):
        f.seek(32 + n * w * h * 2)
        frame = np.fromfile(f, dtype="<u2", count=w * h).reshape(h, w)
        if kind == 0:
            top = int(frame.max())
            frame = (frame / top * 65535.0).astype(np.uint16) if top else frame
        if kind < 2:
            tifffile.imwrite(f"{out}/f{n}.tiff", frame[::-1], photometric="minisblack")
        elif kind == 2:
            Image.fromarray((frame >> 8).astype(np.uint8)[::-1], "L").save(f"{out}/f{n}.bmp")
        else:
            Image.fromarray(lut[frame >> 2][::-1], "RGB").save(f"{out}/f{n}.bmp")
