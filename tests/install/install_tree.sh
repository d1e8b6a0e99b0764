#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the tree: the programs, the manual where
# the desktop program looks for it, the desktop entry, icons and AppStream metadata (through
# their validators), and the manual pages (rendered without warnings, every command and option
# of `rekkon-cli --help` documented).
#
# usage: install_tree.sh CMAKE BUILD_DIR ui|cli MANUAL_DIR_FROM_BINDIR APP_ID
# Exits 77 (skipped) when a checking tool is missing.
set -euo pipefail

cmake_command=$1 build=$2 kind=$3 manual_dir=$4 id=$5

for tool in groff desktop-file-validate appstreamcli; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (tools/install-deps.sh installs it)"
        exit 77
    fi
done

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
need_file() {
    [ -f "$prefix/$1" ] || fail "$1 is not installed"
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

"$cmake_command" --install "$build" --prefix "$prefix" >/dev/null

# --- programs -------------------------------------------------------------------------------
[ -x "$prefix/bin/rekkon-cli" ] || fail "bin/rekkon-cli is not installed"
if [ -x "$prefix/bin/rekkon-cli" ]; then
    "$prefix/bin/rekkon-cli" --help >"$scratch/help.txt" || fail "installed rekkon-cli --help failed"
    grep -q '^usage: rekkon-cli' "$scratch/help.txt" || fail "rekkon-cli --help printed no usage"
fi
[ -f "$prefix/share/bash-completion/completions/rekkon-cli" ] ||
    fail "the bash completion is not in share/bash-completion/completions/rekkon-cli"
# Nothing but the programs, their data and documentation: no libraries, headers or test programs.
stray=$(cd "$prefix" && find . -type f ! -path './bin/*' ! -path './share/*')
[ -z "$stray" ] || fail "installed outside bin/ and share/: $stray"
for f in "$prefix"/bin/*; do
    case $(basename "$f") in
        rekkon | rekkon-cli) ;;
        *) fail "unexpected program bin/$(basename "$f")" ;;
    esac
done

# --- manual pages ---------------------------------------------------------------------------
# Pages are installed gzipped; check_page PAGE unpacks PAGE.gz into $scratch/PAGE.
check_page() {
    local page=$prefix/share/man/man1/$1.gz
    [ -f "$page" ] || {
        fail "share/man/man1/$1.gz is not installed"
        return
    }
    gzip -dc "$page" >"$scratch/$1" || fail "share/man/man1/$1.gz is not gzipped"
    local warnings
    warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$scratch/$1" 2>&1) || fail "groff failed on $1"
    [ -z "$warnings" ] || fail "groff warns on $1: $warnings"
    if command -v man >/dev/null; then
        MANPAGER=cat MANWIDTH=80 man -l "$page" >/dev/null 2>&1 || fail "man -l cannot show $1"
    fi
}
check_page rekkon-cli.1
page=$scratch/rekkon-cli.1
if [ -f "$page" ] && [ -f "$scratch/help.txt" ]; then
    # The page is written by hand: every option the program offers must head an item of its own
    # (the line after a .TP), and every command have a synopsis line. In roff '-' is written '\-'.
    items=$(awk '/^\.TP/ { getline; print }' "$page" | sed 's/\\-/-/g')
    for option in $(grep -o -- '--[a-z][a-z-]*' "$scratch/help.txt" | sort -u); do
        grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" <<<"$items" ||
            fail "rekkon-cli.1 has no item for $option"
    done
    for command in $(sed -n 's/^  \([a-z][a-z]*\) .*/\1/p' "$scratch/help.txt" | sort -u); do
        grep -q "^\.B rekkon\\\\-cli $command\$" "$page" || fail "rekkon-cli.1 has no synopsis of $command"
    done
fi

if [ "$kind" = cli ]; then
    [ ! -e "$prefix/bin/rekkon" ] || fail "bin/rekkon installed without the desktop program"
    [ ! -e "$prefix/share/applications" ] || fail "desktop entry installed without the desktop program"
    [ "$failures" -eq 0 ] && echo "installed tree (command line only) is complete"
    exit $((failures != 0))
fi

# --- the desktop program --------------------------------------------------------------------
[ -x "$prefix/bin/rekkon" ] || fail "bin/rekkon is not installed"
check_page rekkon.1
# The program looks for its manual in MANUAL_DIR_FROM_BINDIR, relative to its own folder.
[ -f "$prefix/bin/$manual_dir/MANUAL.html" ] ||
    fail "MANUAL.html is not in bin/$manual_dir where the program looks for it"
need_file share/doc/rekkon/MANUAL.html
# Every picture the manual shows is installed beside it.
for picture in $(grep -o 'src="docs/[^"]*"' "$prefix/share/doc/rekkon/MANUAL.html" | sed 's/^src="//; s/"$//'); do
    need_file "share/doc/rekkon/$picture"
done

desktop=share/applications/$id.desktop
metainfo=share/metainfo/$id.metainfo.xml
need_file "$desktop"
need_file "$metainfo"
need_file "share/icons/hicolor/scalable/apps/$id.svg"
for size in 16 24 32 48 64 128 256; do
    png=share/icons/hicolor/${size}x${size}/apps/$id.png
    need_file "$png"
    [ -f "$prefix/$png" ] || continue
    # A PNG's IHDR holds its width and height at bytes 16..23, big-endian.
    read -r w0 w1 w2 w3 h0 h1 h2 h3 < <(od -An -tu1 -j16 -N8 "$prefix/$png")
    width=$(((w0 << 24) | (w1 << 16) | (w2 << 8) | w3))
    height=$(((h0 << 24) | (h1 << 16) | (h2 << 8) | h3))
    [ "$width" = "$size" ] && [ "$height" = "$size" ] ||
        fail "$png is ${width}x${height}, not ${size}x${size}"
done

if [ -f "$prefix/$desktop" ]; then
    desktop-file-validate "$prefix/$desktop" || fail "desktop-file-validate refuses $desktop"
    exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$prefix/$desktop")
    [ -x "$prefix/bin/$exec_program" ] || fail "Exec=$exec_program is not an installed program"
    grep -qx "Icon=$id" "$prefix/$desktop" || fail "the desktop entry's icon is not $id"
fi
if [ -f "$prefix/$metainfo" ]; then
    appstreamcli validate --no-net "$prefix/$metainfo" >"$scratch/appstream.txt" 2>&1 ||
        fail "appstreamcli validate refuses $metainfo: $(cat "$scratch/appstream.txt")"
    grep -q "<id>$id</id>" "$prefix/$metainfo" || fail "the metadata's id is not $id"
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$prefix/$metainfo" ||
        fail "the metadata does not launch $id.desktop"
fi

[ "$failures" -eq 0 ] && echo "installed tree is complete"
exit $((failures != 0))
