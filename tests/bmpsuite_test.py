#!/usr/bin/env python3
"""Runs quillorn over every file of the public BMP Suite, real height maps
through every format, and GeoTIFFs written by GDAL.

Every BMP Suite file either converts (exit 0, "Done!" last, an output that
Pillow decodes to the picture the tool promises) or is refused (exit -1, one
"ERROR: " line last, no output file). Never a crash, a hang or a sanitizer
report. The height maps go from BMP and PNG to raw, PGM and PNG and back;
Pillow reads each file the tool wrote and must find the same heights.
Where GDAL's Python bindings are installed, GeoTIFFs it writes (UInt16,
Int16 with nodata, Float32 metres, tiled and compressed, two bands) must
become the heights the tool promises, and a TIFF the tool writes must carry
the source's georeferencing as GDAL reads it.

usage: bmpsuite_test.py <quillorn> <testdata folder>
The folder in $QUILLORN_TESTDATA, when set, comes first. Exit 77 (skipped)
where the test data or Pillow is absent, except under CI.
"""
import os
import re
import subprocess
import sys
import tempfile

import test_skips

# Uncompressed 8- and 24-bit files with a Windows info header: must convert.
MUST_CONVERT = {
    "g/pal8.bmp", "g/pal8-0.bmp", "g/pal8gs.bmp", "g/pal8nonsquare.bmp",
    "g/pal8topdown.bmp", "g/pal8v4.bmp", "g/pal8v5.bmp", "g/pal8w124.bmp",
    "g/pal8w125.bmp", "g/pal8w126.bmp", "g/rgb24.bmp", "g/rgb24pal.bmp",
}
BANNER = ["Quillorn v1.00", "Hit Ctrl+C to exit"]


def skip(reason):
    """Skips; CI must have what this test reads."""
    test_skips.skip("bmpsuite_corpus", reason, "have the test data and Pillow")


def expected_channels(image):
    """(red, green, blue) the tool promises for a Pillow-decoded input, or None."""
    if image.mode in ("P", "L"):
        # An 8-bit pixel's byte (the palette index) is the red part.
        indices = list(image.getdata())
        zeros = [0] * len(indices)
        return indices, zeros, zeros
    if image.mode == "RGB":
        red, green, blue = (list(band.getdata()) for band in image.split())
        return red, green, blue
    return None


def check(exe, folder, name, work, Image):
    """Returns (kind, problem): kind 'converted' or 'refused'; problem or None."""
    source = os.path.join(folder, name)
    target = os.path.join(work, "out.bmp")
    if os.path.exists(target):
        os.remove(target)
    try:
        run = subprocess.run([exe, source, target], stdin=subprocess.DEVNULL,
                             capture_output=True, timeout=60)
    except subprocess.TimeoutExpired:
        return "hang", "no exit within 60 s"
    lines = run.stdout.decode("utf-8", "replace").splitlines()
    stderr = run.stderr.decode("utf-8", "replace")
    # Warnings and reasons are the tool's own lines; anything else there (a
    # sanitizer's report, say) is a finding.
    foreign = [line for line in stderr.splitlines() if not line.startswith("quillorn: ")]
    if foreign:
        return "crash", "wrote to standard error: " + "\n".join(foreign)[:400]
    if lines[:2] != BANNER:
        return "crash", "no banner: %r" % lines[:2]
    if run.returncode == 255:
        errors = [line for line in lines if line.startswith("ERROR: ")]
        if len(lines) != 3 or len(errors) != 1:
            return "refused", "expected one ERROR line after the banner: %r" % lines
        if os.path.exists(target):
            return "refused", "an output file was left behind"
        return "refused", None
    if run.returncode != 0:
        return "crash", "exit status %d: %r" % (run.returncode, lines[-3:])
    if lines[-1] != "Done!":
        return "converted", "last line %r" % lines[-1]
    try:
        output = Image.open(target)
        output.load()
    except Exception as error:  # Pillow's own refusal is a finding here.
        return "converted", "Pillow cannot decode the output: %s" % error
    if output.mode != "RGB":
        return "converted", "output mode %s" % output.mode
    with open(target, "rb") as handle:
        data = handle.read()
    if int.from_bytes(data[2:6], "little") != len(data):
        return "converted", "file-size field does not match"
    try:
        original = Image.open(source)
        original.load()
    except Exception:
        original = None  # Pillow cannot read it; nothing to compare with.
    if original is not None:
        if original.size != output.size:
            return "converted", "size %s, input %s" % (output.size, original.size)
        promised = expected_channels(original)
        if promised is not None:
            got = tuple(list(band.getdata()) for band in output.split())
            for channel, want, have in zip("RGB", promised, got):
                if want != have:
                    return "converted", "channel %s differs from the input" % channel
    return "converted", None


