#!/usr/bin/env python3
"""-fit godot outputs imported by HTerrain 1.5.2's own import code, run by
Godot 3.2.3 headless.

An SRTM-like tile whose corners stand at 1000 m (north-west), 2000 m
(north-east), 500 m (south-west) and 3000 m (south-east) goes through
`-fit godot` to a raw file and to an OpenEXR. HTerrain's
HTerrainData._edit_import_maps imports each with the Min and Max Height
the tool printed (which must lie within the import dialog's -2000 ... 2000,
whole numbers), and its heights, through the printed Map Scale y and
Position Y, must put every corner at its true height north up, at the
size the tool wrote, within what HTerrain 1.5 keeps (half floats).

usage: hterrain_test.py <quillorn> <source folder>
With QUILLORN_TEST_LAUNCHER set (Wine), the tool runs through it.
The add-on comes from $QUILLORN_CLIENTS or ../shared/clients beside the
source folder (hterrain-1.5.2-addon.tar.gz). Exit 77 (skipped) where Godot
3 (Debian's godot3-server) is not installed, or the add-on's archive is
absent.
"""
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tarfile
import tempfile

import test_skips

SIDE = 193
CORNERS = {"nw": 1000.0, "ne": 2000.0, "sw": 500.0, "se": 3000.0}


def skip(reason, ci_needs=None):
    test_skips.skip("hterrain_godot", reason, ci_needs)


def elevation(row, column):
    v, u = row / (SIDE - 1.0), column / (SIDE - 1.0)
    plane = ((1 - v) * ((1 - u) * CORNERS["nw"] + u * CORNERS["ne"]) +
             v * ((1 - u) * CORNERS["sw"] + u * CORNERS["se"]))
    # Zero on every edge: the corners and edges stay those of the plane.
    return round(plane + 300 * math.sin(math.pi * u) * math.sin(math.pi * v) *
                 math.cos(9 * u + 4 * v))


def half_float_level(value):
    """The distance between two half floats near value."""
    return 2.0 ** (math.floor(math.log2(max(abs(value), 6.1e-5))) - 10)


SCRIPT = """extends SceneTree

func _init():
    var Data = load("res://addons/zylann.hterrain/hterrain_data.gd")
    var data = Data.new()
    var params = {"path": "%(path)s", "min_height": %(low)d,
        "max_height": %(high)d, "big_endian": false}
    var input = {}
    input[Data.CHANNEL_HEIGHT] = params
    if not data._edit_import_maps(input):
        print("IMPORT FAILED")
        quit()
        return
    var last = data.get_resolution() - 1
    print("RESOLUTION ", data.get_resolution())
    print("CORNER nw ", data.get_height_at(0, 0))
    print("CORNER ne ", data.get_height_at(last, 0))
    print("CORNER sw ", data.get_height_at(0, last))
    print("CORNER se ", data.get_height_at(last, last))
    quit()
"""


def fields(errors):
    """The printed HTerrain lines: Min/Max Height, Map Scale y, Position Y."""
    found = {}
    block = errors.split("quillorn: for HTerrain", 1)[-1]
    block = block.split("quillorn: for Terrain3D", 1)[0]
    for name in ("Min Height", "Max Height", "Position Y"):
        match = re.search(r"quillorn:   %s (\S+)" % name, block)
        if match:
            found[name] = float(match.group(1))
    match = re.search(r"quillorn:   Map Scale x \S+, y (\S+), z", block)
    if match:
        found["scale y"] = float(match.group(1))
    return found


def main():
    launcher = os.environ.get("QUILLORN_TEST_LAUNCHER")
    tool = ([launcher] if launcher else []) + [sys.argv[1]]
    godot = shutil.which("godot3-server") or shutil.which("godot3")
    if godot is None:
        skip("Godot 3 is not installed (apt-get install godot3-server)",
             "install godot3-server")
    source = sys.argv[2]
    clients = os.environ.get("QUILLORN_CLIENTS") or os.path.join(
        source, "..", "shared", "clients")
    archive = os.path.join(clients, "hterrain-1.5.2-addon.tar.gz")
    if not os.path.exists(archive):
        skip("HTerrain's archive is not at " + archive)
    work = tempfile.mkdtemp()
    project = os.path.join(work, "project")
    os.makedirs(project)
    with open(os.path.join(project, "project.godot"), "w") as out:
        out.write("config_version=4\n")
    with tarfile.open(archive) as addon:
        addon.extractall(project)
    tile = os.path.join(work, "N47E011.hgt")
    with open(tile, "wb") as out:
        for row in range(SIDE):
            out.write(struct.pack(">%dh" % SIDE,
                                  *(elevation(row, c) for c in range(SIDE))))
    problems = []
    for name in ("g.raw", "g.exr"):
        output = os.path.join(project, name)
        run = subprocess.run(tool + [tile, output, "-fit", "godot"],
                             capture_output=True, text=True)
        if run.returncode != 0:
            problems.append("%s: exit %d: %s" % (name, run.returncode,
                                                 run.stderr))
            continue
        printed = fields(run.stderr)
        exr = name.endswith(".exr")
        low = printed.get("Min Height", 0.0)
        high = printed.get("Max Height", 0.0)
        scale = printed.get("scale y", float("nan"))
        base = printed.get("Position Y", 0.0)
        if not exr and not ("Min Height" in printed and "Max Height" in printed):
            problems.append("%s: no Min/Max Height in %r" % (name, run.stderr))
            continue
        for value in (low, high):
            if abs(value) > 2000 or value != int(value):
                problems.append("%s: %g is beyond HTerrain's dialog "
                                "(-2000 ... 2000, whole)" % (name, value))
        script = os.path.join(work, "import.gd")
        with open(script, "w") as out:
            out.write(SCRIPT % {"path": "res://" + name, "low": low,
                                "high": high})
        ran = subprocess.run([godot, "--path", project, "-s", script],
                             capture_output=True, text=True, timeout=300)
        said = dict(re.findall(r"^(RESOLUTION|CORNER \w+) (\S+)$", ran.stdout,
                               re.M))
        if "RESOLUTION" not in said:
            problems.append("%s: Godot imported nothing: %s%s" %
                            (name, ran.stdout, ran.stderr))
            continue
        if int(said["RESOLUTION"]) != 257:
            problems.append("%s: imported at %s, not 257" %
                            (name, said["RESOLUTION"]))
        for corner, true in CORNERS.items():
            stored = float(said["CORNER " + corner])
            metres = base + scale * stored
            # Half floats of what HTerrain stores, and the file's step.
            allowed = scale * (half_float_level(stored) +
                               (high - low) / 65535) + 0.05
            if abs(metres - true) > allowed:
                problems.append("%s: corner %s at %g m, not %g (within %g)" %
                                (name, corner, metres, true, allowed))
    for problem in problems:
        print("FAIL " + problem)
    print("%d problems" % len(problems))
    return 1 if problems else 0


sys.exit(main())
