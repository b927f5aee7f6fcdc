#!/usr/bin/env bash
# Every Wine command of the project's scripts and build goes through Wine's 64-bit loader ($WINE of
# scripts/lib.sh). A bare `wine`, `wineboot` or `winepath` starts the 32-bit loader whenever wine32 is
# installed, and on a machine whose kernel refuses 32-bit programs that fails for x64 programs too.
#   WineLoader.sh SOURCE_ROOT
set -uo pipefail

root=$1
failed=0

# A Wine launcher named as a command word: wine, wineboot, winepath, ..., wine-stable or a path to the
# 32-bit loader. `wineserver` is a native program and loads nothing; `"$WINE" wineboot.exe` names a
# Windows program, not a launcher. Comments are left out; the package list names packages, and
# WINE32 names the 32-bit loader only to ask whether it runs.
launcher='(?<![\w$./-])wine(boot|path|cfg|console|dbg|-stable)?(?![\w.-])|/usr/(bin|lib/wine)/wine(?![\w.-])'
files=$(cd "$root" && ls scripts/* .ci/run cmake/*.cmake)
for file in $files; do
    hits=$(sed -e 's/^[[:space:]]*#.*//' -e 's/[[:space:]]#.*//' -e '/^PACKAGES=(/d' -e '/^WINE32=/d' "$root/$file" |
        grep -nP "$launcher")
    if [ -n "$hits" ]; then
        echo "FAILED: $file starts Wine through a launcher that picks the 32-bit loader:"
        echo "$hits"
        failed=1
    fi
done

loader=$(sed -n 's/^WINE=//p' "$root/scripts/lib.sh")
[ "$loader" = /usr/lib/wine/wine64 ] || { echo "FAILED: scripts/lib.sh's WINE is '$loader'"; failed=1; }
# The emulator is scripts/wine-test (checked above with the scripts) handing on to that loader.
grep -q 'CMAKE_CROSSCOMPILING_EMULATOR .*/scripts/wine-test \${TORVEX_WINE})' "$root/cmake/mingw-common.cmake" &&
    grep -q 'set(TORVEX_WINE /usr/lib/wine/wine64 ' "$root/cmake/mingw-common.cmake" ||
    { echo "FAILED: the tests' emulator is not Wine's 64-bit loader"; failed=1; }
exit $failed
