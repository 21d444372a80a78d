#!/usr/bin/env bash
# Builds the shipped 32-bit launcher in a fresh build folder, build/release, and packs it
# with the README, the licence and the executable's SHA-256 sum into
# dist/Brixhold-VERSION-win32.zip, VERSION being the project version in CMakeLists.txt;
# prints the archive's path and SHA-256.
#
# Usage: release.sh
#
# The same commit gives the same archive wherever it is checked out: every entry has the
# time SOURCE_DATE_EPOCH, or else that of the HEAD commit, fixed permissions and no
# owner, in a fixed order. A run that fails leaves dist/ as it was.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/prerequisites.sh

Usage="usage: release.sh"
build=build/release
log=$build/release.log

# Names what went wrong in one line and ends the run.
Fail() {
    echo "release.sh: $*" >&2
    exit 1
}

UsageError() {
    echo "release.sh: $*; $Usage" >&2
    exit 2
}

# Runs COMMAND... with its output in the log: on failure, its lines would bury the one
# that says which step failed.
# Usage: Step STEP COMMAND...
Step() {
    local step=$1
    shift
    "$@" >>"$log" 2>&1 || Fail "$step failed (its output is in $log)"
}

[ $# -eq 0 ] || UsageError "unknown option: $1"

if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    [[ $SOURCE_DATE_EPOCH =~ ^[0-9]+$ ]] ||
        Fail "SOURCE_DATE_EPOCH is not a number of seconds: $SOURCE_DATE_EPOCH"
    entryTime=$SOURCE_DATE_EPOCH
else
    entryTime=$(git log -1 --format=%ct 2>/dev/null) ||
        Fail "no time for the archive's entries: set SOURCE_DATE_EPOCH outside a git checkout"
fi

InstallMissingPackages "${BuildPackages[@]}" "${ReleasePackages[@]}"

rm -rf "$build"
mkdir -p "$build"
Step "configuring the win32 preset" cmake --preset win32 -B "$build"
Step "building Brixhold.exe" cmake --build "$build" --target Brixhold
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || Fail "no project version in $build/CMakeCache.txt"

name=Brixhold-$version-win32
stage=$build/stage
folder=$stage/$name
mkdir -p "$folder"
cp "$build/Brixhold.exe" "$folder/Brixhold.exe"
cp README.md LICENSE "$folder/"
(cd "$folder" && sha256sum Brixhold.exe >SHA256SUMS)

# zip stores local time: in UTC it is the same everywhere. -X leaves out the owner and
# the extra time stamps.
entries=("$name/" "$name/Brixhold.exe" "$name/README.md" "$name/LICENSE" "$name/SHA256SUMS")
chmod 0644 "$folder"/*
chmod 0755 "$folder"
touch -d "@$entryTime" "$folder"/* "$folder"
Step "packing the archive" env -C "$stage" TZ=UTC zip -X -9 "$PWD/$build/$name.zip" "${entries[@]}"

# dist/ gets the archive whole or not at all: written under a temporary name, renamed
# when complete, removed when anything fails on the way.
partial=''
trap '[ -z "$partial" ] || rm -f "$partial"' EXIT
trap 'exit 1' HUP INT TERM
mkdir -p dist
partial=$(mktemp "dist/.$name.zip.XXXXXX")
Step "writing dist/$name.zip" cp "$build/$name.zip" "$partial"
chmod 0644 "$partial"
Step "writing dist/$name.zip" mv -f "$partial" "dist/$name.zip"

echo "Archive: dist/$name.zip"
echo "SHA-256: $(sha256sum "dist/$name.zip" | cut -d ' ' -f 1)"
