#!/usr/bin/env bash
# Builds the shipped 32-bit launcher in a fresh build folder, build/release, and packs it
# with the README, the licence and the executable's SHA-256 sum into
# dist/Brixhold-VERSION-win32.zip, VERSION being the project version in CMakeLists.txt;
# prints the archive's path and SHA-256. With --sign, Brixhold.exe is signed with
# Authenticode (SHA-256) before it is packed.
#
# Usage: release.sh [--sign FILE.pfx [--password-file FILE] [--timestamp URL]]
# The PFX password is the content of --password-file FILE, else of the environment
# variable BRIXHOLD_SIGN_PASSWORD; never an argument, which any user of the machine can
# read in the process list. --timestamp adds an RFC 3161 time stamp from the server at
# URL.
#
# The same commit gives the same archive wherever it is checked out: every entry has the
# time SOURCE_DATE_EPOCH, or else that of the HEAD commit, fixed permissions and no
# owner, in a fixed order. A run that fails leaves dist/ as it was.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/prerequisites.sh

Usage="usage: release.sh [--sign FILE.pfx [--password-file FILE] [--timestamp URL]]"
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

# The password goes to the signing tools through a pipe: printf is built into bash, so
# it never shows in the process list.
PrintPassword() {
    printf '%s\n' "$password"
}

pfx='' passwordFile='' timestampUrl=''
while [ $# -gt 0 ]; do
    case $1 in
        --sign) what='a PFX file' ;;
        --password-file) what='a file' ;;
        --timestamp) what='a URL' ;;
        *) UsageError "unknown option: $1" ;;
    esac
    [ $# -ge 2 ] && [ -n "$2" ] && [[ $2 != -* ]] || UsageError "$1 needs $what"
    case $1 in
        --sign) pfx=$2 ;;
        --password-file) passwordFile=$2 ;;
        --timestamp) timestampUrl=$2 ;;
    esac
    shift 2
done
if [ -z "$pfx" ] && [ -n "$passwordFile$timestampUrl" ]; then
    UsageError "--password-file and --timestamp go with --sign"
fi

if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    [[ $SOURCE_DATE_EPOCH =~ ^[0-9]+$ ]] ||
        Fail "SOURCE_DATE_EPOCH is not a number of seconds: $SOURCE_DATE_EPOCH"
    entryTime=$SOURCE_DATE_EPOCH
else
    entryTime=$(git log -1 --format=%ct 2>/dev/null) ||
        Fail "no time for the archive's entries: set SOURCE_DATE_EPOCH outside a git checkout"
fi

InstallMissingPackages "${BuildPackages[@]}" "${ReleasePackages[@]}"

if [ -n "$pfx" ]; then
    [ -f "$pfx" ] || Fail "no PFX file $pfx"
    if [ -n "$passwordFile" ]; then
        [ -f "$passwordFile" ] || Fail "no password file $passwordFile"
        password=$(<"$passwordFile")
    elif [ -n "${BRIXHOLD_SIGN_PASSWORD+set}" ]; then
        password=$BRIXHOLD_SIGN_PASSWORD
    else
        Fail "no password for $pfx: give --password-file FILE or set BRIXHOLD_SIGN_PASSWORD"
    fi
    # osslsigncode reads no empty password from a file.
    [ -n "$password" ] || Fail "empty password for $pfx: export the certificate with a password"
    # Checked before the build, so that a wrong password costs no time. -legacy also
    # reads PFX files exported with the older ciphers of Windows.
    if ! check=$(openssl pkcs12 -legacy -in "$pfx" -noout -passin file:<(PrintPassword) 2>&1); then
        case $check in
            *'invalid password'*) Fail "wrong password for $pfx" ;;
            *) Fail "cannot read $pfx as a PFX (PKCS#12) file" ;;
        esac
    fi
fi

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
if [ -n "$pfx" ]; then
    step="signing Brixhold.exe" timestamp=()
    if [ -n "$timestampUrl" ]; then
        step+=" with a time stamp from $timestampUrl"
        timestamp=(-ts "$timestampUrl")
    fi
    Step "$step" osslsigncode sign -pkcs12 "$pfx" -readpass <(PrintPassword) \
        -h sha256 -n 'Brixhold setup launcher' "${timestamp[@]}" \
        -in "$build/Brixhold.exe" -out "$folder/Brixhold.exe"
else
    cp "$build/Brixhold.exe" "$folder/Brixhold.exe"
fi
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
