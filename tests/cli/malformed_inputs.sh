#!/bin/bash
# malformed_inputs.sh CLI TABLE WORK [CASE]: runs the damaged-input cases of
# TABLE against the console, each in a folder of its own under WORK, and
# fails when any case differs from what its row asks. CASE runs one case.
#
# A row is "name | prepare | command | exit | message | absent | kept", the
# fields separated by " | ":
#   prepare  shell run in the case's folder to damage its inputs (may be -)
#   command  the console run, as shell (the console is $CLI)
#   exit     the exit code the command must give
#   message  a fragment its output must hold (- for none)
#   absent   files (globs) that must not exist afterwards (- for none)
#   kept     files that must be byte for byte as before the command (- for none)
# Each case folder starts with a copy of the good products in p/ (the level
# 1.1 image $L11 and leader $LED11, the level 1.5 image $L15) and their two
# TileSets in w/ (tile files $T11 and $T15); commands use --workdir w.
set -u
CLI=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
TABLE=$2
WORK=$3
ONLY=${4:-}

NAME11=IMG-HH-ALOS2011502960-140724-UBSR1.1__A
NAME15=IMG-HH-ALOS2011502960-140724-UBSR1.5__D
export L11=p/$NAME11 L15=p/$NAME15 LED11=p/LED-ALOS2011502960-140724-UBSR1.1__A
export T11=w/${NAME11}tile.cpx T15=w/${NAME15}tile CLI

# ---- helpers for the prepare and command fields
# patch FILE OFFSET TEXT: overwrites bytes in place.
patch() { printf '%s' "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
# field FILE OFFSET WIDTH TEXT: a fixed-width text field, right-aligned.
field() { patch "$1" "$2" "$(printf '%*s' "$3" "$4")"; }
# le16 / le32 VALUE: little-endian bytes on stdout.
le16() { printf "\\$(printf %03o $(($1 & 255)))\\$(printf %03o $((($1 >> 8) & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $((($1 >> 16) & 65535)); }
# bmp FILE WIDTH HEIGHT BITS PIXELBYTES: a bitmap whose header claims
# WIDTH x HEIGHT at BITS bits and that holds PIXELBYTES bytes of pixels.
bmp() {
  local table=0
  [ "$4" -eq 8 ] && table=1024
  local offset=$((54 + table))
  {
    printf 'BM'; le32 $((offset + $5)); le32 0; le32 $offset
    le32 40; le32 "$2"; le32 "$3"; le16 1; le16 "$4"; le32 0; le32 "$5"; le32 0; le32 0; le32 0; le32 0
    head -c $((table + $5)) /dev/zero
  } > "$1"
}
# tiff FILE ENTRY...: a little-endian TIFF whose directory at offset 8 holds
# the entries "TAG TYPE COUNT VALUE" as given, followed by 256 zero bytes.
tiff() {
  local file=$1; shift
  {
    printf 'II'; le16 42; le32 8; le16 $#
    for e in "$@"; do
      set -- $e
      le16 "$1"; le16 "$2"; le32 "$3"
      if [ "$2" -eq 3 ]; then le16 "$4"; le16 0; else le32 "$4"; fi
    done
    le32 0
    head -c 256 /dev/zero
  } > "$file"
}
# doubles FILE OFFSET TEXT...: IEEE doubles (as printf reads them) written at OFFSET.
doubles() {
  local file=$1 at=$2; shift 2
  for v in "$@"; do
    case $v in
      nan) printf '\000\000\000\000\000\000\370\177' ;;
      inf) printf '\000\000\000\000\000\000\360\177' ;;
      *) printf '\000\000\000\000\000\000\360\077' ;;  # 1.0
    esac | dd of="$file" bs=1 seek="$at" conv=notrunc status=none
    at=$((at + 8))
  done
}
export -f patch field le16 le32 bmp tiff doubles

# ---- the good products, made once
GOOD=$WORK/good
rm -rf "$WORK"
mkdir -p "$GOOD/w"
if ! "$CLI" simulate "$GOOD/p" --size 512x512 > "$WORK/simulate.log" 2>&1 ||
   ! (cd "$GOOD" && "$CLI" tile "$L11" --workdir w && "$CLI" tile "$L15" --workdir w) > "$WORK/tile.log" 2>&1; then
  echo "cannot make the good products:"; cat "$WORK/simulate.log" "$WORK/tile.log"
  exit 1
fi

failures=0
cases=0
while IFS= read -r row; do
  case $row in ''|'#'*) continue ;; esac
  IFS='|' read -r name prepare command want message absent kept <<< "$row"
  trim() { local s=$1; s=${s#"${s%%[![:space:]]*}"}; s=${s%"${s##*[![:space:]]}"}; printf '%s' "$s"; }
  name=$(trim "$name"); prepare=$(trim "$prepare"); command=$(trim "$command")
  want=$(trim "$want"); message=$(trim "$message"); absent=$(trim "$absent"); kept=$(trim "$kept")
  [ -n "$ONLY" ] && [ "$name" != "$ONLY" ] && continue
  cases=$((cases + 1))
  dir=$WORK/cases/$name
  mkdir -p "$dir"
  cp -r "$GOOD/p" "$GOOD/w" "$dir/"
  (
    cd "$dir" || exit 1
    [ "$prepare" != - ] && ! bash -c "$prepare" > prepare.log 2>&1 && { echo "$name: prepare failed"; cat prepare.log; exit 1; }
    sums=""
    [ "$kept" != - ] && sums=$(cd "$dir" && md5sum $kept 2>&1)
    bash -c "$command" > out.log 2>&1
    got=$?
    bad=0
    if [ "$got" != "$want" ]; then echo "$name: exit code $got, expected $want"; bad=1; fi
    if [ "$message" != - ] && ! grep -qF -- "$message" out.log; then
      echo "$name: the output lacks \"$message\""; bad=1
    fi
    if [ "$absent" != - ]; then
      for f in $absent; do
        [ -e "$f" ] && { echo "$name: \"$f\" exists"; bad=1; }
      done
    fi
    if [ "$kept" != - ] && [ "$(md5sum $kept 2>&1)" != "$sums" ]; then
      echo "$name: the files \"$kept\" changed"; bad=1
    fi
    if [ $bad -ne 0 ]; then echo "  output:"; sed 's/^/    /' out.log | head -20; exit 1; fi
    exit 0
  ) || failures=$((failures + 1))
done < "$TABLE"

echo "$cases cases, $failures failed"
[ "$cases" -gt 0 ] && [ "$failures" -eq 0 ]
