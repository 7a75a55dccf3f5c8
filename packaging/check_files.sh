#!/usr/bin/env bash
# The desktop entries pass desktop-file-validate, the icons are well-formed SVG
# and the man pages format without a warning. Skipped (77) when a checker is
# missing (./run setup installs them).
set -euo pipefail
dir=$1
for tool in desktop-file-validate xmllint man; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
done
status=0
for entry in "$dir"/*.desktop; do
  out=$(desktop-file-validate "$entry" 2>&1) || status=1
  [ -z "$out" ] || { echo "$entry: $out"; status=1; }
  icon=$(sed -n 's/^Icon=//p' "$entry")
  [ -f "$dir/icons/$icon.svg" ] || { echo "$entry: no icon $icon.svg"; status=1; }
done
for icon in "$dir"/icons/*.svg; do
  xmllint --noout "$icon" || status=1
  grep -q '<svg[^>]*viewBox=' "$icon" || { echo "$icon: no viewBox, so it does not scale"; status=1; }
done
for page in "$dir"/*.1; do
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || status=1
  [ -z "$out" ] || { echo "$page: $out"; status=1; }
done
[ $status -eq 0 ] && echo "desktop entries, icons and man pages are valid"
exit $status
