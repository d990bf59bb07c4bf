#!/bin/sh
# dem_import_check.sh CLI OUTDIR: a simulated scene with its DEM tiles,
# imported from each of the three sources through the console as the window
# does it, and heights at three inland points of the terrain that truth.json
# describes, computed here from its formula: DEM + N must give the terrain
# (1 m for SRTM-3, 0.6 m for the arc-second sources). Then a scene where the
# undulation is negative over an all-sea tile (height 0 above the geoid):
# its "DemTable" must hold the undulation rounded to the nearest metre, as
# floor(N + 0.5). Exits 77 (skipped) without proj-data's geoid grid.
set -eu
cli=$1
out=$2
[ -f /usr/share/proj/egm96_15.gtx ] || { echo "skipped: /usr/share/proj/egm96_15.gtx (proj-data) absent"; exit 77; }
run() {
rm -rf "$out"
mkdir -p "$out"
"$cli" simulate "$out/sim" --size 3072x3072 --level 1.5 --dem > /dev/null
img=$(ls "$out"/sim/IMG-HH-*)
tr -d ' \n' < "$out/sim/truth.json" > "$out/truth.flat"
field() { sed -n "s/.*\"terrain\":{[^}]*\"$1\":\\([-0-9.eE]*\\).*/\\1/p" "$out/truth.flat"; }
set -- "$(field centre_lat_deg)" "$(field centre_lon_deg)" "$(field range_east)" "$(field range_north)" \
  "$(field half_range_deg)" "$(field azimuth_east)" "$(field azimuth_north)" "$(field half_azimuth_deg)" \
  "$(field hill_height_m)" "$(field hill_xi)" "$(field hill_eta)" "$(field hill_width)" "$(field slope_height_m)"
terrain="clat=$1 clon=$2 re=$3 rn=$4 hr=$5 ae=$6 an=$7 ha=$8 hh=$9 hx=${10} hy=${11} hw=${12} sh=${13}"

# Three inland points, from normalised scene coordinates (xi, eta) to
# latitude and longitude, and the terrain there.
points=$(awk -v t="$terrain" 'BEGIN {
  n = split(t, kv, " "); for (k = 1; k <= n; k++) { split(kv[k], p, "="); v[p[1]] = p[2] }
  pi = atan2(0, -1)
  split("0.2 -0.3 0.5 0.1 0.7 0.5", xe, " ")
  for (k = 0; k < 3; k++) {
    xi = xe[2 * k + 1]; eta = xe[2 * k + 2]
    a = xi * v["hr"]; b = eta * v["ha"]; det = v["re"] * v["an"] - v["rn"] * v["ae"]
    e = (a * v["an"] - v["rn"] * b) / det; nn = (v["re"] * b - v["ae"] * a) / det
    printf "%.9f,%.9f ", v["clat"] + nn, v["clon"] + e / cos(v["clat"] * pi / 180)
  } }')
truth=$(awk -v t="$terrain" -v pts="$points" 'BEGIN {
  n = split(t, kv, " "); for (k = 1; k <= n; k++) { split(kv[k], p, "="); v[p[1]] = p[2] }
  pi = atan2(0, -1)
  m = split(pts, pp, " ")
  for (k = 1; k <= m; k++) {
    split(pp[k], ll, ","); e = (ll[2] - v["clon"]) * cos(v["clat"] * pi / 180); nn = ll[1] - v["clat"]
    xi = (e * v["re"] + nn * v["rn"]) / v["hr"]; eta = (e * v["ae"] + nn * v["an"]) / v["ha"]
    coast = -0.45 + 0.10 * sin(2.6 * eta) + 0.04 * sin(7 * eta + 1)
    h = xi < coast ? 0 : (1 - exp(-(xi - coast) / 0.25)) * (v["sh"] + v["hh"] * exp(-((xi - v["hx"])^2 + (eta - v["hy"])^2) / v["hw"]^2))
    printf "%.3f ", h
  } }')

for source in "SRTM old List:N35E142.hgt:1.0" "SRTM-1 Arcsec List:n35_e142_1arc_v3.bil:0.6" \
              "ASTER GTM List:ASTGTM2_N35E142_dem.tif:0.6"; do
  command=${source%%:*}; rest=${source#*:}; tile=${rest%%:*}; tolerance=${rest#*:}
  log=$("$cli" open --workdir "$out/work" --mode 0 "$img" --do "DEM Import" --do "$command" --do "DEM Import" \
        --answer "$out/sim/$tile" --answer "$out/sim/WW15MGH.DAC" --do "ASTER GTM List" --do "SRTM-1 Arcsec List" \
        --do "SRTM old List" --do "DEM Import" 2>&1 |
        grep '^message: \|^  ' | grep -v '^  OpenMode\|^  complex\|^  tiles\|^  ctrorigin' | tr '\n' '|')
  echo "$command: $log"
  # shellcheck disable=SC2086
  heights=$("$cli" height --geoid "$out/sim/WW15MGH.DAC" --dem "$out/sim/$tile" $points | sed 's/.* h=//' | tr '\n' ' ')
  awk -v got="$heights" -v want="$truth" -v tol="$tolerance" -v tile="$tile" 'BEGIN {
    n = split(got, g, " "); split(want, w, " ")
    for (k = 1; k <= n; k++) {
      d = g[k] - w[k]; if (d < 0) d = -d
      printf "%s point %d: h=%s truth=%s %s\n", tile, k, g[k], w[k], d <= tol ? "within" : "OFF"
    } }'
done

# Without an image there is nothing to list tiles for.
"$cli" open --workdir "$out/work" --mode 20 "$out/sim/ASTGTM2_N35E142_dem.tif" --do "ASTER GTM List" \
  --do "SRTM-1 Arcsec List" --do "SRTM old List" 2>&1 | grep '^message: ' | tr '\n' '|'
echo

# A cancelled geoid choice ends the import; a folder without the geoid or a
# tile is named in one message.
mkdir -p "$out/bare"
cp "$out/sim/N35E142.hgt" "$out/bare/"
"$cli" open --workdir "$out/work" --mode 0 "$img" --do "SRTM old List" --do "DEM Import" --answer "$out/sim/N35E142.hgt" \
  --answer cancel --do "Deam Table Generation" --do "SRTM-1 Arcsec List" --do "DEM Import" --answer "$out/bare/x.bil" 2>&1 |
  grep '^message: Geoid\|^message: Aster\|^message: Following' -A4 | tr '\n' '|'
echo

# Negative undulation: the Indian Ocean geoid low, over an all-sea SRTM-3 tile.
"$cli" simulate "$out/low" --size 1024x1024 --level 1.5 --dem --centre 4.8,78.6 > /dev/null
img=$(ls "$out"/low/IMG-HH-*)
tile=$(ls "$out"/low/*.hgt | head -1)
head -c 2884802 /dev/zero > "$tile"
"$cli" open --workdir "$out/lowwork" --mode 0 "$img" --do 32778 --answer pixel=0,line=0 --do "SRTM old List" \
  --do "DEM Import" --answer "$tile" --answer "$out/low/WW15MGH.DAC" --do "Deam Table Generation" > "$out/low.log" 2>&1
table=$(sed -n 's/^message: \(.*DemTable\)$/\1/p' "$out/low.log")
origin=$(sed -n 's/.*canvas origin \([-0-9]*\),\([-0-9]*\).*/\1 \2/p' "$out/low.log")
ox=${origin% *}; oy=${origin#* }
echo "DemTable $(stat -c %s "$table") bytes, origin $ox,$oy"
for rc in "0 0" "100 700" "900 300" "1023 1023"; do
  r=${rc% *}; c=${rc#* }
  ll=$("$cli" latlon "$img" --at "$((ox + c)),$((oy + r))" | sed 's/.*lat,lon=\([-0-9.]*\), \([-0-9.]*\).*/\1,\2/')
  n=$("$cli" height --geoid "$out/low/WW15MGH.DAC" "$ll" | sed 's/.* N=\([-0-9.]*\) .*/\1/')
  stored=$(od -An -t d2 -j $(((r * 2048 + c) * 2)) -N 2 "$table" | tr -d ' ')
  awk -v n="$n" -v s="$stored" -v at="$r,$c" 'BEGIN {
    want = int(n + 0.5); if (want > n + 0.5) want -= 1
    printf "DemTable %s: N=%s stored=%d %s\n", at, n, s, (s == want && s < 0) ? "rounded" : "MISROUNDED" }'
done
}
log=$(run)
printf '%s\n' "$log"
within=$(printf '%s\n' "$log" | grep -c ' within$' || true)
rounded=$(printf '%s\n' "$log" | grep -c ' rounded$' || true)
echo "summary: $within heights within, $rounded DemTable cells rounded"
