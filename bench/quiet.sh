# shellcheck shell=bash
# Sourced by the benchmarks: waits, within a bound, until the machine is
# quiet before a measurement and tells the load it measured under. Quiet
# means the share of the last 10 s in which some task waited for a CPU
# (/proc/pressure/cpu, "some avg10") below VM_BENCH_PSI_MAX percent (default
# 5), or, where the kernel has no pressure figures, the 1-minute load
# average below VM_BENCH_LOAD_MAX (default 0.5). VM_BENCH_QUIET_WAIT bounds
# each wait in seconds (default 300).

bench_psi_some() {
  [ -r /proc/pressure/cpu ] || return 1
  sed -n 's/^some avg10=\([0-9.]*\).*/\1/p' /proc/pressure/cpu
}

# "load average 0.12 0.30 0.41, CPU pressure 1.20%"
bench_load_text() {
  local psi
  psi=$(bench_psi_some) || psi=""
  echo "load average $(cut -d' ' -f1-3 /proc/loadavg)${psi:+, CPU pressure $psi%}"
}

bench_is_quiet() {
  local psi load
  if psi=$(bench_psi_some) && [ -n "$psi" ]; then
    awk -v v="$psi" -v b="${VM_BENCH_PSI_MAX:-5}" 'BEGIN { exit !(v < b) }'
  else
    load=$(cut -d' ' -f1 /proc/loadavg)
    awk -v v="$load" -v b="${VM_BENCH_LOAD_MAX:-0.5}" 'BEGIN { exit !(v < b) }'
  fi
}

# Waits until quiet or the bound has passed; prints one line with the load
# (prefixed by $1) and returns 1 when the machine never became quiet.
bench_wait_quiet() {
  local label=$1 limit=${VM_BENCH_QUIET_WAIT:-300} start=$SECONDS
  until bench_is_quiet; do
    if ((SECONDS - start >= limit)); then
      echo "$label: NOT QUIET after ${limit} s, $(bench_load_text)"
      return 1
    fi
    sleep 2
  done
  echo "$label: quiet after $((SECONDS - start)) s, $(bench_load_text)"
}
