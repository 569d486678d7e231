#!/bin/bash
# End-to-end demonstration of Voltmon Manager, safe to run on any machine:
# builds the suite and its install packet, then, inside a throwaway sandbox
# (private PID, mount and network namespaces with overlays on /usr and
# /etc), installs the packet with the real installer fed its answers,
# configures the QS System daemon for a master on loopback, starts it
# through bin/startqslx, gives it every order with the stand-in master,
# prints the event log and what the order scripts recorded, and stops it.
# The host is never changed: everything written below /usr and /etc lands
# in a temporary directory that is removed at the end, and nothing stays
# mounted or running.
#
#   scripts/demo.sh          as root
#
# Environment: VM_BUILD_DIR (default <repo>/build), VM_JOBS (default 2).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
install_root=/usr/vantrel/voltmon
port=6005

say() { printf '\n=== %s\n' "$*"; }

# Everything below runs inside the sandbox.
inside() {
  local build=$1
  for dir in /usr /etc; do
    if ! awk -v d="$dir" '$5 == d && / - overlay / { found = 1 } END { exit !found }' \
      /proc/self/mountinfo; then
      echo "demo: $dir is not an overlay here; refusing to go on" >&2
      exit 1
    fi
  done
  export TERM=dumb
  mkdir -p /etc/init.d /etc/rc2.d /etc/rc3.d /etc/rc5.d

  say "Installing from $build/packet (answers: English, accept the licence, QS System only," \
    "no configuration program, register at start-up, do not start yet)"
  printf '%s\n' 1 y n n y n y n | "$build/packet/install" 2>&1 | sed 's/^/  | /'

  say "Installed files"
  (cd "$install_root" && find . -type f | sort | xargs ls -l) | sed 's/^/  /'
  say "Start-up registration"
  ls -l /etc/init.d/startqslx /etc/rc[235].d/[SK]*startqslx | sed 's/^/  /'
  say "Suite settings bin/voltmon.cfg"
  sed 's/^/  /' "$install_root/bin/voltmon.cfg"

  say "Configuring QS System: master 127.0.0.1, port $port; order scripts replaced by recorders"
  local cfg=$install_root/bin/qslx.cfg
  sed -i -e "s/^AdrCount=.*/AdrCount=1/" -e "s/^Adr0=.*/Adr0=127.0.0.1/" \
    -e "s/^ListenPort=.*/ListenPort=$port/" "$cfg"
  grep -E '^(AdrCount|Adr0|ListenPort|Script[A-Za-z_0-9]*)=' "$cfg" | sed 's/^/  /'
  # The shipped scripts shut the machine down, write to every terminal and
  # to the system log; in the demonstration each only records its call.
  local record=$install_root/data/orders.txt
  for script in shutdown message custom1 custom2 custom3; do
    printf '#!/bin/sh\necho "%s.sh ran with argument [$1]" >> %s\n' "$script" "$record" \
      > "$install_root/script/system/$script.sh"
  done

  say "Starting the daemon: bin/startqslx start"
  "$install_root/bin/startqslx" start
  # The daemon is visible before it listens; its start event says it does.
  local waited=0
  while [ ! -s "$install_root/data/qs_log.txt" ] && [ "$waited" -lt 50 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done

  say "Giving orders with the stand-in master"
  local master=$build/bin/qsmaster
  run_master() {
    printf '  qsmaster %s\n' "$*"
    "$master" "$@" 2>&1 | sed 's/^/    /' || true
  }
  echo "  order 0, shut down:"
  run_master send 127.0.0.1 "$port" 0
  echo "  order 1, show a message:"
  run_master send 127.0.0.1 "$port" 1 "Power failure, please save your work"
  echo "  orders 2, 3 and 4, custom scripts 1, 2 and 3:"
  run_master send 127.0.0.1 "$port" 2
  run_master send 127.0.0.1 "$port" 3
  run_master send 127.0.0.1 "$port" 4
  echo "  an order from an address that is not an allowed master:"
  run_master send 127.0.0.1 "$port" 0 --bind 127.0.0.2

  waited=0
  while [ "$(wc -l 2> /dev/null < "$record" || echo 0)" -lt 5 ] && [ "$waited" -lt 50 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done

  say "What the order scripts recorded ($record)"
  sed 's/^/  /' "$record" 2> /dev/null || echo "  (nothing)"

  say "Stopping the daemon: bin/startqslx stop"
  "$install_root/bin/startqslx" stop

  say "Event log data/qs_log.txt"
  echo "  (for custom script 2 the daemon logs the script's path on a line of its"
  echo "  own before \"Custom script 2 ordered by ...\"; that line is no fault)"
  sed 's/^/  /' "$install_root/data/qs_log.txt"
}

if [ "${1:-}" = --inside ]; then
  inside "$2"
  exit 0
fi

if [ "$(id -u)" != 0 ]; then
  echo "demo: run as root: the sandbox needs private namespaces and overlay mounts" >&2
  exit 1
fi

build=${VM_BUILD_DIR:-$root/build}
say "Building in $build"
mkdir -p "$build"
log=$build/demo-build.log
{ cmake -S "$root" -B "$build" && cmake --build "$build" -j"${VM_JOBS:-2}" --target packet nsrun qsmaster; } \
  > "$log" 2>&1 || { tail -30 "$log"; echo "demo: the build failed; see $log" >&2; exit 1; }
echo "  built: $build/packet/install and the packet beside it"

work=$(mktemp -d /tmp/voltmon-demo.XXXXXX)
trap 'rm -rf "$work"' EXIT
had_install_root=no
[ -e "$install_root" ] && had_install_root=yes

say "Entering the sandbox (writes to /usr and /etc go to $work)"
status=0
"$build/bin/nsrun" --overlay "/usr:$work/usr" --overlay "/etc:$work/etc" --timeout 90 -- \
  /bin/bash "$root/scripts/demo.sh" --inside "$build" || status=$?

say "Back on the host"
if findmnt -rn -o TARGET,SOURCE,OPTIONS | grep -F -- "$work" > /dev/null; then
  echo "  something is still mounted from $work" >&2
  status=1
else
  echo "  nothing mounted from the sandbox"
fi
if [ "$had_install_root" = no ] && [ -e "$install_root" ]; then
  echo "  $install_root appeared on the host" >&2
  status=1
else
  echo "  $install_root on the host: untouched (present before: $had_install_root)"
fi
leftover=$(grep -l -- "$work" /proc/[0-9]*/mountinfo 2> /dev/null | head -1 || true)
if [ -n "$leftover" ]; then
  echo "  a process still sees the sandbox: $leftover" >&2
  status=1
else
  echo "  no process left from the sandbox"
fi
exit "$status"
