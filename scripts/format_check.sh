#!/bin/bash
# Checks that the C++ files changed against a base are formatted as the
# repository's .clang-format says; it changes no file.
#
#   scripts/format_check.sh [BASE]
#
# BASE is any commit. Without one, the base is the merge base of HEAD with
# main (or origin/main on a fresh clone); on main itself, where that is HEAD,
# it is HEAD's first parent, so a merge commit is judged by everything the
# merge brought in. Changed means added, copied, modified or renamed between
# BASE and the working tree, committed or not, or new and not yet added. With no history to compare
# with (a shallow clone without main), every tracked C++ file is checked.
# Exit status: 0 when every file checked is formatted, 1 when one is not,
# 2 when the check cannot run.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 2

if ! command -v clang-format >/dev/null; then
  echo "format_check.sh: clang-format is not installed (scripts/deps.sh installs it)" >&2
  exit 2
fi

# The default base commit, or nothing when none can be found.
find_base() {
  local ref head base
  head=$(git rev-parse --verify --quiet HEAD) || return 0
  for ref in main origin/main; do
    if base=$(git merge-base "$head" "$ref" 2>/dev/null); then
      if [ "$base" != "$head" ]; then
        echo "$base"
        return
      fi
      git rev-parse --verify --quiet "$head^1" || true
      return
    fi
  done
}

if [ $# -gt 0 ]; then
  base=$(git rev-parse --verify --quiet "$1^{commit}") || {
    echo "format_check.sh: no commit '$1'" >&2
    exit 2
  }
else
  base=$(find_base)
fi
files=()
if [ -n "$base" ]; then
  echo "format_check.sh: the C++ files changed since $(git rev-parse --short "$base")"
  mapfile -t files < <({
    git diff --name-only --diff-filter=ACMR "$base" -- '*.cpp' '*.h' '*.cc' '*.c'
    # Not what CMake writes into a build directory that .gitignore misses.
    git ls-files --others --exclude-standard -- '*.cpp' '*.h' '*.cc' '*.c' |
      grep -v '/CMakeFiles/'
  } | sort -u)
else
  echo "format_check.sh: no base found; every tracked C++ file"
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h' '*.cc' '*.c')
fi

if [ ${#files[@]} -eq 0 ]; then
  echo "format_check.sh: no C++ file to check"
  exit 0
fi
if clang-format --dry-run -Werror "${files[@]}"; then
  echo "format_check.sh: ${#files[@]} file(s) formatted"
  exit 0
fi
echo "format_check.sh: not formatted; run clang-format -i on the files named above" >&2
exit 1
