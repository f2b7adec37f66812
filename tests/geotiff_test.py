#!/usr/bin/env python3
"""GeoTIFFs written by GDAL through every change of grid, read back by GDAL.

Every output of a georeferenced input (flipped, turned, resampled, cut into
tiles, or with a world file beside a picture) must lie where its part of
the source lay: each pixel's centre, through the output's geotransform,
falls on the source pixel its height came from, to a hundredth of a pixel,
with that pixel's value in the source's units (the band's scale and offset
read in and written out) within half a step.

A window (-crop in pixels, -bounds in the model's metres) lies where it
lay in the source, of the size asked: the smallest that covers the bounds,
an edge on a pixel's border taking no more.

Tiles read as one map: four SRTM tiles sharing their edges make the
terrain they were cut from, where their names place it (a window of it
too), edges that differ averaged and told, a missing tile nodata; two
GeoTIFF sheets side by side make one where GDAL reads the first, and a
sheet in another projection is refused, named; a map cut with -tiles is
stitched back by the tiles' names.

Every compression GDAL writes heights with (deflate, LZW, ZSTD, LZMA) reads
as the uncompressed file does.

usage: geotiff_test.py <quillorn>
With QUILLORN_TEST_LAUNCHER set (Wine), the tool runs through it.
Exit 77 (skipped) where GDAL's Python bindings or numpy are absent, except
under CI.
"""
import os
import re
import subprocess
import sys
import tempfile
import zipfile

import test_skips


def skip(reason, needed=True):
    """Skips; under CI only what a build may lack (needed=False)."""
    test_skips.skip("geotiff_gdal", reason,
                    "have GDAL's Python bindings and numpy" if needed else None)


try:
    import numpy
    from osgeo import gdal, osr
except ImportError:
    skip("GDAL's Python bindings (python3-gdal) or numpy are not installed")

gdal.UseExceptions()
LAUNCHER = os.environ.get("QUILLORN_TEST_LAUNCHER")
TOOL = ([LAUNCHER] if LAUNCHER else []) + [sys.argv[1]]
VERSION = subprocess.run(TOOL + ["--version"], capture_output=True,
                         text=True).stdout
if "TIFF (" not in VERSION:
    skip("the tool was built without TIFF", needed=False)
WIDTH, HEIGHT = 9, 7
GEO = [600000.0, 30.0, 0.0, 5300000.0, 0.0, -20.0]
problems = []


def write(path, data, kind, scale=None, offset=None):
    dataset = gdal.GetDriverByName("GTiff").Create(
        path, data.shape[1], data.shape[0], 1, kind)
    dataset.SetGeoTransform(GEO)
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(32632)
    dataset.SetProjection(srs.ExportToWkt())
    band = dataset.GetRasterBand(1)
    band.WriteArray(data)
    if scale is not None:
        band.SetScale(scale)
        band.SetOffset(offset)
    dataset = None
    return path


def run(*arguments):
    result = subprocess.run(TOOL + list(arguments), capture_output=True,
                            text=True)
    if result.returncode != 0:
        problems.append("%s: exit %d: %s" % (" ".join(arguments),
                                             result.returncode, result.stderr))
    return result


def values(path):
    """(geotransform, values in units, step) of a TIFF the tool wrote."""
    dataset = gdal.Open(path)
    band = dataset.GetRasterBand(1)
    scale = band.GetScale() or 1.0
    offset = band.GetOffset() or 0.0
    data = band.ReadAsArray().astype(numpy.float64) * scale + offset
    return dataset.GetGeoTransform(), data, scale


def check_placed(what, path, source_values, source_step, exact_grid=True):
    """Each pixel's centre falls on a source pixel with its value."""
    try:
        transform, data, step = values(path)
    except RuntimeError as failure:
        problems.append("%s: GDAL cannot read it: %s" % (what, failure))
        return
    inverse = gdal.InvGeoTransform(GEO)
    worst_place = 0.0
    worst_value = 0.0
    for row in range(data.shape[0]):
        for column in range(data.shape[1]):
            x, y = gdal.ApplyGeoTransform(transform, column + 0.5, row + 0.5)
            u, v = gdal.ApplyGeoTransform(inverse, x, y)
            i, j = u - 0.5, v - 0.5
            if not exact_grid:
                continue
            worst_place = max(worst_place, abs(i - round(i)), abs(j - round(j)))
            i, j = int(round(i)), int(round(j))
            if not (0 <= i < WIDTH and 0 <= j < HEIGHT):
                problems.append("%s: pixel %d,%d lies off the source" %
                                (what, row, column))
                return
            worst_value = max(worst_value,
                              abs(data[row, column] - source_values[j, i]))
    if worst_place > 0.01:
        problems.append("%s: pixel centres %g of a pixel off the source's" %
                        (what, worst_place))
    if worst_value > step / 2 + 1e-9 + source_step / 2:
        problems.append("%s: values %g off (step %g)" % (what, worst_value, step))
    srs = osr.SpatialReference(wkt=gdal.Open(path).GetProjection())
    if srs.GetAuthorityCode(None) != "32632":
        problems.append("%s: projection lost" % what)


