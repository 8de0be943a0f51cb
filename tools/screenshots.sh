#!/usr/bin/env bash
# Retakes the README's screenshots from the real program on a real-photo corpus, under a
# virtual X server, with nobody at the keyboard:
#   docs/screenshot.png  the main window with a catalogue of the corpus
#   docs/similar.png     the similar-pictures window with the groups it found
#   docs/similar-marked.png  the same after 選択 → 画質の良い画像を残す: the copies to drop marked
#   docs/compare.png     the compare window on the first group (a click on it, then Enter)
#
# Each picture is taken twice, once in each language of the windows: docs/NAME.png in
# Japanese, docs/NAME-en.png in English. LUMO_LANGUAGE=ja or en takes only that one.
#
# tools/screenshots.sh CORPUS
#   CORPUS: a folder of JPEG pictures with near-duplicates among them, such as the one
#   make_corpus.sh builds (originals/ and variants/). The pictures are not changed.
#
# LUMO_MENU_SHOT=FILE also saves the screen with the menu open, just before 類似検索 is
# chosen, to see what was chosen.
#
# The program runs with a home folder of its own, so the user's settings, catalogues and
# trash are never touched. Exit status 0 when every picture was taken; 1 when one could
# not be (the message says which; those before it are written all the same).
set -euo pipefail

if [[ -z ${LUMO_LANGUAGE:-} ]]; then
    LUMO_LANGUAGE=ja bash "$0" "$@" || exit 1
    LUMO_LANGUAGE=en exec bash "$0" "$@"
fi
case $LUMO_LANGUAGE in
    ja) suffix= pictures_menu=alt+j ;;
    # 画像(&J) is &Pictures in English.
    en) suffix=-en pictures_menu=alt+p ;;
    *) echo "LUMO_LANGUAGE is ja or en, not $LUMO_LANGUAGE" >&2; exit 2 ;;
esac

corpus=$(realpath "${1:?usage: tools/screenshots.sh CORPUS}")
cd "$(dirname "$0")/.."
build=${BUILD:-build}

# The level the similarity search uses: loose enough to group resized and re-compressed
# copies, strict enough to keep different photos apart.
level=10
# Virtual screen and the main window's size in the picture.
screen=1280x800x24
main_size=(990 420)

bash tools/install-deps.sh xvfb xdotool imagemagick fonts-noto-cjk
make -s configure BUILD="$build"
cmake --build "$build" --target lumo lumo-cli

