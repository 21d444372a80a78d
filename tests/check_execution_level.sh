#!/usr/bin/env bash
# The execution level chosen at build time ends up in the launcher's manifest, also when
# an existing build folder is configured anew with another level; a level Windows does
# not know is refused when the build is configured, naming the value.
# Usage: check_execution_level.sh SOURCE_DIR WORK_DIR TOOLCHAIN_FILE OBJDUMP x86|AMD64 IMPORT_LIST
set -euo pipefail
source=$1 work=$2 toolchain=$3 objdump=$4 processor=$5 importList=$6

rm -rf "$work"
failures=0

# Usage: Configure BUILD LEVEL
Configure() {
    cmake -S "$source" -B "$1" --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DBRIXHOLD_EXECUTION_LEVEL="$2"
}

# One build folder, configured level after level: the second must not keep the first's
# manifest.
for level in requireAdministrator highestAvailable; do
    Configure "$work/build" "$level" >/dev/null
    cmake --build "$work/build" --target Brixhold >/dev/null
    bash "$(dirname "$0")/check_executable.sh" "$objdump" "$work/build/Brixhold.exe" \
        "$processor" "$level" "$importList" || failures=$((failures + 1))
done

# Levels that Windows does not know or spells otherwise, in the same build folder. CMake
# wraps its message: it is read as one line.
for level in requireAdmin RequireAdministrator; do
    if Configure "$work/build" "$level" >"$work/refused.log" 2>&1; then
        echo "BRIXHOLD_EXECUTION_LEVEL '$level' was accepted"
        failures=$((failures + 1))
    elif ! tr -s ' \n' ' ' <"$work/refused.log" |
            grep -q "BRIXHOLD_EXECUTION_LEVEL is \"$level\"; it must be one of asInvoker, highestAvailable, requireAdministrator"; then
        echo "BRIXHOLD_EXECUTION_LEVEL '$level' was refused without naming it:"
        cat "$work/refused.log"
        failures=$((failures + 1))
    fi
done

[ "$failures" -eq 0 ] && echo "execution levels as configured; unknown levels refused"
exit "$failures"
