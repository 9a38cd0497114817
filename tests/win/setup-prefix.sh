#!/usr/bin/env bash
# Makes the Wine prefix every case shares, from scratch, so no registry entry or device link of
# an earlier run is left; then keeps its server running for the cases (stop-server.sh ends it).
. "$(dirname "$0")/wine-lib.sh"

# A server of an earlier, interrupted run would hold the old prefix.
timeout 30 "$WINESERVER" -k >/dev/null 2>&1 </dev/null || true
timeout 30 "$WINESERVER" -w >/dev/null 2>&1 </dev/null || true
rm -rf "$WINEPREFIX" "$PRAX_WINE_DIR/work"
mkdir -p "$PRAX_WINE_DIR/work"
cd "$PRAX_WINE_DIR/work"

wine_ok wineboot wineboot --init
# wineboot returns before the prefix's services have written everything out; the prefix is only
# complete once they ended and the server went with them.
timeout 120 "$WINESERVER" -w >/dev/null 2>&1 </dev/null || fail "the server of the new prefix did not end"
[ -f "$WINEPREFIX/system.reg" ] || { show wineboot; fail "no registry in the new prefix"; }
# Windows of the GUI programs draw nowhere: Wine's null graphics driver needs no display, and a
# window that closes costs no wait for a window manager. Written out once the server has ended.
wine_ok nulldriver reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f
timeout 120 "$WINESERVER" -w >/dev/null 2>&1 </dev/null || fail "the server did not end after the driver setting"
grep -q '"Graphics"="null"' "$WINEPREFIX/user.reg" || fail "the null graphics driver is not set in the prefix"
# Kept running between the cases (each would otherwise start it and the prefix's services anew),
# and gone by itself a while after the last one if stop-server.sh never runs.
timeout 30 "$WINESERVER" -p120 >wineserver.out 2>&1 </dev/null || fail "the server did not start: $(cat wineserver.out)"
# The services start now, not in the middle of a case: when they start, Wine links com1, com2 ...
# to the host's own serial ports (so no case ever uses COM1) and would replace a link a case made.
wine_ok services cmd /c exit
echo "prefix made in $((SECONDS - lib_started)) s"
