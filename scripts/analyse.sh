#!/usr/bin/env bash
# Static analysis of the project's own code: clang-tidy with the checks in .clang-tidy,
# and cppcheck. Fails on any finding. Needs the native, sanitize and win32 presets
# configured, for their compile commands (./scripts/test.sh does that first).
set -uo pipefail
cd "$(dirname "$0")/.."
status=0

# clang-tidy over FILES with the compile commands of build/PRESET.
Tidy() {
    local preset=$1
    shift
    clang-tidy --quiet -p "build/$preset" "$@" 2> >(grep -v 'warnings generated' >&2) || status=1
}

echo "== clang-tidy"
Tidy native plan/LaunchPlan.cpp launcher/Launcher.cpp \
    tests/LaunchPlanTest.cpp tests/LauncherTest.cpp tests/KernelDouble.cpp
Tidy sanitize tests/fuzz/LaunchPlanFuzzer.cpp
Tidy win32 launcher/PlatformWin32.cpp launcher/Main.cpp tests/probe/*.cpp

echo "== cppcheck"
cppcheck --quiet --std=c++17 --language=c++ --library=googletest --library=windows \
    --enable=warning,style,performance,portability --inline-suppr --error-exitcode=1 \
    -I . plan launcher tests || status=1

[ "$status" -eq 0 ] && echo "no findings"
exit "$status"
