#!/usr/bin/python3
"""Opens quillfen's outputs in the programs lab users open them with and says, for each
reader, kind and layout, whether it opens the file, sees the right size and shows the
right row on top.

    scripts/check-readers.py [--cli build/src/cli/quillfen-cli] [--keep DIR] [--compact]
    scripts/check-readers.py --core      # the asserts the test suite runs (exit 77: skipped)

The readers: ImageJ (headless, under xvfb-run), tifffile, Pillow (python3-tifffile,
python3-pil), ImageMagick, libvips and GDAL (QUILLFEN_READERS=1 scripts/install-deps.sh
installs ImageJ, Xvfb and the last three). A reader that is not installed is listed as such.
What a file shows is worked out from its own bytes: a TIFF's stored rows and its
Orientation tag, a bitmap's rows (bottom-up for a positive height). Besides the kinds and
layouts, the TIFFs are written with each codec (with and without the predictor), as
stacks (classic, BigTIFF, OME-TIFF), and each is compared pixel by pixel.

    scripts/check-readers.py --ome-xsd ome.xsd   # also validates the OME-XML (xmllint)
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile

try:
    import numpy as np
except ImportError:  # without numpy nothing can be compared
    print("skipped: numpy is not installed (scripts/install-deps.sh installs python3-numpy)")
    sys.exit(77)

KINDS = ["normalized-tiff", "standardized-tiff", "grayscale-bmp", "color-bmp"]
LAYOUTS = ["exact", "portable"]
STACK_PAGES = 3
# Each TIFF form beyond the plain layouts: (label, its options), written of the
# standardized kind with the portable layout.
FORMS = [
    ("deflate", ["--compress", "deflate"]),
    ("deflate+predictor", ["--compress", "deflate", "--predictor"]),
    ("lzw", ["--compress", "lzw"]),
    ("lzw+predictor", ["--compress", "lzw", "--predictor"]),
    ("zstd", ["--compress", "zstd"]),
    ("stack deflate", ["--stack", "--compress", "deflate"]),
    ("stack bigtiff", ["--stack", "--bigtiff"]),
    ("stack ome", ["--stack", "--ome", "--pixel-size", "6.5um", "--input-bits", "12"]),
]
SKIP = 77  # ctest's SKIP_RETURN_CODE


class Unreadable(Exception):
    pass


def run(args, **kw):
    return subprocess.run(args, check=True, capture_output=True, **kw)


def tool(name):
    """A program of the system (not a stand-in earlier on PATH), or None."""
    for folder in ("/usr/bin", "/bin"):
        path = os.path.join(folder, name)
        if os.access(path, os.X_OK):
            return path
    return shutil.which(name)


# --- What each file shows, from its own bytes ------------------------------------------

def tiff_truth(path):
    import tifffile
    with tifffile.TiffFile(path) as tif:
        page = tif.pages[0]
        stored = page.asarray()
        orientation = int(page.tags["Orientation"].value) if "Orientation" in page.tags else 1
    if orientation == 1:
        return stored
    if orientation == 4:
        return stored[::-1]
    raise SystemExit(f"{path}: orientation {orientation} is none of ours")


def bmp_truth(path):
    data = open(path, "rb").read()
    off_bits, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    depth = bits // 8
    row_bytes = (width * depth + 3) // 4 * 4
    rows = [np.frombuffer(data, np.uint8, width * depth, off_bits + r * row_bytes) for r in range(abs(height))]
    stored = np.stack(rows)
    if depth == 3:
        stored = stored.reshape(abs(height), width, 3)[:, :, ::-1]  # BGR to RGB
    # (the gray palette maps each index to its own value, so indices are the picture)
    return stored[::-1] if height > 0 else stored


def is_tiff(path):
    return path.endswith(".tiff") or path.endswith(".tif")


# A compressed file's truth is its uncompressed twin's (tifffile as Debian ships it decodes
# neither LZW nor zstd): the same data in the same layout, as make_outputs wrote both.
TWIN = {}


def truth(path):
    path = TWIN.get(path, path)
    return tiff_truth(path) if is_tiff(path) else bmp_truth(path)


# --- The readers: each gives the picture as it would show it, top row first ------------

IMAGEJ_MACRO = r"""
path = getArgument();
open(path);
getDimensions(w, h, c, z, t);
print("dims " + w + " " + h + " " + c + " " + z + " " + t + " " + nSlices + " " + bitDepth());
for (y = 0; y < h; y++) {
  line = "";
  for (x = 0; x < w; x++) line = line + getPixel(x, y) + " ";
  print("row " + line);
}
"""


def imagej_jar():
    for jar in ("/usr/share/java/ij.jar",):
        if os.path.exists(jar):
            return jar
    return None


SCREEN = {}


def screen():
    """One X display for every ImageJ run (ImageJ needs one even in batch mode): Xvfb,
    started at the first use and ended with the script."""
    if "display" not in SCREEN:
        import atexit
        read, write = os.pipe()
        server = subprocess.Popen([tool("Xvfb"), "-displayfd", str(write), "-nolisten", "tcp", "-screen", "0",
                                   "640x480x24"], pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            SCREEN["display"] = ":" + f.readline().strip()
        atexit.register(server.terminate)
    return SCREEN["display"]


def imagej(path):
    """ImageJ's own view of `path`: (first page as shown, (channels, slices, frames, pages))."""
    jar = imagej_jar()
    if not jar or not tool("Xvfb") or not tool("java"):
        raise FileNotFoundError("not installed")
    with tempfile.TemporaryDirectory() as tmp:
        macro = os.path.join(tmp, "read.ijm")
        with open(macro, "w") as f:
            f.write(IMAGEJ_MACRO)
        try:
            done = subprocess.run([tool("java"), "-jar", jar, "-batch", macro, path], capture_output=True, timeout=30,
                                  env=dict(os.environ, DISPLAY=screen()))
        except subprocess.TimeoutExpired:
            # A file it cannot open leaves ImageJ waiting on its error box, batch or not.
            raise Unreadable("does not open it (waits on an error box)")
    lines = done.stdout.decode(errors="replace").splitlines()
    dims = [l for l in lines if l.startswith("dims ")]
    if not dims:
        said = (done.stdout + done.stderr).decode(errors="replace").strip().splitlines()
        raise Unreadable(said[-1][:70] if said else "refused")
    w, h, c, z, t, pages, depth = (int(v) for v in dims[0].split()[1:])
    rows = [[int(v) for v in l.split()[1:]] for l in lines if l.startswith("row ")]
    a = np.array(rows, dtype=np.int64)
    if depth == 24:
        a = np.stack([(a >> 16) & 255, (a >> 8) & 255, a & 255], axis=-1).astype(np.uint8)
    else:
        a = a.astype(np.uint16 if depth == 16 else np.uint8)
    return a, (c, z, t, pages)


