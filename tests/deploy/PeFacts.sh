#!/usr/bin/env bash
# The shipped binaries of one build, read by the toolchain's objdump: the executable imports only
# Windows' own DLLs and looks up the vendor library's entry points by their plain names, and the
# simulated library exports exactly those 24 undecorated names, as a real vendor library does.
#   PeFacts.sh CHECK OBJDUMP BIN_FOLDER FORMAT EXPORTS_HEADER
# FORMAT is objdump's file format of the build (pei-x86-64 or pei-i386); EXPORTS_HEADER holds the
# tests' list of the 24 names (kTorvexExports).
set -uo pipefail

check=$1 objdump=$2 bin=$3 format=$4 header=$5

# DLLs every Windows installation has; a compiler runtime DLL (libstdc++, libgcc, winpthread) is
# not among them and would have to be shipped.
windows_dlls=" kernel32.dll user32.dll advapi32.dll msvcrt.dll gdi32.dll shell32.dll ole32.dll ntdll.dll
    version.dll shlwapi.dll psapi.dll comctl32.dll "

failed=0
fail() {
    echo "FAILED: $*"
    failed=1
}

headers() {
    "$objdump" -p "$bin/$1" 2>&1 || echo "objdump cannot read $bin/$1"
}

expect_format() { # FILE HEADERS
    local seen
    seen=$(sed -n 's/.*file format \(.*\)$/\1/p' <<<"$2" | head -n 1)
    [ "$seen" = "$format" ] || fail "$1: file format '$seen', expected '$format'"
}

is_dll() { # HEADERS
    sed -n '/^Characteristics/,/^$/p' <<<"$1" | grep -qx $'\tDLL'
}

imports() { # HEADERS
    sed -n 's/^\tDLL Name: //p' <<<"$1" | tr 'A-Z' 'a-z'
}

expect_only_windows_dlls() { # FILE HEADERS
    local dll
    [ -n "$(imports "$2")" ] || fail "$1 imports nothing"
    for dll in $(imports "$2"); do
        [[ "$windows_dlls" == *" $dll "* ]] || fail "$1 imports $dll, which Windows does not have"
    done
}

exports() { # HEADERS
    sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\t\[ *[0-9]*\] //p' <<<"$1" | sort
}

expected_exports() {
    sed -n '/kTorvexExports = {/,/};/p' "$header" | grep -o '"[A-Za-z]*"' | tr -d '"' | sort
}

[ -d "$bin" ] || {
    echo "FAILED: $bin does not exist (scripts/test builds both architectures)"
    exit 1
}
[ "$(expected_exports | wc -l)" -eq 24 ] || {
    echo "FAILED: the 24 names were not found in $header"
    exit 1
}

case $check in
ExecutableIsAWindowsGuiProgramForItsMachine)
    exe=$(headers TorvexHelp.exe)
    expect_format TorvexHelp.exe "$exe"
    ! is_dll "$exe" || fail "TorvexHelp.exe is marked as a DLL"
    # A console program would open a console window at every logon.
    grep -q '^Subsystem.*(Windows GUI)' <<<"$exe" || fail "TorvexHelp.exe: $(grep '^Subsystem' <<<"$exe")"
    ;;
ExecutableImportsOnlyWindowsOwnDlls)
    exe=$(headers TorvexHelp.exe)
    expect_only_windows_dlls TorvexHelp.exe "$exe"
    grep -q '^Entry d 0* 00000000 Delay Import Directory' <<<"$exe" ||
        fail "TorvexHelp.exe has delay-load imports"
    # The vendor library is loaded at run time, so that a missing one can be reported.
    ! imports "$exe" | grep -qx torvex.dll || fail "TorvexHelp.exe imports Torvex.dll"
    ;;
LibraryExportsTheTwentyFourUndecoratedNames)
    library=$(headers Torvex.dll)
    expect_format Torvex.dll "$library"
    is_dll "$library" || fail "Torvex.dll is not marked as a DLL"
    # Exactly these: a decorated name ("_TorvexInit@0") would not bind by its plain name.
    difference=$(diff <(expected_exports) <(exports "$library")) ||
        fail "Torvex.dll exports other names (< missing, > extra):"$'\n'"$difference"
    expect_only_windows_dlls Torvex.dll "$library"
    ;;
ExecutableLooksUpTheNamesTheLibraryExports)
    # Each name as a whole string of its own, ended by a zero byte.
    strings_in_exe=$(tr '\0' '\n' <"$bin/TorvexHelp.exe")
    for name in $(expected_exports); do
        grep -qxF "$name" <<<"$strings_in_exe" || fail "TorvexHelp.exe does not name $name"
    done
    ;;
LibraryWithoutAnExportIsToldApart)
    missing=$(comm -23 <(expected_exports) <(exports "$(headers TorvexMissingExport.dll)"))
    [ "$missing" = IsWhirroThreeSupported ] || fail "TorvexMissingExport.dll lacks '$missing'"
    count=$(exports "$(headers TorvexMissingExport.dll)" | wc -l)
    [ "$count" -eq 23 ] || fail "TorvexMissingExport.dll exports $count names, expected 23"
    ;;
*)
    echo "unknown check $check"
    exit 2
    ;;
esac
exit $failed