def run_tool(exe, *arguments):
    status, lines, _ = run_tool_errors(exe, *arguments)
    return status, lines


def run_tool_errors(exe, *arguments):
    """(exit status, standard output's lines, standard error's text)."""
    run = subprocess.run([exe, *arguments], stdin=subprocess.DEVNULL,
                         capture_output=True, timeout=120)
    return (run.returncode, run.stdout.decode("utf-8", "replace").splitlines(),
            run.stderr.decode("utf-8", "replace"))


def pillow_heights(path, Image):
    """The heights Pillow reads from a file the tool wrote or read."""
    image = Image.open(path)
    image.load()
    if image.mode == "RGB":
        red, green, _ = (list(band.getdata()) for band in image.split())
        return image.size, [g * 255 + r for r, g in zip(red, green)]
    return image.size, list(image.getdata())


def raw_heights(path):
    with open(path, "rb") as handle:
        data = handle.read()
    return [data[i] | data[i + 1] << 8 for i in range(0, len(data), 2)]


def check_formats(exe, data, work, Image):
    """Problems found taking real height maps through every format."""
    problems = []
    maps = os.path.join(data, "heightmaps")
    has_png = "PNG (" in "".join(run_tool(exe, "--version")[1])
    sources = ["puget_sound_1025_rg24.bmp"]
    if has_png:
        sources.append("puget_sound_1025_16bit.png")
    for source in sources:
        path = os.path.join(maps, source)
        size, want = pillow_heights(path, Image)
        outputs = ["a.r16", "a.pgm"] + (["a.png"] if has_png else [])
        for output in outputs + ["view.png" if has_png else "view.bmp"]:
            target = os.path.join(work, output)
            if output.startswith("view"):
                status, lines = run_tool(exe, path, os.path.join(work, "v.r16"),
                                         "-view", target)
            else:
                status, lines = run_tool(exe, path, target)
            if status != 0 or lines[-1:] != ["Done!"]:
                problems.append("%s -> %s: status %d, %r" % (source, output, status, lines[-1:]))
                continue
            if output.endswith(".r16"):
                got = raw_heights(target)
            else:
                got_size, got = pillow_heights(target, Image)
                if got_size != size:
                    problems.append("%s -> %s: size %s" % (source, output, got_size))
                if output.startswith("view"):
                    if len(set(got)) < 2:
                        problems.append("%s -> %s: one colour" % (source, output))
                    continue
            if got != want:
                problems.append("%s -> %s: heights differ" % (source, output))
        # And back: the 16-bit files to the bitmap encoding, as Pillow reads it.
        for output in outputs:
            back = os.path.join(work, "back.bmp")
            status, _ = run_tool(exe, os.path.join(work, output), back,
                                 *(["-dim", "%dx%d" % size] if output.endswith(".r16") else []))
            if status != 0:
                problems.append("%s -> bmp: status %d" % (output, status))
                continue
            if pillow_heights(back, Image)[1] != [min(h, 65279) for h in want]:
                problems.append("%s -> %s -> bmp: heights differ" % (source, output))
    if has_png:
        # Samples of fewer than 8 bits are heights as they stand.
        small = os.path.join(work, "one_bit.png")
        image = Image.new("1", (4, 1))
        image.putdata([0, 1, 1, 0])
        image.save(small)
        target = os.path.join(work, "one_bit.r16")
        status, _ = run_tool(exe, small, target)
        if status != 0 or raw_heights(target) != [0, 1, 1, 0]:
            problems.append("1-bit PNG: heights %r" % (raw_heights(target) if status == 0 else status))
    return problems


