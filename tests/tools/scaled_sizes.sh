#!/usr/bin/env bash
# The window at 144 DPI, in a Wine prefix of its own (Wine reads the DPI from LogPixels once its
# server starts), against the same window at 96 DPI in the project's prefix: the list's rows and the
# toolbar's buttons grow at least 1.4 times, and the about box's texts fit their controls at both.
#   scaled_sizes.sh WINE_WRAPPER PROBE BUILD_DIR
set -u
wine=$1 probe=$2 build=$3
second=$build/dpi144

base=$("$wine" "$probe" </dev/null | tr -d '\r'; exit "${PIPESTATUS[0]}") || { echo "FAIL at 96 DPI: $base"; exit 1; }
# One display for both prefixes: the wrapper started it for the project's prefix.
if [ -z "${DISPLAY:-}" ] && [ -f "$build/xvfb.display" ]; then
    export DISPLAY=:$(cut -d' ' -f1 "$build/xvfb.display")
fi
export KELVANE_BUILD=$second
prefix=$second/wineprefix
if [ ! -f "$prefix/.kelvane-dpi-144" ]; then
    "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f </dev/null >/dev/null 2>&1
    WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1
    WINEPREFIX=$prefix wineserver -w </dev/null >/dev/null 2>&1
    touch "$prefix/.kelvane-dpi-144"
fi
scaled=$("$wine" "$probe" </dev/null | tr -d '\r'; exit "${PIPESTATUS[0]}") || { echo "FAIL at 144 DPI: $scaled"; exit 1; }
echo "96 DPI:  $base"
echo "144 DPI: $scaled"
read -r _ item96 _ width96 height96 _ dpi96 <<<"$base"
read -r _ item144 _ width144 height144 _ dpi144 <<<"$scaled"
failures=0
atLeast() {  # atLeast WHAT SCALED BASE: SCALED >= 1.4 * BASE
    if [ $(($2 * 10)) -lt $(($3 * 14)) ]; then
        echo "FAIL: $1 is $2 at 144 DPI against $3 at 96"
        failures=$((failures + 1))
    fi
}
[ "$dpi96" = 96 ] && [ "$dpi144" = 144 ] || { echo "FAIL: the prefixes give $dpi96 and $dpi144 DPI"; exit 1; }
atLeast "the list's item height" "$item144" "$item96"
atLeast "the toolbar's button width" "$width144" "$width96"
atLeast "the toolbar's button height" "$height144" "$height96"
exit $((failures > 0))
