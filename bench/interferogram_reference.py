#!/usr/bin/python3
"""The working-area arithmetic of the interferogram merger in vectorised
numpy, timed on the inputs bench_interferogram writes (the master and slave
windows, the tie-point table, the satellite positions of every line, the
mapping polynomials), and compared with the merger's own Fringe and
Coherence. Needs python3-numpy (apt-get install python3-numpy).

    interferogram_reference.py FOLDER [MERGER_MS]
"""
import json
import sys
import time

import numpy as np

A = 6378137.0
E2 = 0.006694380022900787


def main(folder, ours_ms):
    meta = json.load(open(folder + "/meta.json"))
    W, H, SW, SH = meta["width"], meta["height"], meta["slave_width"], meta["slave_height"]
    master = np.fromfile(folder + "/master.u32", dtype="<u4").reshape(H, W)
    slave = np.fromfile(folder + "/slave.u32", dtype="<u4").reshape(SH, SW)
    sm = np.fromfile(folder + "/sm.f64", dtype="<f8").reshape(H, 3)
    ss = np.fromfile(folder + "/ss.f64", dtype="<f8").reshape(H, 3)
    ours_fringe = np.fromfile(folder + "/fringe.u8", dtype="u1").reshape(H, W)
    ours_coherence = np.fromfile(folder + "/coherence.u8", dtype="u1").reshape(H, W)

    start = time.perf_counter()
    x0, y0, sx0, sy0 = meta["x0"], meta["y0"], meta["sx0"], meta["sy0"]
    P = x0 + np.arange(W, dtype=np.float64)[None, :]
    L = y0 + np.arange(H, dtype=np.float64)[:, None]
    mx, my = meta["master_x"], meta["master_y"]
    dx, dy = meta["disp_x"], meta["disp_y"]
    u_top = (P - mx[0]) / (mx[1] - mx[0])
    u_bottom = (P - mx[2]) / (mx[3] - mx[2])
    y_top = my[0] * (1 - u_top) + my[1] * u_top
    y_bottom = my[2] * (1 - u_bottom) + my[3] * u_bottom
    v = (L - y_top) / (y_bottom - y_top)

    def blend(d):
        return (d[0] * (1 - u_top) + d[1] * u_top) * (1 - v) + (d[2] * (1 - u_bottom) + d[3] * u_bottom) * v

    xs = P + blend(dx) + meta["adjust_x"]
    ys = L + blend(dy) + meta["adjust_y"]
    col = np.floor(xs - sx0 + 0.5)
    row = np.floor(ys - sy0 + 0.5)
    valid = (P < meta["pixel"]) & (L < meta["line"]) & (col >= 0) & (col < SW) & (row >= 0) & (row < SH)
    ws = np.where(valid, slave[np.clip(row, 0, SH - 1).astype(np.int64), np.clip(col, 0, SW - 1).astype(np.int64)], 0)

    am = (master >> 9).astype(np.float64)
    asl = (ws >> 9).astype(np.float64)
    phm = (master & 511).astype(np.int64)
    phs = (ws & 511).astype(np.int64)
    d = (phs - phm + 1) >> 1

    # Flat earth: the mapping polynomials, the ellipsoid point, both ranges.
    a = P - meta["ref_pixel"]
    b = L - meta["ref_line"]
    c_lat = np.array(meta["pl2lat"]).reshape(5, 5)
    c_lon = np.array(meta["pl2lon"]).reshape(5, 5)
    pa = [a ** (4 - i) for i in range(5)]
    pb = [b ** (4 - j) for j in range(5)]
    lat = sum(c_lat[i, j] * pa[i] * pb[j] for i in range(5) for j in range(5))
    lon = sum(c_lon[i, j] * pa[i] * pb[j] for i in range(5) for j in range(5))
    phi, lam = np.radians(lat), np.radians(lon)
    n = A / np.sqrt(1 - E2 * np.sin(phi) ** 2)
    gx, gy, gz = n * np.cos(phi) * np.cos(lam), n * np.cos(phi) * np.sin(lam), n * (1 - E2) * np.sin(phi)

    def rng(s):
        return np.sqrt((gx - s[:, 0:1]) ** 2 + (gy - s[:, 1:2]) ** 2 + (gz - s[:, 2:3]) ** 2)

    V = meta["sign"] * 2 * (rng(ss) - rng(sm)) / meta["wavelength"]
    F = np.floor((V - np.floor(V)) * 256).astype(np.int64) & 255
    fringe = np.where(valid, (d - F) & 255, 0).astype(np.uint8)

    # Interferogram from the codes and the 3 x 3 coherence.
    code = (phm - phs) & 511
    angle = 2 * np.pi * code / 512
    prod = am * asl
    re, im = prod * np.cos(angle), prod * np.sin(angle)

    def box(x):
        p = np.pad(x, 1)
        return sum(p[i:i + H, j:j + W] for i in range(3) for j in range(3))

    sre, sim, spm, sps = box(re), box(im), box(am * am), box(asl * asl)
    with np.errstate(divide="ignore", invalid="ignore"):
        coh = np.floor(255 * np.hypot(sre, sim) / np.sqrt(spm * sps))
    coherence = np.where(valid & (spm > 0) & (sps > 0), np.minimum(coh, 255), 0).astype(np.uint8)
    elapsed = (time.perf_counter() - start) * 1000.0

    print("numpy reference: %.0f ms; fringe differs at %d pixels, coherence at %d (of %d)"
          % (elapsed, int(np.count_nonzero(fringe != ours_fringe)), int(np.count_nonzero(coherence != ours_coherence)),
             W * H))
    if ours_ms:
        print("merger against numpy: %.1f x faster (target >= 5 x)" % (elapsed / ours_ms))


if __name__ == "__main__":
    main(sys.argv[1], float(sys.argv[2]) if len(sys.argv) > 2 else 0.0)
