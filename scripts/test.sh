#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test.
# Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/prerequisites.sh

InstallMissingPackages "${BuildPackages[@]}" "${WinePackages[@]}" "${ReleasePackages[@]}"
Enable32BitWindowsPrograms

presets=(native sanitize win32 win64)
for preset in "${presets[@]}"; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --parallel "$(nproc)"
done
./scripts/analyse.sh
for preset in "${presets[@]}"; do
    echo "== Tests: $preset"
    ctest --preset "$preset"
    # Why a test was skipped is in its own output, which CTest does not show.
    grep -h '^SKIPPED:' "build/$preset/Testing/Temporary/LastTest.log" 2>/dev/null | sort -u || true
done
