#!/usr/bin/env bash
# ./run help and an unknown command list every command the script takes: each
# label of the script's command switch appears at the start of a line of the list.
set -euo pipefail
script=$1
help=$("$script" help)
if "$script" no-such-command >/dev/null 2>"${TMPDIR:-/tmp}/run_help.$$"; then
  echo "an unknown command succeeded"; exit 1
fi
unknown=$(cat "${TMPDIR:-/tmp}/run_help.$$"); rm -f "${TMPDIR:-/tmp}/run_help.$$"
[[ $unknown == *"unknown command: no-such-command"* ]] || { echo "unknown command: $unknown"; exit 1; }
labels=$(sed -n 's/^  \([a-z][a-z-]*\)).*/\1/p' "$script")
[ -n "$labels" ] || { echo "no command labels found in $script"; exit 1; }
for label in $labels help; do
  grep -q "^  $label\b" <<<"$help" || { echo "./run help does not list $label"; exit 1; }
  grep -q "^  $label\b" <<<"$unknown" || { echo "an unknown command does not list $label"; exit 1; }
done
if grep -q 'set -euo\|^cd \|#!/' <<<"$help"; then
  echo "./run help shows the script's own lines"; exit 1
fi
echo "listed: $labels help"
