#!/bin/bash
# Measures the daemon against the floor servers on a private loopback (the
# floor starts its script with posix_spawn; a second one with fork and execv
# is kept for reference): builds# network namespaces, prints the figures and writes them into RESULTS.md
# between its "measured" markers (the notes around them are kept).
#
# Usage: bench/run.sh [RUNS [ORDERS [ROUNDS [SECONDS]]]]
#   RUNS     interleaved runs of each server (default 7)
#   ORDERS   sequential orders per run (default 100)
#   ROUNDS   rounds of 32 simultaneous callers per run (default 10)
#   SECONDS  length of each throughput run, done in the first 3 runs (default 10)
# VM_BENCH_QSLX=PATH measures another build of the daemon (a candidate fix)
# against the same floor. VM_BENCH_REFERENCE=reap replaces the fork floor by
# the spawn floor that reaps its scripts itself, as the daemon does; the
# figures then go into a block of their own.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
build=${VM_BENCH_BUILD:-$repo/build-load-bench}
port=6005
floor_port=6006
fork_floor_port=6007

if [ "${1:-}" != "--inside" ]; then
  runs=${1:-7} orders=${2:-100} rounds=${3:-10} seconds=${4:-10}
  [ "$(id -u)" = 0 ] || { echo "run.sh: needs root (namespaces, the daemon's root check)" >&2; exit 1; }
  echo "== building release binaries in $build"
  cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DVM_BENCH=ON >/dev/null
  cmake --build "$build" -j2 --target qslx bench_floor_server bench_stamp bench_driver >/dev/null
  work=$(mktemp -d /tmp/vm-bench.XXXXXX)
  trap 'rm -rf "$work"' EXIT
  out=$work/results.txt
  unshare --pid --fork --mount-proc --net \
    "$0" --inside "$build" "$work" "$runs" "$orders" "$rounds" "$seconds" | tee "$out"
  # A candidate build's figures go into a block of their own.
  mark="measured${VM_BENCH_QSLX:+ candidate}${VM_BENCH_REFERENCE:+ $VM_BENCH_REFERENCE}"
  {
    echo "<!-- $mark -->"
    echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') by bench/run.sh $runs $orders $rounds $seconds"
    echo
    echo '```'
    cat "$out"
    echo '```'
    echo "<!-- end $mark -->"
  } >"$work/block"
  results=$here/RESULTS.md
  if [ -f "$results" ] && grep -qx "<!-- $mark -->" "$results"; then
    awk -v block="$work/block" -v first="<!-- $mark -->" -v last="<!-- end $mark -->" '
      $0 == first { while ((getline line < block) > 0) print line; skip = 1; next }
      $0 == last { skip = 0; next }
      !skip { print }' "$results" >"$work/new"
    cat "$work/new" >"$results"
  elif [ -f "$results" ]; then
    { echo; cat "$work/block"; } >>"$results"
  else
    { echo "# Benchmark of qslx against the floor"; echo; cat "$work/block"; } >"$results"
  fi
  echo "== figures written to $results"
  exit 0
fi

# Inside the namespaces: this shell is PID 1, so the detached daemon becomes
# its child and everything ends with it.
build=$2 work=$3 runs=$4 orders=$5 rounds=$6 seconds=$7
ip link set lo up
echo "1024 65000" >/proc/sys/net/ipv4/ip_local_port_range
ulimit -n "$(ulimit -Hn)"

tree=$work/tree
mkdir -p "$tree/bin" "$tree/languages" "$tree/data" "$tree/script/system"
cp "${VM_BENCH_QSLX:-$build/bin/qslx}" "$tree/bin/qslx"
stamp=$build/bench/bench_stamp
printf '[Globals]\nInstallPath=%s/\nLanguageFile=bench.lng\n' "$tree" >"$tree/bin/voltmon.cfg"
cat >"$tree/languages/bench.lng" <<'LNG'
[ERRORS]
100001=Check the settings.
100002=The command server could not be created.
98=Port $ is already in use.
[QSSRV]
LogStart=Daemon started
LogStop=Daemon stopped
LogNotExecuted=Refused a caller from $
LogShutdown=Shutdown ordered by $
LogMessage=Message ordered by $
LogCustom_1=Custom 1 ordered by $
LogCustom_2=Custom 2 ordered by $
LogCustom_3=Custom 3 ordered by $
LogUnknown=Unknown order from $
LogAliveKo=Master $ failed after $ attempts
LNG
cat >"$tree/bin/qslx.cfg" <<CFG
[QS System]
AdrCount=1
Adr0=127.0.0.1
ListenPort=$port
AliveEnabled=0
ScriptShutdown=$stamp
ScriptMessage=$stamp
LogEnabled=1
LogMaxSize=10000000
CFG

export VM_BENCH_STAMPS=$work/stamps.sock
"$build/bench/bench_floor_server" $floor_port "$stamp" spawn &
floor=$!
"$build/bench/bench_floor_server" $fork_floor_port "$stamp" "${VM_BENCH_REFERENCE:-fork}" &
fork_floor=$!
"$tree/bin/qslx" >"$work/qslx.out" 2>&1 || true

pid=""
for _ in $(seq 50); do
  for status in /proc/[0-9]*/status; do
    if grep -q '^Name:[[:space:]]*qslx$' "$status" 2>/dev/null &&
      grep -q '^PPid:[[:space:]]*1$' "$status" 2>/dev/null; then
      pid=$(awk '/^Pid:/ {print $2}' "$status")
    fi
  done
  [ -n "$pid" ] && grep -q "daemon started" "$work/qslx.out" && break
  sleep 0.1
done
if [ -z "$pid" ]; then
  echo "the daemon did not start:" >&2
  cat "$work/qslx.out" >&2
  exit 1
fi

echo "machine: $(uname -srm), $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "qslx pid $pid in its own namespaces, release build ${VM_BENCH_QSLX:-$build/bin/qslx}"
echo
sleep 1
echo "== resident memory, idle"
grep -E '^(VmRSS|VmHWM|Threads):' /proc/$pid/status | tr -s '\t ' ' ' | sed 's/^/  /'
echo
echo "== CPU time while idle"
"$build/bench/bench_driver" idle "$pid" 60
echo
echo "== latency and throughput, interleaved"
"$build/bench/bench_driver" compare $port $floor_port $fork_floor_port "$VM_BENCH_STAMPS" \
  "$runs" "$orders" "$rounds" "$seconds" "$pid" "$floor" "$fork_floor"
echo
echo "== 1,000 open connections"
"$build/bench/bench_driver" hold $port 1000 "$pid" || echo "  (not every connection was greeted)"
echo
echo "lines in the event log: $(wc -l <"$tree/data/qs_log.txt")"

"$tree/bin/qslx" -s >/dev/null 2>&1 || true
kill "$floor" "$fork_floor" 2>/dev/null || true
for _ in $(seq 50); do
  [ -d /proc/$pid ] || break
  sleep 0.1
done
