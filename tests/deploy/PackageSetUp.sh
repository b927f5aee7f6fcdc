#!/usr/bin/env bash
# The commands' package set-up (ensure_packages in scripts/lib.sh) on a machine whose package mirror
# is half synced, with stand-ins for apt-get, dpkg-query and dpkg on PATH: no network, nothing
# installed. Each case is one behaviour: the lines it prints and what it returns.
#   PackageSetUp.sh CASE SOURCE_ROOT
set -uo pipefail

case_=$1 root=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/build"

# stand_in NAME SCRIPT: a command on PATH that the cases' settings below steer.
stand_in() {
    printf '#!/bin/sh\n%s\n' "$2" >"$work/bin/$1"
    chmod +x "$work/bin/$1"
}
# Installed: every package but those in $MISSING.
stand_in dpkg-query 'for a; do case " $MISSING " in *" $a "*) exit 1 ;; esac; done; echo "install ok installed"'
stand_in dpkg 'case "$1" in --print-foreign-architectures) echo i386 ;; esac'
# apt-get: "update" exits $UPDATE_RC; "install" of a 32-bit package exits $INSTALL32_RC, of others
# $INSTALL64_RC, each with apt's own lines on failure. Every call is written to calls.
stand_in apt-get 'echo "$*" >>"$CALLS"
case " $* " in
  *" update "*) [ "$UPDATE_RC" = 0 ] && exit 0
    echo "E: Failed to fetch http://mirror.invalid/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
    exit "$UPDATE_RC" ;;
  *:i386*) [ "$INSTALL32_RC" = 0 ] && exit 0
    echo "E: Unable to correct problems, you have held broken packages."; exit "$INSTALL32_RC" ;;
  *) [ "$INSTALL64_RC" = 0 ] && exit 0
    echo "E: Package nsis has no installation candidate"; exit "$INSTALL64_RC" ;;
esac'
export PATH=$work/bin:$PATH CALLS=$work/calls MISSING= UPDATE_RC=0 INSTALL32_RC=0 INSTALL64_RC=0
touch "$CALLS"

failed=0
fail() {
    echo "FAILED: $*"
    failed=1
}
expect_line() { # TEXT
    grep -qF -- "$1" "$work/out" || fail "no line with '$1' in:"$'\n'"$(cat "$work/out")"
}

# set_up EXTRA...: ensure_packages as root in a fresh shell; its output lands in out, its return
# code in $rc, and where it found the 32-bit half missing, the x86 half's verdict (probe_x86).
set_up() {
    rc=0
    TORVEX_BUILD=$work/build TORVEX_WHY_NO_WINE32= bash -c '
        source "$0/scripts/lib.sh"
        set +e
        is_root() { true; }
        ensure_packages "$@"
        rc=$?
        [ -z "$TORVEX_WHY_NO_WINE32" ] || echo "x86: $(probe_x86)"
        exit $rc' "$root" "$@" >"$work/out" 2>&1 || rc=$?
}

case $case_ in
    UpdateThatFailsOnOneIndexGoesOn)
        MISSING=nsis UPDATE_RC=100 set_up nsis
        [ "$rc" = 0 ] || fail "returned $rc"
        expect_line "apt-get update failed for some indexes (exit 100"
        grep -q " install .* nsis" "$CALLS" || fail "nsis was not installed after the failed update"
        ;;
    ThirtyTwoBitHalfThatCannotBeInstalledSkipsX86WithItsCause)
        MISSING="wine32:i386" INSTALL32_RC=100 set_up
        [ "$rc" = 0 ] || fail "returned $rc"
        expect_line "x86: wine32:i386 could not be installed: apt-get exit 100, see $work/build/apt.log"
        # The 32-bit half on its own, never in one install with the 64-bit packages.
        ! grep " install " "$CALLS" | grep ":i386" | grep -qv "install -y --no-install-recommends wine32:i386$" ||
            fail "a 32-bit package was installed with others: $(cat "$CALLS")"
        ;;
    SixtyFourBitPackageThatCannotBeInstalledFailsWithAptsLines)
        MISSING="nsis wine32:i386" INSTALL64_RC=100 set_up nsis
        [ "$rc" = 1 ] || fail "returned $rc, expected 1"
        expect_line "E: Package nsis has no installation candidate"
        expect_line "nsis could not be installed: apt-get exit 100, see $work/build/apt.log"
        ! grep -q "wine32" "$CALLS" || fail "went on to the 32-bit half after the 64-bit packages failed"
        ;;
    InterruptedDpkgSaysWhatToRun)
        stand_in apt-get 'echo "E: dpkg was interrupted, you must manually run '\''dpkg --configure -a'\'' to correct the problem."; exit 100'
        MISSING=nsis set_up nsis
        [ "$rc" = 1 ] || fail "returned $rc, expected 1"
        expect_line "an earlier dpkg run was interrupted: run 'dpkg --configure -a' as root, then this command again"
        ;;
    *)
        fail "unknown case $case_"
        ;;
esac
exit $failed
