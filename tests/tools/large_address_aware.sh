#!/usr/bin/env bash
# The 32-bit plug-in host is linked large-address-aware: a level the 64-bit host hands on is mapped
# whole, and one of about 1 GiB seldom finds room below 2 GiB.
set -u
exe=$1
number() {  # number OFFSET BYTES: the little-endian number at OFFSET
    od -An -tu"$2" -j "$1" -N "$2" --endian=little "$exe" | tr -d ' '
}
header=$(number 60 4)
[ "$(od -An -c -j "$header" -N 2 "$exe" | tr -d ' ')" = PE ] || { echo "FAIL: $exe has no PE header"; exit 1; }
[ "$(number $((header + 4)) 2)" = 332 ] || { echo "FAIL: $exe is not a 32-bit x86 program"; exit 1; }
# IMAGE_FILE_LARGE_ADDRESS_AWARE in the file header's characteristics.
(($(number $((header + 22)) 2) & 0x20)) || { echo "FAIL: $exe is not large-address-aware"; exit 1; }
echo "large-address-aware: $exe"
