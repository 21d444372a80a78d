# Sourced by the project's scripts: installs the Debian packages a fresh machine lacks,
# and makes the shipped 32-bit build runnable under Wine where the host allows it.

# Runs COMMAND...; when it fails, names STEP in one line and ends the calling script.
# Usage: RunStep STEP COMMAND...
RunStep() {
    local step=$1
    shift
    if ! "$@"; then
        echo "Set-up failed while $step: $*" >&2
        exit 1
    fi
}

AsRoot() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Usage: InstallMissingPackages [APT-OPTION...] PACKAGE...
InstallMissingPackages() {
    local options=() missing=() package
    for package in "$@"; do
        case $package in
            -*) options+=("$package") ;;
            *) dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
                   missing+=("$package") ;;
        esac
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    echo "Installing ${missing[*]}"
    RunStep "updating the package lists" AsRoot apt-get update -qq
    RunStep "installing ${missing[*]}" AsRoot env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq "${options[@]}" "${missing[@]}" >/dev/null
}

# What building and testing the launcher needs: the host and MinGW-w64 compilers, and
# clang with its sanitizer and libFuzzer runtimes and the static analysers.
BuildPackages=(cmake make g++ libgtest-dev
               g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
               clang libclang-rt-dev clang-tidy cppcheck)

# What running the x86_64 build needs, and building the locale that gives Wine a
# Japanese code page.
WinePackages=(wine64 locales)

# What packing, signing and checking a release needs.
ReleasePackages=(git zip unzip openssl osslsigncode)

BinfmtMisc=/proc/sys/fs/binfmt_misc
# The i386 entry: any 32-bit x86 ELF executable or shared object goes to qemu. F opens the
# emulator once, at registration, so that it serves every mount namespace.
BinfmtI386Entry=qemu-i386
BinfmtI386Rule=":$BinfmtI386Entry:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:/usr/bin/qemu-i386-static:F"
# Wine dies at start under the qemu of Debian 12 (7.2); that of bookworm-backports works.
QemuLeastVersion=1:10

# Whether this host runs a 32-bit x86 Linux program: a 93-byte static executable that
# does nothing but exit with status 42.
Runs32BitPrograms() {
    local program status=0
    program=$(mktemp)
    {
        printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' # 32-bit, LSB
        printf '\x02\x00\x03\x00\x01\x00\x00\x00'                         # EXEC, i386
        printf '\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00' # entry
        printf '\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'         # one program header
        printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' # LOAD all
        printf '\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' # 93 bytes, r-x
        printf '\x31\xdb\xb3\x2a\x31\xc0\x40\xcd\x80' # ebx = 42; eax = 1 (exit); int 0x80
    } >"$program"
    chmod +x "$program"
    "$program" 2>/dev/null || status=$?
    rm -f "$program"
    [ "$status" -eq 42 ]
}