def read_imagej(path):
    a, (_, _, _, pages) = imagej(path)
    return a, pages


def read_tifffile(path):
    import tifffile
    if not is_tiff(path):
        raise NotImplementedError("reads TIFF only")
    with tifffile.TiffFile(path) as tif:
        return tif.pages[0].asarray(), len(tif.pages)


def read_pillow(path):
    from PIL import Image
    with Image.open(path) as im:
        im.load()
        return np.asarray(im), getattr(im, "n_frames", 1)


def read_imagemagick(path):
    convert, identify = tool("convert"), tool("identify")
    if not convert or not identify:
        raise FileNotFoundError("not installed")
    try:
        pages = run([identify, "-format", "%w %h\n", path]).stdout.decode().split("\n")
        size = pages[0].split()
        w, h = int(size[0]), int(size[1])
        sixteen = is_tiff(path)
        colour = "color" in os.path.basename(os.path.dirname(path))
        form = "rgb" if colour else "gray"
        raw = run([convert, path + "[0]", "-depth", "16" if sixteen else "8", "-endian", "LSB",
                   f"{form}:-"]).stdout
    except subprocess.CalledProcessError as e:
        raise Unreadable(e.stderr.decode(errors="replace").strip().splitlines()[0] if e.stderr else "refused")
    a = np.frombuffer(raw, "<u2" if sixteen else np.uint8)
    return (a.reshape(h, w, 3) if colour else a.reshape(h, w)), len([p for p in pages if p.strip()])


