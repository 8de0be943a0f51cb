#!/usr/bin/env bash
# Fails when a text of the window program has no finished English translation, or the
# translation file keeps one whose Japanese text the program no longer has.
# usage: check_complete.sh LUPDATE LCONVERT SOURCE_DIR TS_FILE [lupdate options...]
set -euo pipefail
lupdate=$1 lconvert=$2 source=$3 ts=$4
shift 4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# lupdate on a copy: what it adds is what the file lacks; the file itself stays as it is.
cp "$ts" "$work/current.ts"
(cd "$source" && "$lupdate" -silent -recursive app similar dialogs outside store -extensions cpp,h \
    "$@" -ts "$work/current.ts") >"$work/lupdate.log" 2>&1 || { cat "$work/lupdate.log"; exit 1; }
if grep -q . "$work/lupdate.log"; then
    echo "lupdate reports:" >&2
    cat "$work/lupdate.log" >&2
    exit 1
fi

status=0
grep -q '<TS version="[^"]*" language="en" sourcelanguage="ja">' "$work/current.ts" || {
    echo "$ts: not a Japanese-to-English translation file" >&2
    status=1
}
# The unfinished ones (new texts and those marked unfinished), as PO entries for reading.
"$lconvert" -no-obsolete -no-finished -i "$work/current.ts" -of po -o "$work/unfinished.po"
if grep -q '^msgid "[^"]' "$work/unfinished.po"; then
    echo "Texts without a finished English translation:" >&2
    grep -B1 '^msgid "[^"]' "$work/unfinished.po" >&2 || true
    status=1
fi
if grep -q 'type="vanished"\|type="obsolete"' "$work/current.ts"; then
    echo "Translations of texts the program no longer has:" >&2
    grep -B2 'type="vanished"\|type="obsolete"' "$work/current.ts" | grep '<source>' >&2 || true
    status=1
fi
# A finished translation that is empty would show an empty caption.
if grep -q '<translation></translation>' "$work/current.ts"; then
    echo "Empty translations:" >&2
    grep -B1 '<translation></translation>' "$work/current.ts" | grep '<source>' >&2 || true
    status=1
fi
if [[ $status -eq 0 ]]; then
    echo "every text has its English: $(grep -c '<message' "$work/current.ts") messages"
fi
exit $status