def corners_placed(what, path, turned):
    """A resampled grid's first and last pixels lie on the source's corners
    (of a quarter-turned source: its bottom-left and top-right)."""
    transform, data, _ = values(path)
    inverse = gdal.InvGeoTransform(GEO)
    rows, columns = data.shape
    first, last = ((HEIGHT - 1, 0), (0, WIDTH - 1)) if turned else \
        ((0, 0), (HEIGHT - 1, WIDTH - 1))
    for row, column, want in ((0, 0, first), (rows - 1, columns - 1, last)):
        x, y = gdal.ApplyGeoTransform(transform, column + 0.5, row + 0.5)
        u, v = gdal.ApplyGeoTransform(inverse, x, y)
        if abs(v - 0.5 - want[0]) > 0.01 or abs(u - 0.5 - want[1]) > 0.01:
            problems.append("%s: corner %d,%d at source %g,%g" %
                            (what, row, column, v - 0.5, u - 0.5))


def fill_model(heights, marks, reach, rounded=True):
    """The fill's rule in numpy's terms: each mark the 1 / d^2 mean of the
    nearest unmarked height along each of the eight ways within reach,
    rounded to a height (or, for floats, as it is; NaN where none is)."""
    out = heights.astype(numpy.float64).copy()
    if not rounded:
        out[marks] = numpy.nan
    rows, columns = heights.shape
    for row, column in zip(*numpy.nonzero(marks)):
        total = weights = 0.0
        for dr, dc in ((-1, 0), (1, 0), (0, -1), (0, 1),
                       (-1, -1), (-1, 1), (1, -1), (1, 1)):
            length = 2 ** 0.5 if dr and dc else 1.0
            steps = 1
            while steps * length <= reach:
                r, c = row + steps * dr, column + steps * dc
                if not (0 <= r < rows and 0 <= c < columns):
                    break
                if not marks[r, c]:
                    d = steps * length
                    total += heights[r, c] / (d * d)
                    weights += 1 / (d * d)
                    break
                steps += 1
        if weights:
            mean = total / weights
            out[row, column] = numpy.floor(mean + 0.5) if rounded else mean
    return out.astype(numpy.int64) if rounded else out


