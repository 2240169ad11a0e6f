#!/usr/bin/env bash
# The installer as a user meets it, in a Wine prefix that nothing else has touched: a silent install
# over an older program, what it writes, the installed program running with its drop handler
# registered in both views, a setup refused under an unelevated shell, a silent install over the
# running program (its drop handler held loaded) that keeps the user's data, queue and choices, then
# a silent uninstall after which nothing of Kelvane remains, and nothing of anybody else's goes.
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
# The first install's drop handler differs from the second's, which must replace it while loaded.
older=$work/older
rm -rf "$older" && cp -r "$stage" "$older" && echo older >>"$older/KelvaneSX64.dll"
older_setup=$work/KelvaneSetupOlder.exe
"$root/scripts/make-installer" "$older" "$older_setup" || { echo "FAIL: makensis"; exit 1; }

started=$SECONDS
w wineboot -i
echo "fresh prefix: $((SECONDS - started)) s"

# Paused, so that the jobs handed over below wait in the queue.
w reg add 'HKCU\Software\Ombrik\Kelvane' /v Mode /t REG_DWORD /d 1 /f
user=$(id -un)
local_unix=$prefix/drive_c/users/$user/AppData/Local
local_win="C:\\users\\$user\\AppData\\Local"
dir=$local_unix/Programs/Kelvane
dir_win="$local_win\\Programs\\Kelvane"
uninstall='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvane'
run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
# Wine's processes are Linux processes named by their Windows path; the prefix tells them apart.
pids() {
    local pid
    for pid in $(pgrep -f "$1"); do
        grep -qzx "WINEPREFIX=$prefix" "/proc/$pid/environ" 2>/dev/null && echo "$pid"
    done
}
# in_background NAME PROGRAM ARGS...: started, and waited for until it prints "ready".
in_background() {
    local name=$1
    shift
    "$root/scripts/wine" "$@" </dev/null >"$work/$name.out" 2>>"$work/wine.log" &
    until_true 30 grep -q ready "$work/$name.out" || fail "$name did not get ready"
}
end_background() { kill $(pids "$1") 2>/dev/null; until_true 10 test -z "$(pids "$1")" || fail "$1 did not end"; }

# Over a version that does not know setup's quit: it gets the user's exit command.
w reg add "$uninstall" /v DisplayVersion /t REG_SZ /d 0.04 /f
w reg add "$run" /v Kelvane /t REG_SZ /d "\"$dir_win\\Kelvane.exe\"" /f
"$root/scripts/wine" "$bin/older-resident.exe" </dev/null >>"$work/wine.log" 2>&1 &
older_pid=$!
w "$bin/kelvane-shell.exe" wait || fail "the older program did not start"
w "$older_setup" /S || fail "silent install over an older program: exit $?"
until_true 10 eval '! kill -0 $older_pid 2>/dev/null' || fail "the older program still runs after setup"
for f in "${files[@]}" README.md; do
    cmp -s "$older/$f" "$dir/$f" || fail "$f not installed"
done
[ -f "$dir/Uninstall.exe" ] || fail "no uninstaller"
shortcut="$prefix/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Kelvane.lnk"
[ -f "$shortcut" ] || fail "no Start menu shortcut"
sendto="$prefix/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/SendTo/Kelvane.lnk"
[ -f "$sendto" ] || fail "no Send To shortcut"

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
expect_data "$run" Kelvane "\"$dir_win\\Kelvane.exe\""

# Started by the installer, the program registers the drop handler beside it in both views.
clsid='HKCR\CLSID\{5B0E7C3A-9D41-4F62-8A17-C3E2D6F90B84}\InprocServer32'
registered() { [ "$(data "$clsid" "" /reg:32)" = "$dir_win\\KelvaneSX.dll" ] &&
               [ "$(data "$clsid" "" /reg:64)" = "$dir_win\\KelvaneSX64.dll" ] &&
               key_exists 'HKCR\Folder\shellex\DragDropHandlers\Kelvane' /reg:32 &&
               key_exists 'HKCR\Folder\shellex\DragDropHandlers\Kelvane' /reg:64; }
until_true 60 registered || fail "the installed program did not register its drop handler in both views"

# No Susie settings here: plug-ins copied into the empty folder beside the program are all it needs.
[ -d "$dir/plugins" ] && [ -z "$(ls -A "$dir/plugins")" ] || fail "no empty plugins folder"
cp "$build/plugins/zip.spi" "$build/plugins/tar.sph" "$dir/plugins/"
w "$dir/kelvane-extract.exe" "Z:${build//\//\\}\\testdata\\outer.zip\\mid.tar\\pack\\inner.zip\\small.txt" 'C:\small.txt' ||
    fail "the installed kelvane-extract did not find the plug-ins beside it"
cmp -s "$prefix/drive_c/small.txt" "$build/testdata/expect/small.txt" || fail "plug-ins beside: wrong bytes"

