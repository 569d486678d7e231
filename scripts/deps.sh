#!/bin/bash
# Installs the Debian packages that building and testing the suite need, and
# only those that are missing: quiet and quick when everything is there.
# Run as root on Debian 12.
set -euo pipefail

packages=(
  cmake make g++                # the build
  g++-multilib lib32ncurses-dev # the 32-bit x86 build
  qemu-user                     # runs the 32-bit tests where the kernel cannot
  googletest libgtest-dev       # GoogleTest sources, built per target
  libncurses-dev ncurses-bin    # the console, and "clear" for the programs
  clang libclang-rt-14-dev      # libFuzzer and clang's sanitizer runtimes
  clang-format                  # the format check of the changed C++ files
  util-linux                    # more (the installer), findmnt, unshare and setarch
  iproute2                      # the benchmark brings loopback up in its namespace
  tmux                          # the console's system tests run it in a real terminal
  groff-base                    # checks the manual pages
  libvterm-dev whiptail dialog  # the console's benchmark (bench/console_run.sh)
  libupsclient-dev              # the master server reads the UPS through NUT's client library
  pkgconf                       # finds that library and libcurl for the master server's build
  libcurl4-openssl-dev          # the master server's e-mail jobs
  nut-server nut-client         # the master's tests: NUT's dummy UPS, upsd, upsc and upsrw
  python3-aiosmtpd              # the master's tests: a local mail server receiving its e-mails
  openssl                       # the master's tests: the mail server's certificate for STARTTLS
)

installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null |
  awk '$2 == "install" && $3 == "ok" && $4 == "installed" { print $1 }' || true)
missing=()
for p in "${packages[@]}"; do
  if ! grep -qxF "$p" <<<"$installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "deps.sh: missing packages: ${missing[*]}; run this script as root to install them" >&2
  exit 1
fi

# One line per step; the package manager's progress goes to a log, shown
# only when a step fails.
log=${TMPDIR:-/tmp}/vm-deps.log
: >"$log"
step() {
  local what=$1
  shift
  echo "deps.sh: $what"
  if ! "$@" >>"$log" 2>&1; then
    echo "deps.sh: $what failed; its output:" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
}

export DEBIAN_FRONTEND=noninteractive
step "updating the package lists" apt-get update -qq
step "installing ${missing[*]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "deps.sh: done (details in $log)"
