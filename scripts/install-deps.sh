#!/usr/bin/env bash
# Installs the Debian 12 packages the tool needs and shares the embedded engine's lock folder with
# the user who runs it (group firebird); does nothing, and asks for nothing, when all is in place.
#   scripts/install-deps.sh                build, window and embedded engine (no system service)
#   scripts/install-deps.sh --with-server  also what the tests need: a Firebird 3 server and its
#                                          tools (the server package starts a system service)
# apt's and dpkg's output goes to a log file; only a failure shows it.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

packages=(
  build-essential cmake pkg-config adduser
  qt6-base-dev qt6-svg-dev libqt6svg6 libgl-dev qt6-translations-l10n libxlsxwriter-dev
  firebird-dev libfbclient2 firebird3.0-server-core
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  file dpkg-dev libsystemd-dev
)
server_packages=(firebird3.0-utils firebird3.0-server xvfb xauth man-db unzip)

case "${1:-}" in
  "") ;;
  --with-server) packages+=("${server_packages[@]}") ;;
  *) echo "usage: $0 [--with-server]" >&2; exit 2 ;;
esac

# sudo drops DEBIAN_FRONTEND from the environment; env puts it back on the far side.
as_root=(env DEBIAN_FRONTEND=noninteractive)
[ "$(id -u)" -eq 0 ] || as_root=(sudo "${as_root[@]}")
log="${XDG_CACHE_HOME:-$HOME/.cache}/talvix/install.log"

quietly() {
  if ! "$@" >>"$log" 2>&1; then
    echo "Failed: $* (the whole output is in $log); its last lines:" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  mkdir -p "$(dirname "$log")"
  : > "$log"
  echo "Installing ${#missing[@]} packages (apt's output: $log): ${missing[*]}"
  quietly "${as_root[@]}" apt-get update
  quietly "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The invoking user: under sudo, the one who called it.
user="$(id -un)"
[ "$user" = root ] && [ -n "${SUDO_USER:-}" ] && user="$SUDO_USER"
in_group() { id -Gn "$1" 2>/dev/null | tr ' ' '\n' | grep -qx firebird; }
folder_shared() {
  [ ! -e /tmp/firebird ] ||
    { [ "$(stat -c %G:%a /tmp/firebird)" = firebird:770 ] &&
      [ -z "$(find /tmp/firebird -mindepth 1 -maxdepth 1 ! -group firebird ! -user root 2>/dev/null)" ]; }
}
if ! getent group firebird >/dev/null || [ ! -f /etc/tmpfiles.d/autoiepcensad.conf ] || ! folder_shared ||
   { [ "$user" != root ] && ! in_group "$user"; }; then
  "${as_root[@]}" "$here/firebird-local-access.sh" "$user"
fi
