#!/usr/bin/env bash
# levels.sh CORPUS [OUTDIR]
#
# Which similarity level finds what: catalogues every JPEG under CORPUS with lumo-cli, runs
# `lumo-cli similar --json` at every level 0-50, plain and with --turned --grey, and judges
# the groups by CORPUS/truth.tsv (variant, original, kind of copy; a header line first):
# for each kind of copy the share found in the same group as its original, and the number
# of groups that join pictures of two different originals. Kinds named alike up to an
# underscore (natural_edit, natural_motion, ...) count as one. Writes OUTDIR/levels.png
# (default: docs/ beside this folder) and OUTDIR/levels.md with the same figures.
#
# Needs the Debian packages jq and gnuplot-nox (make levels-deps). LUMO_CLI names the
# lumo-cli to run (default: build/bin/lumo-cli beside this folder).
#   ../shared/tools/make_corpus.sh /work/data/corpus && tools/levels.sh /work/data/corpus
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
corpus=$(cd "${1:?usage: levels.sh CORPUS [OUTDIR]}" && pwd)
out=$(mkdir -p "${2:-$here/../docs}" && cd "${2:-$here/../docs}" && pwd)
cli=${LUMO_CLI:-$here/../build/bin/lumo-cli}
truth=$corpus/truth.tsv
[ -r "$truth" ] || { echo "levels.sh: $truth: no such file" >&2; exit 1; }
[ -x "$cli" ] || { echo "levels.sh: $cli: no lumo-cli there (build it, or set LUMO_CLI)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$cli" add "$work/corpus.sbx" "$corpus" 2>"$work/add.log" || { cat "$work/add.log" >&2; exit 1; }

# One line per picture in a group: rule, level, group number, path inside the corpus.
for rule in plain turned-grey; do
    options=()
    [ "$rule" = turned-grey ] && options=(--turned --grey)
    for level in $(seq 0 50); do
        "$cli" similar --json --level "$level" "${options[@]}" "$work/corpus.sbx" |
            jq -r --arg rule "$rule" --arg level "$level" --arg root "$corpus/" \
                'to_entries[] | .key as $g | (.value.members + [.value.base])[]
                 | [$rule, $level, $g, ltrimstr($root)] | @tsv'
    done
done >"$work/groups.tsv"

# rule, level, then per kind the share found (percent), then the groups joining two originals.
awk -F'\t' -v kindsFile="$work/kinds.tsv" '
    FNR == NR {
        if (FNR == 1) next
        original[$1] = $2
        kind = $3
        sub(/_.*/, "", kind)
        kindOf[$1] = kind
        if (!(kind in total)) kinds[++kindCount] = kind
        total[kind]++
        next
    }
    {
        key = $1 SUBSEP $2
        rules[$1] = 1
        groupOf[key, $4] = $3
        from = ($4 in original) ? original[$4] : $4
        if (!((key, $3, from) in seen)) {
            seen[key, $3, from] = 1
            if (++originals[key, $3] == 2) mixed[key]++
        }
    }
    END {
        for (k = 1; k <= kindCount; k++)
            printf "%s\t%d\n", kinds[k], total[kinds[k]] > kindsFile
        for (rule in rules) {
            for (level = 0; level <= 50; level++) {
                key = rule SUBSEP level
                delete found
                for (v in original) {
                    if ((key, v) in groupOf && (key, original[v]) in groupOf && groupOf[key, v] == groupOf[key, original[v]])
                        found[kindOf[v]]++
                }
                line = rule "\t" level
                for (k = 1; k <= kindCount; k++)
                    line = line "\t" sprintf("%.0f", 100 * found[kinds[k]] / total[kinds[k]])
                print line "\t" mixed[key] + 0
            }
        }
    }' "$truth" "$work/groups.tsv" | sort -k1,1 -k2,2n >"$work/levels.tsv"

kindCount=$(wc -l <"$work/kinds.tsv")
mixedColumn=$((kindCount + 3))
# The lowest level at which some group joins two different originals ("none" up to 50).
firstMixed() {
    awk -F'\t' -v rule="$1" -v c="$mixedColumn" '$1 == rule && $c > 0 { print $2; found = 1; exit }
        END { if (!found) print "none" }' "$work/levels.tsv"
}
plainMixed=$(firstMixed plain)
turnedMixed=$(firstMixed turned-grey)

for rule in plain turned-grey; do
    awk -F'\t' -v rule="$rule" '$1 == rule' "$work/levels.tsv" | cut -f2- >"$work/$rule.dat"
done

# The chart: two panels, share found per kind on the left axis, false groups on the right
# (one scale for both panels).
mostMixed=$(cut -f"$mixedColumn" "$work/levels.tsv" | sort -n | tail -1)
colours=('#1f77b4' '#ff7f0e' '#2ca02c' '#d62728' '#9467bd' '#8c564b' '#e377c2' '#7f7f7f' '#bcbd22' '#17becf' '#000080' '#808000')
{
    echo "set terminal pngcairo size 1400,640 font 'sans,10'"
    echo "set output '$out/levels.png'"
    echo "set multiplot layout 1,2 title 'Copies found in the same group as their original, by similarity level ($(($(grep -c . "$truth") - 1)) copies of $(cut -f2 "$truth" | tail -n +2 | sort -u | wc -l) test photos among $("$cli" list "$work/corpus.sbx" | wc -l) pictures)'"
    echo "set xrange [0:50]; set xtics 5; set yrange [0:105]; set ytics 10 nomirror"
    echo "set y2range [0:$((mostMixed + 1))]; set y2tics 1 nomirror; set grid xtics ytics"
    echo "set xlabel 'level'; set ylabel 'share of the copies found (%)'; set y2label 'groups joining two different photos'"
    echo "set key below horizontal maxrows 3 font ',9'"
    for rule in plain turned-grey; do
        title="plain"
        [ "$rule" = turned-grey ] && title="--turned --grey"
        echo "set title '$title'"
        printf "plot "
        k=0
        while IFS=$'\t' read -r kind count; do
            printf "'%s' using 1:%d with lines lw 2 lc rgb '%s' title '%s (%s)', " "$work/$rule.dat" $((k + 2)) \
                "${colours[k % ${#colours[@]}]}" "$kind" "$count"
            k=$((k + 1))
        done <"$work/kinds.tsv"
        printf "'%s' using 1:%d axes x1y2 with steps lw 3 dt 2 lc rgb 'black' title 'groups joining two photos'\n" \
            "$work/$rule.dat" $((kindCount + 2))
    done
    echo "unset multiplot"
} >"$work/levels.gp"
gnuplot "$work/levels.gp"

# The same figures as a table, one per rule.
{
    echo "# Which similarity level finds what"
    echo
    echo "Made by \`tools/levels.sh\` on the real-photo test corpus (\`make_corpus.sh\`): for each kind"
    echo "of copy, the share (%) found in the same group as its original at each level, and the"
    echo "number of groups that join pictures of two different originals (false groups). The chart"
    echo "is [levels.png](levels.png)."
    echo
    echo "First level with a false group: $plainMixed plain, $turnedMixed with \`--turned --grey\`."
    for rule in plain turned-grey; do
        echo
        if [ "$rule" = plain ]; then echo "## Plain"; else echo "## With --turned --grey"; fi
        echo
        header="| Level |"
        rulerLine="|---:|"
        while IFS=$'\t' read -r kind count; do
            header="$header $kind ($count) |"
            rulerLine="$rulerLine---:|"
        done <"$work/kinds.tsv"
        echo "$header False groups |"
        echo "$rulerLine---:|"
        awk -F'\t' '{ line = "| " $1; for (i = 2; i <= NF; i++) line = line " | " $i; print line " |" }' "$work/$rule.dat"
    done
} >"$out/levels.md"
echo "levels.sh: wrote $out/levels.png and $out/levels.md" >&2
