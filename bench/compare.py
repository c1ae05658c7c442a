#!/usr/bin/python3
"""`make bench`: quillfen-cli against a hand-tight reference and the tools a lab user
would pick instead, on the same synthetic frames, one output file per frame.

Every tool converts a fresh folder per run; runs are interleaved so that drift of the
machine touches all alike; the table gives medians. Writes docs/benchmarks.md."""
import argparse
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ramp import ramp  # noqa: E402

KINDS = ["normalized-tiff", "standardized-tiff", "grayscale-bmp", "color-bmp"]
HERE = os.path.dirname(os.path.abspath(__file__))


class DataSet:
    def __init__(self, width, height, frames):
        self.width, self.height, self.frames = width, height, frames
        self.name = f"{width} x {height}, {frames} frames"

    def offset(self, n):
        return 32 + n * self.width * self.height * 2


def im_command(ds, kind, folder):
    """ImageMagick 6, one process for all frames of the file."""
    src = ["-size", f"{ds.width}x{ds.height}+32", "-depth", "16", "-endian", "LSB", f"gray:{folder}/data.orx"]
    if kind in (0, 1):
        extra = ["-normalize"] if kind == 0 else []
        return ["convert-im6.q16", *src, *extra, "-compress", "none", "+adjoin", f"{folder}/im-%d.tiff"]
    if kind == 2:
        return ["convert-im6.q16", *src, "-depth", "8", "-type", "Grayscale", "+adjoin", f"BMP3:{folder}/im-%d.bmp"]
    cmd = ["convert-im6.q16", *src, "-write", "mpr:f", "+delete", f"{folder}/../ramp.png", "-write", "mpr:ramp", "+delete"]
    for n in range(ds.frames - 1):
        cmd += ["(", f"mpr:f[{n}]", "mpr:ramp", "-interpolate", "integer", "-clut", "-write",
                f"BMP3:{folder}/im-{n}.bmp", "+delete", ")"]
    last = ds.frames - 1
    return cmd + [f"mpr:f[{last}]", "mpr:ramp", "-interpolate", "integer", "-clut", f"BMP3:{folder}/im-{last}.bmp"]


def per_frame(ds, make):
    """A shell loop: one process per frame."""
    return ["sh", "-c", "; ".join(" ".join(make(n)) for n in range(ds.frames))]


def vips_command(ds, kind, folder):
    def frame(n):
        load = ["vips", "rawload", f"{folder}/data.orx"]
        size = [str(ds.width), str(ds.height), "1", "--offset", str(ds.offset(n)), "--format", "ushort"]
        if kind == 1:
            return load + [f"{folder}/v{n}.tiff"] + size + ["--interpretation", "grey16", "2>/dev/null"]
        if kind == 3:
            return load + [f"{folder}/v{n}.v"] + size + ["2>/dev/null", "&&", "vips", "falsecolour",
                                                         f"{folder}/v{n}.v", f"{folder}/v{n}.bmp"]
        return None
    return per_frame(ds, frame) if kind in (1, 3) else None


def raw2tiff_command(ds, kind, folder):
    if kind != 1:
        return None
    return per_frame(ds, lambda n: ["raw2tiff", "-w", str(ds.width), "-l", str(ds.height), "-d", "short", "-b", "1",
                                    "-H", str(ds.offset(n)), "-L", "-p", "minisblack", "-c", "none",
                                    f"{folder}/data.orx", f"{folder}/r{n}.tiff"])


def tools(build):
    cli = os.path.join(build, "src/cli/quillfen-cli")
    ref = os.path.join(build, "bench/quillfen_reference")
    return [
        ("quillfen", lambda ds, k, f: [cli, "convert", "--quiet", "--settle-ms", "0", "--jobs", "1", "--kind",
                                        KINDS[k], f]),
        ("quillfen, default jobs", lambda ds, k, f: [cli, "convert", "--quiet", "--settle-ms", "0", "--kind",
                                                      KINDS[k], f]),
        ("reference", lambda ds, k, f: [ref, str(k), f]),
        ("ImageMagick 6", im_command),
        ("libvips", vips_command),
        ("raw2tiff", raw2tiff_command),
        ("numpy + Pillow/tifffile", lambda ds, k, f: ["/usr/bin/python3", os.path.join(HERE, "peer_numpy.py"), str(k),
                                                       str(ds.width), str(ds.height), str(ds.frames),
                                                       f"{f}/data.orx", f]),
    ]


def available(command):
    return command and shutil.which(command[0] if command[0] != "sh" else command[2].split()[0])


