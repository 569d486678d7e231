#!/bin/bash
# Try the configuration console as an administrator would, safe on any
# machine: builds the suite and its install packet when needed, installs
# both modules with the real installer inside a throwaway sandbox (private
# PID, mount and network namespaces with overlays on /usr, /etc and /dev),
# starts NUT's dummy UPS and the slave daemon on loopback (its order scripts
# only record their call, at port 6005), opens the installed console on this
# terminal, and once it is left prints the "bin/wksrv.cfg" that "Save and
# Exit" wrote. Then it offers to cut the power: the master server starts on
# that configuration and the record of the chain is shown, as in demo.sh.
# Everything written below /usr, /etc and /dev lands in a temporary
# directory that is removed at the end.
#
#   scripts/try.sh          as root, in a terminal of at least 80x24
#
# Environment: VM_BUILD_DIR (default <repo>/build), VM_JOBS (default 2).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
install_root=/usr/vantrel/voltmon
port=6005

say() { printf '\n=== %s\n' "$*"; }
# shellcheck source=scripts/chain.sh
. "$root/scripts/chain.sh"

# Everything below runs inside the sandbox.
inside() {
  local build=$1
  work=$2
  local log=$work/install.log
  for dir in /usr /etc; do
    if ! awk -v d="$dir" '$5 == d && / - overlay / { found = 1 } END { exit !found }' \
      /proc/self/mountinfo; then
      echo "try: $dir is not an overlay here; refusing to go on" >&2
      exit 1
    fi
  done
  mkdir -p /etc/init.d /etc/rc2.d /etc/rc3.d /etc/rc5.d
  trap stop_chain EXIT
  [ -e /run/utmp ] && mount --bind /dev/null /run/utmp

  # English, licence accepted, no module texts, both modules, no
  # configuration from the installer, QS System registered, nothing started.
  say "Installing both modules from $build/packet (transcript: $log)"
  if ! printf '%s\n' 1 y n y y n n n y n n | "$build/packet/install" > "$log" 2>&1; then
    tail -20 "$log"
    echo "try: the installation failed" >&2
    exit 1
  fi

  say "Starting NUT's dummy UPS and upsd on 127.0.0.1:3493"
  start_nut "$work"
  start_slave

  say "Opening $install_root/bin/wkcfg (leave it with Save and Exit or Exit)"
  echo "  The slave listens at 127.0.0.1 : $port: add a remote job for it to an event, e.g."
  echo "  \"Shut down a remote computer\" to \"Mains power failure\" in Events Configuration."
  read -r -p "  Press ENTER to open the console " _ < /dev/tty
  "$install_root/bin/wkcfg" < /dev/tty > /dev/tty

  say "Saved configuration $install_root/bin/wksrv.cfg"
  if [ -f "$install_root/bin/wksrv.cfg" ]; then
    sed 's/^/  /' "$install_root/bin/wksrv.cfg"
  else
    echo "  (none: the console was left without saving)"
    return
  fi

  local answer
  read -r -p "Cut the power now and watch the chain (y/N)? " answer < /dev/tty
  case $answer in
    y | Y) power_cut_record ;;
    *) "$install_root/bin/startqslx" stop ;;
  esac
}

if [ "${1:-}" = --inside ]; then
  inside "$2" "$3"
  exit 0
fi

if [ "$(id -u)" != 0 ]; then
  echo "try: run as root: the sandbox needs private namespaces and overlay mounts" >&2
  exit 1
fi
if [ ! -t 0 ] || [ ! -t 1 ]; then
  echo "try: run it in a terminal: the console needs one" >&2
  exit 1
fi

build=${VM_BUILD_DIR:-$root/build}
say "Building in $build (only what changed)"
mkdir -p "$build"
build_log=$build/try-build.log
{ cmake -S "$root" -B "$build" -DVM_REQUIRE_WKSRV=ON && cmake --build "$build" -j"${VM_JOBS:-2}" --target packet nsrun; } \
  > "$build_log" 2>&1 || {
  tail -30 "$build_log"
  echo "try: the build failed; see $build_log" >&2
  exit 1
}

work=$(mktemp -d /tmp/voltmon-try.XXXXXX)
trap 'rm -rf "$work"' EXIT
had_install_root=no
[ -e "$install_root" ] && had_install_root=yes

say "Entering the sandbox (writes to /usr and /etc go to $work)"
status=0
"$build/bin/nsrun" --overlay "/usr:$work/usr" --overlay "/etc:$work/etc" --timeout 0 -- \
  /bin/bash "$root/scripts/try.sh" --inside "$build" "$work" || status=$?

say "Back on the host"
if findmnt -rn -o TARGET,SOURCE,OPTIONS | grep -F -- "$work" > /dev/null; then
  echo "  something is still mounted from $work" >&2
  status=1
fi
if [ "$had_install_root" = no ] && [ -e "$install_root" ]; then
  echo "  $install_root appeared on the host" >&2
  status=1
fi
[ "$status" = 0 ] && echo "  the sandbox is gone; the host is as it was"
exit "$status"
