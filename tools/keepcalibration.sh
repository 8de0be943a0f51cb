#!/usr/bin/env bash
# keepcalibration.sh CORPUS [COUNT] [WORK]
#
# Which keep rule keeps the original: makes, from the first COUNT (default 30) originals of
# CORPUS/originals, copies that a user would not keep and catalogues each kind with the
# originals in shuffled order:
#   smaller (a quarter of the pixels), q40 (re-saved at quality 40), upscaled (shrunk to half
#   and blown back up), blur95 (blurred, re-saved at 95), grey, crop97 (one column cropped,
#   re-saved at 97), bright (brightened by 10 % at the original's quality) -- random file times;
#   resave95, resave98 (the same pixels re-saved at 95 and 98, of the originals saved at 75 to
#   92 only, with the original's own file time); folder (a byte-identical copy of the same name
#   in a copied folder, "写真 - コピー", made later than the original); mirror95, turn95,
#   bright95 (mirrored, turned a quarter, brightened, each re-saved at 95: edits, written after
#   their original, a minute to 30 days later) and half85 (half the sides, exported at 85) --
#   random file times. EDIT_TIMES=random gives the edits random times too.
# Runs every rule through `lumo-cli similar --keep` at levels 10, 20 and 30, plain and with
# --turned --grey, and prints per rule and kind in how many groups of an original and its
# copy the original is kept ("all": the original and every copy in one catalogue), then the
# same for the corpus's own copies (truth.tsv).
#
# Needs ImageMagick and jq. LUMO_CLI names the lumo-cli to run (default:
# build/bin/lumo-cli beside this folder). WORK (default: a temporary folder) keeps the copies.
#   ../shared/tools/make_corpus.sh /tmp/corpus && tools/keepcalibration.sh /tmp/corpus
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
corpus=$(cd "${1:?usage: keepcalibration.sh CORPUS [COUNT] [WORK]}" && pwd)
count=${2:-30}
cli=${LUMO_CLI:-$here/../build/bin/lumo-cli}
[ -x "$cli" ] || { echo "keepcalibration.sh: $cli: no lumo-cli there (build it, or set LUMO_CLI)" >&2; exit 1; }
if [ -n "${3:-}" ]; then
    work=$(mkdir -p "$3" && cd "$3" && pwd)
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi

kinds=(smaller q40 upscaled blur95 grey crop97 bright resave95 resave98 folder mirror95 turn95 bright95 half85)
rules=(best pixels size newest oldest base)
levels=(10 20 30)
modes=(plain turned-grey)
# A copied folder, named as a file manager names it.
copied="写真 - コピー"

# The same shuffle and the same file times on every run.
random_source() { yes keepcalibration; }

