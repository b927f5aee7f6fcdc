# The demo's steps for the build $TORVEX_ARCH (x64 or x86), run by scripts/demo inside Xvfb.
# Sourced, not run.
source "$TORVEX_ROOT/scripts/lib.sh"
wine_env
ARCH=${TORVEX_ARCH:-x64}
BIN=$BUILD/$ARCH/bin
DEMO=$BUILD/demo-$ARCH
SIM='HKCU\Software\TorvexSim'
PRODUCT='HKLM\Software\Orvane\TORVEX3'
# The registry view the build reads: an x86 program on 64-bit Windows sees the 32-bit one.
VIEW=$([ "$ARCH" = x64 ] && echo /reg:64 || echo /reg:32)
reg() { "$WINE" reg "$@" "$VIEW"; }

say() { printf '\n-- %s\n' "$*"; }
sim_set() { reg add "$SIM${3:-}" /v "$1" /t REG_DWORD /d "$2" /f >/dev/null; }
sim_get() { printf '%d' "$(reg query "$SIM" /v "$1" | tr -d '\r' | awk -v n="$1" '$1 == n { print $3 }')"; }
ctl() { "$WINE" "$BIN/TorvexCtl.exe" "$@" | tr -d '\r'; }

wine_start
trap 'kill $(jobs -p) 2>/dev/null; wine_stop' EXIT

rm -rf "$DEMO" && mkdir -p "$DEMO"
cp "$BIN/TorvexHelp.exe" "$BIN/Torvex.dll" "$DEMO/"
reg delete "$SIM" /f >/dev/null 2>&1 || true
reg delete "$PRODUCT" /f >/dev/null 2>&1 || true

printf '\n==== The %s build ====\n' "$ARCH"
say "The simulated machine: support state 3 (capability item 0x0B060003 = 2), level 3, feature switched off"
sim_set Value 2 '\Items\0B060003'
sim_set Value 0 '\Items\0B060002'
sim_set Level 3

say "Watching debugger output and message boxes; starting TorvexHelp.exe beside the simulated Torvex.dll"
"$WINE" "$BIN/DbgCapture.exe" --seconds 60 >"$DEMO/debug.txt" 2>/dev/null &
"$WINE" "$BIN/BoxWatch.exe" --seconds 60 >"$DEMO/boxes.txt" 2>/dev/null &
sleep 1
"$WINE" "$DEMO/TorvexHelp.exe" &
helper=$!
for _ in $(seq 100); do
    ctl status | grep -q 'windows=1' && break
    sleep 0.1
done
echo "window: $(ctl status)"

say "The machine goes to sleep at level $(sim_get Level)"
echo "suspend: $(ctl suspend)"
say "On wake the firmware has moved the level to 1"
sim_set Level 1
echo "level now: $(sim_get Level)"
say "The system reports the resume"
echo "resume: $(ctl resume)"
level=$(sim_get Level)
echo "level now: $level"

say "The user picks the user level 0x8000; another program leaves six thresholds in $PRODUCT"
for k in 1 2 3 4 5 6; do
    reg add "$PRODUCT" /v Threshold$k /t REG_DWORD /d $((k * 10)) /f >/dev/null
done
sim_set Level 32768
echo "suspend: $(ctl suspend)"
sim_set Level 1
echo "resume: $(ctl resume)"
user_level=$(sim_get Level)
echo "level now: $user_level"
last_mode=$(reg query 'HKLM\Software\Orvane\Torvex3' /v LastMode | tr -d '\r' | awk '$1 == "LastMode" { print $3 }')
echo "LastMode (reg query $VIEW): $last_mode"

say "Asking the program to quit"
echo "quit: $(ctl quit --post)"
wait $helper
code=$?
sleep 1

say "Vendor-library calls, from the simulated library's journal"
tr -d '\r' <"$DEMO/Torvex.journal" | sed 's/^/   /'
say "Debugger output"
if [ -s "$DEMO/debug.txt" ]; then sed 's/^/   /' "$DEMO/debug.txt"; else echo "   (none)"; fi
say "Message boxes"
if [ -s "$DEMO/boxes.txt" ]; then sed 's/^/   /' "$DEMO/boxes.txt"; else echo "   (none)"; fi
say "Exit code of TorvexHelp.exe: $code"

# The user level's thresholds: each of the six values written to its item.
thresholds=0
for k in 1 2 3 4 5 6; do
    grep -q "TorvexSetItem(0x0E0A001$((k + 3)), $((k * 10))) = 1" "$DEMO/Torvex.journal" && thresholds=$((thresholds + 1))
done

if [ "$level" = "3" ] && [ "$user_level" = "32768" ] && [ "$thresholds" = 6 ] && [ "$last_mode" = "0x8000" ] &&
    [ "$code" = "0" ]; then
    echo; echo "RESULT ($ARCH): each level active at a sleep (3, then the user level with its thresholds) was active again after the wake."
else
    echo; echo "RESULT ($ARCH): FAILED (levels $level and $user_level, $thresholds of 6 thresholds written, LastMode $last_mode, exit code $code)"; exit 1
fi
