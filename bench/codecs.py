#!/usr/bin/python3
"""quillfen-cli's compressed and stacked outputs side by side with their peers, in one run:

  --stack --compress zstd            vs  the zstd -1 -T0 command on the same raw frames
  --compress deflate, file per frame vs  Python tifffile writing a file per frame (zlib)
  --stack --compress deflate         vs  tifffile writing one multi-page file (zlib)
  --stack (no compression)           vs  dd of the same bytes
  --stack --compress deflate -j 2    vs  -j 1 (and what zstd -3 gains from -T2 over -T1)

on 12-bit synthetic beams (640 x 480 x 200 and 2048 x 2048 x 20). The samples are the
standardized kind's (the frames as they are), so every program compresses the same values;
tifffile uses no predictor, as our default. Runs of all variants are interleaved (drift of
a shared machine touches all alike); the table gives medians of --runs runs and ratios.
--levels prints the size/speed table of every deflate and zstd level instead.

    bench/codecs.py --build build --runs 3
    bench/codecs.py --build build --levels"""
import argparse
import glob
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import numpy
import tifffile

SETS = [(640, 480, 200), (2048, 2048, 20)]

TIFFFILE_WRITER = r"""
import sys, numpy, tifffile
raw, out, w, h, n, per_frame = sys.argv[1], sys.argv[2], *map(int, sys.argv[3:7])
frames = numpy.fromfile(raw, dtype='<u2').reshape(n, h, w)
if per_frame:
    for i in range(n):
        tifffile.imwrite(f'{out}/f{i:04}.tif', frames[i], compression='zlib')
else:
    tifffile.imwrite(f'{out}/stack.tif', frames, compression='zlib')
"""


class DataSet:
    def __init__(self, work, cli, width, height, frames):
        self.width, self.height, self.frames = width, height, frames
        self.name = f"{width} x {height} x {frames}"
        self.folder = os.path.join(work, f"data{width}")
        os.makedirs(self.folder)
        self.orx = os.path.join(self.folder, "beam.orx")
        subprocess.run([cli, "synth", "--width", str(width), "--height", str(height), "--frames", str(frames),
                        "--bits", "12", self.orx], check=True, capture_output=True)
        # The raw frames the peers get: the samples as a plain stack holds them, frame after frame.
        stack_dir = os.path.join(work, f"plain{width}")
        subprocess.run([cli, "convert", "--quiet", "--stack", "--kind", "standardized-tiff", "-o", stack_dir,
                        self.folder], check=True)
        pages = tifffile.imread(os.path.join(stack_dir, "beam.tiff"))
        self.raw = os.path.join(work, f"frames{width}.raw")
        numpy.ascontiguousarray(pages, dtype="<u2").tofile(self.raw)
        shutil.rmtree(stack_dir)

    @property
    def mb(self):
        return self.width * self.height * self.frames * 2 / 1e6


def quillfen(cli, ds, *options):
    def command(out):
        return [cli, "convert", "--quiet", "--kind", "standardized-tiff", "-o", out, *options, ds.folder]
    return command


def peers(cli, ds):
    """(name, command) pairs; each command takes a fresh output folder."""
    tiff_writer = lambda per_frame: lambda out: ["/usr/bin/python3", "-c", TIFFFILE_WRITER, ds.raw, out,
                                                 str(ds.width), str(ds.height), str(ds.frames), str(per_frame)]
    out = [
        ("zstd stack", quillfen(cli, ds, "--stack", "--compress", "zstd")),
        ("zstd -1 -T0", lambda o: ["zstd", "-q", "-1", "-T0", ds.raw, "-o", os.path.join(o, "f.zst")]),
        ("deflate per frame", quillfen(cli, ds, "--compress", "deflate")),
        ("tifffile per frame", tiff_writer(1)),
        ("deflate stack", quillfen(cli, ds, "--stack", "--compress", "deflate")),
        ("tifffile stack", tiff_writer(0)),
        ("plain stack", quillfen(cli, ds, "--stack")),
        ("dd", lambda o: ["dd", "status=none", "bs=4M", f"if={ds.raw}", f"of={os.path.join(o, 'f.raw')}"]),
        ("deflate stack -j 1", quillfen(cli, ds, "--stack", "--compress", "deflate", "--jobs", "1")),
        ("deflate stack -j 2", quillfen(cli, ds, "--stack", "--compress", "deflate", "--jobs", "2")),
        ("zstd -3 -T1", lambda o: ["zstd", "-q", "-3", "-T1", ds.raw, "-o", os.path.join(o, "f.zst")]),
        ("zstd -3 -T2", lambda o: ["zstd", "-q", "-3", "-T2", ds.raw, "-o", os.path.join(o, "f.zst")]),
    ]
    return out


