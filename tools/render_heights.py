#!/usr/bin/env python3
"""Renders a height map bitmap as a grey PNG: each pixel's height (green x 255
+ red) scaled so that the image's highest height is white.

usage: render_heights.py <in.bmp> <out.png>    (needs Pillow: python3-pil)
"""
import sys

from PIL import Image


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    image = Image.open(sys.argv[1]).convert("RGB")
    red, green, _ = image.split()
    heights = [g * 255 + r for r, g in zip(red.getdata(), green.getdata())]
    highest = max(heights) or 1
    grey = Image.new("L", image.size)
    grey.putdata([round(h * 255 / highest) for h in heights])
    grey.save(sys.argv[2], optimize=True)
    print("%s: heights %d ... %d" % (sys.argv[2], min(heights), highest))
    return 0


if __name__ == "__main__":
    sys.exit(main())
