# Shared set-up of the project's commands: packages, builds and the Wine prefix. Sourced, not run.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${TORVEX_BUILD:-$ROOT/build}

# The 64-bit packages, then the 32-bit half of Wine, which runs the x86 build and is installed on its
# own: a half-synced mirror often has every 64-bit package but no 32-bit one that matches them.
PACKAGES=(cmake make g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 xvfb xauth googletest)
PACKAGES32=(wine32:i386)
# Where the 32-bit half is missing and cannot be had, why; the x86 half is then skipped as on a
# machine that refuses 32-bit programs (probe_x86 says so).
TORVEX_WHY_NO_WINE32=${TORVEX_WHY_NO_WINE32:-}
# How long to wait for another package manager to let go of its lock.
APT_LOCK_WAIT=${TORVEX_APT_LOCK_WAIT:-300}

log() { printf '== %s\n' "$*" >&2; }
# shown PATH: a path as a message names it, inside the checkout relative to it (build/apt.log).
shown() { echo "${1#"$ROOT"/}"; }

# Every Wine command here goes through Wine's 64-bit loader. Once wine32 is installed, /usr/bin/wine
# (and wineboot, winepath and reg with it) always starts the 32-bit loader, for x64 programs too, and
# that loader cannot run at all where the kernel refuses 32-bit programs. The 64-bit loader runs x64
# programs everywhere and hands a 32-bit program on to the 32-bit loader, which runs it where it can.
WINE=/usr/lib/wine/wine64
# The 32-bit loader itself, only ever asked for its version: whether it can run at all.
WINE32=/usr/lib/wine/wine

# own_build_folder: the build folder is this user's (or is made now). One left by another user (root's
# used by a normal user, or the reverse) is refused in one line, before a stale log could be read as new.
own_build_folder() {
    mkdir -p "$BUILD" 2>/dev/null || true
    local owner
    owner=$(stat -c %u "$BUILD" 2>/dev/null) || { log "the build folder $BUILD cannot be made"; return 1; }
    if [ "$owner" != "$(id -u)" ]; then
        log "the build folder $BUILD belongs to $(stat -c %U "$BUILD") (uid $owner), not to $(id -un):" \
            "run this as that user, or remove the folder (rm -rf $BUILD)"
        return 1
    fi
}

# Whether packages may be installed here. (A function, so that the set-up's own tests can be root.)
is_root() { [ "$(id -u)" -eq 0 ]; }

missing_packages() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
    done
}

# apt_get ARGS...: apt-get, its output appended to $BUILD/apt.log; waits while another package
# manager holds a lock (up to APT_LOCK_WAIT seconds), and names an interrupted dpkg in one line
# (returning 200, which apt-get itself never does).
apt_get() {
    local log=$BUILD/apt.log waited=0 from rc
    while :; do
        from=$(($(wc -l <"$log") + 1))
        rc=0
        DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=10 "$@" >>"$log" 2>&1 </dev/null || rc=$?
        [ $rc -ne 0 ] || return 0
        if tail -n "+$from" "$log" | grep -q 'dpkg was interrupted'; then
            log "an earlier dpkg run was interrupted: run 'dpkg --configure -a' as root, then this command again"
            return 200
        fi
        tail -n "+$from" "$log" | grep -q 'Could not get lock' && [ $waited -lt "$APT_LOCK_WAIT" ] || return $rc
        [ $waited -gt 0 ] || log "another package manager holds its lock: waiting for it (up to $APT_LOCK_WAIT s)"
        sleep 5
        waited=$((waited + 5))
    done
}

