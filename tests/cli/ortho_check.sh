#!/bin/sh
# ortho_check.sh CLI OUTDIR: a simulated scene with terrain, its DEM and geoid;
# the ortho frame (0, 0) of the level 1.1 product (mode 1, table-driven), of
# the complex TileSet it leaves (mode 5, profile-driven) and of the level 1.5
# product (mode 0) through the console, read back by GDAL. Each point target
# of truth.json must appear at its terrain ground position ("ground") within
# one output pixel, and modes 1 and 5 must put the targets within 10 m of
# each other. Exits 77 (skipped) without proj-data's geoid grid.
set -eu
cli=$1
out=$2
[ -f /usr/share/proj/egm96_15.gtx ] || { echo "skipped: /usr/share/proj/egm96_15.gtx (proj-data) absent"; exit 77; }
rm -rf "$out"
"$cli" simulate "$out/scene" --size 2048x2048 --dem >/dev/null
img11=$(ls "$out"/scene/IMG-HH-*1.1__A)
img15=$(ls "$out"/scene/IMG-HH-*1.5__D)
dem="--dem $out/scene/N35E142.hgt --geoid $out/scene/WW15MGH.DAC"
"$cli" ortho --workdir "$out/work" "$img11" --mode 1 --frame 0,0 $dem "$out/mode1.tif" | grep -v '^status:' > "$out/mode1.log"
tiles=$(ls "$out"/work/IMG-HH-*tile.cpx)
"$cli" ortho --workdir "$out/work" "$tiles" --mode 5 --frame 0,0 $dem "$out/mode5.tif" | grep -v '^status:' > "$out/mode5.log"
"$cli" ortho --workdir "$out/work15" "$img15" --mode 0 --frame 0,0 $dem "$out/mode0.tif" | grep -v '^status:' > "$out/mode0.log"
for m in 1 5 0; do
  cat "$out/mode$m.log"
  gdalinfo "$out/mode$m.tif" > "$out/mode$m.info"
  gdal_translate -q -of ENVI -b 1 "$out/mode$m.tif" "$out/mode$m.b1"
  gdal_translate -q -of ENVI -b 4 "$out/mode$m.tif" "$out/mode$m.b4"
done
# The commands on the TileSet: the correction in radar geometry with and
# without slope correction, the foreshortening simulation, their displays.
"$cli" open --workdir "$out/work" --mode 5 "$tiles" --do 32778 --answer pixel=0,line=0 --do 32863 \
  --do 32789 --answer "$out/scene/N35E142.hgt" --answer "$out/scene/WW15MGH.DAC" \
  --do "Tile Image To Orhto" --do "Tile Image to Ortho Slope Correction" --do "ForeShortenig Simulation" \
  --do 32819 --do 32820 --do "Set Slope Correction" > "$out/commands.log"
grep -E '^message: Ortho|^status: .*(ortID_0|SimFS)\.img$' "$out/commands.log" | sed 's|^status: .*/|status: |'
for f in "$out"/work/*ortID_0.img "$out"/work/*P0_L0SimFS.img; do
  echo "$(basename "$f") $(wc -c < "$f") bytes"
done
python3 - "$out" <<'PY'
import json, math, re, struct, sys
out = sys.argv[1]
truth = json.load(open(out + "/scene/truth.json"))
found = {}
for m in ("1", "5", "0"):
    info = open(f"{out}/mode{m}.info").read()
    log = open(f"{out}/mode{m}.log").read()
    w, h = map(int, re.search(r"Size is (\d+), (\d+)", info).groups())
    x0, y0 = map(float, re.search(r"Origin = \(([-0-9.e]+),([-0-9.e]+)\)", info).groups())
    dx, dy = map(float, re.search(r"Pixel Size = \(([-0-9.e]+),([-0-9.e]+)\)", info).groups())
    box = dict(re.findall(r"(north|south|west|east)=([-0-9.]+)", log.split("grid box")[1].split("\n")[0]))
    rows, cols = map(int, re.search(r"grid (\d+) rows x (\d+) columns", log).groups())
    placed = (w, h) == (cols, rows) and abs(x0 - float(box["west"])) < 1e-9 and abs(y0 - float(box["north"])) < 1e-9 \
        and abs(dx + dy) < 1e-15 and "ALPHA" in info
    print(f"mode {m}: {w} x {h}, {'placed on its grid box' if placed else 'MISPLACED'}")
    band = struct.unpack(f"<{w*h}H", open(f"{out}/mode{m}.b1", "rb").read())
    alpha = struct.unpack(f"<{w*h}H", open(f"{out}/mode{m}.b4", "rb").read())
    metresPerDegree = 111132.954 - 559.822 * math.cos(2 * math.radians(y0))
    pixel_m = dx * metresPerDegree
    worst = 0.0
    for k, t in enumerate(truth["point_targets"]):
        g = t["ground"]
        c = (g["lon_deg"] - x0) / dx
        r = (y0 - g["lat_deg"]) / -dy
        best = None
        for j in range(int(r) - 8, int(r) + 9):
            for i in range(int(c) - 8, int(c) + 9):
                if 0 <= j < h and 0 <= i < w and alpha[j * w + i] and (best is None or band[j * w + i] > best[0]):
                    best = (band[j * w + i], j, i)
        # The brightest pixel near the ground position is the target's
        # sample; where it repeats, its pixels' centre.
        hits = [(j, i) for j in range(best[1] - 2, best[1] + 3) for i in range(best[2] - 2, best[2] + 3)
                if 0 <= j < h and 0 <= i < w and band[j * w + i] == best[0]]
        jc = sum(j for j, _ in hits) / len(hits) + 0.5
        ic = sum(i for _, i in hits) / len(hits) + 0.5
        east = (ic - c) * pixel_m * math.cos(math.radians(g["lat_deg"]))
        north = (jc - r) * pixel_m
        err = math.hypot(east, north)
        worst = max(worst, err)
        found.setdefault(k, {})[m] = (g["lat_deg"] - (jc - r) * -dy, g["lon_deg"] + (ic - c) * dx)
        verdict = "on its ground" if err <= pixel_m else "OFF"
        print(f"mode {m} target {k} (height {g['height_m']:.0f} m): {err:.2f} m from its ground, {verdict}")
    print(f"mode {m}: largest target error {worst:.2f} m, output pixel {pixel_m:.2f} m")
for k, v in found.items():
    a, b = v["1"], v["5"]
    d = math.hypot((a[0] - b[0]) * 111000, (a[1] - b[1]) * 111000 * math.cos(math.radians(a[0])))
    print(f"target {k}: modes 1 and 5 {d:.2f} m apart, {'agree' if d <= 10 else 'DISAGREE'}")
PY
