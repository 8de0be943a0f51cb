#!/usr/bin/env bash
# What a Linux user gets: the install into a fresh prefix and, once built, the Debian
# package, checked with the tools a distribution checks them with.
#
# check_package.sh CMAKE BUILD_DIR APP_ID VERSION LIBDIR WRITE_DNG
#   LIBDIR: the private library folder below the prefix (lib/x86_64-linux-gnu/lumo).
#   WRITE_DNG: a program that writes a small DNG to the path it is given.
# The package lumo_VERSION_ARCH.deb in BUILD_DIR is checked when it is newer than the
# build; with LUMO_PACKAGE_REQUIRED=1 (make package) a missing or stale one fails.
set -uo pipefail

cmake=$1 build=$2 id=$3 version=$4 libdir=$5 write_dng=$6
export LC_ALL=C.UTF-8
unset LD_LIBRARY_PATH

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
prefix=$root/usr
failures=0

# One behaviour per case: say it, run the checks, report the first that fails.
case_() { echo "== $1"; }
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
need() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (make test installs it)"; exit 1; }
    done
}
need desktop-file-validate appstreamcli xmllint update-mime-database man lexgrog dpkg-deb lintian cjpeg

# Every file the install puts below the prefix, and nothing else.
expected_tree() {
    cat <<EOF
bin/lumo
bin/lumo-cli
$libdir/libpixcore.so
$libdir/libsigbox.so
$libdir/libsigboxcore.so
$libdir/lumo-raw
share/applications/$id.desktop
share/doc/lumo/README.md
share/doc/lumo/changelog.gz
share/doc/lumo/copyright
share/doc/lumo/levels.md
share/doc/lumo/levels.png
share/icons/hicolor/scalable/apps/$id.svg
share/man/man1/lumo-cli.1.gz
share/man/man1/lumo.1.gz
share/metainfo/$id.metainfo.xml
share/mime/packages/lumo-catalogue.xml
EOF
}
files_below() { (cd "$1" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort); }

# The programs from a tree: their version, their libraries, and a real catalogue.
check_programs() {
    local usr=$1
    local out
    out=$("$usr/bin/lumo-cli" --version 2>&1) || fail "lumo-cli --version exits $?"
    [[ $out == "lumo-cli $version" ]] || fail "lumo-cli --version says '$out'"
    # No display, and a runtime folder of its own: the version must not wait for anything.
    out=$(XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=offscreen timeout 20 "$usr/bin/lumo" --version 2>&1) \
        || fail "lumo --version exits $?"
    [[ $out == "lumo $version" ]] || fail "lumo --version says '$out'"
    for program in lumo lumo-cli; do
        local resolved
        resolved=$(ldd "$usr/bin/$program" | grep -E 'lib(pixcore|sigbox|sigboxcore)\.so')
        [[ $(grep -c . <<<"$resolved") -ge 2 ]] || fail "$program: Lumo's libraries not found: $resolved"
        grep -v -- "=> $usr/" <<<"$resolved" | grep -q . && fail "$program takes libraries from outside $usr: $resolved"
    done
    # Two copies of one picture make one group: the JPEG plug-in and the comparison work.
    local pictures=$work/pictures-$RANDOM
    mkdir -p "$pictures"
    { printf 'P6\n16 16\n255\n'; head -c 768 /dev/urandom; } >"$pictures/a.ppm"
    cjpeg -quality 90 "$pictures/a.ppm" >"$pictures/a.jpg"
    cp "$pictures/a.jpg" "$pictures/b.jpg"
    "$usr/bin/lumo-cli" add "$pictures/c.sbx" "$pictures" 2>/dev/null || fail "lumo-cli add exits $?"
    out=$("$usr/bin/lumo-cli" similar --json "$pictures/c.sbx")
    [[ $out == "[{\"base\": \"$pictures/a.jpg\", \"members\": [\"$pictures/b.jpg\"]}]" ]] \
        || fail "lumo-cli similar --json says '$out'"
    # Two copies of one RAW: its helper, installed beside the libraries, develops them.
    local raws=$work/raws-$RANDOM
    mkdir -p "$raws"
    "$write_dng" "$raws/x.dng" && cp "$raws/x.dng" "$raws/y.dng" || fail "no DNG written"
    "$usr/bin/lumo-cli" add --all-formats "$raws/c.sbx" "$raws" 2>/dev/null || fail "lumo-cli add of RAWs exits $?"
    out=$("$usr/bin/lumo-cli" similar --json "$raws/c.sbx")
    [[ $out == "[{\"base\": \"$raws/x.dng\", \"members\": [\"$raws/y.dng\"]}]" ]] \
        || fail "lumo-cli similar --json on RAWs says '$out'"
}

