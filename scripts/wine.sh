# Sourced by the demo, the benchmark and the real-run tests: a sample medium and a Wine
# prefix to run it in. Expects WINEPREFIX and WINEDEBUG to be exported.

WineServer=/usr/lib/wine/wineserver

# Lays out a sample medium in the empty folder MEDIUM from the build folder BUILD: the
# launcher, the probe as SETUP.EXE, and an empty BRIXHOLD.INF.
# Usage: LayOutMedium BUILD MEDIUM
LayOutMedium() {
    cp "$1/Brixhold.exe" "$2/Brixhold.exe"
    cp "$1/SetupProbe.exe" "$2/SETUP.EXE"
    : >"$2/BRIXHOLD.INF"
}

# Creates $WINEPREFIX with the Wine loader LOADER unless it is there, and waits until
# Wine's own start-up processes have ended; the first start takes several seconds.
# Usage: EnsureWinePrefix LOADER
EnsureWinePrefix() {
    [ -d "$WINEPREFIX" ] && return 0
    "$1" wineboot.exe --init >/dev/null 2>&1
    "$WineServer" -w
}
