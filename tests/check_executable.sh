#!/usr/bin/env bash
# Checks the headers of a built Brixhold.exe: the right PE format and machine, a console
# program that Windows XP loads, stripped, the protections of a modern Windows (random
# load address with its relocations, no running of data, no section both writable and
# executable, no Terminal Server shims), a true PE checksum, exactly the imports of its
# list, and its manifest, with the configured execution level, and version information.
# The shipped 32-bit build must also stay within 20 KiB, a signature not counted.
#
# Usage: check_executable.sh OBJDUMP EXE x86|AMD64 EXECUTION_LEVEL IMPORT_LIST
#        check_executable.sh --imports OBJDUMP EXE
# The second form prints what EXE imports in the form of IMPORT_LIST, one "DLL function"
# a line. When the launcher's calls change, rebuild and write the lists anew:
#   bash tests/check_executable.sh --imports i686-w64-mingw32-objdump build/win32/Brixhold.exe >tests/imports/win32.txt
#   bash tests/check_executable.sh --imports x86_64-w64-mingw32-objdump build/win64/Brixhold.exe >tests/imports/win64.txt
set -euo pipefail

# What EXE imports, "DLL function" a line, in a fixed order.
# Usage: Imports OBJDUMP EXE
Imports() {
    "$1" -p "$2" | awk '
        /^[[:space:]]*DLL Name: / { dll = $3; next }
        NF == 0 { dll = "" }
        dll != "" && $1 ~ /^[0-9a-f]+$/ { print dll, $3 }' | LC_ALL=C sort
}

if [ "${1:-}" = --imports ]; then
    Imports "$2" "$3"
    exit 0
fi

objdump=$1 exe=$2 processor=$3 level=$4 importList=$5

# The subsystem version is at most 5.1 for 32-bit Windows XP, 5.2 for its x64 edition.
case $processor in
    x86) format=pei-i386 architecture=i386 magic='(PE32)' most_bytes=20480
         flags='DYNAMIC_BASE NX_COMPAT TERMINAL_SERVICE_AWARE' oldest_subsystem=501 ;;
    AMD64) format=pei-x86-64 architecture=i386:x86-64 magic='(PE32+)' most_bytes=
           flags='DYNAMIC_BASE NX_COMPAT TERMINAL_SERVICE_AWARE HIGH_ENTROPY_VA' oldest_subsystem=502 ;;
    *) echo "unknown processor $processor" >&2; exit 2 ;;
esac

failures=0
fail() { echo "$exe: $*" >&2; failures=$((failures + 1)); }

# The PE checksum as Windows computes it: the file's 16-bit little-endian words added up
# with the carries folded back in, leaving out the CheckSum field itself, plus the
# file's length. The field lies 88 bytes into the PE header, whose offset is at 0x3c.
# Signing sets the field for the signed file, and taking the signature off sets it
# again: only a build whose field already holds the true sum gets its own bytes back.
PeChecksum() {
    local header field
    header=$(od -An -tu4 -j60 -N4 --endian=little "$exe")
    field=$(((header + 88) / 2))
    od -An -v -tu2 -w2 --endian=little "$exe" |
        awk -v field="$field" -v size="$(stat -c %s "$exe")" '
            NR - 1 != field && NR - 1 != field + 1 {
                sum += $1
                if (sum >= 65536) sum = sum % 65536 + int(sum / 65536)
            }
            END { printf "%08x\n", sum + size }'
}

file_headers=$("$objdump" -f "$exe")
private_headers=$("$objdump" -p "$exe")
sections=$("$objdump" -h "$exe")
header_value() { sed -n "s/^$1[[:space:]]*//p" <<<"$private_headers"; }

grep -q "file format $format\$" <<<"$file_headers" || fail "not in format $format"
grep -q "^architecture: $architecture," <<<"$file_headers" || fail "not built for $architecture"
grep -q "^Magic.*$magic" <<<"$private_headers" || fail "optional header is not $magic"
grep -q '^Subsystem.*(Windows CUI)' <<<"$private_headers" || fail "not a console program"
subsystem="$(header_value MajorSubsystemVersion).$(header_value MinorSubsystemVersion)"
[ $((${subsystem%.*} * 100 + ${subsystem#*.})) -le "$oldest_subsystem" ] ||
    fail "subsystem version $subsystem is too new for Windows XP"
grep -q 'symbols stripped' <<<"$private_headers" || fail "symbols not stripped"
if grep -q '\.debug' <<<"$sections"; then fail "carries debugging sections"; fi

# objdump lists each flag of DllCharacteristics on a line of its own.
dll_characteristics=$(sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p' <<<"$private_headers")
for flag in $flags; do
    grep -qw "$flag" <<<"$dll_characteristics" || fail "DllCharacteristics lack $flag"
done
# A random load address needs the base relocations: without them Windows loads the
# program at its preferred address after all, or not at all.
if grep -q 'relocations stripped' <<<"$private_headers"; then fail "relocations stripped"; fi
grep -q '^ *[0-9]* \.reloc ' <<<"$sections" || fail "has no .reloc section"
[ "$(awk '/^Entry 5 / { print $3 }' <<<"$private_headers")" != 00000000 ] ||
    fail "has an empty base relocation directory"
# objdump marks a section READONLY unless it is writable, CODE when it is executable.
writable_code=$(awk '/^ *[0-9]+ / { name = $2; next }
                     /CODE/ && !/READONLY/ { printf "%s ", name }' <<<"$sections")
[ -z "$writable_code" ] || fail "sections both writable and executable: $writable_code"

checksum=$(header_value CheckSum)
[ "$checksum" = "$(PeChecksum)" ] ||
    fail "CheckSum field $checksum is not the file's PE checksum $(PeChecksum)"

actual_imports=$(Imports "$objdump" "$exe")
listed_imports=$(LC_ALL=C sort "$importList")
added=$(LC_ALL=C comm -13 <(echo "$listed_imports") <(echo "$actual_imports") | paste -sd, -)
gone=$(LC_ALL=C comm -23 <(echo "$listed_imports") <(echo "$actual_imports") | paste -sd, -)
[ -z "$added" ] || fail "imports what $importList does not list: $added"
[ -z "$gone" ] || fail "no longer imports what $importList lists: $gone"
if [ -n "$added$gone" ]; then
    {
        echo "To accept the imports as built: bash $0 --imports $objdump $exe >$importList"
        echo "The imports as built, one \"DLL function\" a line:"
        echo "$actual_imports"
    } >&2
fi

# The manifest is stored as it is written; the version strings in UTF-16.
built_level=$(grep -ao '<requestedExecutionLevel level="[A-Za-z]*"' "$exe" | sed 's/.*level="//; s/"$//' || true)
[ "$built_level" = "$level" ] ||
    fail "manifest asks for execution level '${built_level:-none}', not '$level'"
grep -qx 'Brixhold setup launcher' <<<"$(strings -e l "$exe")" || fail "has no file description"

# A signature is appended to the file and its size depends on the signer's certificates:
# the limit is on the program, the file without it.
size=$(stat -c %s "$exe")
signature=$(awk '/^Entry 4 / { print $4 }' <<<"$private_headers")
program_size=$((size - 0x${signature:-0}))
if [ -n "$most_bytes" ] && [ "$program_size" -gt "$most_bytes" ]; then
    fail "is $program_size bytes without its signature, more than $most_bytes"
fi

[ "$failures" -eq 0 ] && echo "$exe: headers as expected, $size bytes"
exit "$failures"