case_ "The install puts exactly the programs, Lumo's libraries, desktop files, manual pages and documents below the prefix"
"$cmake" --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
diff -u <(expected_tree | LC_ALL=C sort) <(files_below "$prefix") || fail "installed tree differs (- expected, + installed)"

case_ "Both programs run from the installed tree with the libraries installed beside them"
check_programs "$prefix"

case_ "The launcher passes desktop-file-validate and names the icon, the program and the catalogue type"
desktop=$prefix/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -qx "Icon=$id" "$desktop" || fail "the launcher's icon is not $id"
grep -qx "Exec=lumo %f" "$desktop" || fail "the launcher does not start lumo with a file"
grep -qx "MimeType=application/x-lumo-catalogue;" "$desktop" || fail "the launcher does not open catalogues"
for key in Name 'Name\[ja\]' Comment 'Comment\[ja\]'; do
    grep -q "^$key=." "$desktop" || fail "the launcher has no $key"
done

case_ "The AppStream metadata passes appstreamcli validate and names the launcher, the icon and this version"
out=$(appstreamcli validate-tree --no-net "$root" 2>&1) || fail "appstreamcli validate-tree: $out"
metainfo=$prefix/share/metainfo/$id.metainfo.xml
xpath() { xmllint --xpath "$1" "$metainfo" 2>/dev/null; }
[[ $(xpath 'string(/component/id)') == "$id" ]] || fail "metadata id is not $id"
[[ $(xpath 'string(/component/launchable[@type="desktop-id"])') == "$id.desktop" ]] || fail "metadata does not launch $id.desktop"
[[ $(xpath 'string(/component/icon)') == "$id" ]] || fail "metadata icon is not $id"
[[ $(xpath 'string(/component/releases/release[1]/@version)') == "$version" ]] || fail "metadata's latest release is not $version"
# The software centre shows the name and summary in English and Japanese.
for field in name summary; do
    [[ $(xpath "count(/component/$field[not(@xml:lang)])") == 1 ]] || fail "no English $field"
    [[ $(xpath "count(/component/$field[@xml:lang=\"ja\"])") == 1 ]] || fail "no Japanese $field"
done
[[ $(xpath 'count(/component/screenshots/screenshot/image)') -ge 1 ]] || fail "no screenshot"

case_ "The MIME file parses and makes *.sbx a Lumo catalogue"
xmllint --noout "$prefix/share/mime/packages/lumo-catalogue.xml" || fail "MIME file does not parse"
mkdir -p "$work/mime/packages"
cp "$prefix/share/mime/packages/lumo-catalogue.xml" "$work/mime/packages/"
update-mime-database "$work/mime" >/dev/null || fail "update-mime-database"
grep -q '^50:application/x-lumo-catalogue:\*\.sbx$' "$work/mime/globs2" || fail "*.sbx is not a catalogue: $(cat "$work/mime/globs2")"

