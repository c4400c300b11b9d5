#!/usr/bin/env bash
# Installs what the build, the window and the embedded engine need (no Firebird server), builds the
# window, the host and the demo maker, makes the demo database once and opens the window on it
# (without a display: runs one pass headless and prints the log).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
. scripts/firebird-group.sh
scripts/build.sh autoiepcensad autoiepcensad_run make-demo-db
data="${XDG_DATA_HOME:-$HOME/.local/share}/talvix"
build/bin/make-demo-db --out "$data/demo.fdb" --keep --register Demo
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/autoiepcensad
else
  exec build/bin/autoiepcensad-run --passes 1
fi
