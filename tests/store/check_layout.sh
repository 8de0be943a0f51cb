#!/usr/bin/env bash
# Fails when a file under store/ includes a room that comes after its own in the order the
# store's CMakeLists.txt states (lowest first), or a file of the folders built on the store.
# Usage: check_layout.sh STORE_DIR
set -euo pipefail
store=${1:?usage: check_layout.sh STORE_DIR}
order=(entries files pictures search catalogue)
rank() {
    local i
    for i in "${!order[@]}"; do [[ ${order[$i]} == "$1" ]] && { echo "$i"; return; }; done
    echo -1
}
status=0
cd "$store"
for room in */; do
    room=${room%/}
    [[ $(rank "$room") -ge 0 ]] || { echo "store/$room: a room that is not in the stated order"; status=1; }
done
while IFS= read -r file; do
    own=$(rank "${file%%/*}")
    while IFS=: read -r line target; do
        # A path relative to the including file is taken as the folder it lands in.
        if [[ $target == ./* || $target == ../* || $target == */./* || $target == */../* ]]; then
            target=$(realpath -m --relative-to=. "$(dirname "$file")/$target")
            while [[ $target == ../* ]]; do target=${target#../}; done
        fi
        dir=${target%%/*}
        [[ $target == */* ]] || continue
        case $dir in
        app|similar|dialogs|cli|outside)
            echo "store/$file:$line: includes $target from a folder built on the store"; status=1 ;;
        *)
            r=$(rank "$dir")
            if [[ $r -gt $own ]]; then
                echo "store/$file:$line: includes $target, a room after ${file%%/*}"; status=1
            fi ;;
        esac
    done < <(grep -n -o -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<][^">]+' "$file" \
             | sed -E 's/^([0-9]+):.*include[[:space:]]*["<]/\1:/')
done < <(find . -mindepth 2 -name '*.h' -o -mindepth 2 -name '*.cpp' | sed 's#^\./##' | sort)
[[ $status -eq 0 ]] && echo "store layout: every include runs down the order ${order[*]}"
exit $status