def check_fill(work):
    """A hole near the edge and one inside are filled as the model says; a
    sea farther than the reach keeps the lowest height."""
    rows, columns = numpy.mgrid[0:40, 0:60]
    metres = (200 + rows * 3.5 + numpy.sin(columns / 5.0) * 40).astype(
        numpy.float32)
    marks = numpy.zeros(metres.shape, bool)
    marks[0:4, 10:15] = True      # at the edge
    marks[18:25, 30:36] = True    # inside
    marks[:, 50:] = True          # a sea 10 wide
    source = metres.copy()
    source[marks] = -9999
    path = write(os.path.join(work, "holes.tif"), source, gdal.GDT_Float32)
    dataset = gdal.Open(path, gdal.GA_Update)
    dataset.GetRasterBand(1).SetNoDataValue(-9999)
    dataset = None
    kept = os.path.join(work, "kept.r16")
    filled = os.path.join(work, "filled.r16")
    run(path, kept, "-fill", "0")
    result = run(path, filled, "-fill", "6")
    got = numpy.fromfile(filled, "<u2").reshape(metres.shape)
    # Filled as floats, then made heights by the float rule: the valid
    # samples' range stretched over 0 ... 65279, nodata at 0.
    floats = fill_model(source.astype(numpy.float64), marks, 6,
                        rounded=False).astype(numpy.float32)
    lowest = float(metres[~marks].min())
    step = (float(metres[~marks].max()) - lowest) / 65279
    want = numpy.where(numpy.isnan(floats), 0, numpy.floor(
        (floats.astype(numpy.float64) - lowest) / step + 0.5)).astype(
            numpy.int64)
    if not numpy.array_equal(got, want):
        problems.append("fill: %d heights differ from the model" %
                        int((got != want).sum()))
    far = int(numpy.isnan(floats).sum())
    if "%d farther off take height 0" % far not in result.stderr:
        problems.append("fill: counts not said: %r" % result.stderr)
    # In a TIFF the sea kept beyond reach (columns 56 on) is nodata, as it
    # is turned; the filled holes are heights in metres.
    kept = numpy.zeros(metres.shape, bool)
    kept[:, 56:] = True
    for what, switches, turn in (("as it is", [], lambda a: a),
                                 ("a half turn", ["-rotate", "180"],
                                  lambda a: a[::-1, ::-1])):
        out = os.path.join(work, "filled.tif")
        result = run(path, out, "-fill", "6", "-depth", "16", *switches)
        dataset = gdal.Open(out)
        band = dataset.GetRasterBand(1)
        stored = band.ReadAsArray()
        if band.GetNoDataValue() != 65535:
            problems.append("fill %s: nodata %r" % (what,
                                                    band.GetNoDataValue()))
        if not numpy.array_equal(stored == 65535, turn(kept)):
            problems.append("fill %s: %d samples wrongly nodata" %
                            (what, int(((stored == 65535) != turn(kept)).sum())))
        in_metres = stored * band.GetScale() + band.GetOffset()
        filled_metres = got * band.GetScale() + band.GetOffset()
        valid = ~turn(kept)
        if numpy.abs(in_metres[valid] - turn(filled_metres)[valid]).max() > 1e-9:
            problems.append("fill %s: heights differ from the raw output" % what)
        if "the samples kept as nodata are written as 65535" not in \
                result.stderr:
            problems.append("fill %s: nodata not said: %r" %
                            (what, result.stderr))
    # As floats: the fill unrounded, the sea kept NaN, GDAL's nodata "nan".
    out = os.path.join(work, "filled_f.tif")
    result = run(path, out, "-fill", "6")
    dataset = gdal.Open(out)
    band = dataset.GetRasterBand(1)
    stored = band.ReadAsArray().astype(numpy.float64)
    want = fill_model(source.astype(numpy.float64), marks, 6, rounded=False)
    if band.DataType != gdal.GDT_Float32 or not numpy.isnan(
            band.GetNoDataValue() or 0.0):
        problems.append("float fill: type %d, nodata %r" %
                        (band.DataType, band.GetNoDataValue()))
    if not numpy.array_equal(numpy.isnan(stored), kept):
        problems.append("float fill: %d samples wrongly nodata" %
                        int((numpy.isnan(stored) != kept).sum()))
    elif numpy.abs(stored[~kept] - want[~kept]).max() > 1e-3:
        problems.append("float fill: %g off the model" %
                        numpy.abs(stored[~kept] - want[~kept]).max())
    if "the samples kept as nodata are written as NaN" not in result.stderr:
        problems.append("float fill: nodata not said: %r" % result.stderr)
    dataset = None
    # Steps of -unit, written as floats: the nodata kept is NaN there too.
    run(path, out, "-fill", "6", "-unit", "0.01", "-depth", "32")
    dataset = gdal.Open(out)
    stored = dataset.GetRasterBand(1).ReadAsArray()
    if not numpy.array_equal(numpy.isnan(stored), kept):
        problems.append("-depth 32 of steps: %d samples wrongly nodata" %
                        int((numpy.isnan(stored) != kept).sum()))
    dataset = None
    # Each of three tiles (sharing their edge rows) keeps its part's nodata.
    run(path, os.path.join(work, "ft.tif"), "-fill", "6", "-tiles", "1x3",
        "-depth", "16")
    for j in range(3):
        dataset = gdal.Open(os.path.join(work, "ft_x0_y%d.tif" % j))
        band = dataset.GetRasterBand(1)
        part = kept[13 * j:13 * j + 14]
        if band.GetNoDataValue() != 65535 or not numpy.array_equal(
                band.ReadAsArray() == 65535, part):
            problems.append("fill tile %d: nodata %r or marks wrong" %
                            (j, band.GetNoDataValue()))


def check_codecs(work, samples):
    """Each compression gives the heights the uncompressed file gives."""
    outputs = {}
    for codec in ("NONE", "DEFLATE", "LZW", "ZSTD", "LZMA"):
        path = os.path.join(work, "c.tif")
        dataset = gdal.GetDriverByName("GTiff").Create(
            path, samples.shape[1], samples.shape[0], 1, gdal.GDT_Int16,
            ["COMPRESS=" + codec, "PREDICTOR=2" if codec != "NONE" else
             "PREDICTOR=1"])
        dataset.GetRasterBand(1).WriteArray(samples)
        dataset = None
        out = os.path.join(work, "c.r16")
        run(path, out)
        with open(out, "rb") as heights:
            outputs[codec] = heights.read()
    for codec, heights in outputs.items():
        if heights != outputs["NONE"] or not heights:
            problems.append("%s: heights differ from the uncompressed file's"
                            % codec)


