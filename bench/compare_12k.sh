#!/usr/bin/env bash
# Slices 3DBenchy at 50 um on a 12K display (11520 x 5120 pixels on
# 218.88 x 122.88 mm: 19 x 24 um pixels) with kalo3d-cli, anti-aliasing on
# (factor 2) and off, into an SL1 archive, and prints wall time and peak
# memory (/usr/bin/time) of each. With FLOOR=1 also the floor: encoding and
# writing the same PNGs alone (kalo3d-bench --encode-only; decoding 960 12K
# layers first, untimed, takes minutes). With PRUSA=1 it also runs
# PrusaSlicer's SLA export of the same job (about 220 s here), prints the
# ratios and compares every 20th layer with ours without anti-aliasing
# (kalo3d-bench --compare-layers: every differing pixel is to lie within 2
# pixels of an outline; PrusaSlicer's layers are mirrored in X, ours not).
# The printer is a profile file: the display as PrusaSlicer's landscape.
#
# Usage: bench/compare_12k.sh [BUILD_DIR]
# Environment: BENCHY (default shared/models/3DBenchy.stl beside the
# repository), WORK (scratch folder; default /tmp/kalo3d-12k), PRUSA, FLOOR.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
cli=$build/src/kalo3d-cli
bench=$build/bench/kalo3d-bench
benchy=${BENCHY:-$here/../../shared/models/3DBenchy.stl}
work=${WORK:-/tmp/kalo3d-12k}
mkdir -p "$work"
[ -x "$cli" ] && [ -x "$bench" ] || { echo "build kalo3d-cli and kalo3d-bench in $build first" >&2; exit 1; }
[ -f "$benchy" ] || { echo "no 3DBenchy at $benchy (set BENCHY)" >&2; exit 1; }

cat > "$work/12k.json" <<'JSON'
{ "name": "12K", "resolutionX": 11520, "resolutionY": 5120, "sizeXMm": 218.88, "sizeYMm": 122.88,
  "buildHeightMm": 250, "mirrorX": false, "mirrorY": false, "orientation": "landscape", "format": "sl1" }
JSON
display=(--printer-file "$work/12k.json")

measure() { # sets wall (s) and peak (MB)
    /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" > "$work/out.txt" 2>&1 \
        || { cat "$work/out.txt" >&2; exit 1; }
    read -r wall kb < "$work/time.txt"
    peak=$((kb / 1024))
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "$(nproc) cores; load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
prusa=
if [ "${PRUSA:-0}" = 1 ]; then
    measure prusa-slicer --printer-technology SLA --export-sla --display-width 218.88 --display-height 122.88 \
        --display-pixels-x 11520 --display-pixels-y 5120 --display-orientation landscape \
        --layer-height 0.05 --initial-layer-height 0.05 --no-supports-enable --no-pad-enable \
        -o "$work/benchy-prusa.sl1" "$benchy"
    prusa=$wall
    printf '%-24s %8s s %8s MB\n' "prusa-slicer" "$wall" "$peak"
fi
for aa in on off; do
    measure "$cli" slice --antialias "$aa" --aa-factor 2 "${display[@]}" -o "$work/benchy-$aa.sl1" "$benchy"
    line=$(printf '%-24s %8s s %8s MB' "kalo3d-cli AA $aa" "$wall" "$peak")
    [ -n "$prusa" ] && line="$line $(ratio "$prusa" "$wall")x faster"
    echo "$line"
    if [ "${FLOOR:-0}" = 1 ]; then
        floor=$("$bench" --encode-only "$work/benchy-$aa.sl1" 2> /dev/null | sed -n 's/^encode and write .*: \([0-9.]*\) s$/\1/p')
        printf '%-24s %8s s\n' "  floor (encode+write)" "${floor:-?}"
    fi
done
if [ -n "$prusa" ]; then
    # PrusaSlicer mirrors its landscape layers in X unless told not to
    # (display_mirror_x = 1 in its prusaslicer.ini).
    "$bench" --compare-layers "$work/benchy-prusa.sl1" "$work/benchy-off.sl1" 20 mirror-x || true
fi
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
