#!/usr/bin/python3
"""quillfen-cli with --jobs 1, 2 and 4 (and --sync) against the reference converter, on one
large file, on several small files and on many small frames.

Every run converts a fresh folder (hard links to the data); runs of all variants are
interleaved so that drift of the machine touches all alike; the table gives medians and
the peak resident memory (/usr/bin/time). Prints a Markdown section for
docs/benchmarks.md.

    bench/jobs.py --build build --runs 3"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

KINDS = ["normalized-tiff", "standardized-tiff", "grayscale-bmp", "color-bmp"]


class DataSet:
    def __init__(self, width, height, frames, files=1, jobs=(1, 2, 4), sync=True):
        self.width, self.height, self.frames, self.files = width, height, frames, files
        self.jobs, self.sync = jobs, sync
        each = f"{frames} frames" if files == 1 else f"{files} files of {frames} frames"
        self.name = f"{width} x {height}, {each}"


DATASETS = [
    DataSet(640, 480, 200),
    DataSet(2048, 2048, 20, jobs=(1,), sync=False),
    DataSet(2048, 2048, 40),
    DataSet(2048, 2048, 5, files=8),
]


def run_once(work, data, command):
    folder = tempfile.mkdtemp(dir=work)
    for path in data:
        os.link(path, os.path.join(folder, os.path.basename(path)))
    start = time.perf_counter()
    done = subprocess.run(["/usr/bin/time", "-f", "%M", *command(folder)], capture_output=True, text=True)
    wall = time.perf_counter() - start
    if done.returncode != 0:
        raise RuntimeError(f"{command(folder)[:4]}... failed: {done.stderr[-400:]}")
    rss_kb = int(done.stderr.strip().splitlines()[-1])
    shutil.rmtree(folder)
    return wall, rss_kb


def variants(build, ds, kind):
    cli = os.path.join(build, "src/cli/quillfen-cli")
    ref = os.path.join(build, "bench/quillfen_reference")
    out = []
    if os.path.exists(ref):
        out.append(("reference", lambda f: [ref, str(kind), f]))
    for jobs in ds.jobs:
        base = [cli, "convert", "--quiet", "--settle-ms", "0", "--kind", KINDS[kind], "--jobs", str(jobs)]
        out.append((f"--jobs {jobs}", lambda f, b=base: [*b, f]))
        if ds.sync and jobs <= 2:
            out.append((f"--jobs {jobs} --sync", lambda f, b=base: [*b, "--sync", f]))
    if ds.files > 1:
        # The machine's own ceiling for two cores: two processes, each on half of the files.
        base = [cli, "convert", "--quiet", "--settle-ms", "0", "--kind", KINDS[kind], "--jobs", "1"]
        halves = " & ".join(f"{' '.join(base)} --shard {k}/2 \"$1\"" for k in (1, 2))
        out.append(("2 processes", lambda f: ["sh", "-c", f"{halves} & wait", "sh", f]))
    return out


def measure(build, runs, work):
    rows = []
    for ds in DATASETS:
        data = []
        for n in range(ds.files):
            path = os.path.join(work, f"d{ds.width}-{ds.frames}-{ds.files}-{n}.orx")
            subprocess.run([os.path.join(build, "src/cli/quillfen-cli"), "synth", "--width", str(ds.width),
                            "--height", str(ds.height), "--frames", str(ds.frames), "--seed", str(n + 1),
                            "--force", path], check=True, capture_output=True)
            data.append(path)
        for kind in range(4):
            vs = variants(build, ds, kind)
            samples = {name: [] for name, _ in vs}
            for _ in range(runs):
                for name, command in vs:
                    samples[name].append(run_once(work, data, command))
            for name, _ in vs:
                wall = statistics.median(s[0] for s in samples[name])
                rss = max(s[1] for s in samples[name]) / 1024
                rows.append(dict(ds=ds, kind=KINDS[kind], variant=name, wall=wall, rss=rss))
            print(f"{ds.name} {KINDS[kind]} done", file=sys.stderr)
        for path in data:
            os.unlink(path)
    return rows


def table(rows):
    lines = ["| frames | kind | run | frames/s | peak RSS MB | vs --jobs 1 | vs reference |",
             "|---|---|---|---:|---:|---:|---:|"]
    for row in rows:
        ds = row["ds"]
        group = {r["variant"]: r for r in rows if r["ds"] is ds and r["kind"] == row["kind"]}
        one, ref = group.get("--jobs 1"), group.get("reference")
        fps = ds.frames * ds.files / row["wall"]
        vs_one = f"{one['wall'] / row['wall']:.2f}x" if one and row["variant"] != "reference" else "-"
        vs_ref = f"{ref['wall'] / row['wall']:.2f}x" if ref else "-"
        lines.append(f"| {ds.name} | {row['kind']} | {row['variant']} | {fps:.1f} | {row['rss']:.1f} | "
                     f"{vs_one} | {vs_ref} |")
    return "\n".join(lines)


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--build", default="build")
    p.add_argument("--runs", type=int, default=3)
    a = p.parse_args()
    work = tempfile.mkdtemp(prefix="quillfen-jobs-")
    try:
        rows = measure(a.build, a.runs, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print(f"Command: `bench/jobs.py --build {a.build} --runs {a.runs}` "
          f"({os.cpu_count()} cores; medians of {a.runs} interleaved runs).\n")
    print(table(rows))


if __name__ == "__main__":
    main()