# The user's data, which an install over the running program keeps and the uninstaller removes.
w reg add 'HKCU\Software\Ombrik\Kelvane' /v Probe /t REG_SZ /d kept /f
mkdir -p "$local_unix/Kelvane" && echo kept >"$local_unix/Kelvane/probe"
echo x >"$local_unix/Kelvane/~kv1-0123abcd-7.tmp"
sid=$("$root/scripts/wine" reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\ProfileList' </dev/null 2>/dev/null |
      grep -o 'S-1-5-21-[0-9-]*' | head -1)
temporary=$prefix/drive_c/ProgramData/Kelvane/$sid
[ -n "$sid" ] || fail "no SID for the user in the prefix"
# Another user made the folder for copies, as a link to this user's documents.
documents=$prefix/drive_c/users/$user/Documents/mine
mkdir -p "$documents" "$(dirname "$temporary")" && echo x | tee "$documents/~kv1-0123abcd-7.tmp" >"$documents/mine.txt"
ln -s "$documents" "$temporary"
# Two jobs waiting, handed over through the installed drop handler as the shell would.
testdata="Z:${build//\//\\}\\testdata"
queue=$local_unix/Kelvane/queue.dat
queued() { [ "$(grep -o -a -e 'inner.zip.small.txt' -e 'inner.zip.big.bin' "$queue" 2>/dev/null | wc -l)" = "$1" ]; }
w "$bin/kelvane-shell.exe" drop 'C:\' "$testdata\\inner.zip\\small.txt" "$testdata\\inner.zip\\big.bin" ||
    fail "the hand-off to the installed program failed"
until_true 20 queued 2 || fail "the installed program did not keep the jobs handed over"

program='Programs.Kelvane.Kelvane\.exe'
processes() { pids "$program" | wc -l; }
before=$(pids "$program")
# Under a shell that runs unelevated, setup (elevated above it, as everything is under Wine) refuses.
in_background desktop "$bin/kelvane-shell.exe" desktop 60
w "$setup" /S
refused=$?
end_background 'kelvane-shell\.exe'
[ "$refused" = 3 ] || fail "setup elevated above the shell: exit $refused, expected 3"
[ "$(pids "$program")" = "$before" ] || fail "a refused setup touched the running program"

# Over the running program: it is asked to quit, the files are replaced, even the drop handler that
# a shell holds loaded, and it starts again. The user's choice not to start at logon stays.
w reg delete "$run" /v Kelvane /f
in_background holder "$bin/kelvane-shell64.exe" hold 60
w "$setup" /S || fail "install over the running program: exit $?"
[ -n "$before" ] && ! grep -qx "$before" <<<"$(pids "$program")" || fail "setup ended before the program it replaced"
for f in "${files[@]}" README.md; do
    cmp -s "$stage/$f" "$dir/$f" || fail "$f not replaced"
done
end_background 'kelvane-shell64\.exe'
[ -z "$(data "$run" Kelvane)" ] || fail "the upgrade turned starting at logon on again"
expect_data 'HKCU\Software\Ombrik\Kelvane' Probe kept
[ -f "$local_unix/Kelvane/probe" ] || fail "an install over the program removed its data"
until_true 60 registered || fail "the program did not start again after the second install"
queued 2 || fail "the install over the program lost its queue"
running() { [ "$(processes)" = "$1" ]; }
until_true 10 running 1 || fail "$(processes) programs run after the second install, expected 1"

w "$dir/Uninstall.exe" /S || fail "silent uninstall: exit $?"
# The uninstaller runs on from a copy of itself: wait for its end, the uninstall entry gone last.
gone() { [ ! -e "$dir/Uninstall.exe" ] && ! key_exists "$uninstall"; }
until_true 60 gone || fail "the uninstaller did not finish"
until_true 10 running 0 || fail "the program still runs after the uninstall"
# The user's plug-ins stay, in their folder, and nothing else.
[ "$(cd "$dir" 2>/dev/null && find . | sort | tr '\n' ' ')" = ". ./plugins ./plugins/tar.sph ./plugins/zip.spi " ] ||
    fail "left: $(cd "$dir" && find .)"
[ -e "$shortcut" ] && fail "left: the Start menu shortcut"
[ -e "$sendto" ] && fail "left: the Send To shortcut"
# Of its data folder only the user's own file stays; through the link, nothing goes.
[ "$(ls -A "$local_unix/Kelvane")" = probe ] || fail "left in %LOCALAPPDATA%\\Kelvane: $(ls -A "$local_unix/Kelvane")"
[ "$(ls -A "$documents" | wc -l)" = 2 ] || fail "the uninstaller removed files through a link: $(ls -A "$documents")"
for key in "$uninstall" 'HKCU\Software\Ombrik' "$clsid" 'HKCR\Folder\shellex\DragDropHandlers\Kelvane'; do
    for view in /reg:32 /reg:64; do
        key_exists "$key" "$view" && fail "left: $key ($view)"
    done
done
[ -z "$(data "$run" Kelvane)" ] || fail "left: the Run value"

echo "installer: $(stat -c %s "$setup") bytes, test took $SECONDS s"
[ "$failures" = 0 ] && rm -rf "$prefix"
exit $((failures > 0))
