#!/usr/bin/env bash
# The shipped executable's size, and how long a successful launch takes under Wine
# against a program that does nothing but start the same setup program: the median wall
# time of each over alternating runs, with one Wine server kept running. Fails when the
# launcher's median is more than 1.10 times the yardstick's.
# Usage: bench.sh [RUNS]   (RUNS of each program, 60 unless given; at least 20: with 25
# the ratio of two medians of about 150 ms still wandered from 0.90 to 1.15 here)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/prerequisites.sh
source scripts/wine.sh
runs=${1:-60}
[ "$runs" -ge 20 ] || { echo "at least 20 runs of each" >&2; exit 2; }

InstallMissingPackages "${BuildPackages[@]}" "${WinePackages[@]}"
for preset in win32 win64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --parallel "$(nproc)" >/dev/null
done

echo "build/win32/Brixhold.exe: $(stat -c %s build/win32/Brixhold.exe) bytes"

bench=$PWD/build/bench
medium=$bench/medium
export WINEPREFIX=$bench/prefix WINEDEBUG=-all
rm -rf "$medium"
mkdir -p "$medium"
LayOutMedium build/win64 "$medium"
cp build/win64/MinimalStart.exe "$medium/"

EnsureWinePrefix /usr/lib/wine/wine64
"$WineServer" -k 2>/dev/null || true
"$WineServer" -w
"$WineServer" -p
trap '"$WineServer" -k 2>/dev/null || true' EXIT

# Wall time of one run of program $1 from the medium, in microseconds; the setup program
# it starts is given time to end before the next run.
TimeRun() {
    local start end
    start=$(date +%s%N)
    (cd "$medium" && /usr/lib/wine/wine64 "$1")
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
    sleep 0.2
}

Median() {
    sort -n | awk '{ value[NR] = $1 } END { print (NR % 2) ? value[(NR + 1) / 2] : (value[NR / 2] + value[NR / 2 + 1]) / 2 }'
}

# The first runs of a fresh server start Wine's own services: not measured.
TimeRun Brixhold.exe >/dev/null
TimeRun MinimalStart.exe >/dev/null

launcher=() yardstick=()
for ((i = 0; i < runs; i++)); do
    launcher+=("$(TimeRun Brixhold.exe)")
    yardstick+=("$(TimeRun MinimalStart.exe)")
done
launcherMedian=$(printf '%s\n' "${launcher[@]}" | Median)
yardstickMedian=$(printf '%s\n' "${yardstick[@]}" | Median)
ratio=$(awk -v a="$launcherMedian" -v b="$yardstickMedian" 'BEGIN { printf "%.3f", a / b }')

echo "Median wall time of a launch under Wine (x86_64 build, $runs alternating runs each):"
echo "  Brixhold.exe:     $((launcherMedian / 1000)) ms"
echo "  MinimalStart.exe: $((yardstickMedian / 1000)) ms"
echo "  ratio:            $ratio (at most 1.10)"
awk -v r="$ratio" 'BEGIN { exit !(r <= 1.10) }'