def check_colour_pngs(exe, work, Image):
    """Problems with grey maps saved in colour: each must give its grey
    twin's heights, alpha dropped with a warning; a colour pixel refused."""
    if "PNG (" not in "".join(run_tool(exe, "--version")[1]):
        return []
    problems = []
    width, height = 37, 23
    greys = [(x * 7 + y * 11) % 256 for y in range(height) for x in range(width)]
    grey = Image.new("L", (width, height))
    grey.putdata(greys)

    def heights_of(image, name, expect_warning=False):
        path = os.path.join(work, name)
        image.save(path)
        target = os.path.join(work, name + ".r16")
        status, lines, errors = run_tool_errors(exe, path, target)
        if status != 0:
            problems.append("%s: status %d, %r" % (name, status, lines[-1:]))
            return None
        if ("not fully opaque" in errors) != expect_warning:
            problems.append("%s: alpha warning %r" % (name, errors))
        return raw_heights(target)

    want = heights_of(grey, "grey.png")
    rgba = Image.merge("RGBA", (grey, grey, grey, Image.linear_gradient("L")
                                .resize((width, height))))
    palette = grey.convert("P", palette=Image.ADAPTIVE, colors=256)
    palette.putpalette([v for i in range(256) for v in (i, i, i)])
    palette.putdata(greys)
    twins = [(grey.convert("RGB"), "rgb.png", False),
             (rgba, "rgba.png", True),
             (grey.convert("LA"), "la.png", False),
             (palette, "palette.png", False)]
    for image, name, warned in twins:
        got = heights_of(image, name, warned)
        if got is not None and got != want:
            problems.append("%s: heights differ from its grey twin" % name)
    colour = grey.convert("RGB")
    colour.putpixel((5, 2), (10, 20, 30))
    path = os.path.join(work, "colour.png")
    colour.save(path)
    status, lines, _ = run_tool_errors(exe, path, os.path.join(work, "c.r16"))
    if status != 255 or lines[-1:] != [
            "ERROR: Input file is a colour (RGB) PNG whose pixel at row 3, "
            "column 6 is not grey (red 10, green 20, blue 30); a greyscale "
            "height map is expected: -channel red, green, blue or luma reads "
            "one, or save it from the editor's greyscale mode"]:
        problems.append("colour PNG: status %d, %r" % (status, lines[-1:]))
    problems += check_picked_channels(exe, work, Image)
    return problems


def check_picked_channels(exe, work, Image):
    """Problems with -channel on colour PNGs of 8 and 16 bits: each channel
    and the luma as numpy computes them (Rec. 709, rounded to the depth)."""
    try:
        import numpy
    except ImportError:
        print("numpy is not installed: -channel is not checked")
        return []
    problems = []
    rng = numpy.random.default_rng(29)
    for depth in (8, 16):
        top = 255 if depth == 8 else 65535
        rgba = rng.integers(0, top + 1, size=(9, 13, 4), dtype=numpy.int64)
        path = os.path.join(work, "picked%d.png" % depth)
        if depth == 8:
            Image.fromarray(rgba.astype(numpy.uint8), "RGBA").save(path)
        else:
            # Pillow writes no 16-bit colour PNG: this one is made here.
            write_png16(path, rgba)
        luma = numpy.floor(0.2126 * rgba[..., 0] + 0.7152 * rgba[..., 1] +
                           0.0722 * rgba[..., 2] + 0.5).astype(numpy.int64)
        wanted = {"red": rgba[..., 0], "green": rgba[..., 1],
                  "blue": rgba[..., 2], "alpha": rgba[..., 3], "luma": luma}
        for name, values in wanted.items():
            target = os.path.join(work, "picked%d_%s.r16" % (depth, name))
            status, lines, errors = run_tool_errors(exe, path, target,
                                                    "-channel", name)
            if status != 0:
                problems.append("-channel %s, %d bits: status %d, %r"
                                % (name, depth, status, lines[-1:]))
                continue
            if raw_heights(target) != [int(v) for v in values.flatten()]:
                problems.append("-channel %s, %d bits: heights differ from "
                                "numpy's" % (name, depth))
            if "(-channel %s)" % name not in errors:
                problems.append("-channel %s: no warning, %r" % (name, errors))
    return problems


def write_png16(path, rgba):
    """A 16-bit RGBA PNG of rgba (rows, columns, 4), big-endian samples."""
    import struct
    import zlib

    def chunk(kind, data):
        body = kind + data
        return (struct.pack(">I", len(data)) + body +
                struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF))

    rows, columns = rgba.shape[:2]
    raw = b"".join(b"\0" + rgba[row].astype(">u2").tobytes()
                   for row in range(rows))
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", columns, rows, 16, 6,
                                             0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw)))
        out.write(chunk(b"IEND", b""))


def stated_mapping(errors):
    """(height 0's value, one step) from the tool's mapping line, or None."""
    match = re.search(r"height 0 = (\S+), 1 step = (\S+) units?", errors)
    return (float(match.group(1)), float(match.group(2))) if match else None


