#!/usr/bin/env bash
# The layout check on a copy of store/ with one include planted per row: it must fail on
# every include that runs back up the order or into a folder built on the store, and pass
# on those that run down it.
# Usage: check_layout_test.sh CHECK_SCRIPT STORE_DIR
set -euo pipefail
check=${1:?usage: check_layout_test.sh CHECK_SCRIPT STORE_DIR} store=${2:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# file the include is planted in | the include line | pass or fail
rows=$(cat <<'ROWS'
entries/signaturetable.cpp|#include "catalogue/catalogue.h"|fail
pictures/picturesignature.h|#include <search/similargrouping.h>|fail
files/trash.cpp|  #  include "pictures/picturefacts.h"|fail
entries/signaturetable.h|#include "../catalogue/catalogue.h"|fail
pictures/jpeg/jpegdecoder.cpp|#include "../../search/keeprules.h"|fail
search/keeprules.cpp|#include "./../catalogue/sigbox.h"|fail
files/trash.cpp|#include "../../similar/frmSam.h"|fail
catalogue/catalogue.cpp|#include "outside/appsettings.h"|fail
catalogue/catalogue.cpp|#include "entries/signaturetable.h"|pass
search/keeprules.cpp|#include "../pictures/picturefacts.h"|pass
pictures/jpeg/jpegdecoder.cpp|#include "../jpeg/jpegmarkers.h"|pass
pictures/picturesignature.cpp|#include "../../kernel/pixcore.h"|pass
ROWS
)
status=0
while IFS='|' read -r file include expected; do
    rm -rf "$work/store"
    cp -r "$store" "$work/store"
    printf '%s\n' "$include" | cat - "$store/$file" > "$work/store/$file"
    if bash "$check" "$work/store" >/dev/null 2>&1; then got=pass; else got=fail; fi
    if [[ $got != "$expected" ]]; then
        echo "store/$file with $include: the check should $expected, it did $got"
        status=1
    fi
done <<<"$rows"
[[ $status -eq 0 ]] && echo "the layout check catches every planted include"
exit $status
