#!/bin/sh
# dem_gdal_check.sh CLI OUTDIR: simulates a small scene with its DEM tiles and
# lets GDAL, which knows none of our code, read them: the three tiles must give
# the same height at grid points they share, and each must be placed where its
# name says (GDAL's SRTM driver places a ".hgt" by its name alone). Exits 77
# (skipped) when proj-data's geoid grid is not installed.
set -eu
cli=$1
out=$2
[ -f /usr/share/proj/egm96_15.gtx ] || { echo "skipped: /usr/share/proj/egm96_15.gtx (proj-data) absent"; exit 77; }
rm -rf "$out"
log=$("$cli" simulate "$out" --size 200x300 --level 1.1 --dem)
printf '%s\n' "$log"

pick() { printf '%s\n' "$log" | sed -n "s/^dem \\(.*$1\\)\$/\\1/p"; }
hgt=$(pick '\.hgt')
bil=$(pick '\.bil')
tif=$(pick '_dem\.tif')
centre=$(printf '%s\n' "$log" | sed -n 's/^centre lat,lon=//p')
lat=${centre%%,*}
lon=${centre##*, }

# Grid points of the 3 arc-second grid (shared by all three) around the centre.
for d in 0 0.003 -0.004; do
  y=$(awk -v v="$lat" -v d="$d" 'BEGIN { printf "%.12f", int((v + d) * 1200 + 0.5) / 1200 }')
  x=$(awk -v v="$lon" -v d="$d" 'BEGIN { printf "%.12f", int((v - d) * 1200 + 0.5) / 1200 }')
  a=$(gdallocationinfo -valonly -geoloc "$tif" "$x" "$y")
  b=$(gdallocationinfo -valonly -geoloc "$bil" "$x" "$y")
  c=$(gdallocationinfo -valonly -geoloc "$hgt" "$x" "$y")
  if [ "$a" = "$b" ] && [ "$b" = "$c" ] && [ -n "$a" ]; then echo "agree $a"; else echo "differ at $x,$y: tif=$a bil=$b hgt=$c"; fi
done

# Placement: the origin GDAL reports is the outer corner of the first
# sample, half a sample north-west of the tile's corner.
name=$(basename "$hgt")
south=$(printf '%s' "$name" | cut -c2-3)
west=$(printf '%s' "$name" | cut -c5-7)
case $name in S*) south=-$south ;; esac
case $name in ???W*) west=-$west ;; esac
for f in "$tif" "$bil" "$hgt"; do
  gdalinfo "$f" | awk -v s="$south" -v w="$west" -v f="$(basename "$f")" '
    /^Size is/ { n = $3 + 0 }
    /^Origin =/ { gsub(/[(),]/, " "); x = $3; y = $4 }
    /Type=/ { match($0, /Type=[A-Za-z0-9]+/); t = substr($0, RSTART + 5, RLENGTH - 5) }
    END {
      half = 0.5 / (n - 1)
      dx = x - (w - half); dy = y - (s + 1 + half)
      ok = (dx < 1e-9 && dx > -1e-9 && dy < 1e-9 && dy > -1e-9)
      printf "%s %d samples %s %s\n", f, n, t, ok ? "placed" : "misplaced"
    }'
done