def check_geotiffs(exe, work):
    """Problems found with GeoTIFFs written by GDAL; None without GDAL."""
    try:
        import numpy
        from osgeo import gdal, osr
    except ImportError:
        return None
    if "TIFF (" not in "".join(run_tool(exe, "--version")[1]):
        return None
    gdal.UseExceptions()
    problems = []
    width, height = 157, 91
    rows, columns = numpy.mgrid[0:height, 0:width]
    # Metres to the nearest 5 cm, below and above sea level: every two
    # distinct values lie at least a height step apart (1300 m / 65279).
    metres = (numpy.round((numpy.sin(columns / 17.0) * numpy.cos(rows / 13.0)
                           * 612.3 + rows * 0.731 - 41.07) * 20) / 20
              ).astype(numpy.float32)
    utm = osr.SpatialReference()
    utm.ImportFromEPSG(32610)
    geo = [550000.0, 10.0, 0.0, 5270000.0, 0.0, -10.0]

    def write(name, kind, data, options=(), nodata=None, bands=1):
        path = os.path.join(work, name)
        dataset = gdal.GetDriverByName("GTiff").Create(
            path, width, height, bands, kind, list(options))
        dataset.SetGeoTransform(geo)
        dataset.SetProjection(utm.ExportToWkt())
        for band in range(1, bands + 1):
            if nodata is not None:
                dataset.GetRasterBand(band).SetNoDataValue(nodata)
            dataset.GetRasterBand(band).WriteArray(data)
        dataset = None
        return path

    def heights(source, *switches):
        target = os.path.join(work, "geo.r16")
        status, lines, errors = run_tool_errors(exe, source, target, *switches)
        if status != 0 or lines[-1:] != ["Done!"]:
            problems.append("%s: status %d, %r" % (source, status, lines[-1:]))
            return None, errors
        got = numpy.fromfile(target, dtype="<u2").reshape(height, width)
        return got.astype(numpy.int64), errors

    # UInt16: the samples as they stand.
    unsigned = (metres - metres.min()).astype(numpy.uint16)
    got, _ = heights(write("u16.tif", gdal.GDT_UInt16, unsigned))
    if got is not None and not numpy.array_equal(got, unsigned):
        problems.append("UInt16 GeoTIFF: heights differ from the samples")

    # Int16 below sea level with nodata: shifted, one step a metre.
    signed = metres.astype(numpy.int16)
    signed[:5, :7] = -9999
    # (-fill 0: nodata takes the lowest height, not its surroundings')
    got, errors = heights(write("i16.tif", gdal.GDT_Int16, signed,
                                nodata=-9999), "-fill", "0")
    valid = signed != -9999
    lowest = int(signed[valid].min())
    if got is not None:
        want = numpy.where(valid, signed.astype(numpy.int64) - lowest, 0)
        if not numpy.array_equal(got, want):
            problems.append("Int16 GeoTIFF: heights are not the shifted samples")
        if stated_mapping(errors) != (lowest, 1.0):
            problems.append("Int16 GeoTIFF: mapping line %r" % errors)
        if "35 samples were nodata" not in errors:
            problems.append("Int16 GeoTIFF: nodata not counted: %r" % errors)

    # Float32 metres, in strips and tiled with deflate: stretched, every
    # distinct height kept, and the mapping turns heights back into metres
    # within half a step.
    plain = write("f32.tif", gdal.GDT_Float32, metres)
    tiled = write("f32_tiled.tif", gdal.GDT_Float32, metres,
                  ["TILED=YES", "BLOCKXSIZE=32", "BLOCKYSIZE=16",
                   "COMPRESS=DEFLATE", "PREDICTOR=3"])
    big = write("f32_big.tif", gdal.GDT_Float32, metres,
                ["BIGTIFF=YES", "COMPRESS=LZW"])
    got, errors = heights(plain)
    again, _ = heights(tiled)
    bigger, _ = heights(big)
    if got is not None and again is not None and bigger is not None:
        if not numpy.array_equal(got, again):
            problems.append("tiled Float32 GeoTIFF differs from its strip twin")
        if not numpy.array_equal(got, bigger):
            problems.append("BigTIFF with LZW differs from its classic twin")
        mapping = stated_mapping(errors)
        if mapping is None:
            problems.append("Float32 GeoTIFF: no mapping line: %r" % errors)
        else:
            back = mapping[0] + got * mapping[1]
            error = numpy.abs(back - metres.astype(numpy.float64)).max()
            if error > mapping[1] * (0.5 + 1e-3):
                problems.append("Float32 GeoTIFF: metres back within %g, "
                                "step %g" % (error, mapping[1]))
        distinct = len(numpy.unique(metres))
        if len(numpy.unique(got)) != distinct:
            problems.append("Float32 GeoTIFF: %d distinct heights of %d" %
                            (len(numpy.unique(got)), distinct))
    # Decimetres with -unit 0.1.
    got, errors = heights(plain, "-unit", "0.1")
    if got is not None:
        want = numpy.floor((metres.astype(numpy.float64) - metres.min()) / 0.1
                           + 0.5).astype(numpy.int64)
        if numpy.abs(got - want).max() > 0:
            problems.append("Float32 GeoTIFF with -unit 0.1: heights differ")

    # Two bands: refused, naming why.
    status, lines, _ = run_tool_errors(
        exe, write("two.tif", gdal.GDT_UInt16, unsigned, bands=2),
        os.path.join(work, "two.bmp"))
    if status != 255 or not lines[-1].startswith(
            "ERROR: Input file is a TIFF of 2 samples a pixel"):
        problems.append("two-band GeoTIFF: status %d, %r" % (status, lines[-1:]))

    # The tool's TIFF, read by GDAL: the source's floats as they stand (or,
    # with -depth 16, the 16-bit heights), at the source's place.
    target = os.path.join(work, "out.tif")
    got, _ = heights(tiled)
    for depth, kind in ((None, gdal.GDT_Float32), ("16", gdal.GDT_UInt16)):
        status, _, _ = run_tool_errors(
            exe, tiled, target, *(["-depth", depth] if depth else []))
        if status != 0 or got is None:
            problems.append("TIFF output: status %d" % status)
            continue
        written = gdal.Open(target)
        band = written.GetRasterBand(1)
        if band.DataType != kind:
            problems.append("TIFF output, -depth %s: type %s" %
                            (depth, band.DataType))
        want = metres if depth is None else got
        if not numpy.array_equal(band.ReadAsArray().astype(want.dtype), want):
            problems.append("TIFF output, -depth %s: GDAL reads other "
                            "heights" % depth)
        if list(written.GetGeoTransform()) != geo:
            problems.append("TIFF output: placed at %r" %
                            (written.GetGeoTransform(),))
        place = osr.SpatialReference(wkt=written.GetProjection())
        if not place.IsSame(utm):
            problems.append("TIFF output: projection %r" % written.GetProjection())
        if band.GetNoDataValue() is not None:
            problems.append("TIFF output: keeps a nodata value")
        written = None
    return problems


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    exe, data = sys.argv[1], os.environ.get("QUILLORN_TESTDATA") or sys.argv[2]
    folder = os.path.join(data, "bmpsuite")
    if not os.path.isdir(folder):
        skip("the BMP Suite and height map checks: no test data at " + folder +
             " (set QUILLORN_TESTDATA to the testdata folder)")
    try:
        from PIL import Image
    except ImportError:
        skip("the BMP Suite and height map checks: Pillow (python3-pil) is not installed")
    failures = []
    counts = {}
    converted = set()
    with tempfile.TemporaryDirectory() as work:
        for sub in ("g", "q", "b", "x"):
            for entry in sorted(os.listdir(os.path.join(folder, sub))):
                if not entry.endswith(".bmp"):
                    continue
                name = sub + "/" + entry
                kind, problem = check(exe, folder, name, work, Image)
                counts.setdefault(sub, {}).setdefault(kind, 0)
                counts[sub][kind] += 1
                if kind == "converted" and problem is None:
                    converted.add(name)
                if problem:
                    failures.append("%s: %s" % (name, problem))
    for name in sorted(MUST_CONVERT - converted):
        failures.append("%s: should convert" % name)
    if os.path.isdir(os.path.join(data, "heightmaps")):
        with tempfile.TemporaryDirectory() as work:
            formats = check_formats(exe, data, work, Image)
        failures.extend(formats)
        print("height maps through every format: %d problems" % len(formats))
    with tempfile.TemporaryDirectory() as work:
        colours = check_colour_pngs(exe, work, Image)
    failures.extend(colours)
    print("grey maps saved in colour (Pillow): %d problems" % len(colours))
    with tempfile.TemporaryDirectory() as work:
        geotiffs = check_geotiffs(exe, work)
    if geotiffs is None:
        print("GeoTIFFs written by GDAL: skipped (no GDAL Python bindings, "
              "python3-gdal, or no TIFF in this build)")
    else:
        failures.extend(geotiffs)
        print("GeoTIFFs written by GDAL: %d problems" % len(geotiffs))
    for sub in ("g", "q", "b", "x"):
        summary = ", ".join("%s %d" % item for item in sorted(counts.get(sub, {}).items()))
        print("%s/: %s" % (sub, summary))
    for failure in failures:
        print("FAIL " + failure)
    total = sum(sum(c.values()) for c in counts.values())
    print("%d passed, %d failed" % (total - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
