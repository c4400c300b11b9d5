#!/usr/bin/env bash
# Installs the Debian 12 packages the tool needs; does nothing when all are present.
#   scripts/install-deps.sh                build, window and embedded engine (no system service)
#   scripts/install-deps.sh --with-server  also what the tests need: a Firebird 3 server and its
#                                          tools (the server package starts a system service)
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-svg-dev libqt6svg6 libgl-dev
  firebird-dev libfbclient2 firebird3.0-server-core
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  file dpkg-dev
)
server_packages=(firebird3.0-utils firebird3.0-server xvfb xauth)

case "${1:-}" in
  "") ;;
  --with-server) packages+=("${server_packages[@]}") ;;
  *) echo "usage: $0 [--with-server]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

# sudo drops DEBIAN_FRONTEND from the environment; env puts it back on the far side.
as_root=(env DEBIAN_FRONTEND=noninteractive)
[ "$(id -u)" -eq 0 ] || as_root=(sudo "${as_root[@]}")
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