def read_vips(path):
    vips, header = tool("vips"), tool("vipsheader")
    if not vips or not header:
        raise FileNotFoundError("not installed")
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "out.raw")
        try:
            run([vips, "rawsave", path, out])
            fields = {f: run([header, "-f", f, path]).stdout.decode().strip()
                      for f in ("width", "height", "bands", "format", "n-pages")}
        except subprocess.CalledProcessError as e:
            raise Unreadable(e.stderr.decode(errors="replace").strip().splitlines()[0] if e.stderr else "refused")
        fmt = fields["format"].lower()  # "ushort", or "((VipsBandFormat) VIPS_FORMAT_USHORT)"
        dtype = "<u2" if "ushort" in fmt else np.uint8 if "uchar" in fmt else None
        if dtype is None:
            raise Unreadable("format " + fields["format"])
        a = np.fromfile(out, dtype)
    w, h, bands = int(fields["width"]), int(fields["height"]), int(fields["bands"])
    a = a.reshape(h, w, bands)
    pages = int(fields["n-pages"]) if fields["n-pages"].isdigit() else 1
    return (a[:, :, 0] if bands == 1 else a[:, :, :3]), pages


def read_gdal(path):
    try:
        from osgeo import gdal
    except ImportError:
        raise FileNotFoundError("not installed")
    gdal.UseExceptions()
    gdal.PushErrorHandler("CPLQuietErrorHandler")
    try:
        ds = gdal.Open(path)
    except RuntimeError as e:
        raise Unreadable(str(e).splitlines()[0])
    finally:
        gdal.PopErrorHandler()
    a = ds.ReadAsArray()
    pages = max(1, len(ds.GetSubDatasets()))
    return (np.moveaxis(a, 0, -1) if a.ndim == 3 else a), pages


READERS = [("ImageJ", read_imagej), ("tifffile", read_tifffile), ("Pillow", read_pillow), ("ImageMagick", read_imagemagick),
           ("libvips", read_vips), ("GDAL", read_gdal)]


def installed(reader):
    try:
        if reader == "ImageJ":
            return bool(imagej_jar() and tool("Xvfb") and tool("java"))
        if reader == "tifffile":
            import tifffile  # noqa: F401
        elif reader == "Pillow":
            import PIL  # noqa: F401
        elif reader == "ImageMagick":
            return bool(tool("convert") and tool("identify"))
        elif reader == "libvips":
            return bool(tool("vips"))
        elif reader == "GDAL":
            from osgeo import gdal  # noqa: F401
    except ImportError:
        return False
    return True


# --- Making the files and looking at them ----------------------------------------------

def make_outputs(cli, folder):
    """Every kind in both layouts: a 66 x 48 frame (rows padded in both bitmaps); and the
    TIFF kinds as stacks of three pages in both layouts."""
    data = os.path.join(folder, "beam.orx")
    run([cli, "synth", "--width", "66", "--height", "48", "--frames", "1", "--seed", "5", data])
    frames = os.path.join(folder, "frames", "beam.orx")
    os.makedirs(os.path.dirname(frames))
    run([cli, "synth", "--width", "66", "--height", "48", "--frames", str(STACK_PAGES), "--seed", "6", frames])
    outputs = {}
    for kind in KINDS:
        tiff = kind.endswith("tiff")
        for layout in LAYOUTS + (["exact stack", "portable stack"] if tiff else []):
            to = os.path.join(folder, f"{kind}-{layout.replace(' ', '-')}")
            stack = layout.endswith("stack")
            run([cli, "convert", "--quiet", "--jobs", "1", "--kind", kind, "--layout", layout.split()[0],
                 "--output-dir", to] + (["--stack", frames] if stack else [data]))
            outputs[(kind, layout)] = os.path.join(to, "beam" + (".tiff" if tiff else ".bmp"))
    for label, options in FORMS:
        to = os.path.join(folder, "standardized-tiff-" + label.replace(" ", "-").replace("+", "-"))
        stack = "--stack" in options
        run([cli, "convert", "--quiet", "--jobs", "1", "--kind", "standardized-tiff", "--layout", "portable",
             "--output-dir", to] + options + [frames if stack else data])
        path = os.path.join(to, "beam" + (".ome.tif" if "--ome" in options else ".tiff"))
        outputs[("standardized-tiff", "portable " + label)] = path
        TWIN[path] = outputs[("standardized-tiff", "portable stack" if stack else "portable")]
    return outputs


def path_is_stack(path):
    return "-stack" in os.path.basename(os.path.dirname(path))


