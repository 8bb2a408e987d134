#!/usr/bin/env bash
# Creates (or reuses) the wine prefix in which the Windows tests run: initialised once, with the
# null graphics driver so that windows and dialogs work without any display. Idempotent.
#
#   WINEPREFIX   the prefix to prepare (default: $HOME/.wine-tovrin-tests)
#
# Prints the environment the mingw build's ctest needs.
set -euo pipefail

export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-tovrin-tests}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}" # no Mono or Gecko prompts
unset DISPLAY WAYLAND_DISPLAY

if ! command -v wine >/dev/null; then
    echo "prepare-prefix: wine is not installed" >&2
    exit 1
fi

driver_key='HKCU\Software\Wine\Drivers'
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
fi
if ! grep -q '"Graphics"="null"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add "$driver_key" /v Graphics /d null /f >/dev/null 2>&1
fi
wineserver -w

if ! grep -q '"Graphics"="null"' "$WINEPREFIX/user.reg"; then
    echo "prepare-prefix: could not set the null graphics driver in $WINEPREFIX" >&2
    exit 1
fi
echo "export WINEPREFIX=$WINEPREFIX WINEDEBUG=$WINEDEBUG"
