#!/usr/bin/env bash
# Times `kalo3d-cli slice` against PrusaSlicer's SLA export at the same
# display and layer height, on 3DBenchy and on a 1,000,000-triangle sphere,
# in one run, and prints the ratios and peak memories (/usr/bin/time -v).
# It also times the floor of kalo3d's output: encoding the same final PNGs
# and writing them into an archive (kalo3d-bench --encode-only), and the
# part of a run that comes before any layer: loading the model
# (kalo3d-cli info).
#
# Usage: bench/compare_prusaslicer.sh [BUILD_DIR [ROUNDS]]
#   BUILD_DIR  a kalo3d build (default: build beside this folder)
#   ROUNDS     how often to repeat everything (default 1); the summary takes
#              the best time of each program, since other work on the
#              machine only ever slows a run down.
# Environment: BENCHY (the 3DBenchy STL; default shared/models/3DBenchy.stl
# beside the repository), WORK (scratch folder; default /tmp/kalo3d-compare).
#
# Needs, for benchmarking only: apt-get install prusa-slicer openscad admesh
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
rounds=${2:-1}
cli=$build/src/kalo3d-cli
bench=$build/bench/kalo3d-bench
benchy=${BENCHY:-$here/../../shared/models/3DBenchy.stl}
work=${WORK:-/tmp/kalo3d-compare}
mkdir -p "$work"

for tool in prusa-slicer openscad admesh /usr/bin/time; do
    command -v "$tool" > /dev/null || { echo "missing $tool: apt-get install prusa-slicer openscad admesh time" >&2; exit 1; }
done
[ -x "$cli" ] && [ -x "$bench" ] || { echo "build kalo3d-cli and kalo3d-bench in $build first" >&2; exit 1; }
[ -f "$benchy" ] || { echo "no 3DBenchy at $benchy (set BENCHY)" >&2; exit 1; }

sphere=$work/sphere_1M.stl
if [ ! -f "$sphere" ]; then
    echo 'sphere(r = 25, $fn = 1000);' > "$work/sphere.scad"
    openscad -o "$work/sphere_ascii.stl" "$work/sphere.scad" 2> /dev/null
    admesh -b "$sphere" "$work/sphere_ascii.stl" > /dev/null
    rm -f "$work/sphere_ascii.stl"
fi

prusa_args=(--printer-technology SLA --export-sla --display-width 64.97 --display-height 116.0
    --display-pixels-x 1375 --display-pixels-y 2455 --display-orientation portrait
    --layer-height 0.05 --initial-layer-height 0.05 --no-supports-enable --no-pad-enable)

# Runs a command under /usr/bin/time; sets wall (s) and peak (MB).
measure() {
    /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" > "$work/out.txt" 2>&1 \
        || { cat "$work/out.txt" >&2; exit 1; }
    read -r wall kb < "$work/time.txt"
    peak=$((kb / 1024))
}

floor_of() {
    "$bench" --encode-only "$1" 2> /dev/null | sed -n 's/^encode and write .*: \([0-9.]*\) s$/\1/p'
}

declare -A best
keep_best() { # key value
    local old=${best[$1]:-}
    if [ -z "$old" ] || awk -v a="$2" -v b="$old" 'BEGIN { exit !(a < b) }'; then best[$1]=$2; fi
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "$(nproc) cores; load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-8s %-5s %-22s %8s %8s %9s %9s\n' model round program "wall s" "peak MB" "vs prusa" "vs floor"
for round in $(seq 1 "$rounds"); do
    for model in benchy sphere; do
        stl=$benchy
        [ "$model" = sphere ] && stl=$sphere
        measure prusa-slicer "${prusa_args[@]}" -o "$work/$model.sl1" "$stl"
        prusa=$wall
        keep_best "$model prusa" "$wall"; keep_best "$model prusa peak" "$peak"
        printf '%-8s %-5s %-22s %8s %8s\n' "$model" "$round" "prusa-slicer" "$wall" "$peak"
        measure "$cli" info "$stl"
        keep_best "$model load" "$wall"
        printf '%-8s %-5s %-22s %8s %8s\n' "$model" "$round" "kalo3d-cli info (load)" "$wall" "$peak"
        for aa in on off; do
            measure "$cli" slice --antialias "$aa" -o "$work/$model-$aa.cws" "$stl"
            total=$wall
            floor=$(floor_of "$work/$model-$aa.cws")
            keep_best "$model $aa" "$total"; keep_best "$model $aa peak" "$peak"; keep_best "$model $aa floor" "$floor"
            printf '%-8s %-5s %-22s %8s %8s %8sx %8sx\n' "$model" "$round" "kalo3d-cli AA $aa" "$total" "$peak" \
                "$(ratio "$prusa" "$total")" "$(ratio "$total" "$floor")"
            printf '%-8s %-5s %-22s %8s\n' "$model" "$round" "  floor (encode+write)" "$floor"
        done
    done
done
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"

echo
echo "Best of $rounds round(s); 'faster' is PrusaSlicer's wall time over kalo3d's (targets: AA on >= 2, AA off >= 4),"
echo "'over floor' is kalo3d's wall time over encoding and writing its PNGs alone (target <= 1.5);"
echo "'floor s' is that time, 'load s' the time kalo3d-cli takes to load the model and report on it."
printf '%-8s %-8s %10s %10s %8s %10s %10s %11s %8s %8s\n' model AA "prusa s" "kalo3d s" faster "prusa MB" "kalo3d MB" \
    "over floor" "floor s" "load s"
for model in benchy sphere; do
    for aa in on off; do
        printf '%-8s %-8s %10s %10s %7sx %10s %10s %10sx %8s %8s\n' "$model" "$aa" "${best[$model prusa]}" \
            "${best[$model $aa]}" "$(ratio "${best[$model prusa]}" "${best[$model $aa]}")" "${best[$model prusa peak]}" \
            "${best[$model $aa peak]}" "$(ratio "${best[$model $aa]}" "${best[$model $aa floor]}")" \
            "${best[$model $aa floor]}" "${best[$model load]}"
    done
done