mkdir -p "$work/copies/$copied"
for original in $(ls "$corpus"/originals/*.jpg | LC_ALL=C sort | head -n "$count"); do
    name=$(basename "$original" .jpg)
    read -r width height quality < <(identify -quiet -format '%w %h %Q\n' "$original[0]")
    cp -p "$original" "$work/copies/$name.jpg"
    for kind in "${kinds[@]}"; do
        copy=$work/copies/${name}__$kind.jpg
        [ -s "$copy" ] && continue
        case $kind in
        smaller) convert "$original" -resize 50% -quality "$quality" "$copy" ;;
        q40) convert "$original" -quality 40 "$copy" ;;
        upscaled) convert "$original" -resize 50% -resize "${width}x${height}!" -quality "$quality" "$copy" ;;
        blur95) convert "$original" -blur 0x1.5 -quality 95 "$copy" ;;
        grey) convert "$original" -colorspace Gray -quality "$quality" "$copy" ;;
        crop97) convert "$original" -crop "$((width - 1))x$height+1+0" +repage -quality 97 "$copy" ;;
        bright) convert "$original" -modulate 110 -quality "$quality" "$copy" ;;
        resave95 | resave98)
            [ "$quality" -ge 75 ] && [ "$quality" -le 92 ] || continue
            convert "$original" -quality "${kind#resave}" "$copy" ;;
        folder) cp "$original" "$work/copies/$copied/$name.jpg" ;;
        mirror95) convert "$original" -flop -quality 95 "$copy" ;;
        turn95) convert "$original" -rotate 90 -quality 95 "$copy" ;;
        bright95) convert "$original" -modulate 110 -quality 95 "$copy" ;;
        half85) convert "$original" -resize 50% -quality 85 "$copy" ;;
        esac
    done
done

# Times that say nothing: every file somewhere in the last ten years; but a re-save keeps its
# original's time, an edit and a copied folder are younger than what they come from.
now=$(date +%s)
pictures() { find "$work/copies" -name '*.jpg' | LC_ALL=C sort; }
pictures | awk -v now="$now" 'BEGIN { srand(7) } { printf "%d %s\n", now - int(rand() * 315360000), $0 }' |
    while read -r time path; do touch -d "@$time" "$path"; done
for copy in "$work"/copies/*__resave9[58].jpg; do
    [ -e "$copy" ] && touch -r "${copy%__*}.jpg" "$copy"
done
if [ "${EDIT_TIMES:-later}" != random ]; then
    for copy in "$work"/copies/*__{mirror95,turn95,bright95}.jpg; do
        [ -e "$copy" ] || continue
        delay=$(($(cksum <<<"$(basename "$copy")" | cut -d' ' -f1) % 2592000 + 60))
        touch -d "@$(($(stat -c %Y "${copy%__*}.jpg") + delay))" "$copy"
    done
fi
for copy in "$work/copies/$copied"/*.jpg; do
    touch -d "@$(($(stat -c %Y "$work/copies/$(basename "$copy")") + 86400))" "$copy"
done

# A catalogue per kind (originals and that kind of copy) and one of everything, each in
# shuffled order.
catalogue() { # NAME REGEX: the originals and the copies whose names match
    rm -f "$work/$1.sbx"
    pictures | awk -v copies="$2" '!/__|コピー/ || $0 ~ copies' |
        shuf --random-source=<(random_source) |
        xargs -d '\n' "$cli" add "$work/$1.sbx" >/dev/null
}

# Per rule and level: the groups holding an original with a copy, and those keeping it.
mode_options() { [ "$1" = plain ] || echo --turned --grey; }
kept() { # CATALOGUE RULE LEVEL MODE
    # shellcheck disable=SC2046
    "$cli" similar --json --keep "$2" --level "$3" $(mode_options "$4") "$1" |
        jq -r '[.[] | (.members + [.base]) as $all | [$all[] | select(test("__|コピー") | not)] as $originals
                | select(($originals | length) == 1 and ($all | length) > 1)
                | (.keep == $originals[0])] | "\(map(select(.)) | length)/\(length)"'
}

printf '\n## Copies made from %s originals\n\n' "$count"
printf '| mode | level | rule |%s all |\n' "$(printf ' %s |' "${kinds[@]}")"
printf '|---|---|---|%s---|\n' "$(printf -- '---|%.0s' "${kinds[@]}")"
for kind in "${kinds[@]}"; do
    if [ "$kind" = folder ]; then catalogue "$kind" "$copied/"; else catalogue "$kind" "__$kind\.jpg$"; fi
done
catalogue all '__|コピー'
for mode in "${modes[@]}"; do
    for level in "${levels[@]}"; do
        for rule in "${rules[@]}"; do
            row="| $mode | $level | $rule |"
            for kind in "${kinds[@]}" all; do row+=" $(kept "$work/$kind.sbx" "$rule" "$level" "$mode") |"; done
            echo "$row"
        done
    done
done

# The corpus's own copies: every original with its planted copies, one catalogue.
printf '\n## The corpus'"'"'s copies (truth.tsv), each kind in a catalogue of its own\n\n'
transforms=$(tail -n +2 "$corpus/truth.tsv" | cut -f3 | sed 's/_.*//' | LC_ALL=C sort -u)
printf '| mode | level | rule |%s\n' "$(for t in $transforms; do printf ' %s |' "$t"; done)"
printf '|---|---|---|%s\n' "$(for t in $transforms; do printf -- '---|'; done)"
mkdir -p "$work/planted"
for t in $transforms; do
    rm -f "$work/planted/$t.sbx"
    tail -n +2 "$corpus/truth.tsv" | awk -F'\t' -v t="$t" '$3 == t || index($3, t "_") == 1 { print $1; print $2 }' |
        LC_ALL=C sort -u | shuf --random-source=<(random_source) | sed "s|^|$corpus/|" |
        xargs -d '\n' "$cli" add "$work/planted/$t.sbx" >/dev/null
done
for mode in "${modes[@]}"; do
    for level in "${levels[@]}"; do
        for rule in "${rules[@]}"; do
            row="| $mode | $level | $rule |"
            for t in $transforms; do
                # shellcheck disable=SC2046
                row+=" $("$cli" similar --json --keep "$rule" --level "$level" $(mode_options "$mode") "$work/planted/$t.sbx" |
                    jq -r '[.[] | (.members + [.base]) as $all | [$all[] | select(contains("/originals/"))] as $o
                            | select(($o | length) == 1) | (.keep == $o[0])] | "\(map(select(.)) | length)/\(length)"') |"
            done
            echo "$row"
        done
    done
done
