#!/usr/bin/env bash
# scripts/package given a certificate signs every program it ships: both builds of TorvexHelp.exe,
# the access tool, the installer, and the uninstaller that an install writes. A throwaway certificate
# is made with openssl; the package goes into a folder of its own (build/package stays as the other
# tests use it); the installer is run silently under Wine into a folder of the prefix's Program Files
# and uninstalled again.
#   SignedPackage.sh SOURCE_ROOT BUILD_ROOT SCRATCH WINE_LOADER
# Exits 77 (skipped) where the builds the package carries are missing.
set -uo pipefail

root=$1 build=$2 scratch=$3 wine=$4
for program in x64/bin/TorvexHelp.exe x64/bin/TorvexSetupAccess.exe x86/bin/TorvexHelp.exe; do
    if [ ! -f "$build/$program" ]; then
        echo "SKIPPED: $build/$program is missing (scripts/test builds what the installer carries)"
        exit 77
    fi
done

failed=0
fail() {
    echo "FAILED: $*"
    failed=1
}

rm -rf "$scratch"
mkdir -p "$scratch"
# A password with a blank and a quote: it must reach the signing tool whole.
export TORVEX_SIGN_PASSWORD="throw away's"
if ! openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Torvex Help test signing" \
        -addext extendedKeyUsage=codeSigning -addext keyUsage=digitalSignature \
        -keyout "$scratch/key.pem" -out "$scratch/cert.pem" >"$scratch/openssl.log" 2>&1 ||
    ! openssl pkcs12 -export -inkey "$scratch/key.pem" -in "$scratch/cert.pem" \
        -passout env:TORVEX_SIGN_PASSWORD -out "$scratch/cert.pfx" >>"$scratch/openssl.log" 2>&1; then
    cat "$scratch/openssl.log"
    echo "FAILED: no throwaway certificate"
    exit 1
fi

if ! TORVEX_SIGN_PFX=$scratch/cert.pfx TORVEX_BUILD=$build \
        "$root/scripts/package" --no-build --out "$scratch/package" 2>"$scratch/package.log"; then
    cat "$scratch/package.log"
    echo "FAILED: scripts/package with a certificate"
    exit 1
fi

# Verified against the throwaway certificate alone: a program signed by anyone else, or not at all,
# fails.
verify() { # FILE
    local said
    said=$(osslsigncode verify -CAfile "$scratch/cert.pem" -in "$1" 2>&1) ||
        fail "$1 does not verify:"$'\n'"$said"
}
for program in TorvexHelp-Setup.exe x64/TorvexHelp.exe x64/TorvexSetupAccess.exe x86/TorvexHelp.exe; do
    verify "$scratch/package/$program"
done

# The uninstaller exists only once an install writes it. No vendor library in the folder: the
# program is installed but not started. A folder without blanks: Wine quotes an argument that has
# one, and NSIS takes /D= only unquoted.
prefix=${WINEPREFIX:-$HOME/.wine}
folder="C:\\ProgramData\\TorvexSignedPackage"
unix_folder="$prefix/drive_c/ProgramData/TorvexSignedPackage"
rm -rf "$unix_folder"
mkdir -p "$unix_folder"
code=0
"$wine" "$scratch/package/TorvexHelp-Setup.exe" /S "/D=$folder" </dev/null >/dev/null 2>&1 || code=$?
if [ $code -ne 0 ]; then
    fail "the signed installer ended with exit code $code"
elif [ ! -f "$unix_folder/TorvexHelp-Uninstall.exe" ]; then
    fail "the install wrote no uninstaller"
else
    verify "$unix_folder/TorvexHelp-Uninstall.exe"
    # In place: it takes out the entries and the key the install made, and ends when it is done.
    code=0
    "$wine" "$unix_folder/TorvexHelp-Uninstall.exe" /S "_?=$folder" </dev/null >/dev/null 2>&1 || code=$?
    [ $code -eq 0 ] || fail "the signed uninstaller ended with exit code $code"
fi
if [ $failed -ne 0 ]; then
    # What a failed install or uninstall may have left for the tests after this one in the prefix.
    "$wine" reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TorvexHelp' /f /reg:64 \
        </dev/null >/dev/null 2>&1
    "$wine" reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v TorvexHelp /f /reg:64 \
        </dev/null >/dev/null 2>&1
fi
rm -rf "$unix_folder"
exit $failed
