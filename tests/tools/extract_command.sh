#!/usr/bin/env bash
# kelvane-extract as scripts use it: exit codes 0/1/2, silence on success, one line saying where and
# why on failure, a usage line on misuse.
set -u
wine=$1 extract=$2 plugins=$3 data=$4
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failures=0
expect() {  # expect CODE DESCRIPTION -- ARGS...
    local code=$1 what=$2
    shift 3
    "$wine" "${program:-$extract}" "$@" >"$out/stdout" 2>"$out/stderr" </dev/null
    local got=$?
    if [ "$got" != "$code" ]; then
        echo "FAIL: $what: exit $got, expected $code"
        failures=$((failures + 1))
    fi
}
win() { echo "Z:${1//\//\\}"; }

expect 0 "nested member" -- --plugins "$(win "$plugins")" "$(win "$data")\\outer.zip\\mid.tar\\pack\\inner.zip\\small.txt" "$(win "$out")\\small.txt"
cmp -s "$out/small.txt" "$data/expect/small.txt" || { echo "FAIL: wrong bytes"; failures=$((failures + 1)); }
[ -s "$out/stdout" ] || [ -s "$out/stderr" ] && { echo "FAIL: output on success"; failures=$((failures + 1)); }
one_line_naming() {  # one_line_naming WHAT TEXT...: stderr is one line holding every TEXT
    [ "$(wc -l <"$out/stderr")" = 1 ] || { echo "FAIL: $1: not one line on stderr"; failures=$((failures + 1)); }
    local what=$1 text
    shift
    for text in "$@"; do
        grep -qaF -- "$text" "$out/stderr" || { echo "FAIL: $what: stderr lacks $text"; failures=$((failures + 1)); }
    done
}
expect 1 "missing member" -- --plugins "$(win "$plugins")" "$(win "$data")\\outer.zip\\nothing.txt" "$(win "$out")\\x"
one_line_naming "missing member" "outer.zip" "nothing.txt" "zip.spi"
expect 1 "destination in a missing folder" -- --plugins "$(win "$plugins")" "$(win "$data")\\plain.txt" "$(win "$out")\\none\\x"
one_line_naming "destination in a missing folder" "$(win "$out")\\none\\x"
# Several sources into one folder: each failure one line, the good files written all the same.
mkdir "$out/many"
nested="$(win "$data")\\kept-a.zip\\mid.zip"
expect 1 "several sources" -- --plugins "$(win "$plugins")" --to "$(win "$out")\\many" "$nested\\a.txt" \
    "$nested\\none.txt" "$nested\\b.txt" "$(win "$data")\\missing.zip\\c.txt"
[ "$(wc -l <"$out/stderr")" = 2 ] || { echo "FAIL: several sources: not two lines on stderr"; failures=$((failures + 1)); }
grep -qaF "none.txt" "$out/stderr" && grep -qaF "missing.zip" "$out/stderr" ||
    { echo "FAIL: several sources: a failure unnamed"; failures=$((failures + 1)); }
[ "$(cat "$out/many/a.txt" "$out/many/b.txt" 2>/dev/null)" = $'first member\r\nsecond member\r' ] ||
    { echo "FAIL: several sources: good files not written"; failures=$((failures + 1)); }
expect 0 "several sources, all good" -- --plugins "$(win "$plugins")" --to "$(win "$out")\\many" "$nested\\c.txt"
# Members' names never lead out of the folder: a climbing one comes out under its last component, and
# names that make no file there fail, each on its line.
mkdir -p "$out/slip/sub"
trav="$(win "$data")\\trav.zip"
expect 1 "member names out of the folder" -- --plugins "$(win "$plugins")" --to "$(win "$out")\\slip\\sub" \
    "$trav\\x/../../evil.txt" "$trav\\.." "$trav\\CON" "$trav\\a."
[ "$(wc -l <"$out/stderr")" = 3 ] || { echo "FAIL: member names out of the folder: not three lines"; failures=$((failures + 1)); }
[ "$(ls -A "$out/slip")" = sub ] && [ "$(ls -A "$out/slip/sub")" = evil.txt ] ||
    { echo "FAIL: member names out of the folder: $(find "$out/slip" -type f)"; failures=$((failures + 1)); }
