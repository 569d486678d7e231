#!/bin/bash
# End-to-end demonstration of Voltmon Manager, safe to run on any machine:
# builds the suite and its install packet, then, inside a throwaway sandbox
# (private PID, mount and network namespaces with overlays on /usr, /etc and
# /dev), shows the whole chain from a power failure at the UPS to the slave
# that acts on it:
#   - installs both modules with the real installer fed its answers;
#   - starts NUT's dummy UPS and its server upsd on loopback, and a system
#     log socket at /dev/log that records what it is sent;
#   - configures the QS System daemon for a master on loopback (its order
#     scripts replaced by recorders), checks it with qscfg --check and starts
#     it through bin/startqslx;
#   - drives the real console wkcfg through tmux: chooses a UPS model, adds
#     "Shut down a remote computer" for this computer's daemon to the mains
#     power failure event, Save and Exit; points the master at the dummy UPS
#     and starts it through bin/startwksrv;
#   - cuts the power with upsrw, and prints what each part did: the master's
#     log and system log lines, the order the slave received, its script and
#     its event log; brings the power back and shows the master noticing;
#   - stops everything.
# The host is never changed: everything written below /usr, /etc and /dev
# lands in a temporary directory that is removed at the end, and nothing
# stays mounted or running.
#
#   scripts/demo.sh          as root
#
# Environment: VM_BUILD_DIR (default <repo>/build), VM_JOBS (default 2).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
install_root=/usr/vantrel/voltmon
port=6005
# A model of the shipped database; its default events hold the mains power
# failure, event 0.
model="Quillon 650"

say() { printf '\n=== %s\n' "$*"; }
# shellcheck source=scripts/chain.sh
. "$root/scripts/chain.sh"

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
  trap stop_chain EXIT
  # The master's pop-ups go to the terminals of the users logged in here:
  # in the sandbox, nobody is.
  [ -e /run/utmp ] && mount --bind /dev/null /run/utmp

  say "Installing from $build/packet (answers: English, accept the licence, both modules," \
    "configure neither now, register QS System at start-up, do not start it yet)"
  printf '%s\n' 1 y n y y n n n y n n | "$build/packet/install" 2>&1 | sed 's/^/  | /'

  say "Installed files"
  (cd "$install_root" && find . -type f | sort | xargs ls -l) | sed 's/^/  /'
  say "Start-up registration"
  ls -l /etc/init.d/startqslx /etc/rc[235].d/[SK]*startqslx | sed 's/^/  /'
  say "Suite settings bin/voltmon.cfg"
  sed 's/^/  /' "$install_root/bin/voltmon.cfg"

  say "Starting NUT's dummy UPS and upsd on 127.0.0.1:3493"
  start_nut "$work"
  echo "  upsc $nut_ups ups.status: $(ups_status)"

  start_slave

  configure_master "$work"

  power_cut_record
}

# The master's console in a private tmux server whose socket lives in the
# demonstration's temporary directory.
console() { tmux -S "$tmux_socket" "$@"; }
console_shows() { console capture-pane -p -t demo 2> /dev/null | grep -qF -- "$1"; }
console_hides() { ! console_shows "$1"; }
console_ended() { ! console has-session -t demo 2> /dev/null; }
# Waits until the console shows $1, then types the keys that follow.
when_shown() {
  local text=$1
  shift
  if ! wait_until 10 console_shows "$text"; then
    echo "demo: the console never showed \"$text\"; its screen:" >&2
    console capture-pane -p -t demo >&2 || true
    exit 1
  fi
  [ $# -eq 0 ] || console send-keys -t demo "$@"
}
# Waits until the console no longer shows $1 (a list has closed).
when_gone() {
  if ! wait_until 10 console_hides "$1"; then
    echo "demo: the console still shows \"$1\"" >&2
    exit 1
  fi
}

configure_master() {
  tmux_socket=$1/tmux.sock
  local wkcfg=$install_root/bin/wkcfg
  say "Configuring the master with the real console $wkcfg (driven through tmux)"
  printf 'set -g status off\nset -sg escape-time 0\n' > "$1/tmux.conf"
  console -f "$1/tmux.conf" new-session -d -s demo -x 80 -y 25 "TERM=screen $wkcfg"
  echo "  System Configuration: UPS model \"$model\", device /dev/ttyS0"
  when_shown "System Configuration" Enter
  when_shown "UPS model name:" Enter
  when_shown "$model" Down Enter
  when_gone "Pellik Mini 400"
  # The choice moves the focus on to the device.
  console send-keys -t demo Enter
  when_shown "/dev/ttyS0" Down Enter
  when_gone "/dev/ttyS1"
  console send-keys -t demo Escape
  echo "  Events Configuration: insert \"Shut down a remote computer\" 127.0.0.1 : $port" \
    "into the mains power failure"
  when_shown "Events Configuration" Down Down Down Down Enter
  when_shown "Mains power failure" i
  when_shown "SELECT JOB TO INSERT" Down Down Down Enter
  when_shown "NEW JOB : Shut down a remote computer"
  console send-keys -t demo -l 127.0.0.1
  # ENTER stores the address; the port keeps its proposed 6005; then OK.
  console send-keys -t demo Enter Down Enter
  when_shown "Shut down a remote computer (127.0.0.1 : $port)"
  console capture-pane -p -t demo | sed -e 's/^/  | /' -e '/^  | *$/d'
  echo "  Save and Exit"
  console send-keys -t demo Escape
  when_shown "Save and Exit" Up Up Enter
  if ! wait_until 10 console_ended; then
    echo "demo: the console did not end" >&2
    exit 1
  fi
  say "The master's saved events (bin/wksrv.cfg)"
  grep -E '^(UpsModelName|EventCounter|Event[0-9]+)=' "$install_root/bin/wksrv.cfg" |
    sed 's/^/  /'
}

if [ "${1:-}" = --inside ]; then
  work=$3
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
{ cmake -S "$root" -B "$build" -DVM_REQUIRE_WKSRV=ON && cmake --build "$build" -j"${VM_JOBS:-2}" --target packet nsrun; } \
  > "$log" 2>&1 || { tail -30 "$log"; echo "demo: the build failed; see $log" >&2; exit 1; }
echo "  built: $build/packet/install and the packet beside it"

work=$(mktemp -d /tmp/voltmon-demo.XXXXXX)
trap 'rm -rf "$work"' EXIT
had_install_root=no
[ -e "$install_root" ] && had_install_root=yes

say "Entering the sandbox (writes to /usr and /etc go to $work)"
status=0
"$build/bin/nsrun" --overlay "/usr:$work/usr" --overlay "/etc:$work/etc" --timeout 90 -- \
  /bin/bash "$root/scripts/demo.sh" --inside "$build" "$work" || status=$?

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
