# Shared set-up of the project's commands: packages, builds and the Wine prefix. Sourced, not run.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${TORVEX_BUILD:-$ROOT/build}

PACKAGES=(cmake make g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 xvfb xauth googletest)

log() { printf '== %s\n' "$*" >&2; }

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
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# build ARCH (x64|x86) [extra cmake arguments]
build() {
    local arch=$1 toolchain tests=OFF
    shift
    case $arch in
        x64) toolchain=mingw-x86_64; tests=ON ;;
        x86) toolchain=mingw-i686 ;;
    esac
    log "building $arch"
    mkdir -p "$BUILD"
    local buildlog=$BUILD/build-$arch.log
    if ! { cmake -S "$ROOT" -B "$BUILD/$arch" -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain.cmake" -DTORVEX_TESTS=$tests "$@" &&
           cmake --build "$BUILD/$arch" -j "$(nproc)" -- --no-print-directory; } >"$buildlog" 2>&1; then
        tail -n 40 "$buildlog" >&2
        log "the $arch build failed (whole log: $buildlog)"
        return 1
    fi
}

# A private Wine prefix under the build folder, made once and reused.
wine_env() {
    export WINEPREFIX=$BUILD/wineprefix WINEARCH=win64 WINEDEBUG=-all
    # No Mono or Gecko download prompts: the programs here need neither.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        log "creating the Wine prefix"
        mkdir -p "$WINEPREFIX"
        wineboot -i </dev/null >/dev/null 2>&1
        # Boxes close at once without a window manager; a crash shows as an exit code, not a dialog.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        wineserver -w
    fi
}

# One wineserver and Wine's own system processes for a whole run, started outside any test runner
# so that they do not hold its output open.
wine_start() {
    wineserver -p </dev/null >/dev/null 2>&1 || true # already running is fine
    wine cmd /c exit </dev/null >/dev/null 2>&1
}

wine_stop() {
    wineserver -k >/dev/null 2>&1 || true
}
