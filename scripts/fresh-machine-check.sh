#!/usr/bin/env bash
# Proves ./run.sh and ./test.sh as a new user meets them: on fresh Debian 12 systems made with
# debootstrap from this machine's configured mirror, run by ordinary users with passwordless sudo,
# and by root. Prints one PASS/FAIL line per check; each step's output is kept in WORK/logs.
#   sudo scripts/fresh-machine-check.sh [WORK]      (WORK: default /var/tmp/talvix-fresh)
# Needs root, debootstrap and the network to the mirror; takes a while (several full builds).
set -uo pipefail
# Bash reads a script as it runs it: run a copy, so editing this file meanwhile changes nothing.
if [ -z "${TALVIX_CHECK_COPY:-}" ]; then
  copy="$(mktemp)"
  cp "$0" "$copy"
  TALVIX_CHECK_COPY=1 TALVIX_CHECK_REPO="$(cd "$(dirname "$0")/.." && pwd)" exec bash "$copy" "$@"
fi
repo="$TALVIX_CHECK_REPO"
work="${1:-/var/tmp/talvix-fresh}"
logs="$work/logs"
[ "$(id -u)" -eq 0 ] || { echo "run it as root (sudo $0)" >&2; exit 2; }
command -v debootstrap >/dev/null || { echo "needs debootstrap (apt install debootstrap)" >&2; exit 2; }
mkdir -p "$logs"
failures=0
mounted=()

# The first configured Debian mirror; comments (a snapshot's address, say) do not count.
mirror="$(grep -h -v -E '^[[:space:]]*#' /etc/apt/sources.list /etc/apt/sources.list.d/* 2>/dev/null |
  grep -o -E 'https?://[^ ]*debian/?' | grep -v security | head -n 1)"
mirror="${mirror:-http://deb.debian.org/debian}"

