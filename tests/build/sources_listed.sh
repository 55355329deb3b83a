#!/usr/bin/env bash
# Every C++ source and header of the tree belongs to a target: with explicit
# source lists, a file left out of them would otherwise never be compiled.
#   sources_listed.sh SOURCE_DIR LISTED_FILE
set -euo pipefail
src=$1
listed=$2

if git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    tree=$(git -C "$src" ls-files --cached --others --exclude-standard -- '*.cpp' '*.h')
else
    tree=$(cd "$src" && find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print | sed 's|^\./||')
fi

missing=$(comm -23 <(printf '%s\n' "$tree" | sort -u) <(sort -u "$listed"))
if [ -n "$missing" ]; then
    echo "Named in no target's source list:"
    printf '  %s\n' $missing
    exit 1
fi
echo "$(printf '%s\n' "$tree" | wc -l) sources, each in a target"
