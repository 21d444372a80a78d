#!/usr/bin/env bash
# The launcher's main job on a sample installation medium, under Wine.
# Installs what is missing, builds, lays out build/demo/medium (the launcher, a sample
# SETUP.EXE that writes down what it received, an empty BRIXHOLD.INF), runs the launcher
# from there and shows what the setup program got; then shows a failure: the same medium
# without its INF file.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/prerequisites.sh
source scripts/wine.sh

InstallMissingPackages "${BuildPackages[@]}" "${WinePackages[@]}"
Enable32BitWindowsPrograms

# The shipped 32-bit build where this host can run it, else the x86_64 build of the same
# source.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    preset=win32 loader=/usr/lib/wine/wine
    echo "== Running the shipped 32-bit build, build/win32/Brixhold.exe"
else
    preset=win64 loader=/usr/lib/wine/wine64
    echo "== This host cannot run 32-bit Windows programs: running the x86_64 build, build/win64/Brixhold.exe"
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --parallel "$(nproc)" >/dev/null

demo=$PWD/build/demo
medium=$demo/medium
export WINEPREFIX=$demo/prefix-$preset WINEDEBUG=-all
rm -rf "$medium"
mkdir -p "$medium"
LayOutMedium "build/$preset" "$medium"

# Runs the launcher from the medium and waits until every Windows process has ended, the
# setup program's included.
RunLauncher() {
    local status=0
    (cd "$medium" && "$loader" Brixhold.exe) || status=$?
    "$WineServer" -w
    echo "Launcher exit status: $status"
}

echo "== The medium: $medium"
ls -l "$medium"
[ -d "$WINEPREFIX" ] || echo "(setting up Wine for the first time: a few seconds)"
EnsureWinePrefix "$loader"

echo
echo "== Running Brixhold.exe"
RunLauncher
echo "What SETUP.EXE received:"
sed -n 's/^command-line=/  command line:      /p; s/^current-directory=/  current directory: /p' \
    "$medium/probe.txt" | tr -d '\r'

echo
echo "== The same medium without BRIXHOLD.INF"
rm "$medium/BRIXHOLD.INF" "$medium/probe.txt"
RunLauncher
