#!/usr/bin/env bash
# Fails (listing the places) when a source file of src, tests, tools, bench or fuzz is not
# formatted as the repository's .clang-format says. Fix with: clang-format -i <file>
set -euo pipefail
cd "$(dirname "$0")/.."
format="$(command -v clang-format || command -v clang-format-14 || true)"
if [ -z "$format" ]; then
    echo "clang-format is not installed (scripts/setup.sh installs it)" >&2
    exit 1
fi
files=()
while IFS= read -r -d '' file; do
    files+=("$file")
done < <(git ls-files -z --cached --others --exclude-standard -- \
    'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'tools/*.cpp' 'tools/*.h' \
    'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h')
if [ ${#files[@]} -eq 0 ]; then
    echo "no source files found" >&2
    exit 1
fi
if ! "$format" --style=file --dry-run -Werror "${files[@]}"; then
    echo "Source files are not clang-formatted (see above); run clang-format -i on them." >&2
    exit 1
fi
echo "clang-format: ${#files[@]} files formatted"