def run_once(work, command):
    out = tempfile.mkdtemp(dir=work)
    start = time.perf_counter()
    done = subprocess.run(command(out), capture_output=True, text=True)
    wall = time.perf_counter() - start
    if done.returncode != 0:
        raise RuntimeError(f"{command(out)[:6]} failed: {done.stderr[-400:]}")
    size = sum(os.path.getsize(p) for p in glob.glob(os.path.join(out, "*")))
    shutil.rmtree(out)
    return wall, size


def measure(work, variants, runs):
    times = {name: [] for name, _ in variants}
    sizes = {}
    for _ in range(runs):
        for name, command in variants:
            wall, size = run_once(work, command)
            times[name].append(wall)
            sizes[name] = size
    return {name: statistics.median(t) for name, t in times.items()}, sizes


def comparisons(ds, t, size):
    """(ours, peer, target, ratio, met, note) rows; ratio: peer time / our time."""
    def ratio(ours, peer):
        return t[peer] / t[ours]
    rows = []
    z = ratio("zstd stack", "zstd -1 -T0")
    rows.append(("`--stack --compress zstd`", "`zstd -1 -T0`", ">= 0.7x", z, z >= 0.7,
                 f"{ds.mb / t['zstd stack']:.0f} MB/s; {size['zstd stack'] / size['zstd -1 -T0']:.2f}x its size"))
    for ours, peer in (("deflate per frame", "tifffile per frame"), ("deflate stack", "tifffile stack")):
        r = ratio(ours, peer)
        smaller = size[ours] <= size[peer]
        rows.append((f"`--compress deflate`, {ours.split(' ', 1)[1]}", f"tifffile, zlib, {peer.split(' ', 1)[1]}",
                     ">= 8x, no larger", r, r >= 8 and smaller,
                     f"{ds.mb / t[ours]:.0f} MB/s; size {size[ours] / size[peer]:.3f}x tifffile's"))
    d = ratio("plain stack", "dd")
    rows.append(("`--stack`", "`dd`", ">= 0.8x", d, d >= 0.8, f"{ds.mb / t['plain stack']:.0f} MB/s"))
    j = t["deflate stack -j 1"] / t["deflate stack -j 2"]
    zgain = t["zstd -3 -T1"] / t["zstd -3 -T2"]
    rows.append(("`--stack --compress deflate --jobs 2`", "`--jobs 1`", ">= 1.7x, or >= 0.95x zstd's -T2 gain",
                 j, j >= 1.7 or j >= 0.95 * zgain, f"zstd -3 gains {zgain:.2f}x from -T2"))
    return rows


def level_table(work, cli, sets):
    print("| frames | codec | level | predictor | MB/s (1 job) | size vs samples |")
    print("|---|---|---|---|---|---|")
    for ds in sets:
        for codec, levels in (("deflate", (1, 2, 3, 4, 6, 9, 12)), ("zstd", (1, 2, 3, 5, 9))):
            for level in levels:
                for predictor in ((), ("--predictor",)):
                    command = quillfen(cli, ds, "--stack", "--jobs", "1", "--compress", codec, "--level", str(level),
                                       *predictor)
                    wall, size = run_once(work, command)
                    print(f"| {ds.name} | {codec} | {level} | {'yes' if predictor else 'no'} | {ds.mb / wall:.0f} | "
                          f"{size / (ds.mb * 1e6):.3f} |", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--only", choices=["small", "large"], help="one of the two series only")
    parser.add_argument("--levels", action="store_true", help="the size/speed table of the levels instead")
    args = parser.parse_args()
    cli = os.path.abspath(os.path.join(args.build, "src/cli/quillfen-cli"))
    work = tempfile.mkdtemp(prefix="quillfen-codecs-")
    try:
        chosen = {"small": SETS[:1], "large": SETS[1:], None: SETS}[args.only]
        sets = [DataSet(work, cli, *s) for s in chosen]
        print(f"load average before: {os.getloadavg()[0]:.2f}; {os.cpu_count()} cores", flush=True)
        if args.levels:
            level_table(work, cli, sets)
            return
        print("| frames | quillfen | peer | target | ratio | met | notes |")
        print("|---|---|---|---|---|---|---|")
        for ds in sets:
            t, size = measure(work, peers(cli, ds), args.runs)
            for ours, peer, target, ratio, met, note in comparisons(ds, t, size):
                print(f"| {ds.name} | {ours} | {peer} | {target} | {ratio:.2f}x | {'yes' if met else 'no'} | {note} |",
                      flush=True)
        print(f"load average after: {os.getloadavg()[0]:.2f}")
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    sys.exit(main())
