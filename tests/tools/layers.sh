#!/usr/bin/env bash
# The folders are layers and include downwards only: each may include itself and what its line
# names. A new folder must be given a line here.
set -u
root=$1
declare -A allowed=(
    [base]=""
    [engine]="base"
    [handoff]="base"
    [host]="base engine"
    [jobs]="base engine host"
    [shellext]="base handoff"
    [app]="base engine handoff host jobs shellext"
    [tools]="base engine handoff host jobs shellext app"
)
failures=0
cd "$root" || exit 1
for folder in "${!allowed[@]}"; do
    while IFS=: read -r file included; do
        layer=${included%%/*}
        [ "$layer" = "$folder" ] && continue
        case " ${allowed[$folder]} " in
            *" $layer "*) ;;
            *) echo "FAIL: $file includes $included"; failures=$((failures + 1)) ;;
        esac
    done < <(grep -rHo --include='*.cpp' --include='*.h' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]*/[^"]*"' "$folder" |
             sed 's/:[^"]*"/:/; s/"$//')
done
for folder in */; do
    folder=${folder%/}
    case $folder in tests | bench | scripts | cmake | docs | build*) continue ;; esac
    [ -n "${allowed[$folder]+set}" ] || { echo "FAIL: the folder $folder has no layer"; failures=$((failures + 1)); }
done
[ "$failures" = 0 ] && echo "layers: every include runs downwards"
exit $((failures > 0))
