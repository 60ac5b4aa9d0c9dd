#!/usr/bin/env bash
# The architecture page cannot go stale unnoticed: its diagram is the one
# graphviz draws from its committed source, and every file and folder it
# (or the source) names is in the tree.
set -euo pipefail
top=$1
command -v dot >/dev/null || { echo "graphviz (dot) is not installed: skipped"; exit 77; }
drawn=$(mktemp)
trap 'rm -f "$drawn"' EXIT
dot -Tsvg "$top/docs/architecture.dot" -o "$drawn"
if ! cmp -s "$drawn" "$top/docs/architecture.svg"; then
    echo "docs/architecture.svg is not what docs/architecture.dot draws; run:"
    echo "  dot -Tsvg docs/architecture.dot -o docs/architecture.svg"
    exit 1
fi
missing=0
for path in $(grep -ohE '\b(app|cli|web|core|engine|workers|bootloader|sim|tests)/[A-Za-z0-9_./-]*' \
                  "$top/docs/architecture.md" "$top/docs/architecture.dot" | sed 's/[.,)]*$//' | sort -u); do
    if [ ! -e "$top/$path" ]; then
        echo "named in the architecture page but not in the tree: $path"
        missing=1
    fi
done
exit $missing
