#!/usr/bin/env bash
# Fails when a C/C++ file of the repository is not formatted as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp')
[ ${#files[@]} -eq 0 ] && exit 0
if clang-format --dry-run --Werror "${files[@]}" 2>/tmp/lzf-format.$$; then
  rm -f /tmp/lzf-format.$$
  echo "format: ${#files[@]} files formatted"
else
  grep -E '^[^ ].*: (error|warning):' /tmp/lzf-format.$$ | cut -d: -f1 | sort -u | sed 's/^/format: not formatted: /'
  rm -f /tmp/lzf-format.$$
  exit 1
fi