def check_windows(work, floats, scaled, metres, scaled_values):
    """Windows in pixels and in metres: placed, valued and sized."""
    x0, dx, _, y0, _, dy = GEO
    cases = [
        # (what, input, values, switches, (columns, rows))
        ("Float32 window at the far corner", floats, metres,
         ["-crop", "4x3+5+4"], (4, 3)),
        ("Float32 window turned", floats, metres,
         ["-crop", "3x5+1+1", "-rotate", "90"], (5, 3)),
        ("scaled Int16 window", scaled, scaled_values,
         ["-crop", "2x6+7+1"], (2, 6)),
        # Edges within pixels 1 ... 3 across and 2 ... 6 down.
        ("bounds within pixels", floats, metres,
         ["-bounds", "%r,%r,%r,%r" % (x0 + 1.5 * dx, y0 + 6.5 * dy,
                                      x0 + 3.5 * dx, y0 + 2.5 * dy)], (3, 5)),
        # On the borders of pixels 1 ... 2 and 2 ... 5: nothing beyond.
        ("bounds on borders", floats, metres,
         ["-bounds", "%r,%r,%r,%r" % (x0 + 1 * dx, y0 + 6 * dy,
                                      x0 + 3 * dx, y0 + 2 * dy)], (2, 4)),
        # A metre past the east and south borders takes a pixel more.
        ("bounds a metre past", scaled, scaled_values,
         ["-bounds", "%r,%r,%r,%r" % (x0 + 1 * dx, y0 + 6 * dy - 1,
                                      x0 + 3 * dx + 1, y0 + 2 * dy)], (3, 5)),
        ("bounds of the whole map", floats, metres,
         ["-bounds", "%r,%r,%r,%r" % (x0, y0 + HEIGHT * dy, x0 + WIDTH * dx,
                                      y0)], (WIDTH, HEIGHT)),
    ]
    for what, source, source_values, switches, size in cases:
        out = os.path.join(work, "window.tif")
        if os.path.exists(out):
            os.remove(out)
        if run(source, out, *switches).returncode != 0:
            continue
        check_placed(what, out, source_values, 0.0)
        _, data, _ = values(out)
        if (data.shape[1], data.shape[0]) != size:
            problems.append("%s: %d x %d, not %d x %d" %
                            ((what, data.shape[1], data.shape[0]) + size))
    # A metre past the map's west edge is refused, the extent told.
    result = subprocess.run(
        TOOL + [floats, os.path.join(work, "no.tif"), "-bounds",
                "%r,%r,%r,%r" % (x0 - 1, y0 + 3 * dy, x0 + 2 * dx, y0)],
        capture_output=True, text=True)
    extent = "%.10g,%.10g,%.10g,%.10g" % (x0, y0 + HEIGHT * dy,
                                          x0 + WIDTH * dx, y0)
    if not result.stdout.splitlines()[-1].endswith(
            "reaches past the map's extent %s (west,south,east,north)" %
            extent):
        problems.append("bounds past the map: %r" % result.stdout)


def linear_model(data, height, width):
    """Corner-aligned linear resampling in float64: result (r, c) at source
    (r (H - 1) / (height - 1), c (W - 1) / (width - 1))."""
    source = data.astype(numpy.float64)
    rows, columns = source.shape
    def axis(count, size):
        at = numpy.arange(count) * ((size - 1) / max(count - 1, 1))
        low = numpy.minimum(numpy.floor(at).astype(int), size - 1)
        high = numpy.minimum(low + 1, size - 1)
        return low, high, at - low
    top, bottom, down = axis(height, rows)
    left, right, across = axis(width, columns)
    upper = source[top][:, left] * (1 - across) + source[top][:, right] * across
    lower = (source[bottom][:, left] * (1 - across) +
             source[bottom][:, right] * across)
    return upper * (1 - down)[:, None] + lower * down[:, None]


def check_floats(work, floats, metres, scaled, scaled_values):
    """A Float32 DEM flipped and resampled stays Float32 in metres, each
    value the float64 model's within 1e-5 of the range; -depth 16 gives
    16-bit heights with the band's scale and offset, and -depth 32 floats
    of 16-bit heights, in metres."""
    out = os.path.join(work, "float.tif")
    run(floats, out, "-size", "17x13", "-flip", "vertical", "-filter",
        "linear")
    try:
        dataset = gdal.Open(out)
    except RuntimeError as failure:
        problems.append("float resampling: GDAL cannot read it: %s" % failure)
        return
    band = dataset.GetRasterBand(1)
    if band.DataType != gdal.GDT_Float32 or band.GetScale() not in (None, 1.0):
        problems.append("float resampling: type %d, scale %r" %
                        (band.DataType, band.GetScale()))
    want = linear_model(metres[::-1], 13, 17)
    span = float(metres.max() - metres.min())
    error = numpy.abs(band.ReadAsArray().astype(numpy.float64) - want).max()
    if error > 1e-5 * span:
        problems.append("float resampling: %g off the float64 model" % error)
    # Flipped top to bottom, the corners lie as a quarter turn's do.
    corners_placed("float resampling", out, True)
    dataset = None
    run(floats, out, "-depth", "16")
    # The band lives only as long as its dataset.
    dataset = gdal.Open(out)
    band = dataset.GetRasterBand(1)
    if band.DataType != gdal.GDT_UInt16 or band.GetScale() in (None, 1.0):
        problems.append("-depth 16: type %d, scale %r" %
                        (band.DataType, band.GetScale()))
    # 32-bit integers a float holds exactly join the floats: Float32 out,
    # every sample as it was (a negative Int32 beyond 16 bits among them).
    wide = (metres.astype(numpy.int64) * 1000 - 1234567).astype(numpy.int32)
    integers = write(os.path.join(work, "i32.tif"), wide, gdal.GDT_Int32)
    run(integers, out)
    dataset = gdal.Open(out)
    band = dataset.GetRasterBand(1)
    if band.DataType != gdal.GDT_Float32 or not numpy.array_equal(
            band.ReadAsArray().astype(numpy.int64), wide.astype(numpy.int64)):
        problems.append("Int32 to TIFF: type %d, or other values" %
                        band.DataType)
    dataset = None
    # 16-bit heights as floats: the values the mapping line states, metres.
    dataset = None
    run(scaled, out, "-depth", "32")
    dataset = gdal.Open(out)
    band = dataset.GetRasterBand(1)
    got = band.ReadAsArray().astype(numpy.float64)
    if band.DataType != gdal.GDT_Float32 or band.GetScale() not in (None, 1.0):
        problems.append("-depth 32: type %d, scale %r" %
                        (band.DataType, band.GetScale()))
    elif numpy.abs(got - scaled_values).max() > 1e-4:
        problems.append("-depth 32: %g off the metres" %
                        numpy.abs(got - scaled_values).max())


