#!/bin/bash
# Measures the console against whiptail, dialog and the ncurses floor in a
# pseudo-terminal of 80x25: builds release binaries in build-load-bench/, lays
# out two installation trees (the shipped model database, and one of 20,000
# models made by upsdbgen), runs bench/console_driver.cpp and writes its
# figures into RESULTS.md between the "console measured" markers.
#
# Usage: bench/console_run.sh [RUNS]   (default 21)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
build=${VM_BENCH_BUILD:-$repo/build-load-bench}
runs=${1:-21}
[ "$(id -u)" = 0 ] || { echo "console_run.sh: needs root (the console's root check)" >&2; exit 1; }

echo "== building release binaries in $build"
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DVM_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target wkcfg upsdbgen packet bench_console_driver bench_console_floor >/dev/null
work=$(mktemp -d /tmp/vm-console-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

# tree ROOT: the console, its suite settings, language, events and a
# configuration with a shipped model chosen.
tree() {
  local root=$1 packet=$build/packet
  mkdir -p "$root/bin" "$root/languages" "$root/data"
  cp "$packet/bin/wkcfg" "$packet/bin/upsdb.ups" "$packet/bin/defevent.evn" "$root/bin/"
  cp "$packet/languages/english.lng" "$root/languages/"
  printf '[Globals]\nInstallPath=%s/\nLanguageFile=english.lng\n' "$root" >"$root/bin/voltmon.cfg"
  printf '[Wattkeep]\nUpsModelName=Quillon 650\n' >"$root/bin/wksrv.cfg"
}
tree "$work/shipped"
tree "$work/big"
# The shipped models first, then made-up ones of a shipped model's data.
source=$repo/packet/data/upsdb.txt
{
  grep -v '^#' "$source" | grep .
  model=$(grep -m1 '^Quillon 650|' "$source" | cut -d'|' -f2-)
  shipped=$(grep -v '^#' "$source" | grep -c .)
  for i in $(seq 1 $((20000 - shipped))); do echo "Bench model $i|$model"; done
} >"$work/big.txt"
"$build/bin/upsdbgen" "$work/big.txt" "$work/big/bin/upsdb.ups"

out=$work/results.txt
{
  echo "machine: $(uname -srm), $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
  echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "models: shipped $(wc -l <"$work/shipped/bin/upsdb.ups"), big $(wc -l <"$work/big/bin/upsdb.ups")"
  echo "whiptail: $(dpkg-query -W -f='${Version}' whiptail 2>/dev/null || echo '?'), dialog: $(dialog --version 2>&1 | head -1)"
  echo
} | tee "$out"
"$build/bench/bench_console_driver" "$runs" "$work/shipped" "$work/big" "$build/bench/bench_console_floor" |
  tee -a "$out"

# The console keeps only the first lines of a large database until the model
# list is opened, so it is also timed with the configured model the last of
# the 20,000 (every line then read at start): the wkcfg-20k column below.
last=$(tail -n 1 "$work/big.txt" | cut -d'|' -f1)
printf '[Wattkeep]\nUpsModelName=%s\n' "$last" >"$work/big/bin/wksrv.cfg"
echo | tee -a "$out"
echo "== again with \"$last\", the last of the 20,000, configured ($(((runs + 1) / 2)) runs)" | tee -a "$out"
"$build/bench/bench_console_driver" $(((runs + 1) / 2)) "$work/shipped" "$work/big" "$build/bench/bench_console_floor" |
  grep -E '^(medians|  |first frame \(ms\)|first frame, 20,000|peak resident)' | tee -a "$out"

mark="console measured"
{
  echo "<!-- $mark -->"
  echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') by bench/console_run.sh $runs"
  echo
  echo '```'
  cat "$out"
  echo '```'
  echo "<!-- end $mark -->"
} >"$work/block"
results=$here/RESULTS.md
if grep -qx "<!-- $mark -->" "$results"; then
  awk -v block="$work/block" -v first="<!-- $mark -->" -v last="<!-- end $mark -->" '
    $0 == first { while ((getline line < block) > 0) print line; skip = 1; next }
    $0 == last { skip = 0; next }
    !skip { print }' "$results" >"$work/new"
  cat "$work/new" >"$results"
else
  { echo; cat "$work/block"; } >>"$results"
fi
echo "== figures written to $results"
