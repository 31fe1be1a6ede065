#!/usr/bin/env python3
"""Packs square RGBA PNG images into one .ico file.

Usage: pack_icon.py OUTPUT.ico IMAGE.png...

Images up to 48 pixels go in as 32-bit device-independent bitmaps with an AND
mask (what every version of the system reads); larger ones stay PNG. Only the
standard library is used: the PNGs are decoded here.
"""
import struct
import sys
import zlib


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG file")
    pos = 8
    header = None
    palette = None
    transparency = None
    idat = bytearray()
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = body
        elif kind == b"tRNS":
            transparency = body
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    if header is None:
        raise ValueError(f"{path}: no header")
    width, height, depth, color, _, _, interlace = header
    if depth != 8 or interlace != 0 or color not in (2, 3, 6):
        raise ValueError(f"{path}: only 8-bit, non-interlaced RGB, RGBA or palette images are supported")
    channels = {2: 3, 3: 1, 6: 4}[color]
    stride = width * channels
    raw = zlib.decompress(bytes(idat))
    rows = []
    previous = bytearray(stride)
    offset = 0
    for _ in range(height):
        kind = raw[offset]
        line = bytearray(raw[offset + 1:offset + 1 + stride])
        offset += 1 + stride
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            upper_left = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + ((left + up) >> 1)) & 0xFF
            elif kind == 4:
                p = left + up - upper_left
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - upper_left)
                predictor = left if pa <= pb and pa <= pc else (up if pb <= pc else upper_left)
                line[i] = (line[i] + predictor) & 0xFF
            elif kind != 0:
                raise ValueError(f"{path}: unknown row filter {kind}")
        rows.append(bytes(line))
        previous = line
    pixels = []
    for line in rows:
        row = []
        for x in range(width):
            if color == 6:
                row.append(tuple(line[4 * x:4 * x + 4]))
            elif color == 2:
                row.append(tuple(line[3 * x:3 * x + 3]) + (255,))
            else:
                index = line[x]
                r, g, b = palette[3 * index:3 * index + 3]
                a = transparency[index] if transparency and index < len(transparency) else 255
                row.append((r, g, b, a))
        pixels.append(row)
    return width, height, pixels, data


def bitmap_image(width, height, pixels):
    """A 32-bit bitmap with alpha, stored bottom-up, followed by its AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    color = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            color += bytes((b, g, r, a))
    mask_stride = ((width + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + bytes(color) + bytes(mask)


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    output, inputs = argv[1], argv[2:]
    images = []
    for path in inputs:
        width, height, pixels, png = read_png(path)
        if width != height or width > 256:
            raise ValueError(f"{path}: icon images are square and at most 256 pixels")
        payload = png if width > 48 else bitmap_image(width, height, pixels)
        images.append((width, payload))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = bytearray()
    blobs = bytearray()
    for size, payload in images:
        dimension = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dimension, dimension, 0, 0, 1, 32, len(payload), offset)
        blobs += payload
        offset += len(payload)
    with open(output, "wb") as f:
        f.write(directory + bytes(entries) + bytes(blobs))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
