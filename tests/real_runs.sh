#!/usr/bin/env bash
# Runs the real Brixhold.exe under Wine in the situations an installation medium meets.
# SETUP.EXE is SetupProbe.exe, which writes down what it was given (probe.txt).
# Each case lays out a fresh medium; all cases of a build share one Wine prefix.
#
# Usage: real_runs.sh BUILD_DIR x86|AMD64 CASE
# CASE is "prefix" (create the shared prefix) or one of the cases at the end of this file.
# Exits 0 when the case passes, 1 when it fails, 77 when this host cannot run it.
set -uo pipefail
source "$(dirname "$0")/../scripts/wine.sh"

build=$(cd "$1" && pwd)
processor=$2
case=$3

runs=$build/real-runs
export WINEPREFIX=$runs/prefix
export WINEDEBUG=-all
# Wine takes its ANSI code page from the locale: 1252, as on a Western Windows, unless a
# case chooses another.
export LC_ALL=C.UTF-8
recordEncoding=CP1252
case $processor in
    AMD64) loader=/usr/lib/wine/wine64 objdump=x86_64-w64-mingw32-objdump ;;
    x86) loader=/usr/lib/wine/wine objdump=i686-w64-mingw32-objdump ;;
    *) echo "unknown processor $processor" >&2; exit 2 ;;
esac
# Skips the case, unless the set-up made this host able to run it (test.sh sets
# BRIXHOLD_REAL_RUNS_REQUIRED then): that it cannot is then a failure.
CannotRun() { # REASON
    if [ -n "${BRIXHOLD_REAL_RUNS_REQUIRED:-}" ]; then
        echo "FAILED: this host was set up to run $processor Windows programs, but $1"
        exit 1
    fi
    echo "SKIPPED: this host cannot run $processor Windows programs: $1"
    exit 77
}
[ -x "$loader" ] || CannotRun "there is no Wine loader at $loader"
"$loader" --version >/dev/null 2>&1 || CannotRun "$loader does not run here"

failures=0
Fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

ExpectEqual() { # WHAT EXPECTED ACTUAL
    [ "$2" = "$3" ] || Fail "$1: expected [$2], got [$3]"
}

ExpectSameLines() { # WHAT EXPECTED ACTUAL
    [ "$2" = "$3" ] || Fail "$1, expected (-) and got (+):
$(diff -u <(echo "$2") <(echo "$3") | tail -n +3)"
}

# All processes of the prefix have ended, the setup program's included.
WaitForWine() {
    timeout 120 "$WineServer" -w && return
    Fail "Windows programs still ran two minutes after the launcher ended"
    "$WineServer" -k
}

# The Windows name Wine gives a host path, through its drive Z:.
WindowsPath() {
    local path=$1
    printf 'Z:%s' "${path//\//\\}"
}

# Lays out a medium in the folder $1: the launcher, the probe as SETUP.EXE, an empty INF.
# Sets medium (host path) and windowsMedium.
NewMedium() {
    medium=$1
    rm -rf "$medium"
    mkdir -p "$medium"
    LayOutMedium "$build" "$medium"
    windowsMedium=$(WindowsPath "$medium")
}

# Runs Windows program $1 with arguments $2..., from the host folder $workDirectory, with
# the test's token in its environment. Sets status; standard output and error go to
# $caseDir/stdout and $caseDir/stderr. The launcher must end by itself within a minute.
token=token-$$-$RANDOM
RunWindows() {
    (cd "$workDirectory" &&
        BRIXHOLD_PROBE_TOKEN=$token timeout 60 "$loader" "$@" \
            >"$caseDir/stdout" 2>"$caseDir/stderr")
    status=$?
}

RecordValue() { # KEY: from the probe's record in the medium, in the ANSI code page
    iconv -f "$recordEncoding" -t UTF-8 "$medium/probe.txt" | sed -n "s/^$1=//p" | tr -d '\r'
}

