#!/bin/sh
# Runs a Windows build tool under Wine in the build's own prefix and waits for
# its wineserver to finish.
export WINEPREFIX="${KORVEL_CACHE:-$HOME/.cache/korvel}/wineprefix-tools"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine "$@"
rc=$?
wineserver -w
exit $rc