def look(reader, path, want):
    """(opens, size, top row) as the table shows them, and the picture read (or None)."""
    try:
        got, pages = reader(path)
    except NotImplementedError as e:
        return ("n/a (" + str(e) + ")", "", ""), None
    except FileNotFoundError as e:
        return ("not installed", "", ""), None
    except Exception as e:  # a reader's refusal, in its own words, without the folder
        words = str(e).strip().replace(os.path.dirname(path) + os.sep, "").replace("`", "'")
        return ("no: " + words.splitlines()[0][:70] if words else "no", "", ""), None
    if got.ndim == 3 and want.ndim == 2 and all(np.array_equal(got[:, :, 0], got[:, :, c]) for c in range(got.shape[2])):
        got = got[:, :, 0]  # a gray picture handed out as RGB (libvips with a palette bitmap)
    size_ok = got.shape[:2] == want.shape[:2]
    size = f"{got.shape[1]} x {got.shape[0]}" + ("" if size_ok else " (wrong)")
    want_pages = STACK_PAGES if path_is_stack(path) else 1
    if want_pages > 1 or pages != 1:
        size += f", {pages} pages" + ("" if pages == want_pages else " (wrong)")
    if not size_ok:
        return ("yes", size, "-"), got
    if got.shape != want.shape:
        return ("yes", size, "other samples " + str(got.shape)), got
    if np.array_equal(got[0], want[0]):
        top = "yes" if np.array_equal(got, want) else "yes (other rows differ)"
    elif np.array_equal(got[0], want[-1]):
        top = "no, upside down" if np.array_equal(got, want[::-1]) else "no (bottom row on top)"
    else:
        top = "no, other values"
    return ("yes", size, top), got


def table(outputs):
    rows = []
    for name, reader in READERS:
        for (kind, layout), path in outputs.items():
            (opens, size, top), _ = look(reader, path, truth(path))
            rows.append((name, kind, layout, opens, size, top))
    print("| reader | kind | layout | opens | size | top row right |")
    print("|---|---|---|---|---|---|")
    for row in rows:
        print("| " + " | ".join(row) + " |")


def compact(outputs):
    """One row a kind and layout, one column a reader: what a user sees."""
    print("| kind | layout | " + " | ".join(name for name, _ in READERS) + " |")
    print("|---|---|" + "---|" * len(READERS))
    for (kind, layout), path in outputs.items():
        cells = []
        for _, reader in READERS:
            (opens, size, top), _ = look(reader, path, truth(path))
            if opens.startswith("n/a"):
                cells.append("-")
            elif opens != "yes":
                cells.append("not installed" if opens == "not installed" else "refused")
            elif "(wrong)" in size:
                cells.append(size)
            else:
                cells.append("right" if top == "yes" else "upside down" if top.startswith("no, upside") else top)
        print(f"| {kind} | {layout} | " + " | ".join(cells) + " |")


def pages_of(path):
    """Every page of a TIFF as stored, read by tifffile (the truth of every page)."""
    import tifffile
    with tifffile.TiffFile(path) as tif:
        return [page.asarray() for page in tif.pages]


