#!/usr/bin/env bash
# The installer as a user meets it, in a Wine prefix that nothing else has touched: a silent install,
# what it writes, the installed program running with its drop handler registered in both views, a
# silent install over the running program that keeps the user's data and its queue, then a silent
# uninstall after which nothing of Kelvane remains.
#   installer.sh SOURCE_FOLDER BUILD_FOLDER BIN_FOLDER
set -u
root=$1 build=$2 bin=$3
work=$build/installer
prefix=$work/wineprefix
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Prepared once for the build's own prefix and shared: the Japanese locale and the display.
"$root/scripts/wine" cmd /c exit </dev/null >/dev/null 2>&1
mkdir -p "$work"
ln -sfn "$build/locale" "$work/locale"
[ -z "${DISPLAY:-}" ] && cp "$build/xvfb.display" "$work/xvfb.display"
export KELVANE_BUILD=$work
stop_prefix() { WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1; WINEPREFIX=$prefix wineserver -w >/dev/null 2>&1; }
stop_prefix
rm -rf "$prefix"
trap stop_prefix EXIT

w() { "$root/scripts/wine" "$@" </dev/null >>"$work/wine.log" 2>&1; }
# until_true SECONDS COMMAND...: waits until the command succeeds, at most that long.
until_true() {
    local limit=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < limit)) || return 1
        sleep 0.2
    done
}
# data KEY NAME [VIEW]: a value's data as reg prints it ("" for the key's default value).
data() {
    local name=(/v "$2")
    [ -z "$2" ] && name=(/ve)
    "$root/scripts/wine" reg query "$1" "${name[@]}" ${3:+"$3"} </dev/null 2>/dev/null | tr -d '\r' |
        LC_ALL=C sed -n 's/^ *.*  *REG_[A-Z_]*  *//p'
}
key_exists() { "$root/scripts/wine" reg query "$1" ${2:+"$2"} </dev/null >/dev/null 2>&1; }
expect_data() {  # expect_data KEY NAME EXPECTED [VIEW]
    local got
    got=$(data "$1" "$2" "${4:-}")
    [ "$got" = "$3" ] || fail "$1 [$2] is '$got', expected '$3'"
}

files=(Kelvane.exe KelvaneHost.exe KelvaneHost64.exe KelvaneSX.dll KelvaneSX64.dll kelvane-extract.exe)
stage=$work/stage
rm -rf "$stage" && mkdir -p "$stage"
for f in "${files[@]}"; do cp "$bin/$f" "$stage/"; done
cp "$root/README.md" "$stage/"
setup=$work/KelvaneSetup.exe
rm -f "$setup"
"$root/scripts/make-installer" "$stage" "$setup" || { echo "FAIL: makensis"; exit 1; }

started=$SECONDS
w wineboot -i
echo "fresh prefix: $((SECONDS - started)) s"

# Paused, so that the jobs handed over below wait in the queue.
w reg add 'HKCU\Software\Ombrik\Kelvane' /v Mode /t REG_DWORD /d 1 /f
w "$setup" /S || fail "silent install: exit $?"
user=$(id -un)
local_unix=$prefix/drive_c/users/$user/AppData/Local
local_win="C:\\users\\$user\\AppData\\Local"
dir=$local_unix/Programs/Kelvane
dir_win="$local_win\\Programs\\Kelvane"
for f in "${files[@]}" README.md; do
    cmp -s "$stage/$f" "$dir/$f" || fail "$f not installed"
done
[ -f "$dir/Uninstall.exe" ] || fail "no uninstaller"
shortcut="$prefix/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Kelvane.lnk"
[ -f "$shortcut" ] || fail "no Start menu shortcut"

uninstall='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvane'
version=$(grep -o 'Version [0-9][0-9.]*' "$root/app/Kelvane.rc" | head -1 | cut -d' ' -f2)
expect_data "$uninstall" DisplayName Kelvane
expect_data "$uninstall" DisplayVersion "$version"
expect_data "$uninstall" Publisher Ombrik
expect_data "$uninstall" DisplayIcon "$dir_win\\Kelvane.exe,0"
expect_data "$uninstall" InstallLocation "$dir_win"
expect_data "$uninstall" UninstallString "\"$dir_win\\Uninstall.exe\""
expect_data "$uninstall" QuietUninstallString "\"$dir_win\\Uninstall.exe\" /S"
expect_data "$uninstall" NoModify 0x1
expect_data "$uninstall" NoRepair 0x1
size=$(data "$uninstall" EstimatedSize)
installed_kib=$(du -sk --apparent-size "$dir" | cut -f1)
# In KiB, as the files take them: within a tenth of what the folder holds.
(( size > 0 && size * 10 >= installed_kib * 9 && size * 10 <= installed_kib * 11 )) ||
    fail "EstimatedSize $((size)) KiB for $installed_kib KiB installed"