def run_once(work, ds, command_for, kind, data):
    folder = tempfile.mkdtemp(dir=work)
    os.link(data, f"{folder}/data.orx")
    command = command_for(ds, kind, folder)
    start = time.perf_counter()
    done = subprocess.run(["/usr/bin/time", "-f", "%M", *command], capture_output=True, text=True)
    wall = time.perf_counter() - start
    if done.returncode != 0:
        raise RuntimeError(f"{command[:3]}... failed: {done.stderr[-400:]}")
    rss_kb = int(done.stderr.strip().splitlines()[-1])
    out_bytes = sum(os.path.getsize(os.path.join(folder, n)) for n in os.listdir(folder) if n != "data.orx")
    shutil.rmtree(folder)
    return wall, rss_kb, out_bytes


def floor_seconds(work, out_bytes):
    """Writing the same number of bytes with dd: the disk's own limit."""
    path = os.path.join(work, "floor.bin")
    start = time.perf_counter()
    subprocess.run(["dd", "if=/dev/zero", f"of={path}", "bs=1M", f"count={max(1, out_bytes >> 20)}"],
                   capture_output=True, check=True)
    wall = time.perf_counter() - start
    os.remove(path)
    return wall


def measure(build, datasets, runs, work, kinds):
    rows = []
    for ds in datasets:
        data = os.path.join(work, f"data-{ds.width}.orx")
        subprocess.run([os.path.join(build, "src/cli/quillfen-cli"), "synth", "--width", str(ds.width), "--height",
                        str(ds.height), "--frames", str(ds.frames), "--bits", "16", data], check=True)
        for kind in kinds:
            candidates = [(name, cmd) for name, cmd in tools(build) if available(cmd(ds, kind, work))]
            samples = {name: [] for name, _ in candidates}
            floors = []
            for _ in range(runs):
                for name, cmd in candidates:
                    samples[name].append(run_once(work, ds, cmd, kind, data))
                floors.append(floor_seconds(work, samples["quillfen"][-1][2]))
            for name, got in samples.items():
                wall = statistics.median(g[0] for g in got)
                rows.append(dict(ds=ds, kind=kind, tool=name, wall=wall, rss=statistics.median(g[1] for g in got),
                                 out=got[-1][2]))
            rows.append(dict(ds=ds, kind=kind, tool="dd (floor)", wall=statistics.median(floors), rss=0,
                             out=samples["quillfen"][-1][2]))
            print(f"{ds.name}, {KINDS[kind]}: done", file=sys.stderr)
        os.remove(data)
    return rows


def table(rows):
    lines = ["| frames | kind | tool | frames/s | MB/s out | peak RSS MB | vs reference | vs fastest peer |",
             "|---|---|---|---:|---:|---:|---:|---:|"]
    peers = ("reference", "dd (floor)", "quillfen", "quillfen, default jobs")
    for key in dict.fromkeys((r["ds"].name, r["kind"]) for r in rows):
        group = [r for r in rows if (r["ds"].name, r["kind"]) == key]
        ref = next(r for r in group if r["tool"] == "reference")
        peer_walls = [r["wall"] for r in group if r["tool"] not in peers]
        fastest_peer = min(peer_walls) if peer_walls else None
        for r in group:
            fps = r["ds"].frames / r["wall"]
            vs_ref = f"{ref['wall'] / r['wall']:.2f}x"
            vs_peer = f"{fastest_peer / r['wall']:.2f}x" if fastest_peer else "no peer"
            rss = f"{r['rss'] / 1024:.1f}" if r["rss"] else "-"
            lines.append(f"| {key[0]} | {KINDS[key[1]]} | {r['tool']} | {fps:.1f} | {r['out'] / r['wall'] / 1e6:.0f} "
                         f"| {rss} | {vs_ref} | {vs_peer} |")
    return "\n".join(lines)


