#!/usr/bin/env bash
# Ends the prefix's server and everything Wine still runs in it, and waits until they are gone.
. "$(dirname "$0")/wine-lib.sh"
timeout 30 "$WINESERVER" -k >/dev/null 2>&1 </dev/null || true
timeout 30 "$WINESERVER" -w >/dev/null 2>&1 </dev/null || fail "the Wine server did not end"