def world_file(path):
    """A world file's six numbers as a GDAL geotransform."""
    with open(path) as world:
        a, d, b, e, x, y = (float(line) for line in world)
    return [x - a / 2 - b / 2, a, b, y - d / 2 - e / 2, d, e]


def check_srtm(work):
    """An SRTM tile lies where its name says, as GDAL reads it: on a TIFF
    output, in a world file, and in the world file of a raw written south
    row first for Unity."""
    side = 1201
    rows, columns = numpy.mgrid[0:side, 0:side]
    tile = os.path.join(work, "N47E011.hgt")
    (rows // 7 + columns // 5 + 400).astype(">i2").tofile(tile)
    reference = gdal.Open(tile)
    want = reference.GetGeoTransform()
    heights = reference.GetRasterBand(1).ReadAsArray()
    out = os.path.join(work, "srtm.tif")
    run(tile, out)
    try:
        dataset = gdal.Open(out)
        transform = dataset.GetGeoTransform()
        srs = osr.SpatialReference(wkt=dataset.GetProjection())
        _, data, step = values(out)
    except RuntimeError as failure:
        problems.append("SRTM TIFF: GDAL cannot read it: %s" % failure)
        return
    if max(abs(p - q) for p, q in zip(want, transform)) > 1e-12:
        problems.append("SRTM TIFF placed at %r, GDAL reads the tile at %r" %
                        (transform, want))
    if srs.GetAuthorityCode(None) != "4326":
        problems.append("SRTM TIFF: not EPSG:4326 but %r" %
                        srs.GetAuthorityCode(None))
    if abs(data - heights).max() > step / 2 + 1e-9:
        problems.append("SRTM TIFF: values off")
    run(tile, os.path.join(work, "srtm.png"), "-world")
    got = world_file(os.path.join(work, "srtm.pgw"))
    if max(abs(p - q) for p, q in zip(want, got)) > 1e-12:
        problems.append("SRTM world file %r, GDAL %r" % (got, want))
    # Unity's raw: its first row is the south edge, and so is the world
    # file's.
    run(tile, os.path.join(work, "unity.raw"), "-fit", "unity", "-world")
    got = world_file(os.path.join(work, "unity.wld"))
    for row, latitude in ((0, 47.0), (1024, 48.0)):
        x, y = gdal.ApplyGeoTransform(got, 0.5, row + 0.5)
        if abs(x - 11.0) > 1e-9 or abs(y - latitude) > 1e-9:
            problems.append("Unity raw's row %d at %g, %g, not %g N" %
                            (row, y, x, latitude))


def srtm_tiles(folder, terrain, side, skip=()):
    """The four 1-degree tiles of terrain (two down, two across, sharing
    their edges) named for their corners from 47 N 122 W, but those in
    skip."""
    os.makedirs(folder, exist_ok=True)
    for j, latitude in enumerate((47, 46)):
        for i, longitude in enumerate((122, 121)):
            name = "N%dW%d.hgt" % (latitude, longitude)
            if name in skip:
                continue
            part = terrain[j * (side - 1):j * (side - 1) + side,
                           i * (side - 1):i * (side - 1) + side]
            part.astype(">i2").tofile(os.path.join(folder, name))


def raw_heights(path, shape):
    return numpy.fromfile(path, dtype="<u2").reshape(shape)


def check_srtm_mosaic(work):
    """Four SRTM tiles sharing their edges make the terrain they were cut
    from, placed where their names say; a window of it lies where it lay;
    shared edges that differ are told and averaged; a missing tile is
    nodata, filled as -fill says."""
    side = 121
    rows, columns = numpy.mgrid[0:2 * side - 1, 0:2 * side - 1]
    terrain = (rows * 3 + columns * 2 + (rows * columns) % 7 + 100)
    folder = os.path.join(work, "srtm")
    srtm_tiles(folder, terrain, side)
    out = os.path.join(work, "mosaic.r16")
    run(os.path.join(folder, "N4*W12*.hgt"), out)
    if not (raw_heights(out, terrain.shape) == terrain - 100).all():
        problems.append("SRTM mosaic: not the terrain it was cut from")
    step = 1.0 / (side - 1)
    want = (-122 - step / 2, step, 0, 48 + step / 2, 0, -step)
    tif = os.path.join(work, "mosaic.tif")
    run(folder, tif)
    try:
        transform, data, _ = values(tif)
        code = osr.SpatialReference(
            wkt=gdal.Open(tif).GetProjection()).GetAuthorityCode(None)
        if max(abs(p - q) for p, q in zip(want, transform)) > 1e-12:
            problems.append("SRTM mosaic at %r, not %r" % (transform, want))
        if code != "4326" or not (data == terrain).all():
            problems.append("SRTM mosaic TIFF: EPSG %r or values off" % code)
        # -bounds across the four tiles: the window where it lay.
        run(folder, tif, "-bounds", "-121.6,46.55,-120.8,47.3")
        transform, data, _ = values(tif)
        left = int(round((transform[0] - want[0]) / step))
        top = int(round((want[3] - transform[3]) / step))
        part = terrain[top:top + data.shape[0], left:left + data.shape[1]]
        if (left, top, data.shape) != (48, 84, (91, 97)) or \
                not (data == part).all():
            problems.append("SRTM mosaic window at %d, %d of %r" %
                            (left, top, data.shape))
    except RuntimeError as failure:
        problems.append("SRTM mosaic TIFF: GDAL cannot read it: %s" % failure)
    # Fitted, the ground is the tiles' own: two degrees north to south, each
    # tile's samples spaced as in one tile alone.
    fitted = os.path.join(work, "fitted.raw")

    def terrain_length(source):
        said = run(source, fitted, "-fit", "unity").stderr
        lengths = re.findall(r"Terrain Length ([0-9.]+)", said)
        return float(lengths[0]) if lengths else 0.0
    whole = terrain_length(folder)
    one = terrain_length(os.path.join(folder, "N47W122.hgt"))
    if not one or abs(whole / one - 2) > 0.01:
        problems.append("SRTM mosaic fitted: length %r, one tile's %r" %
                        (whole, one))
    # The east tiles' first column differs from the west tiles' last.
    odd = os.path.join(work, "odd")
    srtm_tiles(odd, terrain, side)
    east = os.path.join(odd, "N47W121.hgt")
    tile = numpy.fromfile(east, dtype=">i2").reshape(side, side)
    tile[:, 0] += 4
    tile.tofile(east)
    result = run(odd, out)
    # The corner is the mean of four tiles, the edge above it of two.
    averaged = terrain - 100
    averaged[:side, side - 1] += 2
    averaged[side - 1, side - 1] -= 1
    if not (raw_heights(out, terrain.shape) == averaged).all():
        problems.append("SRTM mosaic: differing edges not averaged")
    west = os.path.join(odd, "N47W122.hgt")
    if "warning: %s: %d of the %d samples it shares" % (
            west, side, 2 * side - 1) not in result.stderr:
        problems.append("SRTM mosaic: differing edges %r" % result.stderr)
    # A tile missing: its place is nodata, filled or kept as -fill says.
    gap = os.path.join(work, "gap")
    srtm_tiles(gap, terrain, side, skip=("N46W121.hgt",))
    result = run(gap, out, "-fill", "0")
    got = raw_heights(out, terrain.shape)
    if "14400 samples were nodata" not in result.stderr or \
            got[side:, side:].any() or \
            not (got[:side] == terrain[:side] - 100).all():
        problems.append("SRTM mosaic gap kept: %r" % result.stderr)
    result = run(gap, out)
    if "14400 samples were nodata (no value): 14000 filled" not in \
            result.stderr:
        problems.append("SRTM mosaic gap filled: %r" % result.stderr)


def zip_files(archive, files):
    """A zip archive, as the SRTM downloads are, of (name, bytes) pairs."""
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as zipped:
        for name, data in files:
            zipped.writestr(name, data)
    return archive


def check_zipped_srtm(work):
    """A tile read straight from its zip gives the bytes its .hgt does, a
    folder or a pattern of zips the mosaic of their tiles; an archive of
    two files, of none, of no tile's size or cut short is refused. A build
    without minizip refuses the zip, naming the tile to unzip."""
    side = 121
    rows, columns = numpy.mgrid[0:2 * side - 1, 0:2 * side - 1]
    terrain = (rows * 3 + columns * 2 + (rows * columns) % 7 + 100)
    folder = os.path.join(work, "unzipped")
    srtm_tiles(folder, terrain, side)
    hgt = os.path.join(folder, "N47W122.hgt")
    with open(hgt, "rb") as tile:
        tile_bytes = tile.read()
    zips = os.path.join(work, "zips")
    os.makedirs(zips)
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), "rb") as tile:
            data = tile.read()
        # The member named otherwise: the archive's name places it.
        zip_files(os.path.join(zips, name[:7] + ".SRTMGL1.hgt.zip"),
                  [("tile.hgt", data)])
    archive = os.path.join(zips, "N47W122.SRTMGL1.hgt.zip")
    out = os.path.join(work, "z.tif")
    result = subprocess.run(TOOL + [archive, out], capture_output=True,
                            text=True)
    if "SRTM zipped" not in VERSION:
        if result.stdout.splitlines()[-1:] != [
                "ERROR: Input file is a zip archive holding tile.hgt, not a "
                "height map: unzip it and convert the file inside"]:
            problems.append("zip without minizip: %r" % result.stdout)
        return
    want = os.path.join(work, "unzipped.tif")
    run(hgt, want)
    for got, expected in ((archive, hgt), (zips, folder),
                          (os.path.join(zips, "N4*W12*.hgt.zip"),
                           os.path.join(folder, "N4*W12*.hgt"))):
        run(got, out)
        run(expected, want)
        if open(out, "rb").read() != open(want, "rb").read():
            problems.append("zipped %s: not the bytes of %s" % (got, expected))
    refused = (
        ("two.zip", [("N47W122.hgt", tile_bytes), ("readme.txt", b"hi")],
         "ERROR: Input file is a zip archive holding N47W122.hgt and "
         "readme.txt, not one SRTM tile (.hgt)"),
        ("none.zip", [],
         "ERROR: Input file is a zip archive holding nothing, not one SRTM "
         "tile (.hgt)"),
        ("short.zip", [("N47W122.hgt", tile_bytes[:-2])],
         "ERROR: SRTM tile N47W122.hgt in the zip archive has %d bytes, not "
         "2 x n x n for a square tile (1201 x 1201 or 3601 x 3601, 2 bytes "
         "a height)" % (len(tile_bytes) - 2)),
    )
    for name, files, line in refused:
        path = zip_files(os.path.join(work, name), files)
        result = subprocess.run(TOOL + [path, out], capture_output=True,
                                text=True)
        if result.returncode == 0 or result.stdout.splitlines()[-1:] != [line]:
            problems.append("%s: %r" % (name, result.stdout))
    # Cut short: its directory gone, or its deflated bytes.
    with open(archive, "rb") as whole:
        data = whole.read()
    for cut, line in ((len(data) - 30, "ERROR: Input file is a zip archive "
                       "that cannot be read: its directory is damaged or cut "
                       "short"),):
        path = os.path.join(work, "cut.zip")
        with open(path, "wb") as part:
            part.write(data[:cut])
        result = subprocess.run(TOOL + [path, out], capture_output=True,
                                text=True)
        if result.returncode == 0 or result.stdout.splitlines()[-1:] != [line]:
            problems.append("cut zip: %r" % result.stdout)
    # A deflated byte changed: the checksum catches what inflates.
    spoiled = bytearray(data)
    spoiled[60] ^= 0x55
    path = os.path.join(work, "spoiled.zip")
    with open(path, "wb") as part:
        part.write(bytes(spoiled))
    result = subprocess.run(TOOL + [path, out], capture_output=True,
                            text=True)
    if result.returncode == 0:
        problems.append("damaged zip read: %r" % result.stdout)


