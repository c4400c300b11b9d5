#!/usr/bin/env bash
# scripts/install-deps.sh as a user with sudo on a machine that has nothing yet, against stand-ins
# for sudo (which, like the real one, starts the command with a clean environment), dpkg-query and
# apt-get: apt-get must see DEBIAN_FRONTEND=noninteractive, and only --with-server installs the
# Firebird server package (it starts a system service).
set -euo pipefail
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/scripts"
# The script beside a stand-in for its root step, which would change the machine's groups.
cp "$(cd "$(dirname "$0")/../.." && pwd)/scripts/install-deps.sh" "$work/scripts/"
script="$work/scripts/install-deps.sh"
cat > "$work/scripts/firebird-local-access.sh" <<'STUB'
#!/bin/sh
echo "local-access $*" >> "$LOG"
STUB
cat > "$work/bin/id" <<'STUB'
#!/bin/sh
case "$1" in -u) echo 1000 ;; -un) echo tester ;; *) echo tester ;; esac
STUB
cat > "$work/bin/sudo" <<'STUB'
#!/bin/sh
exec env -i PATH="$PATH" LOG="$LOG" "$@"
STUB
cat > "$work/bin/dpkg-query" <<'STUB'
#!/bin/sh
exit 1
STUB
cat > "$work/bin/apt-get" <<'STUB'
#!/bin/sh
echo "DEBIAN_FRONTEND=${DEBIAN_FRONTEND:-} $*" >> "$LOG"
STUB
chmod +x "$work/bin/"* "$work/scripts/"*

export XDG_CACHE_HOME="$work/cache"
failures=0
check() {  # what, condition...
  local what="$1"; shift
  if ! "$@"; then echo "FAILED: $what" >&2; failures=$((failures + 1)); fi
}

for option in "" --with-server; do
  export LOG="$work/apt${option}.log"
  PATH="$work/bin:$PATH" DEBIAN_FRONTEND= bash "$script" $option > /dev/null
  check "apt-get ran ($option)" test -s "$LOG"
  check "every apt-get call is noninteractive ($option)" \
    test "$(grep -v '^local-access' "$LOG" | grep -vc '^DEBIAN_FRONTEND=noninteractive ')" -eq 0
  check "the user outside the group firebird is put in it, as root ($option)" grep -qx 'local-access tester' "$LOG"
  install="$(grep ' install ' "$LOG")"
  check "the embedded engine is installed ($option)" grep -qw 'firebird3.0-server-core' <<< "$install"
  if [ -z "$option" ]; then
    check "no server package without --with-server" test -z "$(tr ' ' '\n' <<< "$install" | grep -x 'firebird3.0-server')"
  else
    check "the server package with --with-server" grep -qx 'firebird3.0-server' <<< "$(tr ' ' '\n' <<< "$install")"
  fi
done
exit $((failures > 0))
