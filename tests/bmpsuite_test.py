#!/usr/bin/env python3
"""Runs quillorn over every file of the public BMP Suite, and real height
maps through every format.

Every BMP Suite file either converts (exit 0, "Done!" last, an output that
Pillow decodes to the picture the tool promises) or is refused (exit -1, one
"ERROR: " line last, no output file). Never a crash, a hang or a sanitizer
report. The height maps go from BMP and PNG to raw, PGM and PNG and back;
Pillow reads each file the tool wrote and must find the same heights.

usage: bmpsuite_test.py <quillorn> <testdata folder>
The folder in $QUILLORN_TESTDATA, when set, comes first. Exit 77 (skipped)
where the test data or Pillow is absent, except under CI.
"""
import os
import subprocess
import sys
import tempfile

SKIP = 77
# Uncompressed 8- and 24-bit files with a Windows info header: must convert.
MUST_CONVERT = {
    "g/pal8.bmp", "g/pal8-0.bmp", "g/pal8gs.bmp", "g/pal8nonsquare.bmp",
    "g/pal8topdown.bmp", "g/pal8v4.bmp", "g/pal8v5.bmp", "g/pal8w124.bmp",
    "g/pal8w125.bmp", "g/pal8w126.bmp", "g/rgb24.bmp", "g/rgb24pal.bmp",
}
BANNER = ["Quillorn v1.00", "Hit Ctrl+C to exit"]


def skip(reason):
    print("SKIPPED: " + reason)
    if os.environ.get("CI"):
        print("CI must have the test data and Pillow")
        sys.exit(1)
    sys.exit(SKIP)


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
    run = subprocess.run([exe, *arguments], stdin=subprocess.DEVNULL,
                         capture_output=True, timeout=120)
    return run.returncode, run.stdout.decode("utf-8", "replace").splitlines()


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
