#!/usr/bin/env python3
"""Plain reference of the raster conversions, written from their description
only: python3 conversion_reference.py MODE IN OUT KEY=VALUE...

Keys: p, l (pixels, lines), bo (byte order), first, last (mode 5),
pt, lt, nx, ny, b (modes 6 and 7). Mode 4 writes the raw 8-bit image.
"""
import math
import struct
import sys


def main():
    mode = int(sys.argv[1])
    src, dst = sys.argv[2], sys.argv[3]
    k = {a.split('=')[0]: int(a.split('=')[1]) for a in sys.argv[4:]}
    data = open(src, 'rb').read()
    p, l, bo = k.get('p', 0), k.get('l', 0), k.get('bo', 0)
    e = '>' if bo == 1 else '<'
    out = bytearray()
    if mode == 0:
        n = p * l
        # raw words reversed, so that NaN payloads survive
        out = b''.join(data[4 * i:4 * i + 4][::-1] for i in range(n))
    elif mode == 1:
        n = p * l
        out = b''.join(data[2 * i:2 * i + 2][::-1] for i in range(n))
    elif mode == 2:
        n = p * l
        for v in struct.unpack(e + '%df' % n, data[:4 * n]):
            if math.isnan(v):
                s = 0
            elif v >= 32768:
                s = 32767
            elif v < -32767:
                s = -32767
            else:
                s = int(v)  # toward zero
            out += struct.pack(e + 'h', s)
    elif mode == 3:
        n = p * l
        for v in struct.unpack(e + '%dh' % n, data[:2 * n]):
            out += struct.pack(e + 'f', float(v))
    elif mode == 4:
        def amp(x, y):
            i, q = struct.unpack_from(e + 'hh', data, 4 * (y * p + x))
            return math.sqrt(float(i) * i + float(q) * q)
        step = 64 if bo == 1 else 32
        vals = [amp(x, y) for y in range(0, l, step) for x in range(0, p, 64)]
        mean = sum(vals) / len(vals)
        for y in range(l):
            for x in range(p):
                out.append(0 if mean == 0 else min(255, int(amp(x, y) / mean * 64)))
    elif mode == 5:
        out = data[k['first'] * p * 8:(k['last'] + 1) * p * 8]
    elif mode == 6:
        pt, lt, b = k['pt'], k['lt'], k['b']
        nx, ny = -(-p // pt), -(-l // lt)
        for ty in range(ny):
            for tx in range(nx):
                for j in range(lt):
                    y = ty * lt + j
                    for i in range(pt):
                        x = tx * pt + i
                        if x < p and y < l:
                            out += data[(y * p + x) * b:(y * p + x + 1) * b]
                        else:
                            out += bytes(b)
    elif mode == 7:
        pt, lt, nx, ny, b = k['pt'], k['lt'], k['nx'], k['ny'], k['b']
        for ty in range(ny):
            for j in range(lt):
                for tx in range(nx):
                    at = ((ty * nx + tx) * lt + j) * pt * b
                    out += data[at:at + pt * b]
    open(dst, 'wb').write(bytes(out))


main()
