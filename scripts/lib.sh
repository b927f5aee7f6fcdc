# Shared set-up of the project's commands: packages, builds and the Wine prefix. Sourced, not run.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${TORVEX_BUILD:-$ROOT/build}

# wine32 is the 32-bit half of Wine, which runs the x86 build.
PACKAGES=(cmake make g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 wine32:i386 xvfb xauth googletest)

log() { printf '== %s\n' "$*" >&2; }

# Every Wine command here goes through Wine's 64-bit loader. Once wine32 is installed, /usr/bin/wine
# (and wineboot, winepath and reg with it) always starts the 32-bit loader, for x64 programs too, and
# that loader cannot run at all where the kernel refuses 32-bit programs. The 64-bit loader runs x64
# programs everywhere and hands a 32-bit program on to the 32-bit loader, which runs it where it can.
WINE=/usr/lib/wine/wine64
# The 32-bit loader itself, only ever asked for its version: whether it can run at all.
WINE32=/usr/lib/wine/wine

ensure_packages() {
    local missing=()
    for p in "${PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing packages: ${missing[*]} (run as root to install them)" >&2
        return 1
    fi
    log "installing ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# build ARCH (x64|x86) [TARGET...]: everything, or only those targets
build() {
    local arch=$1 toolchain
    shift
    case $arch in
        x64) toolchain=mingw-x86_64 ;;
        x86) toolchain=mingw-i686 ;;
    esac
    log "building $arch${1:+ ($*)}"
    mkdir -p "$BUILD"
    local buildlog=$BUILD/build-$arch.log
    if ! { cmake -S "$ROOT" -B "$BUILD/$arch" -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain.cmake" -DTORVEX_TESTS=ON &&
           cmake --build "$BUILD/$arch" -j "$(nproc)" ${1:+--target "$@"} -- --no-print-directory; } >"$buildlog" 2>&1; then
        tail -n 40 "$buildlog" >&2
        log "the $arch build failed (whole log: $buildlog)"
        return 1
    fi
}

# wine_env [NAME]: a private Wine prefix under the build folder (build/wineprefix, or
# build/wineprefix-NAME), made once and reused; each prefix has a wineserver of its own. One made
# without a working 32-bit half (by wine64 alone, or where 32-bit programs could not run) lacks the
# 32-bit system files, and 32-bit programs then fail in it ("could not load kernel32.dll"); where the
# 32-bit loader runs now, such a prefix is made anew.
wine_env() {
    export WINEPREFIX=$BUILD/wineprefix${1:+-$1} WINEARCH=win64 WINEDEBUG=-all WINELOADER=$WINE
    # No Mono or Gecko download prompts: the programs here need neither.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    if [ -f "$WINEPREFIX/system.reg" ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] &&
        "$WINE32" --version >/dev/null 2>&1; then
        log "making the Wine prefix anew with both halves"
        wineserver -k >/dev/null 2>&1 || true
        rm -rf "$WINEPREFIX"
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        log "creating the Wine prefix"
        mkdir -p "$WINEPREFIX"
        "$WINE" wineboot.exe -i </dev/null >/dev/null 2>&1
        # Boxes close at once without a window manager; a crash shows as an exit code, not a dialog.
        "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f /reg:64 >/dev/null 2>&1
        "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f /reg:64 >/dev/null 2>&1
        wineserver -w
    fi
}

# wine_start [COMMAND PREFIX...]: one wineserver and Wine's own system processes for a whole run,
# started outside any test runner so that they do not hold its output open; through the prefix
# (e.g. taskset -c 0), which the programs they start inherit.
wine_start() {
    "$@" wineserver -p </dev/null >/dev/null 2>&1 || true # already running is fine
    "$@" "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
    # Wine closes its desktop a second after the last program on it ends, and the next program to
    # open a window then waits a second or more for a new one: this holds it until the wineserver ends.
    local keeper=$BUILD/x64/bin/DesktopKeeper.exe
    if [ -f "$keeper" ]; then
        "$@" "$WINE" "$keeper" </dev/null >/dev/null 2>&1 &
    fi
}

# Whether this machine runs 32-bit Windows programs: a tiny x86 program must start and return its
# exit code. Prints nothing when it does, else one line saying what failed.
probe_x86() {
    local probe=$BUILD/probe-x86.exe code
    if ! printf 'int main(void) { return 42; }\n' | i686-w64-mingw32-gcc -x c -o "$probe" - 2>/dev/null; then
        echo "the 32-bit probe program could not be built (i686-w64-mingw32-gcc)"
        return 0
    fi
    code=0
    "$WINE" "$probe" </dev/null >/dev/null 2>&1 || code=$?
    # The probe may run without a display; Wine's session started for it must not serve the
    # windows of the programs that follow.
    wineserver -k >/dev/null 2>&1 || true
    [ "$code" -eq 42 ] || echo "a 32-bit program does not run under Wine here (probe exit code $code, expected 42)"
}

wine_stop() {
    wineserver -k >/dev/null 2>&1 || true
}
