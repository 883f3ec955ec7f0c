#!/usr/bin/env bash
# Fails, listing them, when C++ files of the repository are not in the style
# of .clang-format. Files are the ones git knows (tracked or new, not ignored),
# so a build tree is never looked at. Fix a file with: clang-format -i FILE
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
format="${CLANG_FORMAT:-clang-format}"
if ! command -v "$format" >/dev/null; then
  echo "check-format: $format not found (Debian package clang-format)" >&2
  exit 2
fi
bad=()
while IFS= read -r -d '' file; do
  [ -f "$file" ] || continue # deleted, not yet staged
  if ! "$format" --dry-run --Werror "$file" >/dev/null 2>&1; then
    bad+=("$file")
  fi
done < <(git ls-files -z --cached --others --exclude-standard -- '*.cpp' '*.h' '*.hpp' '*.cc')
if [ "${#bad[@]}" -gt 0 ]; then
  echo "check-format: ${#bad[@]} file(s) not in the .clang-format style ($("$format" --version)):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  echo "Run: clang-format -i FILE..." >&2
  exit 1
fi
echo "check-format: every C++ file is in the .clang-format style"
