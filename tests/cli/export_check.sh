#!/bin/sh
# export_check.sh CLI OUTDIR: the geo export through the console as the
# window runs it, on a simulated 2048 x 2048 scene with its DEM: the stripe
# export with its block KML (every href an existing image, the frame read by
# GDAL and pngcheck), the block dialog asking again after an id out of
# range, the scene frame KML read by OGR against `latlon --json` (1e-7
# degrees), and the failures that must end in exit status 1: a KML folder
# that cannot be made and a tile range whose start lies past its end.
# Exits 77 (skipped) without proj-data's geoid grid.
set -eu
cli=$1
out=$2
[ -f /usr/share/proj/egm96_15.gtx ] || { echo "skipped: /usr/share/proj/egm96_15.gtx (proj-data) absent"; exit 77; }
rm -rf "$out"
mkdir -p "$out"
"$cli" simulate "$out/sim" --size 2048x2048 --level 1.1 --dem > /dev/null
img=$(ls "$out"/sim/IMG-HH-*)
name=$(basename "$img")
withDem() {
  "$cli" open --workdir "$out/work" --mode 1 "$img" --do "SRTM old List" --do "DEM Import" \
    --answer "$out/sim/N35E142.hgt" --answer "$out/sim/WW15MGH.DAC" "$@"
}

code=0
withDem --do "Export One Stripe Orhto" --answer id=1 --answer id=0 --do "Create Image Frame KML" > "$out/stripe.log" 2>&1 || code=$?
echo "stripe exit=$code"
grep '^message: ID must be\|^message: One stripe' "$out/stripe.log" | tr '\n' '|'
echo
folder="$out/work/KMLfolder/${name#IMG-HH-}"
block=$(ls "$folder"/*TileBlock0.kml)
xmllint --noout "$block" && echo "block KML well-formed"
xmllint --xpath "//*[local-name()='GroundOverlay']/*[local-name()='Icon']/*[local-name()='href']/text()" "$block" |
while IFS= read -r href; do
  [ -f "$folder/$href" ] && echo "href $href exists"
  kml="$folder/${href%.png}.kml"
  gdalinfo "$kml" | grep '^Size is\|^Pixel Size' | tr '\n' '|'
  echo
  pngcheck "$folder/$href" | sed 's/.*(\([0-9]*x[0-9]*, [^,]*\),.*/png \1/'
done

# The scene frame: four corners, the first again, the centre, the middle of the first edge.
frame="$out/work/$name.kml"
xmllint --noout "$frame" && echo "frame KML well-formed"
ogr=$(ogrinfo -ro -al -q "$frame" | sed -n 's/.*LINESTRING Z (\(.*\))/\1/p')
ref=$("$cli" latlon --json "$img" --at 0,0 --at 2047,0 --at 2047,2047 --at 0,2047 |
  sed -n 's/.*"\(lat\|lon\)": \([-0-9.eE+]*\).*/\2/p' | tr '\n' ' ')
awk -v ogr="$ogr" -v ref="$ref" 'BEGIN {
  n = split(ogr, v, ","); split(ref, r, " ")
  for (k = 0; k < 4; k++) { lat[k] = r[2 * k + 1]; lon[k] = r[2 * k + 2] }
  lat[4] = lat[0]; lon[4] = lon[0]
  lat[5] = (lat[0] + lat[1] + lat[2] + lat[3]) / 4; lon[5] = (lon[0] + lon[1] + lon[2] + lon[3]) / 4
  lat[6] = (lat[0] + lat[1]) / 2; lon[6] = (lon[0] + lon[1]) / 2
  worst = 0
  for (k = 0; k < n; k++) {
    split(v[k + 1], c, " "); d1 = c[1] - lon[k]; d2 = c[2] - lat[k]
    if (d1 < 0) d1 = -d1; if (d2 < 0) d2 = -d2
    if (d1 > worst) worst = d1; if (d2 > worst) worst = d2
  }
  printf "frame vertices %d, largest difference %s 1e-7 degrees\n", n, worst <= 1e-7 ? "within" : "BEYOND"
}'

# A file where the KML folder should go: the export fails, names it, and says so in its exit status.
rm -rf "$out/work/KMLfolder"
echo "in the way" > "$out/work/KMLfolder"
code=0
withDem --do "Export Multiple Tiles " --answer kxs=0,kxe=0,kys=0,kye=0 > "$out/blocked.log" 2>&1 || code=$?
echo "blocked exit=$code"
grep '^message: cannot create the folder' "$out/blocked.log" | sed "s|$out|OUT|g"
code=0
withDem --do "Export Multiple Tiles " --answer kxs=2,kxe=0,kys=0,kye=0 > "$out/refused.log" 2>&1 || code=$?
echo "refused exit=$code"
grep '^message: kxs' "$out/refused.log"
