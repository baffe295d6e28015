#!/usr/bin/env bash
# Fails when a C++ file of the repository is not formatted as .clang-format
# says, and names each such file. `scripts/check-format.sh --fix` formats them.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
command -v clang-format >/dev/null || {
    echo "check-format: clang-format is missing; install it with:  sudo apt-get install clang-format" >&2
    exit 1
}
mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | while read -r f; do
    [ -f "$f" ] && echo "$f"
done)
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
bad=()
for f in "${files[@]}"; do
    clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
    echo "check-format: not formatted as .clang-format says (scripts/check-format.sh --fix formats them):" >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
fi
echo "check-format: ${#files[@]} files formatted"