def check_sheet_mosaic(work):
    """Two GeoTIFF sheets side by side make one, where GDAL reads the
    first; a sheet in another projection is refused, named."""
    rows, columns = numpy.mgrid[0:HEIGHT, 0:2 * WIDTH]
    metres = (rows * 97.25 + columns * 13.5 - 120.75).astype(numpy.float32)
    folder = os.path.join(work, "sheets")
    os.makedirs(folder)
    global GEO
    first = GEO
    write(os.path.join(folder, "a.tif"), metres[:, :WIDTH], gdal.GDT_Float32)
    GEO = [first[0] + WIDTH * first[1]] + first[1:]
    write(os.path.join(folder, "b.tif"), metres[:, WIDTH:], gdal.GDT_Float32)
    GEO = first
    out = os.path.join(work, "sheets.tif")
    run(folder, out)
    try:
        transform, data, _ = values(out)
        if list(transform) != GEO or not (data == metres).all():
            problems.append("sheets: at %r, values %r" % (transform, data))
    except RuntimeError as failure:
        problems.append("sheets: GDAL cannot read it: %s" % failure)
    odd = os.path.join(folder, "c.tif")
    dataset = gdal.GetDriverByName("GTiff").Create(odd, WIDTH, HEIGHT, 1,
                                                   gdal.GDT_Float32)
    dataset.SetGeoTransform(GEO)
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(32633)
    dataset.SetProjection(srs.ExportToWkt())
    dataset = None
    result = subprocess.run(TOOL + [os.path.join(folder, "*.tif"), out],
                            capture_output=True, text=True)
    if result.stdout.splitlines()[-1:] != [
            "ERROR: Input tiles do not make one map"] or \
            "quillorn: %s: its projection (EPSG:32633) is not that of" % odd \
            not in result.stderr:
        problems.append("sheet of another projection: %r %r" %
                        (result.stdout, result.stderr))


