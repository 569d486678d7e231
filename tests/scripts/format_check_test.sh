#!/bin/bash
# scripts/format_check.sh judges the C++ files changed against main: on a
# branch, on main after a merge and in a fresh clone, with files not yet added
# counted and files nobody changed left alone.
#
#   format_check_test.sh FORMAT_CHECK_SCRIPT CLANG_FORMAT_FILE
set -u
script=$1
style=$2
for tool in git clang-format; do
  command -v "$tool" >/dev/null || { echo "skipped: no $tool"; exit 77; }
done

dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
failures=0

# expect STATUS WHAT COMMAND...: runs COMMAND and compares its exit status.
expect() {
  local want=$1 what=$2
  shift 2
  "$@" >"$dir/out" 2>&1
  local got=$?
  if [ "$got" -eq "$want" ]; then
    echo "ok: $what"
  else
    echo "FAILED: $what: exit status $got, expected $want; its output:"
    cat "$dir/out"
    failures=$((failures + 1))
  fi
}

repo=$dir/repo
git init -q -b main "$repo" && cd "$repo" || exit 1
git config user.email test@example.invalid
git config user.name test
mkdir scripts && cp "$script" scripts/ && cp "$style" .clang-format || exit 1
printf 'int  Old( ){return 0;}\n' >old.cpp
git add -A && git commit -qm base

git checkout -q -b topic
printf 'int Good() {\n  return 1;\n}\n' >good.cpp
git add good.cpp && git commit -qm good
expect 0 "a formatted change passes; an old file nobody changed is not judged" \
  scripts/format_check.sh
printf 'int  Bad( ){return 1;}\n' >bad.cpp
expect 1 "a new file not yet added is judged" scripts/format_check.sh
git add bad.cpp && git commit -qm bad
expect 1 "a committed file that is not formatted fails" scripts/format_check.sh
expect 0 "an explicit base after the change" scripts/format_check.sh HEAD
expect 2 "an unknown base" scripts/format_check.sh no-such-commit

git clone -q --branch topic "$repo" "$dir/clone"
expect 1 "in a fresh clone the base is origin/main" "$dir/clone/scripts/format_check.sh"

git checkout -q main && git merge -q --no-ff -m merge topic
expect 1 "on main a merge is judged by what it brought in" scripts/format_check.sh
git checkout -q topic && clang-format -i bad.cpp && git commit -qam formatted
git checkout -q main && git merge -q --no-ff -m merge topic
expect 0 "on main a merge of formatted files passes" scripts/format_check.sh

[ "$failures" -eq 0 ]