# A plug-in that crashes ends only this command, which says so: a *.spi in its own process, a *.sph in
# the 64-bit plug-in host.
mkdir "$out/spi" "$out/sph" && cp "$plugins/"*.spi "$out/spi/" && cp "$plugins/zip.spi" "$plugins/crash.sph" "$out/sph/"
expect 3 "crashing plug-in" -- --plugins "$(win "$out/spi")" "$(win "$data")\\broken.crash\\a.txt" "$(win "$out")\\x"
one_line_naming "crashing plug-in" "broken.crash" "crash.spi"
expect 3 "crashing plug-in in its host" -- --plugins "$(win "$out/sph")" "$(win "$data")\\broken.crash\\a.txt" "$(win "$out")\\x"
one_line_naming "crashing plug-in in its host" "crash.sph"
# A chain whose middle level only a 64-bit plug-in reads.
mkdir "$out/mixed" && cp "$plugins/zip.spi" "$plugins/tar.sph" "$out/mixed/"
expect 0 "chain across both widths" -- --plugins "$(win "$out/mixed")" \
    "$(win "$data")\\表連鎖.zip\\表\\中.tar\\ソ\\内.zip\\表.txt" "$(win "$out")\\表.txt"
cmp -s "$out/表.txt" "$data/expect/表.txt" || { echo "FAIL: chain across both widths: wrong bytes"; failures=$((failures + 1)); }
# Names outside code page 932 come whole from the command line: a member through the plug-in with wide
# entry points, into a folder named so too. Its failure line, redirected, stays in the code page.
mkdir "$out/José"
expect 0 "member outside code page 932" -- --plugins "$(win "$plugins/wide")" \
    "$(win "$data")\\wide.zip\\été\\한국.txt" "$(win "$out")\\José\\한국.txt"
[ "$(cat "$out/José/한국.txt" 2>/dev/null)" = $'the member outside code page 932\r' ] ||
    { echo "FAIL: member outside code page 932: wrong bytes"; failures=$((failures + 1)); }
expect 1 "missing member outside code page 932" -- --plugins "$(win "$plugins/wide")" \
    "$(win "$data")\\wide.zip\\été\\없음.txt" "$(win "$out")\\José\\x"
one_line_naming "missing member outside code page 932" "wide.zip" "?t?\\??.txt" "widezip.spi"
# An archive downloaded under such a name, and café.txt beside the cafe.txt its best fit would be.
cp "$data/wide.zip" "$out/Zoë-한글.zip"
mkdir "$out/José2"
expect 0 "archive outside code page 932, café beside cafe" -- --plugins "$(win "$plugins/wide")" --to \
    "$(win "$out")\\José2" "$(win "$out")\\Zoë-한글.zip\\été\\한국.txt" "$(win "$data")\\lossy.zip\\café.txt"
[ "$(cat "$out/José2/한국.txt" 2>/dev/null)" = $'the member outside code page 932\r' ] &&
    [ "$(cat "$out/José2/café.txt" 2>/dev/null)" = $'the cafe with an accent\r' ] ||
    { echo "FAIL: archive outside code page 932, café beside cafe: wrong bytes"; failures=$((failures + 1)); }
# Real plug-ins' ways with nested levels (see RealPluginLevelsTest): the first job succeeds, in its own
# process and through the hosts, where the crash of memcrashunlisted.sph costs no job.
mkdir "$out/real" "$out/real64" && cp "$plugins/tar.spi" "$plugins/quirky/threadlist.spi" "$plugins/quirky/memcrash.spi" "$out/real/"
cp "$plugins/tar.spi" "$plugins/quirky/threadlist.sph" "$plugins/quirky/memcrashunlisted.sph" "$out/real64/"
for case in "real inner.tzip\\pack\\deeper.tzip" "real inner.mzip\\pack\\deeper.mzip" \
    "real64 inner.tzip\\pack\\deeper.tzip" "real64 inner.vzip\\pack\\deeper.vzip"; do
    set -- $case
    rm -f "$out/small.txt"
    expect 0 "$1: $2" -- --plugins "$(win "$out/$1")" "$(win "$data")\\levels.tar\\$2\\small.txt" "$(win "$out")\\small.txt"
    cmp -s "$out/small.txt" "$data/expect/small.txt" || { echo "FAIL: $1: $2: wrong bytes"; failures=$((failures + 1)); }
done
# Without --plugins the list comes from Susie's settings, which name no folder here.
"$wine" reg delete 'HKCU\Software\Hosenbu\Susie\Plug-in' /f >/dev/null 2>&1
expect 1 "no Susie folder" -- "$(win "$data")\\outer.zip\\ReadMe.txt" "$(win "$out")\\x"
expect 0 "plain file without plug-ins" -- "$(win "$data")\\plain.txt" "$(win "$out")\\plain.txt"
# A copy of the program with plug-ins in "plugins" beside it needs no setting at all.
bin=$(dirname "$extract")
mkdir -p "$out/inst/plugins" && cp "$extract" "$bin/KelvaneHost.exe" "$bin/KelvaneHost64.exe" "$out/inst/" &&
    cp "$plugins/zip.spi" "$plugins/tar.sph" "$out/inst/plugins/"