# A run that started the setup program: status 0, nothing printed, and the probe got the
# command line for $expectedSource, ran there and saw the token; it got the default
# start-up record (no STARTF flag, so the default title, its own path) and no standard
# handles, neither the launcher's nor any other.
ExpectSetupStarted() {
    local expectedSource=$1 expectedInf=$2
    WaitForWine
    ExpectEqual "exit status" 0 "$status"
    ExpectEqual "standard output" "" "$(cat "$caseDir/stdout")"
    ExpectEqual "standard error" "" "$(cat "$caseDir/stderr")"
    if [ ! -f "$medium/probe.txt" ]; then
        Fail "the setup program did not run"
        return
    fi
    ExpectEqual "command line" "SETUP.EXE -i $expectedInf -s $expectedSource" "$(RecordValue command-line)"
    ExpectEqual "current directory" "$expectedSource" "$(RecordValue current-directory)"
    ExpectEqual "environment" "$token" "$(RecordValue token)"
    ExpectEqual "start-up flags" 0 "$(RecordValue startup-flags)"
    ExpectEqual "show-window" 0 "$(RecordValue show-window)"
    ExpectEqual "title" "${expectedSource%\\}\\SETUP.EXE" "$(RecordValue title)"
    ExpectEqual "standard handles" "null null null" \
        "$(RecordValue stdin) $(RecordValue stdout) $(RecordValue stderr)"
}

# A run refused with message $1 (without its line end): status 1, the line on standard
# output ending in CR LF, nothing on standard error, and no setup program started.
ExpectRefused() {
    WaitForWine
    ExpectEqual "exit status" 1 "$status"
    local expected actual
    expected=$(printf '%s\r\n' "$1" | od -An -c)
    actual=$(od -An -c "$caseDir/stdout")
    ExpectEqual "standard output bytes" "$expected" "$actual"
    ExpectEqual "standard error" "" "$(cat "$caseDir/stderr")"
    [ ! -e "$medium/probe.txt" ] || Fail "the setup program was started"
}

