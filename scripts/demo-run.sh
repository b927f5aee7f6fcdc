# The demo's steps, run by scripts/demo inside Xvfb. Sourced, not run.
source "$TORVEX_ROOT/scripts/lib.sh"
wine_env
BIN=$BUILD/x64/bin
DEMO=$BUILD/demo
SIM='HKCU\Software\TorvexSim'

say() { printf '\n-- %s\n' "$*"; }
sim_set() { wine reg add "$SIM${3:-}" /v "$1" /t REG_DWORD /d "$2" /f >/dev/null; }
sim_get() { printf '%d' "$(wine reg query "$SIM" /v "$1" | tr -d '\r' | awk -v n="$1" '$1 == n { print $3 }')"; }
ctl() { wine "$BIN/TorvexCtl.exe" "$@" | tr -d '\r'; }

wine_start
trap 'kill $(jobs -p) 2>/dev/null; wine_stop' EXIT

rm -rf "$DEMO" && mkdir -p "$DEMO"
cp "$BIN/TorvexHelp.exe" "$BIN/Torvex.dll" "$DEMO/"
wine reg delete "$SIM" /f >/dev/null 2>&1 || true

say "The simulated machine: support state 3 (capability item 0x0B060003 = 2), level 3"
sim_set Value 2 '\Items\0B060003'
sim_set Level 3

say "Watching debugger output and message boxes; starting TorvexHelp.exe beside the simulated Torvex.dll"
wine "$BIN/DbgCapture.exe" --seconds 60 >"$DEMO/debug.txt" 2>/dev/null &
wine "$BIN/BoxWatch.exe" --seconds 60 >"$DEMO/boxes.txt" 2>/dev/null &
sleep 1
wine "$DEMO/TorvexHelp.exe" &
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

if [ "$level" = "3" ] && [ "$code" = "0" ]; then
    echo; echo "RESULT: level 3 was active at the sleep and is active again after the wake."
else
    echo; echo "RESULT: FAILED (level $level, exit code $code)"; exit 1
fi
