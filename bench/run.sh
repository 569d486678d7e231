#!/bin/bash
# Measures the daemon against the floor servers (the floor starts its script
# with posix_spawn; a second one with fork and execv is kept for reference)
# in private PID, mount and network namespaces. The callers sit on another
# host as a real master does: a network namespace of their own, joined to the
# daemon's by a veth pair; the same figures on the loopback, where the daemon
# checks that a caller on its own computer is root, follow as a second line.
# Before each part it waits until the machine is quiet (bench/quiet.sh) and
# prints the load. Prints the figures and writes them into RESULTS.md between
# its "measured" markers (the notes around them are kept).
#
# Usage: bench/run.sh [RUNS [ORDERS [ROUNDS [SECONDS]]]]
#   RUNS     interleaved runs of each server (default 7)
#   ORDERS   sequential orders per run (default 100)
#   ROUNDS   rounds of 32 simultaneous callers per run (default 10)
#   SECONDS  length of each throughput run, done in the first 3 runs (default 10)
# VM_BENCH_QSLX=PATH measures another build of the daemon (a candidate fix)
# against the same floor. VM_BENCH_REFERENCE=reap replaces the fork floor by
# the spawn floor that reaps its scripts itself, as the daemon does; the
# figures then go into a block of their own. When the machine does not
# become quiet the script refuses, unless VM_BENCH_LOADED=1.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
build=${VM_BENCH_BUILD:-$repo/build-load-bench}
port=6005
floor_port=6006
fork_floor_port=6007
# The veth pair's ends: link-local addresses, which are never routed beyond
# the link, and the link joins two namespaces this script made.
slave_host=169.254.0.1
master_host=169.254.0.2
# shellcheck source=bench/quiet.sh
. "$here/quiet.sh"

if [ "${1:-}" != "--inside" ]; then
  runs=${1:-7} orders=${2:-100} rounds=${3:-10} seconds=${4:-10}
  [ "$(id -u)" = 0 ] || { echo "run.sh: needs root (namespaces, the daemon's root check)" >&2; exit 1; }
  echo "== building release binaries in $build"
  cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DVM_BENCH=ON >/dev/null
  cmake --build "$build" -j2 --target qslx bench_floor_server bench_stamp bench_driver >/dev/null
  if ! bench_wait_quiet "before the benchmark" && [ "${VM_BENCH_LOADED:-0}" != 1 ]; then
    echo "run.sh: the machine is busy; figures taken now would not hold (VM_BENCH_LOADED=1 runs anyway)" >&2
    exit 1
  fi
  work=$(mktemp -d /tmp/vm-bench.XXXXXX)
  trap 'rm -rf "$work"' EXIT
  out=$work/results.txt
  unshare --pid --fork --mount-proc --net \
    "$0" --inside "$build" "$work" "$runs" "$orders" "$rounds" "$seconds" | tee "$out"
  # A candidate build's figures go into a block of their own.
  mark="measured${VM_BENCH_QSLX:+ candidate}${VM_BENCH_REFERENCE:+ $VM_BENCH_REFERENCE}"
  {
    echo "<!-- $mark -->"
    echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') by bench/run.sh $runs $orders $rounds $seconds" \
      "${VM_BENCH_LOADED:+(VM_BENCH_LOADED=$VM_BENCH_LOADED)}"
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

# The master's host: a network namespace kept by a sleeping process, its end
# of the veth pair moved there.
unshare --net sleep 86400 &
master_ns=$!
for _ in $(seq 50); do
  [ "$(readlink /proc/$master_ns/ns/net)" != "$(readlink /proc/self/ns/net)" ] && break
  sleep 0.05
done
in_master() { nsenter --net="/proc/$master_ns/ns/net" "$@"; }
ip link add vm-slave type veth peer name vm-master netns "$master_ns"
ip addr add $slave_host/30 dev vm-slave
ip link set vm-slave up
in_master ip link set lo up
in_master ip addr add $master_host/30 dev vm-master
in_master ip link set vm-master up
in_master sh -c 'echo "1024 65000" >/proc/sys/net/ipv4/ip_local_port_range'
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
AdrCount=2
Adr0=127.0.0.1
Adr1=$master_host
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
echo "qslx pid $pid in its own namespaces, release build ${VM_BENCH_QSLX:-$build/bin/qslx}"
echo "callers on the master's host $master_host, through a veth pair to the daemon's $slave_host"
echo
sleep 1
echo "== resident memory, idle"
grep -E '^(VmRSS|VmHWM|Threads):' /proc/$pid/status | tr -s '\t ' ' ' | sed 's/^/  /'
echo
echo "== CPU time while idle"
bench_wait_quiet "idle" || true
"$build/bench/bench_driver" idle "$pid" 60
echo
echo "== latency and throughput, interleaved: the real path (callers on the master's host)"
bench_wait_quiet "real path" || true
in_master env VM_BENCH_HOST=$slave_host "$build/bench/bench_driver" compare $port $floor_port \
  $fork_floor_port "$VM_BENCH_STAMPS" "$runs" "$orders" "$rounds" "$seconds" "$pid" "$floor" \
  "$fork_floor"
echo
echo "== latency and throughput, interleaved: the loopback (callers on the daemon's host, checked to be root)"
bench_wait_quiet "loopback" || true
"$build/bench/bench_driver" compare $port $floor_port $fork_floor_port "$VM_BENCH_STAMPS" \
  "$runs" "$orders" "$rounds" "$seconds" "$pid" "$floor" "$fork_floor"
echo
echo "== 1,000 open connections (from the master's host)"
bench_wait_quiet "connections" || true
in_master env VM_BENCH_HOST=$slave_host "$build/bench/bench_driver" hold $port 1000 "$pid" ||
  echo "  (not every connection was greeted)"
echo
echo "lines in the event log: $(wc -l <"$tree/data/qs_log.txt")"

"$tree/bin/qslx" -s >/dev/null 2>&1 || true
kill "$floor" "$fork_floor" "$master_ns" 2>/dev/null || true
for _ in $(seq 50); do
  [ -d /proc/$pid ] || break
  sleep 0.1
done
