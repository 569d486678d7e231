#!/bin/bash
# The suite's test command: builds the tree in several configurations ("legs")
# and runs their tests with CTest. Every leg builds in its own directory below
# build-test/ and fails the whole run when it fails. The last line printed is
# "summary: N passed, M failed", counted over all legs.
#
#   scripts/test.sh [LEG...]   legs: normal asan m32 tsan fuzz (default: all)
#
# Environment: VM_TEST_DIR (default <repo>/build-test), VM_JOBS (default 2).
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${VM_TEST_DIR:-$root/build-test}
jobs=${VM_JOBS:-2}
all_legs=(normal asan m32 tsan fuzz)

usage() {
  cat <<EOF
usage: scripts/test.sh [LEG...]

Builds and tests the suite; all legs when none is named.
  normal  gcc, RelWithDebInfo: the format check of the changed C++ files, every test
  asan    gcc with AddressSanitizer and UndefinedBehaviorSanitizer: every test
  m32     32-bit x86 cross build: the unit tests, through cmake/run-i386
  tsan    gcc with ThreadSanitizer: every test, the system tests included; any report fails
  fuzz    clang with libFuzzer, ASan and UBSan: each fuzz target for a bounded time
Build directories: ${out}/<leg>. Logs: ${out}/<leg>/*.log.
EOF
}

legs=()
for arg in "$@"; do
  case $arg in
    -h | --help)
      usage
      exit 0
      ;;
    normal | asan | m32 | tsan | fuzz) legs+=("$arg") ;;
    *)
      echo "test.sh: unknown leg '$arg'" >&2
      usage >&2
      exit 2
      ;;
  esac
done
if [ ${#legs[@]} -eq 0 ]; then
  legs=("${all_legs[@]}")
fi

total_passed=0
total_failed=0
results=()
# Every failed test, named with its leg, so the end of the run says which.
failed_tests=()

seconds_text() {
  printf '%dm%02ds' $(($1 / 60)) $(($1 % 60))
}

# Sets cpu_now to the CPU seconds (user and system) of every finished child
# so far: with the wall time it tells a slow leg from a busy machine. `times`
# must run in this shell, not in a subshell.
read_child_cpu() {
  times >"$out/.times"
  cpu_now=$(awk 'NR == 2 {
    total = 0
    for (i = 1; i <= 2; i++) {
      split($i, part, "m")
      sub("s", "", part[2])
      total += part[1] * 60 + part[2]
    }
    printf "%d\n", total
  }' "$out/.times")
}

# Runs a logged step; on failure shows where it went wrong.
step() {
  local name=$1 log=$2
  shift 2
  if "$@" >"$log" 2>&1; then
    return 0
  fi
  echo "test.sh: $name failed; its first errors and the end of $log:"
  grep -E -m 20 'error:|Error [0-9]+|undefined reference|CMake Error' "$log" || true
  echo "..."
  tail -n 25 "$log"
  return 1
}

warnings_in() {
  grep -c -E 'warning: ' "$1" || true
}

# configure DIR ARGS...: a fresh cache for the leg's own options each time,
# so that switching compilers or toolchains never mixes two configurations.
configure() {
  local dir=$1
  shift
  mkdir -p "$dir"
  rm -f "$dir/CMakeCache.txt"
  step configure "$dir/configure.log" cmake -S "$root" -B "$dir" -G "Unix Makefiles" "$@"
}

# build DIR [SUBDIR]: everything, or only the targets of one directory of the
# build tree and what they need.
build() {
  local dir=$1 sub=${2:-}
  if [ -n "$sub" ]; then
    step build "$dir/build.log" make -C "$dir/$sub" -j "$jobs" all || return 1
  else
    step build "$dir/build.log" cmake --build "$dir" -j "$jobs" || return 1
  fi
  local w
  w=$(warnings_in "$dir/build.log")
  if [ "$w" -gt 0 ]; then
    echo "test.sh: the build printed $w warning line(s); see $dir/build.log"
  fi
}

# run_ctest DIR TESTDIR TIMEOUT [WRAPPER...]: runs the tests below TESTDIR and
# adds their counts to the totals; leaves the leg's counts in leg_passed and
# leg_failed.
run_ctest() {
  local dir=$1 testdir=$2 timeout=$3
  shift 3
  leg_passed=0
  leg_failed=0
  if [ ! -d "$testdir" ]; then
    echo "test.sh: no tests here yet ($testdir is not in the build)"
    return 0
  fi
  local status=0
  "$@" ctest --test-dir "$testdir" -j "$jobs" --output-on-failure --timeout "$timeout" \
    --no-tests=ignore 2>&1 | tee "$dir/ctest.log"
  status=${PIPESTATUS[0]}
  local line
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$dir/ctest.log" | tail -n 1)
  if [ -n "$line" ]; then
    local failed total
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    leg_failed=$failed
    leg_passed=$((total - failed))
    local name
    while IFS= read -r name; do
      failed_tests+=("$leg: $name")
    done < <(sed -n '/^The following tests FAILED:/,/^[^[:space:]]/s/^[[:space:]]\+[0-9]\+ - //p' "$dir/ctest.log")
  elif ! grep -q 'No tests were found' "$dir/ctest.log" && [ "$status" -eq 0 ]; then
    echo "test.sh: ctest printed no result line"
    status=1
  fi
  if [ "$status" -ne 0 ] && [ "$leg_failed" -eq 0 ]; then
    echo "test.sh: ctest ended with status $status without a failed test"
    leg_failed=1
    failed_tests+=("$leg: ctest itself (status $status, no test failed)")
  fi
  [ "$status" -eq 0 ] && [ "$leg_failed" -eq 0 ]
}

# Sanitizer reports of detached or namespaced processes (the daemon writes to
# /dev/null) would be lost on stderr, so every process logs them to files
# that the leg checks afterwards.
sanitizer_logs_clean() {
  local logs=$1
  local files
  files=$(find "$logs" -type f 2>/dev/null | sort)
  if [ -z "$files" ]; then
    return 0
  fi
  echo "test.sh: sanitizer reports:"
  local f
  for f in $files; do
    echo "--- $f"
    head -n 60 "$f"
  done
  return 1
}

# A sanitizer report fails the leg, as one failure when its tests had none.
sanitizer_verdict() {
  sanitizer_logs_clean "$1" && return 0
  [ "$leg_failed" -gt 0 ] || leg_failed=1
  failed_tests+=("$leg: sanitizer reports (printed above)")
  return 1
}

# The native legs (normal, asan, tsan) also pass -DVM_REQUIRE_WKSRV=ON: a
# missing client library must stop them, never skip the master's tests.
compilers=(-DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++)

# The format of the C++ files changed against main (scripts/format_check.sh)
# counts as one more test of the leg.
leg_normal() {
  local dir=$out/normal ok=0 formatted=0
  mkdir -p "$dir"
  if "$root/scripts/format_check.sh" >"$dir/format.log" 2>&1; then
    tail -n 1 "$dir/format.log"
  else
    formatted=1
    echo "test.sh: the format check failed; its output ($dir/format.log):"
    head -n 40 "$dir/format.log"
  fi
  configure "$dir" "${compilers[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVM_WERROR=ON -DVM_REQUIRE_WKSRV=ON || return 1
  build "$dir" || return 1
  run_ctest "$dir" "$dir" 300 || ok=1
  if [ "$formatted" -eq 0 ]; then
    leg_passed=$((leg_passed + 1))
  else
    leg_failed=$((leg_failed + 1))
    failed_tests+=("$leg: the format check")
    ok=1
  fi
  return $ok
}

leg_asan() {
  local dir=$out/asan logs=$out/asan/sanitizer-logs
  configure "$dir" "${compilers[@]}" -DCMAKE_BUILD_TYPE=Debug -DVM_SANITIZE=ON -DVM_REQUIRE_WKSRV=ON || return 1
  build "$dir" || return 1
  rm -rf "$logs"
  mkdir -p "$logs"
  local ok=0
  ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:check_initialization_order=1:log_path=$logs/asan" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$logs/ubsan" \
    LSAN_OPTIONS="log_path=$logs/lsan" \
    run_ctest "$dir" "$dir" 600 || ok=1
  sanitizer_verdict "$logs" || ok=1
  return $ok
}

is_elf() {
  [ "$(od -An -tx1 -N4 "$1" | tr -d ' \n')" = 7f454c46 ]
}

# ELF class 1 (32-bit) and machine 3 (Intel 80386).
is_i386_elf() {
  [ "$(od -An -tx1 -N5 "$1" | tr -d ' \n')" = 7f454c4601 ] &&
    [ "$(od -An -tu2 -j18 -N2 "$1" | tr -d ' \n')" = 3 ]
}

leg_m32() {
  local dir=$out/m32
  configure "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i386-linux.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo || return 1
  build "$dir" || return 1
  local program
  for program in "$dir"/bin/* "$dir"/tests/*; do
    if [ -f "$program" ] && is_elf "$program" && ! is_i386_elf "$program"; then
      echo "test.sh: $program is not a 32-bit x86 program"
      return 1
    fi
  done
  run_ctest "$dir" "$dir" 600
}

# ThreadSanitizer's runtime fails on kernels with high mmap randomisation
# ("unexpected memory mapping"); turning randomisation off for the test run
# is the documented way round it.
tsan_wrapper() {
  local dir=$1
  tsan_wrap=()
  local src=$dir/tsan-probe.cpp bin=$dir/tsan-probe
  cat >"$src" <<'EOF'
#include <thread>
int main() {
  std::thread t([] {});
  t.join();
  return 0;
}
EOF
  if ! g++ -std=c++17 -fsanitize=thread -pthread "$src" -o "$bin" 2>"$dir/tsan-probe.log"; then
    echo "test.sh: gcc cannot build a ThreadSanitizer program; see $dir/tsan-probe.log"
    return 1
  fi
  local bits
  bits=$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 28)
  if [ "$bits" -le 28 ] && "$bin" >>"$dir/tsan-probe.log" 2>&1; then
    return 0
  fi
  if setarch "$(uname -m)" -R "$bin" >>"$dir/tsan-probe.log" 2>&1; then
    echo "test.sh: mmap randomisation ($bits bits) is too high for ThreadSanitizer; running with setarch -R"
    tsan_wrap=(setarch "$(uname -m)" -R)
    return 0
  fi
  echo "test.sh: ThreadSanitizer programs do not run here; see $dir/tsan-probe.log"
  return 1
}

leg_tsan() {
  local dir=$out/tsan logs=$out/tsan/sanitizer-logs
  configure "$dir" "${compilers[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVM_TSAN=ON -DVM_REQUIRE_WKSRV=ON || return 1
  build "$dir" || return 1
  tsan_wrapper "$dir" || return 1
  rm -rf "$logs"
  mkdir -p "$logs"
  local ok=0
  TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:log_path=$logs/tsan" \
    run_ctest "$dir" "$dir" 900 "${tsan_wrap[@]}" || ok=1
  sanitizer_verdict "$logs" || ok=1
  return $ok
}

leg_fuzz() {
  local dir=$out/fuzz
  configure "$dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVM_FUZZ=ON -DVM_SANITIZE=ON || return 1
  if [ ! -f "$dir/tests/fuzz/Makefile" ]; then
    echo "test.sh: no fuzz targets in the build yet"
    return 0
  fi
  build "$dir" tests/fuzz || return 1
  run_ctest "$dir" "$dir/tests/fuzz" 300
}

describe() {
  case $1 in
    normal) echo "gcc, RelWithDebInfo: the format check and all tests" ;;
    asan) echo "gcc, AddressSanitizer + UndefinedBehaviorSanitizer: all tests" ;;
    m32) echo "32-bit x86 (cmake/i386-linux.cmake): unit tests through cmake/run-i386" ;;
    tsan) echo "gcc, ThreadSanitizer: all tests" ;;
    fuzz) echo "clang, libFuzzer + ASan + UBSan: the fuzz targets" ;;
  esac
}

mkdir -p "$out"
start_all=$SECONDS
for leg in "${legs[@]}"; do
  echo
  echo "================================================================"
  echo "== leg $leg: $(describe "$leg")"
  echo "================================================================"
  leg_passed=0
  leg_failed=0
  start=$SECONDS
  read_child_cpu
  cpu_start=$cpu_now
  if "leg_$leg"; then
    verdict=passed
  else
    verdict=FAILED
    if [ "$leg_failed" -eq 0 ]; then
      # A leg that broke before or outside its tests still counts as a failure.
      leg_failed=1
      failed_tests+=("$leg: the leg itself (its configure, build or set-up; see above)")
    fi
  fi
  took=$((SECONDS - start))
  read_child_cpu
  cpu=$((cpu_now - cpu_start))
  total_passed=$((total_passed + leg_passed))
  total_failed=$((total_failed + leg_failed))
  line=$(printf '%-7s %-6s %7s (cpu %7s)  %d passed, %d failed' "$leg" "$verdict" \
    "$(seconds_text "$took")" "$(seconds_text "$cpu")" "$leg_passed" "$leg_failed")
  results+=("$line")
  echo "== leg $leg $verdict in $(seconds_text "$took") (cpu $(seconds_text "$cpu")):" \
    "$leg_passed passed, $leg_failed failed"
done

echo
echo "================================================================"
echo "== legs (total $(seconds_text $((SECONDS - start_all))))"
for line in "${results[@]}"; do
  echo "   $line"
done
if [ ${#failed_tests[@]} -gt 0 ]; then
  echo "== failed tests"
  for line in "${failed_tests[@]}"; do
    echo "   $line"
  done
fi
echo "summary: $total_passed passed, $total_failed failed"
[ "$total_failed" -eq 0 ]
