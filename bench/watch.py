#!/usr/bin/python3
"""`quillfen-cli watch` measured: the latency from a data file's completion (its last byte
written, as a camera writes it frame by frame) to its last output in place, and the cost of an
idle watch over a folder of finished files (CPU time from /proc/PID/stat), each with the
change notices and with --poll-only.

    bench/watch.py build/src/cli/quillfen-cli [--files 1000] [--idle 60] [--runs 5] [--settle 1]"""
import argparse
import os
import random
import statistics
import subprocess
import tempfile
import time

FRAME_GAP = 0.2  # seconds between two frames of the camera: a file takes longer than a poll
FRAMES = 10


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def wait_for(path, timeout=60):
    end = time.monotonic() + timeout
    while not os.path.exists(path):
        if time.monotonic() > end:
            raise SystemExit(f"no {path} after {timeout} s")
        time.sleep(0.002)
    return time.monotonic()


def camera(template, path, width, height, frames):
    """Writes `template`'s bytes to `path` header first, then frame by frame; returns when
    the last byte is written."""
    data = open(template, "rb").read()
    frame = width * height * 2
    header = len(data) - frames * frame
    with open(path, "wb") as f:
        f.write(data[:header])
        for i in range(frames):
            time.sleep(FRAME_GAP)
            f.write(data[header + i * frame:header + (i + 1) * frame])
            f.flush()
    return time.monotonic()


def measure(cli, folder, notify, settle, runs, idle, files, template):
    args = [cli, "watch", "--quiet", "--settle-time", str(settle), folder] + ([] if notify else ["--poll-only"])
    watch = subprocess.Popen(args)
    try:
        wait_for(os.path.join(folder, f"f{files - 1:04}{FRAMES - 1}.tiff"), 600)  # the finished files converted
        time.sleep(2)
        start = cpu_seconds(watch.pid)
        time.sleep(idle)
        idle_share = (cpu_seconds(watch.pid) - start) / idle
        latencies = []
        for run in range(runs):
            name = f"new{notify}{run}"
            time.sleep(random.uniform(0, 1))  # not in step with the watch's looks
            done = camera(template, os.path.join(folder, name + ".orx"), 64, 48, FRAMES)
            latencies.append(wait_for(os.path.join(folder, name + f"{FRAMES - 1}.tiff")) - done)
        return idle_share, latencies
    finally:
        watch.terminate()
        watch.wait()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("cli")
    p.add_argument("--files", type=int, default=1000)
    p.add_argument("--idle", type=float, default=60)
    p.add_argument("--runs", type=int, default=5)
    p.add_argument("--settle", type=float, default=1)
    a = p.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        template = os.path.join(tmp, "template.orx")
        subprocess.run([a.cli, "synth", "--frames", str(FRAMES), template], check=True, stdout=subprocess.DEVNULL)
        print(f"| watch | idle CPU over {a.idle:g} s, {a.files} finished files | latency after completion "
              f"(settle {a.settle:g} s), median of {a.runs} (min - max) |\n|---|---|---|")
        for notify in (True, False):
            folder = os.path.join(tmp, f"watched{notify}")
            os.mkdir(folder)
            for i in range(a.files):
                with open(os.path.join(folder, f"f{i:04}.orx"), "wb") as f:
                    f.write(open(template, "rb").read())
            old = time.time() - 3600
            for name in os.listdir(folder):
                os.utime(os.path.join(folder, name), (old, old))
            idle, lat = measure(a.cli, folder, notify, a.settle, a.runs, a.idle, a.files, template)
            label = "change notices (default)" if notify else "--poll-only"
            print(f"| {label} | {idle * 100:.2f} % of a core | {statistics.median(lat):.2f} s "
                  f"({min(lat):.2f} - {max(lat):.2f}) |", flush=True)


if __name__ == "__main__":
    main()
