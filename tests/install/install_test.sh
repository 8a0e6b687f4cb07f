#!/usr/bin/env bash
# `cmake --install` into a scratch DESTDIR puts the program, its man page, its desktop entry and
# its icon in their places, each one valid, and the man page names every option of --help.
set -u
build_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
for tool in desktop-file-validate xmllint groff; do
  command -v "$tool" >/dev/null || fail "$tool is needed (scripts/install-deps.sh installs it)"
done

DESTDIR="$work/root" cmake --install "$build_dir" --prefix /usr >"$work/install.log" 2>&1 ||
  fail "cmake --install failed: $(cat "$work/install.log")"
root=$work/root/usr
binary=$root/bin/tavlomi
man_page=$root/share/man/man6/tavlomi.6
desktop=$root/share/applications/tavlomi.desktop
icon=$root/share/icons/hicolor/scalable/apps/tavlomi.svg
[ -x "$binary" ] || fail "no executable $binary"
for file in "$man_page" "$desktop" "$icon"; do
  [ -s "$file" ] || fail "missing or empty: ${file#"$work/root"}"
done

desktop-file-validate "$desktop" >"$work/validate.log" 2>&1 || fail "desktop-file-validate failed"
[ -s "$work/validate.log" ] && fail "desktop-file-validate remarks: $(cat "$work/validate.log")"
exec_line=$(grep -m1 '^Exec=' "$desktop" | cut -d= -f2-)
[ -x "$root/bin/${exec_line%% *}" ] || fail "Exec=$exec_line names no installed program"
icon_name=$(grep -m1 '^Icon=' "$desktop" | cut -d= -f2-)
[ "$icon_name.svg" = "$(basename "$icon")" ] || fail "Icon=$icon_name does not name the installed icon"

xmllint --noout "$icon" 2>"$work/xml.log" || fail "icon is not well-formed XML: $(cat "$work/xml.log")"
grep -q '<svg' "$icon" || fail "icon is not an SVG picture"

grep -q '@[A-Z_]*@' "$man_page" && fail "man page has unreplaced @VARIABLES@"
grep -q '^\.TH TAVLOMI 6 ' "$man_page" || fail "man page does not start as section 6 of TAVLOMI"
groff -man -ww -z "$man_page" 2>"$work/groff.log"
[ -s "$work/groff.log" ] && fail "groff warnings: $(cat "$work/groff.log")"
# Options as --help spells them, e.g. "--camera=N" gives "--camera=".
"$binary" --help >"$work/help" 2>&1 || fail "tavlomi --help failed"
options=$(grep -o -- '--[a-z][a-z-]*=\?' "$work/help" | sort -u)
[ -n "$options" ] || fail "--help lists no option"
for option in $options; do
  grep -qF -- "$(printf '%s' "$option" | sed 's/-/\\-/g')" "$man_page" ||
    fail "the man page does not describe $option"
done
echo "installed files are in place"