def core(outputs, ome_xsd=None):
    """What the test suite holds to: tifffile and Pillow agree on the top row of every
    portable TIFF (and it is the right one); GDAL opens the portable bitmaps; the default
    deflate reads exactly in every reader installed, ImageJ among them; stacks are time
    series (ImageJ: t = N, z = 1; tifffile: axes TYX); an OME-TIFF stack is OME to tifffile
    with its size, axes and pixel size, and opens in ImageJ with the right values."""
    missing = [r for r in ("tifffile", "Pillow", "GDAL") if not installed(r)]
    if missing:
        print("skipped: not installed: " + ", ".join(missing) + " (QUILLFEN_READERS=1 scripts/install-deps.sh)")
        return SKIP
    import tifffile
    failures = []
    for kind in KINDS:
        path = outputs[(kind, "portable")]
        want = truth(path)
        if kind.endswith("tiff"):
            (_, _, t1), a = look(read_tifffile, path, want)
            (_, _, t2), b = look(read_pillow, path, want)
            if a is None or b is None or not np.array_equal(a[0], b[0]) or t1 != "yes" or t2 != "yes":
                failures.append(f"{path}: tifffile says top row {t1}, Pillow {t2}")
        else:
            (opens, size, top), _ = look(read_gdal, path, want)
            if opens != "yes" or top != "yes":
                failures.append(f"{path}: GDAL: opens {opens}, top row {top}")
    # The default deflate: every pixel right in every reader at hand.
    path = outputs[("standardized-tiff", "portable deflate")]
    for name, reader in READERS:
        if name in ("ImageMagick", "libvips") or not installed(name):
            continue
        (opens, size, top), _ = look(reader, path, truth(path))
        if opens != "yes" or top != "yes":
            failures.append(f"{path}: {name}: opens {opens}, pixels right {top}")
    with_imagej = installed("ImageJ")
    for label in ("portable stack", "portable stack deflate"):
        for kind in (("normalized-tiff", "standardized-tiff") if label == "portable stack" else ("standardized-tiff",)):
            path = outputs[(kind, label)]
            with tifffile.TiffFile(path) as tif:
                meta = tif.imagej_metadata or {}
                axes = tif.series[0].axes
                if (len(tif.pages) != STACK_PAGES or meta.get("images") != STACK_PAGES
                        or meta.get("frames") != STACK_PAGES or "slices" in meta or "spacing" in meta or axes != "TYX"):
                    failures.append(f"{path}: tifffile lists {len(tif.pages)} pages, axes {axes}, ImageJ metadata {meta}")
            if with_imagej:
                got, (c, z, t, pages) = imagej(path)
                if (c, z, t, pages) != (1, 1, STACK_PAGES, STACK_PAGES) or not np.array_equal(got, truth(path)):
                    failures.append(f"{path}: ImageJ shows c={c} z={z} t={t} of {pages} pages, first page right: "
                                    f"{np.array_equal(got, truth(path))}")
    path = outputs[("standardized-tiff", "portable stack ome")]
    with tifffile.TiffFile(path) as tif:
        series = tif.series[0]
        xml = tif.pages[0].description
        stored = [page.asarray() for page in tif.pages]
        if not tif.is_ome or series.shape != (STACK_PAGES, 48, 66) or series.axes != "TYX":
            failures.append(f"{path}: tifffile: OME {tif.is_ome}, shape {series.shape}, axes {series.axes}")
        if 'PhysicalSizeX="6.5"' not in xml or 'SignificantBits="12"' not in xml or "SizeT=\"3\"" not in xml:
            failures.append(f"{path}: the OME-XML lacks its pixel size, bits or frames")
        if not np.array_equal(np.stack(stored), series.asarray()):
            failures.append(f"{path}: tifffile's OME series differs from the pages")
    if with_imagej:
        got, (c, z, t, pages) = imagej(path)
        if pages != STACK_PAGES or not np.array_equal(got, stored[0]):
            failures.append(f"{path}: ImageJ opens {pages} pages, first page right: {np.array_equal(got, stored[0])}")
    if ome_xsd:
        with tempfile.NamedTemporaryFile("w", suffix=".xml", delete=False) as f:
            f.write(xml)
        done = subprocess.run(["xmllint", "--noout", "--schema", ome_xsd, f.name], capture_output=True)
        os.unlink(f.name)
        if done.returncode != 0:
            failures.append(f"{path}: the OME-XML does not validate: " + done.stderr.decode(errors="replace")[-300:])
    for line in failures:
        print("check-readers: " + line, file=sys.stderr)
    if not failures:
        print("check-readers: tifffile and Pillow agree on the top row of both portable TIFF kinds; "
              "GDAL opens both portable bitmaps right way up; deflate reads exactly in every reader"
              + (" (ImageJ too)" if with_imagej else " (ImageJ not installed)") +
              "; stacks are time series; the OME-TIFF is OME with its size and pixel size"
              + ("; its XML validates" if ome_xsd else ""))
    return 1 if failures else 0


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--cli", default=os.path.join(here, "..", "build", "src", "cli", "quillfen-cli"))
    ap.add_argument("--core", action="store_true", help="run the test suite's asserts only")
    ap.add_argument("--keep", help="make the files in DIR and leave them there")
    ap.add_argument("--compact", action="store_true", help="one row a reader (the README's table)")
    ap.add_argument("--ome-xsd", help="the OME 2016-06 schema (ome.xsd), to validate the OME-XML with xmllint")
    args = ap.parse_args()
    if not os.access(args.cli, os.X_OK):
        print(f"check-readers: no quillfen-cli at {args.cli} (make build, or --cli PATH)", file=sys.stderr)
        return 2
    folder = args.keep or tempfile.mkdtemp(prefix="quillfen-readers-")
    os.makedirs(folder, exist_ok=True)
    try:
        outputs = make_outputs(args.cli, folder)
        if args.core:
            return core(outputs, args.ome_xsd)
        (compact if args.compact else table)(outputs)
        return 0
    finally:
        if not args.keep:
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
