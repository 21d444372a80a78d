#!/usr/bin/env bash
# Builds Brixhold.exe twice from the same sources in two build folders of different
# names and depths, and checks that the two executables are the same bytes: nothing of
# the time or place of the build may end up in them.
# Usage: check_reproducible.sh SOURCE_DIR WORK_DIR TOOLCHAIN_FILE
set -euo pipefail
source=$1 work=$2 toolchain=$3

rm -rf "$work"
builds=("$work/first" "$work/second/with a longer name")
for build in "${builds[@]}"; do
    cmake -S "$source" -B "$build" --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" --target Brixhold >/dev/null
    # Let the clock move on between the two builds.
    sleep 1
done
if cmp "${builds[0]}/Brixhold.exe" "${builds[1]}/Brixhold.exe"; then
    echo "two builds gave the same $(stat -c %s "${builds[0]}/Brixhold.exe") bytes"
else
    exit 1
fi