# Fixed paths, so the folders shown in the pictures are the same on every run.
work=${TMPDIR:-/tmp}/lumo-screenshots
rm -rf "$work"
pictures=$work/Pictures
mkdir -p "$work/config/lumo" "$work/data" "$work/run" "$pictures"
chmod 700 "$work/run"
# The pictures appear under ~/Pictures; links leave the corpus where it is.
for folder in "$corpus" "$corpus"/*/; do
    [[ -d $folder ]] || continue
    target=$pictures/$(realpath --relative-to="$corpus" "$folder")
    mkdir -p "$target"
    find "$folder" -maxdepth 1 -type f -iname '*.jp*g' -exec ln -s {} "$target/" \;
done
catalogue=$pictures/photos.sbx
"$build/bin/lumo-cli" add "$catalogue" "$pictures" >/dev/null
cat >"$work/config/lumo/lumo.conf" <<EOF
[General]
FilePath=$pictures
JpegPath=$pictures
Like=$level
Language=$LUMO_LANGUAGE
EOF

xvfb_pid= lumo_pid=
finish() {
    [[ -n $lumo_pid ]] && kill "$lumo_pid" 2>/dev/null
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap finish EXIT

Xvfb -displayfd 4 -screen 0 "$screen" -nolisten tcp 4>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do
    [[ -s $work/display ]] && break
    sleep 0.1
done
[[ -s $work/display ]] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n 1 "$work/display")
# The pointer waits in a corner, so no tooltip covers a window.
xdotool mousemove 1279 799

env HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
    XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 \
    "$build/bin/lumo" "$catalogue" 2>/dev/null &
lumo_pid=$!

# Lumo's visible top-level windows, one id a line.
windows() { xdotool search --onlyvisible --pid "$lumo_pid" 2>/dev/null || true; }
# Waits up to SECONDS until the window has looked the same for QUIET seconds: its work has
# ended. wait_still WINDOW SECONDS QUIET
wait_still() {
    local window=$1 seconds=$2 quiet=$3 last= same=0 now
    for _ in $(seq $((seconds * 4))); do
        sleep 0.25
        now=$(import -window root -crop "$(geometry "$window")" rgb:- 2>/dev/null | md5sum)
        if [[ $now == "$last" ]]; then
            same=$((same + 1))
            [[ $same -ge $((quiet * 4)) ]] && return 0
        else
            same=0
        fi
        last=$now
    done
    return 1
}
geometry() {
    local X Y WIDTH HEIGHT WINDOW SCREEN
    eval "$(xdotool getwindowgeometry --shell "$1")"
    echo "${WIDTH}x${HEIGHT}+${X}+${Y}"
}
shoot() {
    import -window root -crop "$(geometry "$1")" +repage "$2"
    echo "$2: $(identify -format '%wx%h' "$2")"
}

main=
for _ in $(seq 100); do
    main=$(windows | head -n 1)
    [[ -n $main ]] && break
    sleep 0.2
done
[[ -n $main ]] || { echo "Lumo's main window did not appear" >&2; exit 1; }
xdotool windowmove "$main" 0 0 windowsize "$main" "${main_size[@]}"
wait_still "$main" 60 2 || { echo "the catalogue did not finish loading" >&2; exit 1; }
# A selected row, as a user would have one.
xdotool windowfocus --sync "$main" key Down Down Down Down Down
wait_still "$main" 10 1 || true
shoot "$main" docs/screenshot$suffix.png

# 類似検索: the third item of the menu 画像(&J), after 表示(&V) and a separator.
xdotool windowfocus --sync "$main" key "$pictures_menu"
sleep 0.5
xdotool key Down
[[ -n ${LUMO_MENU_SHOT:-} ]] && import -window root "$LUMO_MENU_SHOT"
xdotool key Return
similar=
for _ in $(seq 150); do
    similar=$(windows | grep -vx "$main" | head -n 1 || true)
    [[ -n $similar ]] && break
    sleep 0.2
done
if [[ -z $similar ]]; then
    echo "類似検索 opened no window: docs/similar$suffix.png was not retaken" >&2
    exit 1
fi
# The run draws group after group, decoding every picture; a grid that stands still for
# five seconds is finished.
if ! wait_still "$similar" 300 5; then
    echo "the similar-pictures window did not finish its run: docs/similar$suffix.png was not retaken" >&2
    exit 1
fi
shoot "$similar" docs/similar$suffix.png

# 選択(S) → 画質の良い画像を残す, its first item: the rule marks every copy but the best.
xdotool windowfocus --sync "$similar" key alt+s
sleep 0.5
xdotool key Return
if ! wait_still "$similar" 60 3; then
    echo "the rule did not finish: docs/similar-marked$suffix.png was not retaken" >&2
    exit 1
fi
shoot "$similar" docs/similar-marked$suffix.png

# A click on the first thumbnail, then Enter: the compare window on its group.
xdotool mousemove --window "$similar" 40 60 click 1
sleep 0.5
xdotool windowfocus --sync "$similar" key Return
compare=
for _ in $(seq 50); do
    compare=$(windows | grep -vx -e "$main" -e "$similar" | head -n 1 || true)
    [[ -n $compare ]] && break
    sleep 0.2
done
if [[ -z $compare ]] || ! wait_still "$compare" 60 3; then
    echo "比較 opened no window, or it did not settle: docs/compare$suffix.png was not retaken" >&2
    exit 1
fi
xdotool mousemove 1279 799
sleep 0.5
shoot "$compare" docs/compare$suffix.png