case_ "The manual pages render without warnings, with the sections a user looks for and every option lumo-cli has"
for page in lumo lumo-cli; do
    file=$prefix/share/man/man1/$page.1.gz
    text=$(MANWIDTH=80 man --warnings -l "$file" 2>"$work/man.err") || fail "man -l $page exits $?"
    [[ -s $work/man.err ]] && fail "man -l $page warns: $(cat "$work/man.err")"
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES; do
        grep -q "^$section" <<<"$text" || fail "$page(1) has no $section"
    done
    lexgrog "$file" | grep -q "\"$page - " || fail "$page(1) has no whatis line"
done
# Each command of lumo-cli --help is an item of COMMANDS, each option of its --help one of OPTIONS.
clitext=$(MANWIDTH=200 man -l "$prefix/share/man/man1/lumo-cli.1.gz" 2>/dev/null)
section() { sed -n "/^$1\$/,/^[A-Z]/p" <<<"$clitext"; }
commands=$("$prefix/bin/lumo-cli" --help | sed -n 's/^  \([a-z]\+\) .*/\1/p')
[[ -n $commands ]] || fail "lumo-cli --help lists no commands"
for command in $commands; do
    # From a string, not a pipe: grep -q stops at its first match, and with pipefail the
    # writer cut short would count as a failure.
    grep -q "^       $command " <<<"$(section COMMANDS)" || fail "lumo-cli(1) does not describe '$command'"
    for option in $("$prefix/bin/lumo-cli" "$command" --help | grep -oE '^ +(-[a-zA-Z0-9], )?--[a-z-]+' | grep -oE -- '--[a-z-]+'); do
        grep -qE -- "^       (-[a-zA-Z0-9], )?$option( |$)" <<<"$(section OPTIONS)" \
            || fail "lumo-cli(1) does not document $command $option"
    done
done

deb=$(ls "$build"/lumo_"$version"_*.deb 2>/dev/null | head -n 1)
newer_than_package() {
    find "$build/bin" "$build/packaging" "$build/app" -maxdepth 1 -newer "$deb" \
        \( -name 'lumo' -o -name 'lumo-cli' -o -name 'lumo-raw' -o -name '*.so' -o -name '*.gz' -o -name '*.xml' \
        -o -name '*.desktop' -o -name copyright \) -print -quit
}
if [[ -z $deb || -n $(newer_than_package) ]]; then
    if [[ ${LUMO_PACKAGE_REQUIRED:-0} == 1 ]]; then
        fail "no package newer than the build in $build (cpack -G DEB makes it)"
    else
        echo "== No package newer than the build: its checks are left to make package"
    fi
else
    case_ "The package holds the same files as the install, names its dependencies and passes lintian without errors"
    diff -u <(expected_tree | LC_ALL=C sort) \
        <(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./usr/||' | LC_ALL=C sort) \
        || fail "package contents differ from the install (- install, + package)"
    field() { dpkg-deb --field "$deb" "$1"; }
    [[ $(field Package) == lumo && $(field Version) == "$version" ]] || fail "package is $(field Package) $(field Version)"
    [[ $(field Architecture) == "$(dpkg --print-architecture)" ]] || fail "package architecture $(field Architecture)"
    depends=$(field Depends | tr ',' '\n' | awk '{print $1}')
    for dependency in libqt6widgets6 libqt6gui6 libqt6svg6 libqt6core6 libstdc++6 libc6 libexif12 libheif1 qt6-image-formats-plugins; do
        grep -qxF "$dependency" <<<"$depends" || fail "package does not depend on $dependency: $(field Depends)"
    done
    grep -q 'fonts-noto-cjk' <<<"$(field Recommends)" || fail "package does not recommend fonts-noto-cjk"
    dpkg-deb -x "$deb" "$work/deb"
    check_programs "$work/deb/usr"
    lint=$(lintian --fail-on error "$deb" 2>&1)
    status=$?
    grep -v 'running with root privileges' <<<"$lint"
    [[ $status -eq 0 ]] || fail "lintian reports errors"
fi

echo "$failures failure(s)"
[[ $failures -eq 0 ]]