def targets(rows):
    """Where each target stands: --jobs 1 at >= 1.0x the reference everywhere, >= 2x the fastest peer on
    the largest frames, peak memory <= 3 frames + 20 MB."""
    lines = []
    largest = max(r["ds"].width * r["ds"].height for r in rows)
    for key in dict.fromkeys((r["ds"].name, r["kind"]) for r in rows):
        group = {r["tool"]: r for r in rows if (r["ds"].name, r["kind"]) == key}
        q, ref = group["quillfen"], group["reference"]
        peers = [r["wall"] for t, r in group.items() if not t.startswith("quillfen") and t not in ("reference", "dd (floor)")]
        frame_mb = q["ds"].width * q["ds"].height * 2 / 2**20
        checks = [f"{ref['wall'] / q['wall']:.2f}x reference (>= 1.0: {'met' if ref['wall'] / q['wall'] >= 1.0 else 'MISSED'})",
                  f"peak {q['rss'] / 1024:.1f} MB (<= {3 * frame_mb + 20:.0f}: "
                  f"{'met' if q['rss'] / 1024 <= 3 * frame_mb + 20 else 'MISSED'})"]
        if "quillfen, default jobs" in group:
            ratio = ref["wall"] / group["quillfen, default jobs"]["wall"]
            checks.append(f"default jobs {ratio:.2f}x reference (>= 1.0: {'met' if ratio >= 1.0 else 'MISSED'})")
        if peers and q["ds"].width * q["ds"].height == largest:
            ratio = min(peers) / q["wall"]
            checks.append(f"{ratio:.2f}x fastest peer (>= 2: {'met' if ratio >= 2 else 'MISSED'})")
        lines.append(f"- {key[0]}, {KINDS[key[1]]}: " + "; ".join(checks))
    return "\n".join(lines)


def machine():
    cpu = "unknown CPU"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    mem = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30
    return f"{cpu}, {os.cpu_count()} cores, {mem:.0f} GiB, Linux {platform.release()}"


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("--build", default="build")
    p.add_argument("--runs", type=int, default=5)
    p.add_argument("--quick", action="store_true", help="small frames only, for a smoke test")
    p.add_argument("--out", help="the page to write (default docs/benchmarks.md; a partial run, --quick or "
                                 "--kinds, only prints unless this is given)")
    p.add_argument("--kinds", nargs="+", choices=KINDS, default=KINDS, help="only these kinds (a partial table)")
    a = p.parse_args()
    for tool in ("src/cli/quillfen-cli", "bench/quillfen_reference"):
        if not os.access(os.path.join(a.build, tool), os.X_OK):
            sys.exit(f"compare.py: {os.path.join(a.build, tool)} is missing: build with -DQUILLFEN_BENCH=ON "
                     "(make bench does)")
    partial = a.quick or set(a.kinds) != set(KINDS)
    if a.out is None and not partial:
        a.out = "docs/benchmarks.md"
    datasets = [DataSet(64, 48, 10)] if a.quick else [DataSet(640, 480, 200), DataSet(2048, 2048, 20)]
    work = tempfile.mkdtemp(prefix="quillfen-bench-")
    try:
        from PIL import Image
        # Debian's ImageMagick policy caps images at 16000 pixels a side: every other entry.
        im = Image.new("RGB", (8192, 1))
        im.putdata(ramp()[::2])
        im.save(os.path.join(work, "ramp.png"))
        rows = measure(a.build, datasets, a.runs, work, [KINDS.index(k) for k in a.kinds])
    finally:
        shutil.rmtree(work, ignore_errors=True)
    text = table(rows) + "\n\n## Targets\n\n" + targets(rows)
    print(text)
    if a.out is None:
        return
    # The sections after this table (jobs, codecs, profiles) come from other scripts: kept.
    kept = ""
    if os.path.exists(a.out):
        with open(a.out) as f:
            old = f.read()
        at = old.find("\n## Jobs\n")
        kept = old[at:] if at >= 0 else ""
    with open(a.out, "w") as f:
        f.write(f"# Benchmarks\n\nMachine: {machine()}.\nDate: {time.strftime('%Y-%m-%d')}.\n"
                f"Command: `make bench` (`bench/compare.py --runs {a.runs}`), settle pause 0.\n\n"
                + NOTES + "\n" + text + "\n" + kept)


NOTES = """Medians of the runs; every tool converts a fresh folder each run, one output file per
frame. "vs reference" is the reference's time over the tool's (above 1 is faster); "vs
fastest peer" the fastest peer's time over the tool's. The reference (`bench/reference.cpp`)
writes the same bytes as Quillfen with plain reads and writes and nothing else; dd writing
the same number of bytes is the floor.

Peers, each in its fastest honest form: ImageMagick 6 in one process per file
(`-normalize` for the normalized kind, which stretches differently; `-clut` through the same
ramp for false colour, every other entry of it since Debian's policy caps an image at 16000
pixels a side, frames chained in one process); libvips one `vips` call
per frame (`rawload` straight to TIFF; `falsecolour`, its own palette, for false colour;
no 8-bit grayscale BMP saver, so no entry there); libtiff's `raw2tiff` per frame
(standardized TIFF only); one Python process with numpy, tifffile and Pillow.
"""

if __name__ == "__main__":
    main()
