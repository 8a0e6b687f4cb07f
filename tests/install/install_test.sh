#!/usr/bin/env bash
# `cmake --install` into a scratch DESTDIR puts the program, its man page, its desktop entry and
# its icon in their places, each one valid, and the man page names every option of --help.
set -u
build_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

prefix=/usr
if ! DESTDIR="$work/root" cmake --install "$build_dir" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log" >&2
  echo "FAIL: cmake --install failed" >&2
  exit 1
fi
root=$work/root$prefix
binary=$root/bin/tavlomi
man_page=$root/share/man/man6/tavlomi.6
desktop=$root/share/applications/tavlomi.desktop
icon=$root/share/icons/hicolor/scalable/apps/tavlomi.svg

[ -x "$binary" ] || fail "no executable $binary"
for file in "$man_page" "$desktop" "$icon"; do
  [ -s "$file" ] || fail "missing or empty: ${file#"$work/root"}"
done

if [ -s "$desktop" ]; then
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" >"$work/validate.log" 2>&1 || fail "desktop-file-validate: $(cat "$work/validate.log")"
    [ -s "$work/validate.log" ] && fail "desktop-file-validate remarks: $(cat "$work/validate.log")"
  else
    echo "desktop-file-validate not installed; skipping that check" >&2
  fi
  exec_line=$(grep -m1 '^Exec=' "$desktop" | cut -d= -f2-)
  exec_program=${exec_line%% *}
  [ -x "$root/bin/$exec_program" ] || fail "Exec=$exec_line names no installed program"
  icon_name=$(grep -m1 '^Icon=' "$desktop" | cut -d= -f2-)
  [ "$icon_name.svg" = "$(basename "$icon")" ] || fail "Icon=$icon_name does not name the installed icon"
fi

if [ -s "$icon" ]; then
  if command -v xmllint >/dev/null; then
    xmllint --noout "$icon" 2>"$work/xml.log" || fail "icon is not well-formed XML: $(cat "$work/xml.log")"
  fi
  grep -q '<svg' "$icon" || fail "icon is not an SVG picture"
fi

if [ -s "$man_page" ]; then
  grep -q '@[A-Z_]*@' "$man_page" && fail "man page has unreplaced @VARIABLES@"
  grep -q '^\.TH TAVLOMI 6 ' "$man_page" || fail "man page does not start as section 6 of TAVLOMI"
  if command -v groff >/dev/null; then
    groff -man -ww -z "$man_page" 2>"$work/groff.log"
    [ -s "$work/groff.log" ] && fail "groff warnings: $(cat "$work/groff.log")"
  else
    echo "groff not installed; skipping the man page's formatting check" >&2
  fi
  # Options as --help spells them, e.g. "--camera=N" gives "--camera=".
  if [ -x "$binary" ]; then
    "$binary" --help >"$work/help" 2>&1 || fail "tavlomi --help failed"
    options=$(grep -o -- '--[a-z][a-z-]*=\?' "$work/help" | sort -u)
    [ -n "$options" ] || fail "--help lists no option"
    for option in $options; do
      grep -qF -- "$(printf '%s' "$option" | sed 's/-/\\-/g')" "$man_page" ||
        fail "the man page does not describe $option"
    done
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures install check(s) failed" >&2
  exit 1
fi
echo "installed files are in place"
