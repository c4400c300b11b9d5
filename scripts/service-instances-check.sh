#!/usr/bin/env bash
# Proves the package's several-shops set-up on a fresh Debian 12 root: installs the .deb built from
# BUILD, registers two shops' databases as the README says, gives them different modes, and runs
# each instance's ExecStart as the service user with the unit's environment (systemd itself cannot
# run in a chroot; the instance's env file adds --passes 1 so it ends). One PASS/FAIL line each.
#   sudo scripts/service-instances-check.sh [BUILD] [WORK]  (default build, /var/tmp/talvix-instances)
set -uo pipefail
build="$(realpath "${1:-build}")"
work="${2:-/var/tmp/talvix-instances}"
[ "$(id -u)" -eq 0 ] || { echo "run it as root (sudo $0)" >&2; exit 2; }
command -v debootstrap >/dev/null || { echo "needs debootstrap (apt install debootstrap)" >&2; exit 2; }
# The first configured Debian mirror; comments (a snapshot's address, say) do not count.
mirror="$(grep -h -v -E '^[[:space:]]*#' /etc/apt/sources.list /etc/apt/sources.list.d/* 2>/dev/null |
  grep -o -E 'https?://[^ ]*debian/?' | grep -v security | head -n 1)"
mirror="${mirror:-http://deb.debian.org/debian}"
root="$work/root"
logs="$work/logs"
mounted=()
cleanup() {
  local at
  for ((at = ${#mounted[@]} - 1; at >= 0; at--)); do umount -l "${mounted[at]}" 2>/dev/null; done
}
trap cleanup EXIT
mkdir -p "$logs"
if grep -q " $root/" /proc/mounts; then echo "something is still mounted under $root" >&2; exit 1; fi
rm -rf "$root"
debootstrap --variant=minbase --include=sudo,ca-certificates bookworm "$root" "$mirror" >"$logs/debootstrap.log" 2>&1 ||
  { echo "debootstrap failed: $logs/debootstrap.log" >&2; exit 1; }
cp /etc/resolv.conf "$root/etc/resolv.conf"
echo "127.0.1.1 $(hostname)" >>"$root/etc/hosts"  # as the installer writes it; sudo looks it up
cp -a /etc/apt/sources.list* "$root/etc/apt/" 2>/dev/null
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"
for fs in proc sys dev dev/pts; do mount --bind "/$fs" "$root/$fs" && mounted+=("$root/$fs"); done
(cd "$build" && cpack -G DEB -B "$work/deb" >"$logs/cpack.log" 2>&1) || { echo "cpack failed: $logs/cpack.log" >&2; exit 1; }
cp "$work"/deb/autoiepcensad_*.deb "$root/tmp/"
cp "$build/bin/make-demo-db" "$root/usr/local/bin/"

failures=0
check() {  # what, command run in the root as root
  local what="$1" log="$logs/$(echo "$1" | tr -c 'a-zA-Z0-9' '-').log"
  if chroot "$root" bash -c "$2" >"$log" 2>&1; then echo "PASS $what"; else echo "FAIL $what ($log)"; failures=$((failures + 1)); fi
}
# The unit's own lines, as systemd would give them to instance NAME.
instance() {  # NAME
  local unit="$root/lib/systemd/system/autoiepcensad-run@.service"
  local env exec
  env=$(sed -n 's/^Environment=//p' "$unit" | sed "s/%i/$1/g; s/%I/$1/g" | tr '\n' ' ')
  exec=$(sed -n 's/^ExecStart=//p' "$unit" | sed "s/%i/$1/g; s/%I/$1/g")
  echo "set -a; [ -f /etc/autoiepcensad/$1.env ] && . /etc/autoiepcensad/$1.env; set +a;
    install -d -m 0700 -o autoiepcensad /run/autoiepcensad-$1 &&
    cd /var/lib/autoiepcensad && sudo -u autoiepcensad --preserve-env=ISC_USER,ISC_PASSWORD \
    env $env AUTOIEPCENSAD_RUN_OPTIONS=\"\$AUTOIEPCENSAD_RUN_OPTIONS\" QT_QPA_PLATFORM=offscreen \
    bash -c '$exec'"
}

check "the package installs with its dependencies" \
  "apt-get update -qq && apt-get install -y -qq /tmp/autoiepcensad_*.deb"
check "two shops' databases" "mkdir -p /srv/firebird && make-demo-db --out /srv/firebird/veikals.fdb --goods 40 --lines 3000 &&
  make-demo-db --out /srv/firebird/centrs.fdb --goods 40 --lines 3000 --seed 7 && chown -R autoiepcensad /srv/firebird"
check "the README's five commands, settings shown" "
  sudo -u autoiepcensad env TALVIX_REGISTRY=/var/lib/autoiepcensad/Veikals.reg \
    autoiepcensad-run --register Veikals /srv/firebird/veikals.fdb &&
  sudo -u autoiepcensad env TALVIX_REGISTRY=/var/lib/autoiepcensad/Veikals.reg autoiepcensad-run \
    --database Veikals --transfers 1 --issues 1 --returns 1 --period current-month --show-settings | grep -q 'issues .*1 ' &&
  sudo -u autoiepcensad env TALVIX_REGISTRY=/var/lib/autoiepcensad/Centrs.reg \
    autoiepcensad-run --register Centrs /srv/firebird/centrs.fdb &&
  sudo -u autoiepcensad env TALVIX_REGISTRY=/var/lib/autoiepcensad/Centrs.reg autoiepcensad-run \
    --database Centrs --issues 1 --balances 1 --last-price on --show-settings | grep -q 'last-price *on'"
check "each instance ends its one pass" "
  for n in Veikals Centrs; do install -m 0640 -g autoiepcensad /dev/null /etc/autoiepcensad/\$n.env &&
    echo 'AUTOIEPCENSAD_RUN_OPTIONS=\"--passes 1\"' >/etc/autoiepcensad/\$n.env; done"
# Whole runs to a file first: a reader that stops early would end a run by its broken pipe.
check "instance Veikals: its ExecStart as the service user prices its shop and ends" "$(instance Veikals) >/tmp/veikals.out &&
  grep -q 'FIFO piešķiršana pabeigta' /tmp/veikals.out"
check "instance Centrs: its own modes, its own shop" "$(instance Centrs) >/tmp/centrs.out &&
  grep -q 'FIFO piešķiršana pabeigta' /tmp/centrs.out &&
  ! grep -q 'Aprēķinu pārvietošanu' /tmp/centrs.out && grep -q 'Aprēķinu pārvietošanu' /tmp/veikals.out"
check "a shop that prices nothing is refused with exit 2, the other unharmed" "
  sudo -u autoiepcensad env TALVIX_REGISTRY=/var/lib/autoiepcensad/Centrs.reg autoiepcensad-run --database Centrs \
    --issues 0 --balances 0 --show-settings >/dev/null && echo >/etc/autoiepcensad/Centrs.env &&
  { $(instance Centrs); test \$? -eq 2; } && $(instance Veikals) >/tmp/veikals-again.out &&
  grep -q 'FIFO piešķiršana pabeigta' /tmp/veikals-again.out"
echo "$failures failed; logs in $logs"
exit $((failures > 0))
