#!/usr/bin/env bash
# The window at 144 DPI, in a Wine prefix of its own (scripts/wine with KELVANE_DPI), against the same
# window at 96 DPI in the project's prefix: the list's rows and the toolbar's buttons grow at least
# 1.4 times, and the about box's texts fit their controls at both.
#   scaled_sizes.sh WINE_WRAPPER PROBE
set -u
wine=$1 probe=$2

sizes() {  # the probe's line, without the console's carriage return
    "$wine" "$probe" </dev/null | tr -d '\r'
    return "${PIPESTATUS[0]}"
}
base=$(KELVANE_DPI= sizes) || { echo "FAIL at 96 DPI: $base"; exit 1; }
scaled=$(KELVANE_DPI=144 sizes) || { echo "FAIL at 144 DPI: $scaled"; exit 1; }
echo "96 DPI:  $base"
echo "144 DPI: $scaled"
read -r _ item96 _ width96 height96 _ dpi96 <<<"$base"
read -r _ item144 _ width144 height144 _ dpi144 <<<"$scaled"
[ "$dpi96" = 96 ] && [ "$dpi144" = 144 ] || { echo "FAIL: the prefixes give $dpi96 and $dpi144 DPI"; exit 1; }
failures=0
atLeast() {  # atLeast WHAT SCALED BASE: SCALED >= 1.4 * BASE
    if [ $(($2 * 10)) -lt $(($3 * 14)) ]; then
        echo "FAIL: $1 is $2 at 144 DPI against $3 at 96"
        failures=$((failures + 1))
    fi
}
atLeast "the list's item height" "$item144" "$item96"
atLeast "the toolbar's button width" "$width144" "$width96"
atLeast "the toolbar's button height" "$height144" "$height96"
exit $((failures > 0))
