#!/bin/sh
# Starts (start) or ends (stop) the Wine session the Windows tests run in. The
# caller sets WINEPREFIX (a prefix inside the build folder), WINEDEBUG and
# WINEDLLOVERRIDES. One persistent wineserver serves every test; without it
# each program waits for Wine's background processes to wind down.
set -eu
case "${1:-}" in
start)
    mkdir -p "$WINEPREFIX"
    # The server and Wine's services (which the first program starts) must not
    # hold on to anyone's output: start them here, writing to a log.
    wineserver -p </dev/null >"$WINEPREFIX.log" 2>&1
    wine wineboot --init </dev/null >>"$WINEPREFIX.log" 2>&1
    echo "wine session ready in $WINEPREFIX"
    ;;
stop)
    wineserver -k || true
    echo "wine session ended"
    ;;
*)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
