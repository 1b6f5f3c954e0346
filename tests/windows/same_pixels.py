#!/usr/bin/python3
"""same_pixels.py A.png B.png [C.png D.png ...]: each pair of PNG files must
decode to the same picture: PNG, same size, same mode, same pixel bytes, and
a picture of more than one colour (two blank pictures prove nothing)."""
import sys

from PIL import Image


def load(path):
    with Image.open(path) as picture:
        if picture.format != "PNG":
            raise SystemExit(f"error: {path} is {picture.format}, not PNG")
        picture.load()
        return picture.mode, picture.size, picture.tobytes(), len(picture.getcolors(1 << 24) or [])


def main(paths):
    if not paths or len(paths) % 2:
        raise SystemExit("usage: same_pixels.py A.png B.png [C.png D.png ...]")
    failures = 0
    for first, second in zip(paths[0::2], paths[1::2]):
        mode_a, size_a, bytes_a, colours_a = load(first)
        mode_b, size_b, bytes_b, _ = load(second)
        if (mode_a, size_a) != (mode_b, size_b):
            print(f"FAIL: {first} is {mode_a} {size_a}, {second} is {mode_b} {size_b}", file=sys.stderr)
            failures += 1
        elif bytes_a != bytes_b:
            differing = sum(1 for a, b in zip(bytes_a, bytes_b) if a != b)
            print(f"FAIL: {first} and {second} differ in {differing} of {len(bytes_a)} bytes",
                  file=sys.stderr)
            failures += 1
        elif colours_a < 2:
            print(f"FAIL: {first} has a single colour", file=sys.stderr)
            failures += 1
        else:
            print(f"same pixels: {first} and {second} ({mode_a} {size_a[0]}x{size_a[1]}, "
                  f"{colours_a} colours)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