# The deb822 field FIELD of the first source in the machine's own apt sources that
# serves the stable suite of this release.
AptSourceField() {
    local field=$1
    awk -v field="$field" -v suite="$VERSION_CODENAME" '
        /^$/ { if (match_suite && value != "") { print value; exit } match_suite = 0; value = "" }
        $1 == "Suites:" { for (i = 2; i <= NF; i++) if ($i == suite) match_suite = 1 }
        $1 == field ":" && (field != "Signed-By" || $2 ~ /^\//) { value = $2 }
        END { if (match_suite && value != "") print value }
    ' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1
}

# Adds the backports suite of this release, from the same mirror and with the same
# keyring as the machine's own sources, unless some source already serves it.
AddBackportsSource() {
    local backports=$VERSION_CODENAME-backports mirror keyring
    grep -rqs -- "$backports" /etc/apt/sources.list /etc/apt/sources.list.d && return 0
    mirror=$(AptSourceField URIs)
    keyring=$(AptSourceField Signed-By)
    if [ -z "$mirror" ] && [ -f /etc/apt/sources.list ]; then
        # One-line sources: deb [signed-by=KEYRING] MIRROR SUITE COMPONENT...
        mirror=$(awk -v suite="$VERSION_CODENAME" '$1 == "deb" { for (i = 2; i < NF; i++) if ($(i + 1) == suite && $i ~ /^[a-z]+:/) { print $i; exit } }' /etc/apt/sources.list)
        keyring=$(sed -n "s/^deb .*signed-by=\([^] ]*\).* $VERSION_CODENAME .*/\1/p" /etc/apt/sources.list | head -n 1)
    fi
    [ -n "$mirror" ] || { echo "no apt source for $VERSION_CODENAME to take the mirror from" >&2; return 1; }
    {
        echo "Types: deb"
        echo "URIs: $mirror"
        echo "Suites: $backports"
        echo "Components: main"
        [ -z "$keyring" ] || echo "Signed-By: $keyring"
    } | AsRoot tee "/etc/apt/sources.list.d/$backports.sources" >/dev/null
    echo "Added the apt source $backports (mirror $mirror)"
    AsRoot apt-get update -qq
}

# Installs a qemu-user-static that runs Wine, from backports unless one is there.
InstallQemuUserStatic() {
    local version
    version=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null || true)
    if [ -n "$version" ] && dpkg --compare-versions "$version" ge "$QemuLeastVersion"; then
        return 0
    fi
    RunStep "adding the apt source $VERSION_CODENAME-backports" AddBackportsSource
    echo "Installing qemu-user-static from $VERSION_CODENAME-backports"
    RunStep "installing qemu-user-static from $VERSION_CODENAME-backports" \
        AsRoot env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        -t "$VERSION_CODENAME-backports" qemu-user-static >/dev/null
}

RegisterI386Emulator() {
    if ! mountpoint -q "$BinfmtMisc"; then
        AsRoot mount -t binfmt_misc binfmt_misc "$BinfmtMisc" || return 1
    fi
    [ -e "$BinfmtMisc/$BinfmtI386Entry" ] && return 0
    echo "Registering qemu-i386-static for 32-bit programs ($BinfmtMisc/$BinfmtI386Entry)"
    printf '%s' "$BinfmtI386Rule" | AsRoot tee "$BinfmtMisc/register" >/dev/null
}

# Makes the shipped 32-bit build runnable: 32-bit Wine, and where the kernel refuses
# 32-bit programs, qemu through binfmt_misc. Prints one line saying how 32-bit programs
# run, or why they cannot, in which case the win32 real runs skip themselves. Each step
# is skipped when already done. A failed step ends the calling script.
Enable32BitWindowsPrograms() {
    # shellcheck source=/dev/null
    . /etc/os-release
    if ! Runs32BitPrograms; then
        if [ "$(id -u)" -ne 0 ] && ! sudo -n true 2>/dev/null; then
            echo "32-bit programs cannot run here (the kernel refuses them and this user is not root): the win32 real runs are skipped"
            return 0
        fi
        if ! grep -qw binfmt_misc /proc/filesystems; then
            echo "32-bit programs cannot run here (the kernel refuses them and has no binfmt_misc): the win32 real runs are skipped"
            return 0
        fi
        InstallQemuUserStatic
        RunStep "registering qemu-i386-static with binfmt_misc" RegisterI386Emulator
        RunStep "running a 32-bit program through $BinfmtMisc/$BinfmtI386Entry" Runs32BitPrograms
    fi
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "Adding the i386 architecture"
        RunStep "adding the i386 architecture" AsRoot dpkg --add-architecture i386
        RunStep "updating the package lists" AsRoot apt-get update -qq
    fi
    InstallMissingPackages wine32:i386
    if [ -e "$BinfmtMisc/$BinfmtI386Entry" ] && grep -qx enabled "$BinfmtMisc/$BinfmtI386Entry"; then
        echo "32-bit programs run through qemu-i386-static ($BinfmtMisc/$BinfmtI386Entry)"
    else
        echo "32-bit programs run natively"
    fi
    # From here on a 32-bit real run that finds it cannot run is a failure, not a skip.
    export BRIXHOLD_REAL_RUNS_REQUIRED=1
}