# ensure_packages [--without-32bit] [EXTRA...]: installs what is missing, as root; goes on with what it can get. Fails
# only when a 64-bit package is missing and cannot be installed; a missing 32-bit half sets and
# exports TORVEX_WHY_NO_WINE32 instead.
ensure_packages() {
    local missing missing32=() rc with32=yes
    if [ "${1:-}" = --without-32bit ]; then # a command that runs no Wine program
        with32=
        shift
    fi
    own_build_folder || return 1
    mapfile -t missing < <(missing_packages "${PACKAGES[@]}" "$@")
    # Tried once a run: the commands a command starts (scripts/test's scripts/package) do not try again.
    [ -z "$with32" ] || [ -n "$TORVEX_WHY_NO_WINE32" ] || mapfile -t missing32 < <(missing_packages "${PACKAGES32[@]}")
    local all=("${missing[@]}" "${missing32[@]}")
    [ ${#all[@]} -gt 0 ] || return 0
    if ! is_root; then
        if [ ${#missing[@]} -gt 0 ]; then
            log "missing packages: ${all[*]} (run as root to install them)"
            return 1
        fi
        export TORVEX_WHY_NO_WINE32="${missing32[*]} is not installed (run as root to install it)"
        return 0
    fi
    : >"$BUILD/apt.log"
    log "installing ${all[*]} (apt-get's output: $(shown "$BUILD/apt.log"))"
    if [ ${#missing32[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    rc=0
    apt_get update || rc=$?
    [ $rc -ne 200 ] || return 1
    [ $rc -eq 0 ] || log "apt-get update failed for some indexes (exit $rc, see $(shown "$BUILD/apt.log")): going on with those that arrived"
    if [ ${#missing[@]} -gt 0 ]; then
        rc=0
        apt_get install -y --no-install-recommends "${missing[@]}" || rc=$?
        if [ $rc -ne 0 ]; then
            [ $rc -eq 200 ] && return 1
            tail -n 20 "$BUILD/apt.log" >&2
            log "${missing[*]} could not be installed: apt-get exit $rc, see $(shown "$BUILD/apt.log")"
            return 1
        fi
    fi
    if [ ${#missing32[@]} -gt 0 ]; then
        rc=0
        apt_get install -y --no-install-recommends "${missing32[@]}" || rc=$?
        [ $rc -ne 200 ] || return 1
        if [ $rc -ne 0 ]; then
            export TORVEX_WHY_NO_WINE32="${missing32[*]} could not be installed: apt-get exit $rc, see $(shown "$BUILD/apt.log")"
            log "$TORVEX_WHY_NO_WINE32"
        fi
    fi
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
# build/wineprefix-NAME), made once and reused; each prefix has a wineserver of its own. A prefix is
# made whole or not at all (make_prefix); one without the mark of a finished one, left half made by an
# interrupted run, is made anew. One made without a working 32-bit half (by wine64 alone, or where
# 32-bit programs could not run) lacks the 32-bit system files, and 32-bit programs then fail in it
# ("could not load kernel32.dll"); where the 32-bit loader runs now, such a prefix is made anew.
wine_env() {
    export WINEPREFIX=$BUILD/wineprefix${1:+-$1} WINEARCH=win64 WINEDEBUG=-all WINELOADER=$WINE
    # No Mono or Gecko download prompts: the programs here need neither.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    local why=
    if [ -e "$WINEPREFIX" ] && [ ! -f "$WINEPREFIX/$PREFIX_MADE" ]; then
        why="it was left half made"
    elif [ -f "$WINEPREFIX/$PREFIX_MADE" ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] &&
        "$WINE32" --version >/dev/null 2>&1; then
        why="it has no 32-bit half"
    fi
    if [ -n "$why" ]; then
        log "making the Wine prefix ${WINEPREFIX##*/} anew: $why"
        wineserver -k >/dev/null 2>&1 || true
        rm -rf "$WINEPREFIX"
    fi
    [ -f "$WINEPREFIX/$PREFIX_MADE" ] || make_prefix
}

# The mark of a finished prefix, written last.
PREFIX_MADE=.torvex-prefix-made

# make_prefix: $WINEPREFIX made in a scratch folder beside it, moved into place once complete;
# the output of its set-up goes to build/wineboot-NAME.log, which a failure names.
make_prefix() {
    local final=$WINEPREFIX part=$WINEPREFIX.part name=${WINEPREFIX##*/}
    local bootlog=$BUILD/wineboot-$name.log
    WINEPREFIX=$part wineserver -k >/dev/null 2>&1 || true
    rm -rf "$part"
    mkdir -p "$part"
    log "creating the Wine prefix $name (its set-up's output: $(shown "$bootlog"))"
    # Boxes close at once without a window manager; a crash shows as an exit code, not a dialog.
    if ! (
        export WINEPREFIX=$part
        "$WINE" wineboot.exe -i &&
            "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f /reg:64 &&
            "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f /reg:64 &&
            wineserver -w
    ) </dev/null >"$bootlog" 2>&1; then
        WINEPREFIX=$part wineserver -k >/dev/null 2>&1 || true
        log "the Wine prefix $name could not be made (see $(shown "$bootlog"))"
        return 1
    fi
    touch "$part/$PREFIX_MADE"
    mv "$part" "$final"
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
    if [ -n "$TORVEX_WHY_NO_WINE32" ]; then
        echo "$TORVEX_WHY_NO_WINE32"
        return 0
    fi
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

# end_job PID: a background job and every process it started, ended.
end_job() {
    local child
    for child in $(pgrep -P "$1"); do end_job "$child"; done
    kill "$1" 2>/dev/null || true
}

wine_stop() {
    wineserver -k >/dev/null 2>&1 || true
}
