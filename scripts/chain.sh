# Shell functions shared by demo.sh and try.sh for the power chain inside
# their sandbox: NUT's dummy UPS served by upsd on loopback, a system log
# socket at /dev/log, and the power cut and brought back with upsrw. Sourced,
# not run; every wait is bounded and everything started is ended by
# stop_chain.

nut_ups=dummy@127.0.0.1:3493
nut_user=mon
nut_pass=secret

# Runs "$@" every tenth of a second until it succeeds, for at most $1 seconds.
wait_until() {
  local limit=$(($1 * 10))
  shift
  local waited=0
  until "$@"; do
    [ "$waited" -ge "$limit" ] && return 1
    sleep 0.1
    waited=$((waited + 1))
  done
}

ups_status() { upsc "$nut_ups" ups.status 2> /dev/null; }
ups_status_is() { [ "$(ups_status)" = "$1" ]; }

# Starts the dummy UPS (on mains) and upsd with their files below $1.
start_nut() {
  local dir=$1/nut
  mkdir -p "$dir/state"
  chmod 700 "$dir/state"
  printf '[dummy]\n  driver = dummy-ups\n  port = %s/dummy.dev\n  mode = dummy-once\n' \
    "$dir" > "$dir/ups.conf"
  printf 'ups.status: OL\nbattery.charge: 100\nbattery.runtime: 1800\ninput.voltage: 230\n' \
    > "$dir/dummy.dev"
  printf 'LISTEN 127.0.0.1 3493\nSTATEPATH %s/state\n' "$dir" > "$dir/upsd.conf"
  printf '[%s]\n  password = %s\n  upsmon primary\n  actions = SET FSD\n  instcmds = ALL\n' \
    "$nut_user" "$nut_pass" > "$dir/upsd.users"
  chmod 640 "$dir"/*.conf "$dir/upsd.users"
  export NUT_CONFPATH=$dir NUT_STATEPATH=$dir/state NUT_ALTPIDPATH=$dir/state
  /lib/nut/dummy-ups -a dummy -u root -F > "$dir/driver.log" 2>&1 &
  nut_driver_pid=$!
  # upsd serves only a driver that is already there.
  wait_until 5 test -S "$dir/state/dummy-ups-dummy" || true
  /lib/nut/upsd -u root -F > "$dir/upsd.log" 2>&1 &
  nut_upsd_pid=$!
  if ! wait_until 10 ups_status_is OL; then
    echo "chain: the dummy UPS did not come up; upsd said:" >&2
    tail -5 "$dir/upsd.log" "$dir/driver.log" >&2
    return 1
  fi
}

# Sets the UPS's status ("OB" cuts the power, "OL" brings it back).
set_ups_status() {
  upsrw -s ups.status="$1" -u "$nut_user" -p "$nut_pass" "$nut_ups" > /dev/null 2>&1
}

# A datagram socket at /dev/log that appends every message to $1/syslog.txt.
# /dev gets an overlay of its own first, so the host's /dev never changes;
# the overlay shows none of the mounts below /dev (terminals among them).
start_syslog() {
  local dir=$1/dev
  mkdir -p "$dir/upper" "$dir/work"
  mount -t overlay overlay -o "lowerdir=/dev,upperdir=$dir/upper,workdir=$dir/work" /dev
  python3 -c '
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind("/dev/log")
with open(sys.argv[1], "ab", buffering=0) as out:
    while True:
        out.write(s.recv(65536).rstrip(b"\0\n") + b"\n")
' "$1/syslog.txt" &
  syslog_pid=$!
  wait_until 5 test -S /dev/log
}

# Ends what start_nut and start_syslog started.
stop_chain() {
  local pid
  for pid in ${nut_upsd_pid:-} ${nut_driver_pid:-} ${syslog_pid:-}; do
    kill "$pid" 2> /dev/null || true
  done
  wait 2> /dev/null || true
}