def check_tile_sets(work):
    """A map cut with -tiles, plain or for an engine, is stitched back by
    the tiles' names into the map it was cut from."""
    rows, columns = numpy.mgrid[0:201, 0:301]
    heights = ((rows * 131 + columns * 17) % 65536).astype("<u2")
    source = os.path.join(work, "whole.r16")
    heights.tofile(source)
    unity = None
    for what, output, switches, pattern in (
            ("raw tiles", "t.r16", [], "t_x*_y*.r16"),
            ("PNG tiles", "p.png", [], "p_x*"),
            # Unity's raw tiles have their south row first, its PNG tiles
            # not: stitched back, both make one map.
            ("Unity's raw tiles", "u.raw", ["-fit", "unity"], "u_*.raw"),
            ("Unity's PNG tiles", "u.png", ["-fit", "unity"], "u_*.png")):
        cut = os.path.join(work, "set", output)
        os.makedirs(os.path.dirname(cut), exist_ok=True)
        run(source, cut, "-dim", "301x201", "-tiles", "3x2", *switches)
        back = os.path.join(work, "back.r16")
        run(os.path.join(work, "set", pattern), back)
        stitched = open(back, "rb").read()
        if switches and unity is None:
            unity = stitched
        elif stitched != (unity if switches else heights.tobytes()):
            problems.append("%s not stitched back into the map" % what)
    # World Machine's tiles: j counts from the bottom.
    import shutil
    machine = os.path.join(work, "machine")
    os.makedirs(machine)
    for j in range(2):
        for i in range(3):
            shutil.copy(os.path.join(work, "set", "t_x%d_y%d.r16" % (i, j)),
                        os.path.join(machine, "wm_x%d_y%d.r16" % (i, 1 - j)))
    back = os.path.join(work, "back.r16")
    run(machine, back, "-tilerows", "bottom")
    if open(back, "rb").read() != heights.tobytes():
        problems.append("tiles counted from the bottom not stitched back")


