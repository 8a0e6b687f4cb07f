#!/usr/bin/env bash
# `cmake --install` into a scratch DESTDIR puts the program, its man page, its desktop entry and
# its icon in their places, each one valid, and the man page names every option of --help.
set -u
build_dir=$1
. "$(dirname "$0")/../e2e/session.sh"
require desktop-file-validate xmllint groff
# Fails unless the command succeeds without a word on stdout or stderr.
silent() { "$@" >"$work/said" 2>&1 && [ ! -s "$work/said" ] || fail "$1: $(cat "$work/said")"; }

DESTDIR="$work/root" cmake --install "$build_dir" --prefix /usr >"$work/said" 2>&1 \
    || fail "cmake --install failed: $(cat "$work/said")"
root=$work/root/usr
binary=$root/bin/tavlomi
man_page=$root/share/man/man6/tavlomi.6
desktop=$root/share/applications/tavlomi.desktop
icon=$root/share/icons/hicolor/scalable/apps/tavlomi.svg
[ -x "$binary" ] || fail "no executable $binary"
for file in "$man_page" "$desktop" "$icon"; do
    [ -s "$file" ] || fail "missing or empty: ${file#"$work/root"}"
done

silent desktop-file-validate "$desktop"
exec_line=$(grep -m1 '^Exec=' "$desktop" | cut -d= -f2-)
[ -x "$root/bin/${exec_line%% *}" ] || fail "Exec=$exec_line names no installed program"
[ "$(grep -m1 '^Icon=' "$desktop" | cut -d= -f2-).svg" = "$(basename "$icon")" ] \
    || fail "Icon= does not name the installed icon"
silent xmllint --noout "$icon"
grep -q '<svg' "$icon" || fail "icon is not an SVG picture"

grep -q '@[A-Z_]*@' "$man_page" && fail "man page has unreplaced @VARIABLES@"
grep -q '^\.TH TAVLOMI 6 ' "$man_page" || fail "man page does not start as section 6 of TAVLOMI"
silent groff -man -ww -z "$man_page"
# Options as --help spells them, e.g. "--camera=N" gives "--camera=".
options=$("$binary" --help | grep -o -- '--[a-z][a-z-]*=\?' | sort -u)
[ -n "$options" ] || fail "--help lists no option"
for option in $options; do
    grep -qF -- "${option//-/\\-}" "$man_page" || fail "the man page does not describe $option"
done
echo "installed files are in place"
