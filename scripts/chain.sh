# Shell functions shared by demo.sh and try.sh for the power chain inside
# their sandbox: NUT's dummy UPS served by upsd on loopback, the slave daemon
# with recording scripts, a system log socket at /dev/log, and the power cut
# and brought back with upsrw while the master server watches. Sourced, not
# run, after `say`, `install_root`, `port` and `work` are set; every wait is
# bounded and everything started is ended by stop_chain.

nut_ups=dummy@127.0.0.1:3493
# What the slave's order scripts record.
record=$install_root/data/orders.txt
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

# Configures the installed slave for a master on 127.0.0.1 at $port, with
# order scripts that only record their call in $record, checks it and
# starts it.
start_slave() {
  say "Configuring the slave: master 127.0.0.1, port $port; order scripts replaced by recorders"
  local cfg=$install_root/bin/qslx.cfg
  sed -i -e "s/^AdrCount=.*/AdrCount=1/" -e "s/^Adr0=.*/Adr0=127.0.0.1/" \
    -e "s/^ListenPort=.*/ListenPort=$port/" "$cfg"
  grep -E '^(AdrCount|Adr0|ListenPort|Script[A-Za-z_0-9]*)=' "$cfg" | sed 's/^/  /'
  # The shipped scripts shut the machine down, write to every terminal and
  # to the system log; in the demonstration each only records its call.
  for script in shutdown message custom1 custom2 custom3; do
    printf '#!/bin/sh\necho "%s.sh ran with argument [$1]" >> %s\n' "$script" "$record" \
      > "$install_root/script/system/$script.sh"
  done

  say "Checking the slave's settings: bin/qscfg --check bin/qslx.cfg"
  if [ -x "$install_root/bin/qscfg" ]; then
    local checked=0
    "$install_root/bin/qscfg" --check "$cfg" > "$work/check.out" 2>&1 || checked=$?
    sed 's/^/  /' "$work/check.out"
    echo "  (status $checked: 0 when the daemon will start and act as its settings say)"
  else
    echo "  SKIPPED: this build ships no bin/qscfg, so there is no settings check to run"
  fi

  say "Starting the daemon: bin/startqslx start"
  "$install_root/bin/startqslx" start
  # The daemon is visible before it listens; its start event says it does.
  wait_until 5 test -s "$install_root/data/qs_log.txt" ||
    echo "  (the daemon logged no start within 5 seconds)"
}

# Points the configured master at the dummy UPS, starts it, cuts the power
# and prints what each part did; then brings the power back and stops the
# master and the slave.
power_cut_record() {
  # After the console: the overlay on /dev hides the terminals tmux needs.
  say "A system log socket at /dev/log (on an overlay of /dev) records what it is sent"
  start_syslog "$work"

  local master_cfg=$install_root/bin/wksrv.cfg
  say "Pointing the master at the dummy UPS ($nut_ups), polled every second"
  sed -i 's/^SrvPollingUps=.*/SrvPollingUps=1/' "$master_cfg"
  printf '\n[Master]\nNutUps=%s\n' "$nut_ups" >> "$master_cfg"
  grep -E '^(SrvPollingUps|NutUps)=' "$master_cfg" | sed 's/^/  /'

  say "Checking the master: bin/wksrv --check"
  "$install_root/bin/wksrv" --check 2>&1 | sed 's/^/  /' || true

  say "Starting the master: bin/startwksrv start"
  "$install_root/bin/startwksrv" start
  local master_log=$install_root/data/wk_log.txt
  # The first poll of a UPS on mains raises nothing; wait for the server's
  # start line, then one poll more.
  wait_until 5 test -s "$master_log" || echo "  (the master logged no start within 5 seconds)"
  sleep 1

  say "Cutting the power: upsrw -s ups.status=OB $nut_ups"
  local cut
  cut=$(date +%s%N)
  set_ups_status OB
  if wait_until 10 test -s "$record"; then
    echo "  the slave's script ran $((($(date +%s%N) - cut) / 1000000)) ms after the cut" \
      "(at most one poll of 1 s, then the order)"
  else
    echo "  (no order reached the slave within 10 seconds)"
  fi
  wait_until 5 grep -q "Mains power failure" "$master_log" || true

  say "The master's log data/wk_log.txt"
  sed 's/^/  /' "$master_log"
  say "The master's system log line (what /dev/log received)"
  grep wksrv "$work/syslog.txt" | sed 's/^/  /' || echo "  (nothing)"
  say "What the slave's order scripts recorded ($record)"
  sed 's/^/  /' "$record" 2> /dev/null || echo "  (nothing)"
  say "The slave's event log data/qs_log.txt"
  sed 's/^/  /' "$install_root/data/qs_log.txt"

  say "Bringing the power back: upsrw -s ups.status=OL $nut_ups"
  set_ups_status OL
  wait_until 5 grep -q "Mains power restored" "$master_log" ||
    echo "  (the master logged no return of the power within 5 seconds)"
  grep "Mains power restored" "$master_log" | sed 's/^/  /' || true

  say "Stopping the master and the slave: bin/startwksrv stop, bin/startqslx stop"
  "$install_root/bin/startwksrv" stop
  "$install_root/bin/startqslx" stop

  stop_chain
}
