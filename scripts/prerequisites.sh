# Sourced by the project's scripts: installs the Debian packages a fresh machine lacks.

# Usage: InstallMissingPackages PACKAGE...
InstallMissingPackages() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "Installing ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
        "${missing[@]}" >/dev/null
}

# What building and testing the launcher needs: the host and MinGW-w64 compilers, and
# clang with its sanitizer and libFuzzer runtimes and the static analysers.
BuildPackages=(cmake make g++ libgtest-dev
               g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
               clang libclang-rt-dev clang-tidy cppcheck)

# What running Windows programs needs: 64-bit Wine (this host cannot run 32-bit Linux
# programs, so 32-bit Wine is left out).
WinePackages=(wine64)