def main():
    work = tempfile.mkdtemp()
    check_srtm(work)
    check_srtm_mosaic(work)
    check_sheet_mosaic(work)
    check_tile_sets(work)
    rows, columns = numpy.mgrid[0:HEIGHT, 0:WIDTH]
    metres = (rows * 97.25 + columns * 13.5 - 120.75).astype(numpy.float32)
    floats = write(os.path.join(work, "f.tif"), metres, gdal.GDT_Float32)
    # Int16 samples in 20 cm steps from 100 m.
    samples = (rows * 37 + columns * 5 - 40).astype(numpy.int16)
    scaled = write(os.path.join(work, "s.tif"), samples, gdal.GDT_Int16,
                   scale=0.2, offset=100.0)
    scaled_values = samples.astype(numpy.float64) * 0.2 + 100.0

    grids = [
        ("as it is", []),
        ("flipped across", ["-flip", "horizontal"]),
        ("flipped down", ["-flip", "vertical"]),
        ("a quarter turn", ["-rotate", "90"]),
        ("a half turn", ["-rotate", "180"]),
        ("three quarters", ["-rotate", "270"]),
        ("turned and flipped", ["-rotate", "90", "-flip", "vertical"]),
    ]
    for what, switches in grids:
        out = os.path.join(work, "out.tif")
        run(floats, out, *switches)
        check_placed("Float32 " + what, out, metres, 0.0)
    # The band's scale and offset in: heights of 0.2 m steps, the mapping
    # line in metres; out: GDAL reads metres.
    out = os.path.join(work, "scaled.tif")
    result = run(scaled, out)
    if "1 step = 0.2 units" not in result.stderr:
        problems.append("scaled Int16: mapping line %r" % result.stderr)
    check_placed("scaled Int16", out, scaled_values, 0.0)

    # Tiles: each tile lands on its part of the source.
    run(floats, os.path.join(work, "t.tif"), "-tiles", "2x3")
    for j in range(3):
        for i in range(2):
            name = os.path.join(work, "t_x%d_y%d.tif" % (i, j))
            check_placed("tile %d,%d" % (i, j), name, metres, 0.0)
    # Resampled: corners on corners, enlarged and reduced, turned too.
    for size, switches in (("17x13", []), ("5x4", []),
                           ("13x17", ["-rotate", "90"])):
        out = os.path.join(work, "r.tif")
        run(floats, out, "-size", size, *switches)
        corners_placed("resampled to " + size, out, bool(switches))
    check_floats(work, floats, metres, scaled, scaled_values)
    check_windows(work, floats, scaled, metres, scaled_values)
    # A world file beside a picture places it as the TIFF's geotransform.
    png = os.path.join(work, "w.png")
    tif = os.path.join(work, "w.tif")
    run(floats, png, "-world", "-rotate", "90")
    run(floats, tif, "-rotate", "90")
    try:
        with open(os.path.join(work, "w.pgw")) as world:
            a, d, b, e, x, y = (float(line) for line in world)
        transform, _, _ = values(tif)
        want = [x - a / 2 - b / 2, a, b, y - d / 2 - e / 2, d, e]
        if max(abs(p - q) for p, q in zip(want, transform)) > 1e-6:
            problems.append("world file %r, TIFF %r" % (want, transform))
    except (OSError, ValueError) as failure:
        problems.append("world file: %s" % failure)

    check_fill(work)
    check_codecs(work, samples)
    check_zipped_srtm(work)

    for problem in problems:
        print("FAIL " + problem)
    print("%d problems" % len(problems))
    return 1 if problems else 0


sys.exit(main())
