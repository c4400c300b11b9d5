#!/usr/bin/env bash
# Installs what is needed, the Firebird server for the private-server tests included, builds
# everything, and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh --with-server
. scripts/firebird-group.sh
scripts/build.sh
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 600
