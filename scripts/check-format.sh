#!/usr/bin/env bash
# Fails when a C or C++ source of the repository is not laid out as the
# repository's .clang-format says. Run by `make test`; `clang-format -i FILE`
# fixes a file it names.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null; then
    echo "check-format: clang-format is not installed" >&2
    exit 1
fi
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files -co --exclude-standard '*.c' '*.cpp' '*.h')
else
    mapfile -t files < <(find . -path ./build\* -prune -o \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print)
fi
existing=()
for f in "${files[@]}"; do [ -f "$f" ] && existing+=("$f"); done
clang-format --dry-run -Werror "${existing[@]}"
echo "check-format: ${#existing[@]} files laid out as .clang-format says"