rm -f "$out/small.txt"
program="$out/inst/kelvane-extract.exe"
expect 0 "plug-ins beside the program" -- "$(win "$data")\\outer.zip\\mid.tar\\pack\\inner.zip\\small.txt" "$(win "$out")\\small.txt"
cmp -s "$out/small.txt" "$data/expect/small.txt" || { echo "FAIL: beside: wrong bytes"; failures=$((failures + 1)); }
# --list-plugins: the folder and where it came from first, then one line per plug-in file.
listed() {  # listed WHAT LINE...: stdout holds each LINE whole
    local what=$1 line
    shift
    for line in "$@"; do
        grep -qaxF -- "$line" "$out/stdout" || { echo "FAIL: $what: no line '$line' in: $(cat -A "$out/stdout")"; failures=$((failures + 1)); }
    done
}
inst="$(win "$out/inst")"
expect 0 "list beside" -- --list-plugins
listed "list beside" "FOLDER	$inst\\plugins	beside" "zip.spi	32	loaded	*.zip" "tar.sph	64	loaded	*.tar"
mkdir "$out/susie" "$out/own"
"$wine" reg add 'HKCU\Software\Hosenbu\Susie\Plug-in' /v Path /d "$(win "$out/susie")" /f >/dev/null 2>&1
expect 0 "list Susie's" -- --list-plugins
listed "list Susie's" "FOLDER	$(win "$out/susie")	susie"
# Kelvane's own choice holds over Susie's; every state a fresh process can see, each plug-in asked alone.
cp "$plugins/tar.spi" "$plugins/zip.spi" "$plugins/faulty/wrongtype.spi" "$plugins/faulty/infocrash.spi" "$out/own/"
cp "$plugins/tar.sph" "$out/own/wide.spi"
"$wine" reg add 'HKCU\Software\Ombrik\Kelvane' /v PluginDir /d "$(win "$out/own")" /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Ombrik\Kelvane\Plug-ins\Activate' /v zip.spi /t REG_DWORD /d 0 /f >/dev/null 2>&1
expect 0 "list Kelvane's" -- --list-plugins
listed "list Kelvane's" "FOLDER	$(win "$out/own")	kelvane" "infocrash.spi	32	not-loadable	" "tar.spi	32	loaded	*.tar" \
    "wide.spi	64	not-loadable	" "wrongtype.spi	32	not-archive	" "zip.spi	32	off	*.zip"
[ "$(wc -l <"$out/stdout")" = 6 ] || { echo "FAIL: list Kelvane's: not six lines"; failures=$((failures + 1)); }
"$wine" reg delete 'HKCU\Software\Ombrik\Kelvane' /f >/dev/null 2>&1
"$wine" reg delete 'HKCU\Software\Hosenbu\Susie\Plug-in' /f >/dev/null 2>&1
program=$extract
# --list: the members below the place named, in the archive's order, two levels down through a plug-in
# that names members with "/" and crashes on memory input; one that has no listing says so.
mkdir "$out/quirky"
cp "$plugins/tar.spi" "$plugins/zip.spi" "$plugins/quirky/memcrash.spi" "$plugins/quirky/diskonly.spi" "$out/quirky/"
expect 0 "list nested" -- --plugins "$(win "$out/quirky")" --list "$(win "$data")\\levels.tar\\inner.mzip\\pack\\deeper.mzip"
time='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}'
[ "$(grep -acxE "14	$time	small\.txt|6900	$time	docs\\\\readme\.txt" "$out/stdout")" = 2 ] &&
    [ "$(wc -l <"$out/stdout")" = 2 ] || { echo "FAIL: list nested: $(cat -A "$out/stdout")"; failures=$((failures + 1)); }
expect 1 "list without a listing" -- --plugins "$(win "$out/quirky")" --list "$(win "$data")\\quirks.zip\\inner.dtar"
one_line_naming "list without a listing" "inner.dtar" "diskonly.spi"
# Nor can a folder inside it be told: the same reason, not "not found".
expect 1 "list a folder without a listing" -- --plugins "$(win "$out/quirky")" --list "$(win "$data")\\quirks.zip\\inner.dtar\\docs"
one_line_naming "list a folder without a listing" "docs" "diskonly.spi"
grep -qaF "$(printf '\x88\xea\x97\x97')" "$out/stderr" || { echo "FAIL: list a folder without a listing: not the listing's reason"; failures=$((failures + 1)); }
expect 2 "--list without a source" -- --list
expect 2 "no arguments" --
grep -q '^usage: kelvane-extract' "$out/stderr" || { echo "FAIL: no usage line"; failures=$((failures + 1)); }
expect 2 "one argument" -- only-one
expect 2 "--plugins without a folder" -- --plugins
exit $((failures > 0))