# Lays out a medium in a directory of exactly $1 characters in Windows terms, kept
# short below the build folder so that deep build folders still leave room.
NewMediumOfLength() {
    local base=$runs/L
    local windowsBase
    windowsBase=$(WindowsPath "$base")
    local pad=$(($1 - ${#windowsBase} - 1))
    if [ "$pad" -lt 1 ]; then
        echo "SKIPPED: the build folder is too deep for a medium of $1 characters: $windowsBase"
        exit 77
    fi
    NewMedium "$base/$(printf "%${pad}s" '' | tr ' ' 'p')"
    ExpectEqual "length of the medium's directory" "$1" "${#windowsMedium}"
}

Case_prefix() {
    "$WineServer" -k 2>/dev/null
    rm -rf "$WINEPREFIX"
    EnsureWinePrefix "$loader"
    [ -d "$WINEPREFIX/dosdevices" ] || Fail "Wine did not create the prefix"
}

Case_deep_directory() {
    NewMedium "$caseDir/install/media/product/disk1"
    RunWindows "$medium/Brixhold.exe"
    ExpectSetupStarted "$windowsMedium" "$windowsMedium\\BRIXHOLD.INF"
}

# Unquoted, blanks and all.
Case_blanks_in_directory() {
    NewMedium "$caseDir/New Product Disk"
    RunWindows "$medium/Brixhold.exe"
    ExpectSetupStarted "$windowsMedium" "$windowsMedium\\BRIXHOLD.INF"
}

# Started from a subdirectory of the drive, the setup program must still run in the root.
Case_drive_root() {
    NewMedium "$caseDir/drive"
    mkdir "$medium/sub"
    ln -sfn "$medium" "$WINEPREFIX/dosdevices/m:"
    workDirectory=$medium/sub
    RunWindows 'M:\Brixhold.exe'
    ExpectSetupStarted 'M:\' 'M:\BRIXHOLD.INF'
    rm -f "$WINEPREFIX/dosdevices/m:"
}

Case_arguments_ignored() {
    NewMedium "$caseDir/medium"
    RunWindows "$medium/Brixhold.exe" -i 'C:\OTHER.INF' -s 'C:\' /?
    ExpectSetupStarted "$windowsMedium" "$windowsMedium\\BRIXHOLD.INF"
}

Case_longest_directory() {
    NewMediumOfLength 114
    RunWindows "$medium/Brixhold.exe"
    ExpectSetupStarted "$windowsMedium" "$windowsMedium\\BRIXHOLD.INF"
}

# Every module path shorter than the launcher's 260-character buffer is used, the
# longest too: 259 characters, from the longest directory and a long file name.
Case_longest_module_path() {
    NewMediumOfLength 114
    local name
    name=$(printf '%*s' $((259 - 114 - 1 - 4)) '' | tr ' ' 'n').exe
    mv "$medium/Brixhold.exe" "$medium/$name"
    ExpectEqual "length of the module path" 259 $((${#windowsMedium} + 1 + ${#name}))
    RunWindows "$medium/$name"
    ExpectSetupStarted "$windowsMedium" "$windowsMedium\\BRIXHOLD.INF"
}

Case_directory_too_long() {
    NewMediumOfLength 115
    RunWindows "$medium/Brixhold.exe"
    ExpectRefused "Brixhold.exe: Module file name too long"
}

Case_inf_is_directory() {
    NewMedium "$caseDir/medium"
    rm "$medium/BRIXHOLD.INF"
    mkdir "$medium/BRIXHOLD.INF"
    RunWindows "$medium/Brixhold.exe"
    ExpectSetupStarted "$windowsMedium" "$windowsMedium\\BRIXHOLD.INF"
}

Case_no_inf() {
    NewMedium "$caseDir/medium"
    rm "$medium/BRIXHOLD.INF"
    RunWindows "$medium/Brixhold.exe"
    ExpectRefused "Brixhold.exe: INF $windowsMedium\\BRIXHOLD.INF not found."
}

Case_no_setup_program() {
    NewMedium "$caseDir/medium"
    rm "$medium/SETUP.EXE"
    RunWindows "$medium/Brixhold.exe"
    ExpectRefused "Brixhold.exe: Failed to run: SETUP.EXE -i $windowsMedium\\BRIXHOLD.INF -s $windowsMedium, Error Code: 2"
}

# Without a SETUP.EXE of its own the launcher starts none, though Windows would find
# one in the current directory or along the search path; nor does a directory of that
# name count.
Case_setup_program_elsewhere() {
    NewMedium "$caseDir/medium"
    rm "$medium/SETUP.EXE"
    local refusal="Brixhold.exe: Failed to run: SETUP.EXE -i $windowsMedium\\BRIXHOLD.INF -s $windowsMedium, Error Code: 2"
    workDirectory=$caseDir/downloads
    mkdir "$workDirectory"
    cp "$build/SetupProbe.exe" "$workDirectory/SETUP.EXE"
    RunWindows "$medium/Brixhold.exe"
    ExpectRefused "$refusal"
    [ ! -e "$workDirectory/probe.txt" ] || Fail "the SETUP.EXE of the current directory was started"

    mkdir "$medium/SETUP.EXE"
    RunWindows "$medium/Brixhold.exe"
    ExpectRefused "$refusal"
    [ ! -e "$workDirectory/probe.txt" ] || Fail "a directory SETUP.EXE let another SETUP.EXE start"
    rmdir "$medium/SETUP.EXE"

    local onPath=$caseDir/on-path
    mkdir "$onPath"
    cp "$build/SetupProbe.exe" "$onPath/SETUP.EXE"
    workDirectory=$caseDir
    WINEPATH=$(WindowsPath "$onPath") RunWindows "$medium/Brixhold.exe"
    ExpectRefused "$refusal"
    [ ! -e "$onPath/probe.txt" ] || Fail "the SETUP.EXE on the search path was started"
}

# What the code page cannot show, GetModuleFileNameA turns into '?' or a look-alike:
# a path to some other directory, or to none, which the launcher must not go by.
Case_names_the_code_page_cannot_show() {
    local name
    for name in "Диск 1" "Użytkownik Łódź" "Fullwidth ＂quotes＂"; do
        NewMedium "$caseDir/$name"
        RunWindows "$medium/Brixhold.exe"
        ExpectRefused "Brixhold.exe: Module file name not valid"
    done
}

# Characters of the code page beyond ASCII convert back to the real path and work.
Case_names_the_code_page_shows() {
    NewMedium "$caseDir/CAFÉ Crème"
    RunWindows "$medium/Brixhold.exe"
    ExpectSetupStarted "$windowsMedium" "$windowsMedium\\BRIXHOLD.INF"
}

# On a Japanese system (code page 932), under a Japanese name in a Japanese directory:
# the second bytes of ソ (0x83 0x5C), 表 (0x95 0x5C) and 濬 (0xE0 0x5C, of the second
# range of lead bytes) are a backslash's. Only in the launcher's own name would a
# character cut in half move the last backslash.
Case_double_byte_code_page() {
    local locales=$runs/locale
    if [ ! -d "$locales/ja_JP.UTF-8" ]; then
        mkdir -p "$locales"
        localedef -i ja_JP -f UTF-8 "$locales/ja_JP.UTF-8" || Fail "could not build the locale ja_JP.UTF-8"
    fi
    export LOCPATH=$locales LC_ALL=ja_JP.UTF-8
    recordEncoding=CP932
    local name
    for name in ソフト.exe 濬.exe; do
        NewMedium "$caseDir/表示ソフト"
        mv "$medium/Brixhold.exe" "$medium/$name"
        RunWindows "$medium/$name"
        ExpectSetupStarted "$windowsMedium" "$windowsMedium\\BRIXHOLD.INF"
    done
}

# A launcher named SETUP.EXE would be the setup program it starts, again and again.
Case_launcher_named_setup_program() {
    NewMedium "$caseDir/medium"
    mv "$medium/Brixhold.exe" "$medium/SETUP.EXE"
    RunWindows "$medium/SETUP.EXE"
    ExpectRefused "Brixhold.exe: Module file name not valid"
}

# Runs the launcher in the medium with Wine's relay trace, and sets calls to the log of
# the KERNEL32 calls its own code made (see kernel_calls.awk). The trace is kept in
# $caseDir/trace; standard error is left empty for the checks of the run.
RunTracingKernelCalls() {
    WINEDEBUG=+relay,+process,+loaddll RunWindows "$medium/Brixhold.exe"
    mv "$caseDir/stderr" "$caseDir/trace"
    : >"$caseDir/stderr"
    local loaded thread base size
    loaded=$(grep -m 1 ':trace:loaddll:build_module Loaded L".*\\\\Brixhold.exe" at ' "$caseDir/trace")
    thread=${loaded%%:*}
    base=$(sed 's/.* at \([0-9a-f]*\):.*/\1/' <<<"$loaded")
    size=$("$objdump" -p "$medium/Brixhold.exe" | sed -n 's/^SizeOfImage[[:space:]]*//p')
    calls=$(awk -v thread="$thread" -v low="$base" -v high="$(printf '%x' $((0x$base + 0x$size)))" \
        -v functions='GetModuleFileName[AW]|MultiByteToWideChar|GetCPInfo|FindFirstFileA|FindClose|CreateProcessA|GetLastError|CloseHandle' \
        -f "$(dirname "$0")/kernel_calls.awk" "$caseDir/trace")
}

# What reaches KERNEL32 from the launcher's platform layer, which the unit tests replace
# with a double: each call with its arguments, in order, as Wine's relay trace shows
# them. A start; no SETUP.EXE, or a directory of that name, neither of which may be
# started; and a start that fails (SETUP.EXE is no program), whose error number is read
# at once.
Case_kernel_calls() {
    NewMedium "$caseDir/medium"
    local modulePath="$windowsMedium\\Brixhold.exe" length
    length=$(printf '0x%x' ${#modulePath})
    local commandLine="SETUP.EXE -i $windowsMedium\\BRIXHOLD.INF -s $windowsMedium"
    local upToStart
    upToStart=$(printf '%s\n' \
        "GetModuleFileNameA(0, 0x104) -> $length" \
        "GetModuleFileNameW(0, 0x104) -> $length" \
        "MultiByteToWideChar(0, 0, \"$modulePath\", $length, 0x104) -> $length" \
        "GetCPInfo(0) -> 0x1" \
        "FindFirstFileA(\"$windowsMedium\\BRIXHOLD.INF\") -> find" \
        "FindClose(find) -> 0x1")
    local setupSearch="FindFirstFileA(\"$windowsMedium\\SETUP.EXE\")"
    local refusal="Brixhold.exe: Failed to run: $commandLine, Error Code:"
    local createProcess="CreateProcessA(0, \"$commandLine\", 0, 0, 0, 0x8, 0, \"$windowsMedium\")"

    RunTracingKernelCalls
    ExpectSetupStarted "$windowsMedium" "$windowsMedium\\BRIXHOLD.INF"
    ExpectSameLines "kernel calls of a start" "$(printf '%s\n' "$upToStart" \
        "$setupSearch -> find" "FindClose(find) -> 0x1" "$createProcess -> 0x1" \
        "CloseHandle(thread) -> 0x1" "CloseHandle(process) -> 0x1")" "$calls"

    rm "$medium/probe.txt" "$medium/SETUP.EXE"
    RunTracingKernelCalls
    ExpectRefused "$refusal 2"
    ExpectSameLines "kernel calls without SETUP.EXE" "$(printf '%s\n' "$upToStart" \
        "$setupSearch -> INVALID_HANDLE_VALUE")" "$calls"

    mkdir "$medium/SETUP.EXE"
    RunTracingKernelCalls
    ExpectRefused "$refusal 2"
    ExpectSameLines "kernel calls with a directory SETUP.EXE" "$(printf '%s\n' "$upToStart" \
        "$setupSearch -> find" "FindClose(find) -> 0x1")" "$calls"

    rmdir "$medium/SETUP.EXE"
    echo "not a program" >"$medium/SETUP.EXE"
    RunTracingKernelCalls
    ExpectRefused "$refusal 193"
    ExpectSameLines "kernel calls of a failed start" "$(printf '%s\n' "$upToStart" \
        "$setupSearch -> find" "FindClose(find) -> 0x1" "$createProcess -> 0" \
        "GetLastError() -> 0xc1")" "$calls"
}

# The probe holds on until a file appears that is made only once the launcher has
# ended: had the launcher waited for it, the launcher would never have ended.
Case_does_not_wait() {
    NewMedium "$caseDir/medium"
    BRIXHOLD_PROBE_WAIT_FOR="$windowsMedium\\release" RunWindows "$medium/Brixhold.exe"
    ExpectEqual "exit status" 0 "$status"
    [ ! -e "$medium/probe-done.txt" ] || Fail "the setup program ended before it was released"
    : >"$medium/release"
    WaitForWine
    [ -f "$medium/probe-done.txt" ] || Fail "the setup program was not running after the launcher ended"
}

# Started by a parent that has a console and holds an inheritable handle, the launcher
# shares both; the setup program, detached and inheriting nothing, must get neither. The
# probe started straight from the same parent shows that it can tell: it reads the
# token through the handle it inherited.
Case_from_a_parent() {
    NewMedium "$caseDir/medium"
    RunWindows "$build/ParentHost.exe" "$windowsMedium\\SETUP.EXE"
    WaitForWine
    ExpectEqual "console of a probe started without DETACHED_PROCESS" yes "$(RecordValue console)"
    ExpectEqual "handle of a probe started inheriting handles" "$token" "$(RecordValue inherited-handle)"
    rm "$medium/probe.txt"

    RunWindows "$build/ParentHost.exe" "$windowsMedium\\Brixhold.exe"
    ExpectSetupStarted "$windowsMedium" "$windowsMedium\\BRIXHOLD.INF"
    ExpectEqual "console of the setup program" no "$(RecordValue console)"
    local inherited
    inherited=$(RecordValue inherited-handle)
    [ "$inherited" != none ] || Fail "the setup program did not get the parent's environment"
    [ "$inherited" != "$token" ] || Fail "the setup program inherited the parent's handle"
}

# The launcher as released signed, by the release tests (tests/check_release.sh), starts
# the setup program as the unsigned one does.
Case_signed_launcher() {
    NewMedium "$caseDir/medium"
    cp "$build/release-tests/signed/Brixhold.exe" "$medium/Brixhold.exe" ||
        { Fail "no signed launcher from the release tests"; return; }
    RunWindows "$medium/Brixhold.exe"
    ExpectSetupStarted "$windowsMedium" "$windowsMedium\\BRIXHOLD.INF"
}

if ! declare -F "Case_$case" >/dev/null; then
    echo "unknown case $case" >&2
    exit 2
fi
caseDir=$runs/cases/$case
rm -rf "$caseDir"
mkdir -p "$caseDir"
workDirectory=$caseDir
"Case_$case"
[ "$failures" -eq 0 ] && echo "passed: $case"
[ "$failures" -eq 0 ]
