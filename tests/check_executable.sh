#!/usr/bin/env bash
# Checks the headers of a built Brixhold.exe: the right PE format and machine, a console
# program, stripped, importing nothing a clean Windows lacks (no MinGW runtime DLL), and
# carrying its manifest and version information.
# The shipped 32-bit build must also stay within 20 KiB.
# Usage: check_executable.sh OBJDUMP EXE x86|AMD64
set -eu
objdump=$1 exe=$2 processor=$3

case $processor in
    x86) format=pei-i386 architecture=i386 magic='(PE32)' most_bytes=20480 ;;
    AMD64) format=pei-x86-64 architecture=i386:x86-64 magic='(PE32+)' most_bytes= ;;
    *) echo "unknown processor $processor" >&2; exit 2 ;;
esac

failures=0
fail() { echo "$exe: $*" >&2; failures=$((failures + 1)); }

file_headers=$("$objdump" -f "$exe")
private_headers=$("$objdump" -p "$exe")
sections=$("$objdump" -h "$exe")

grep -q "file format $format\$" <<<"$file_headers" || fail "not in format $format"
grep -q "^architecture: $architecture," <<<"$file_headers" || fail "not built for $architecture"
grep -q "^Magic.*$magic" <<<"$private_headers" || fail "optional header is not $magic"
grep -q '^Subsystem.*(Windows CUI)' <<<"$private_headers" || fail "not a console program"
grep -q 'symbols stripped' <<<"$private_headers" || fail "symbols not stripped"
if grep -q '\.debug' <<<"$sections"; then fail "carries debugging sections"; fi

imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$private_headers" | sort -f | tr '\n' ' ')
[ "$imports" = "KERNEL32.dll msvcrt.dll " ] ||
    fail "imports '$imports', not only KERNEL32.dll and msvcrt.dll"

# The manifest is stored as it is written; the version strings in UTF-16.
grep -q 'level="asInvoker"' "$exe" || fail "has no manifest asking for asInvoker"
strings -e l "$exe" | grep -qx 'Brixhold setup launcher' || fail "has no file description"

size=$(stat -c %s "$exe")
if [ -n "$most_bytes" ] && [ "$size" -gt "$most_bytes" ]; then
    fail "is $size bytes, more than $most_bytes"
fi

[ "$failures" -eq 0 ] && echo "$exe: headers as expected, $size bytes"
exit "$failures"