cleanup() {
  local at
  for ((at = ${#mounted[@]} - 1; at >= 0; at--)); do umount -l "${mounted[at]}" 2>/dev/null; done
}
trap cleanup EXIT

# A fresh system: debootstrap once, then a copy per scenario, with the host's apt sources, a
# clone of this repository's HEAD in /opt/talvix, and no service started inside (a chroot has no
# init; the Firebird server package would otherwise start one beside the host's).
fresh_root() {
  local root="$work/$1"
  if [ ! -d "$work/base" ]; then
    debootstrap --variant=minbase --include=sudo,ca-certificates bookworm "$work/base.part" "$mirror" \
      >"$logs/debootstrap.log" 2>&1 || { echo "debootstrap failed: $logs/debootstrap.log" >&2; exit 1; }
    mv "$work/base.part" "$work/base"
  fi
  # A bind mount left by a killed check would take the host's /dev or /proc down with the copy.
  if grep -q " $root/" /proc/mounts; then echo "something is still mounted under $root" >&2; exit 1; fi
  rm -rf "$root"
  cp -a "$work/base" "$root"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  echo "127.0.1.1 $(hostname)" >>"$root/etc/hosts"  # as the installer writes it; sudo looks it up
  cp -a /etc/apt/sources.list* "$root/etc/apt/" 2>/dev/null
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod +x "$root/usr/sbin/policy-rc.d"
  git clone -q "$repo" "$root/opt/talvix"
  for fs in proc sys dev dev/pts; do
    mount --bind "/$fs" "$root/$fs" && mounted+=("$root/$fs")
  done
}

# A user with passwordless sudo, owning the clone.
sudo_user() {  # root name
  chroot "$1" useradd -m -s /bin/bash "$2"
  echo "$2 ALL=(ALL) NOPASSWD:ALL" >"$1/etc/sudoers.d/$2"
  chmod 0440 "$1/etc/sudoers.d/$2"
}

# Runs a command in the root as a user, through a login shell as a person would; logs its output.
as() {  # root user log command
  local root="$1" user="$2" log="$logs/$3.log"
  shift 3
  chroot "$root" su - "$user" -c "$*" >"$log" 2>&1
}

check() {  # what, condition...
  local what="$1"
  shift
  if "$@"; then
    echo "PASS $what"
  else
    echo "FAIL $what"
    failures=$((failures + 1))
  fi
}

timed() {  # name root user command: runs it and records the seconds it took
  local start=$SECONDS
  as "$2" "$3" "$1" "$4"
  local status=$?
  echo "$((SECONDS - start))" >"$logs/$1.seconds"
  return $status
}

priced() { grep -q "FIFO piešķiršana pabeigta" "$logs/$1.log"; }
quiet() { ! grep -q -E '^(Selecting|Unpacking|Setting up|Preparing)|QStandardPaths' "$logs/$1.log"; }
seconds() { cat "$logs/$1.seconds"; }

# 1. An ordinary user with sudo: run, test, run again; then two users, each with an own database.
fresh_root a
a="$work/a"
sudo_user "$a" alice
chroot "$a" chown -R alice: /opt/talvix
timed alice-run-1 "$a" alice "cd /opt/talvix && ./run.sh"
check "alice: ./run.sh on a fresh system ($(seconds alice-run-1) s, apt and the compiler in logs)" \
  eval 'priced alice-run-1 && quiet alice-run-1'
timed alice-test "$a" alice "cd /opt/talvix && ./test.sh"
check "alice: ./test.sh after ./run.sh ($(seconds alice-test) s)" grep -q "100% tests passed" "$logs/alice-test.log"
timed alice-run-2 "$a" alice "cd /opt/talvix && ./run.sh"
check "alice: ./run.sh again after ./test.sh" priced alice-run-2

chroot "$a" useradd -m -s /bin/bash bob
chroot "$a" chmod -R o+rX /opt/talvix
own_database='/opt/talvix/build/bin/make-demo-db --out demo.fdb --keep --register Demo >/dev/null &&
  /opt/talvix/build/bin/autoiepcensad-run --passes 1'
as "$a" bob bob-outside "$own_database"
check "bob outside the group firebird: told which group and command" \
  grep -q "sudo adduser bob firebird" "$logs/bob-outside.log"
chroot "$a" adduser --quiet bob firebird
as "$a" bob bob-own "$own_database"
check "bob, in the group: his own embedded database" priced bob-own
as "$a" alice alice-own "$own_database"
check "alice after bob: her own embedded database" priced alice-own
as "$a" bob bob-again "$own_database"
check "bob after alice: his again" priced bob-again

# 2. The package's service user, as the README sets it up.
as "$a" alice package "cd /opt/talvix/build && cpack -G DEB >/dev/null && sudo apt-get install -y -qq ./autoiepcensad_*_amd64.deb &&
  sudo mkdir -p /srv/firebird && sudo /opt/talvix/build/bin/make-demo-db --out /srv/firebird/veikals.fdb &&
  sudo chown -R autoiepcensad /srv/firebird"
as "$a" alice service "sudo -u autoiepcensad env TALVIX_REGISTRY=/var/lib/autoiepcensad/registry.reg \
  autoiepcensad-run --register Veikals /srv/firebird/veikals.fdb &&
  sudo -u autoiepcensad env TALVIX_REGISTRY=/var/lib/autoiepcensad/registry.reg \
  autoiepcensad-run --passes 1 --period current-month"
check "the service user: the README's register and try-it-once" eval 'priced service && quiet service'

# 3. ./test.sh first, then ./run.sh, on a second fresh system.
fresh_root b
b="$work/b"
sudo_user "$b" carol
chroot "$b" chown -R carol: /opt/talvix
timed carol-test "$b" carol "cd /opt/talvix && ./test.sh"
check "carol: ./test.sh first on a fresh system ($(seconds carol-test) s)" grep -q "100% tests passed" "$logs/carol-test.log"
timed carol-run "$b" carol "cd /opt/talvix && ./run.sh"
check "carol: ./run.sh after ./test.sh" priced carol-run

# 4. Root: run, test, run again, in its own clone on the second system.
git clone -q "$repo" "$b/root/talvix"
timed root-run-1 "$b" root "cd /root/talvix && ./run.sh"
check "root: ./run.sh" priced root-run-1
timed root-test "$b" root "cd /root/talvix && ./test.sh"
check "root: ./test.sh after ./run.sh ($(seconds root-test) s)" grep -q "100% tests passed" "$logs/root-test.log"
timed root-run-2 "$b" root "cd /root/talvix && ./run.sh"
check "root: ./run.sh again" priced root-run-2
as "$b" carol carol-after-root "cd /opt/talvix && ./run.sh"
check "carol after root used the engine: ./run.sh" priced carol-after-root

echo "$failures failed; logs in $logs"
exit $((failures > 0))
