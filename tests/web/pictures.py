"""Just enough of PNG to compare what two runs show: reading 8-bit RGB(A) pictures and coarse
measurements of them."""

import struct
import zlib


class Picture:
    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb  # rows top first, 3 bytes a pixel

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return self.rgb[i], self.rgb[i + 1], self.rgb[i + 2]

    def mean(self, x0, y0, x1, y1):
        """Mean (r, g, b) over the box [x0, x1) x [y0, y1), clipped to the picture."""
        x0, y0 = max(0, int(x0)), max(0, int(y0))
        x1, y1 = min(self.width, int(x1)), min(self.height, int(y1))
        n, s = 0, [0, 0, 0]
        for y in range(y0, y1):
            row = 3 * y * self.width
            for x in range(x0, x1):
                i = row + 3 * x
                s[0] += self.rgb[i]
                s[1] += self.rgb[i + 1]
                s[2] += self.rgb[i + 2]
                n += 1
        return tuple(v / max(n, 1) for v in s)

    def scaled(self, width, height):
        """The picture at another size, each pixel the nearest of the original's: for comparing
        frames drawn at a window's density with ones drawn at 1 pixel a point."""
        if (width, height) == (self.width, self.height):
            return self
        out = bytearray(width * height * 3)
        columns = [3 * (x * self.width // width) for x in range(width)]
        for y in range(height):
            row = 3 * self.width * (y * self.height // height)
            o = 3 * y * width
            for x, c in enumerate(columns):
                out[o + 3 * x:o + 3 * x + 3] = self.rgb[row + c:row + c + 3]
        return Picture(width, height, out)

    def luminance(self, x0, y0, x1, y1):
        r, g, b = self.mean(x0, y0, x1, y1)
        return 0.299 * r + 0.587 * g + 0.114 * b


def read_png(path):
    with open(path, 'rb') as f:
        data = f.read()
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        raise ValueError(path + ': not a PNG')
    pos, idat, header = 8, b'', None
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b'IHDR':
            header = struct.unpack('>IIBBBBB', body)
        elif kind == b'IDAT':
            idat += body
        elif kind == b'IEND':
            break
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise ValueError(path + ': only 8-bit RGB or RGBA pictures')
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    out = bytearray(width * height * 3)
    previous = bytearray(stride)
    at = 0
    for y in range(height):
        kind = raw[at]
        line = bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        for x in range(width):
            o = 3 * (y * width + x)
            out[o:o + 3] = line[x * channels:x * channels + 3]
        previous = line
    return Picture(width, height, out)


def grid_difference(a, b, cell=20):
    """Compares two pictures of the same size cell by cell: the share of cells whose mean colour
    differs by more than 24 (of 255) in some channel, and the largest difference seen."""
    if (a.width, a.height) != (b.width, b.height):
        raise ValueError('pictures of different sizes')
    differing, cells, worst = 0, 0, 0
    for y in range(0, a.height, cell):
        for x in range(0, a.width, cell):
            ma, mb = a.mean(x, y, x + cell, y + cell), b.mean(x, y, x + cell, y + cell)
            d = max(abs(p - q) for p, q in zip(ma, mb))
            worst = max(worst, d)
            differing += d > 24
            cells += 1
    return differing / cells, worst
