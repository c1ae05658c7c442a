#!/usr/bin/python3
"""Two builds of quillfen-cli side by side (say, before and after a change): one large and one
many-framed synthetic file, each kind of two, --jobs 1 and 2, runs interleaved so that the
machine's drift touches both alike; prints the medians as a Markdown table.

    bench/ab_cli.py OLD/quillfen-cli NEW/quillfen-cli [--runs 3]"""
import argparse
import os
import shutil
import statistics
import subprocess
import tempfile
import time

CASES = [("big.orx", "standardized-tiff"), ("big.orx", "normalized-tiff"),
         ("small.orx", "color-bmp"), ("small.orx", "grayscale-bmp")]
FRAMES = {"big.orx": 40, "small.orx": 200}


def main():
    p = argparse.ArgumentParser()
    p.add_argument("old")
    p.add_argument("new")
    p.add_argument("--runs", type=int, default=3)
    a = p.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        synth = [a.new, "synth", "--bits", "12"]
        subprocess.run(synth + ["--width", "2048", "--height", "2048", "--frames", "40", f"{tmp}/big.orx"], check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run(synth + ["--width", "640", "--height", "480", "--frames", "200", f"{tmp}/small.orx"],
                       check=True, stdout=subprocess.DEVNULL)
        times = {}
        for _ in range(a.runs):
            for data, kind in CASES:
                for jobs in ("1", "2"):
                    for name, exe in (("old", a.old), ("new", a.new)):
                        run = f"{tmp}/run"
                        shutil.rmtree(run, ignore_errors=True)
                        os.mkdir(run)
                        os.link(f"{tmp}/{data}", f"{run}/{data}")
                        start = time.perf_counter()
                        subprocess.run([exe, "convert", "--quiet", "--settle-ms", "0", "--jobs", jobs, "--kind", kind,
                                        run], check=True)
                        times.setdefault((data, kind, jobs, name), []).append(time.perf_counter() - start)
    print("| data | kind | jobs | old frames/s | new frames/s | new / old |")
    print("|---|---|---|---|---|---|")
    for data, kind in CASES:
        for jobs in ("1", "2"):
            old = statistics.median(times[(data, kind, jobs, "old")])
            new = statistics.median(times[(data, kind, jobs, "new")])
            print(f"| {data} | {kind} | {jobs} | {FRAMES[data] / old:.1f} | {FRAMES[data] / new:.1f} | {old / new:.2f}x |")


if __name__ == "__main__":
    main()