run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
expect_data "$run" Kelvane "\"$dir_win\\Kelvane.exe\""

# Started by the installer, the program registers the drop handler beside it in both views.
clsid='HKCR\CLSID\{5B0E7C3A-9D41-4F62-8A17-C3E2D6F90B84}\InprocServer32'
registered() { [ "$(data "$clsid" "" /reg:32)" = "$dir_win\\KelvaneSX.dll" ] &&
               [ "$(data "$clsid" "" /reg:64)" = "$dir_win\\KelvaneSX64.dll" ] &&
               key_exists 'HKCR\Folder\shellex\DragDropHandlers\Kelvane' /reg:32 &&
               key_exists 'HKCR\Folder\shellex\DragDropHandlers\Kelvane' /reg:64; }
until_true 60 registered || fail "the installed program did not register its drop handler in both views"

# The user's data, which an install over the running program keeps and the uninstaller removes.
w reg add 'HKCU\Software\Ombrik\Kelvane' /v Probe /t REG_SZ /d kept /f
mkdir -p "$local_unix/Kelvane" && echo kept >"$local_unix/Kelvane/probe"
sid=$("$root/scripts/wine" reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\ProfileList' </dev/null 2>/dev/null |
      grep -o 'S-1-5-21-[0-9-]*' | head -1)
temporary=$prefix/drive_c/ProgramData/Kelvane/$sid
[ -n "$sid" ] || fail "no SID for the user in the prefix"
mkdir -p "$temporary/~kv1" && echo x >"$temporary/~kv1/x"
# Two jobs waiting, handed over through the installed drop handler as the shell would.
testdata="Z:${build//\//\\}\\testdata"
queue=$local_unix/Kelvane/queue.dat
queued() { [ "$(grep -o -a -e 'inner.zip.small.txt' -e 'inner.zip.big.bin' "$queue" 2>/dev/null | wc -l)" = "$1" ]; }
w "$bin/kelvane-shell.exe" drop 'C:\' "$testdata\\inner.zip\\small.txt" "$testdata\\inner.zip\\big.bin" ||
    fail "the hand-off to the installed program failed"
until_true 20 queued 2 || fail "the installed program did not keep the jobs handed over"

# Over the running program: it is asked to quit, the files are replaced, and it starts again.
# Wine's processes are Linux processes named by their Windows path; the prefix tells them apart.
pids() {
    local pid
    for pid in $(pgrep -f 'Programs.Kelvane.Kelvane\.exe'); do
        grep -qzx "WINEPREFIX=$prefix" "/proc/$pid/environ" 2>/dev/null && echo "$pid"
    done
}
processes() { pids | wc -l; }
before=$(pids)
w "$setup" /S || fail "install over the running program: exit $?"
expect_data 'HKCU\Software\Ombrik\Kelvane' Probe kept
[ -f "$local_unix/Kelvane/probe" ] || fail "an install over the program removed its data"
until_true 60 registered || fail "the program did not start again after the second install"
queued 2 || fail "the install over the program lost its queue"
running() { [ "$(processes)" = "$1" ]; }
until_true 10 running 1 || fail "$(processes) programs run after the second install, expected 1"
[ -n "$before" ] && ! grep -qx "$before" <<<"$(pids)" || fail "the program that ran before the second install still runs"

w "$dir/Uninstall.exe" /S || fail "silent uninstall: exit $?"
# The uninstaller runs on from a copy of itself: wait for its end, the uninstall entry gone last.
gone() { [ ! -e "$dir" ] && ! key_exists "$uninstall"; }
until_true 60 gone || fail "the uninstaller did not finish"
until_true 10 running 0 || fail "the program still runs after the uninstall"
[ -e "$dir" ] && fail "left: $(ls -A "$dir")"
[ -e "$shortcut" ] && fail "left: the Start menu shortcut"
[ -e "$local_unix/Kelvane" ] && fail "left: %LOCALAPPDATA%\\Kelvane"
[ -e "$prefix/drive_c/ProgramData/Kelvane" ] && fail "left: %ProgramData%\\Kelvane"
for key in "$uninstall" 'HKCU\Software\Ombrik' "$clsid" 'HKCR\Folder\shellex\DragDropHandlers\Kelvane'; do
    for view in /reg:32 /reg:64; do
        key_exists "$key" "$view" && fail "left: $key ($view)"
    done
done
[ -z "$(data "$run" Kelvane)" ] || fail "left: the Run value"

echo "installer: $(stat -c %s "$setup") bytes, test took $SECONDS s"
[ "$failures" = 0 ] && rm -rf "$prefix"
exit $((failures > 0))
