#!/usr/bin/env bash
# Configures and builds into build/: everything, or only the given targets. The compiler's progress
# goes to build/build.log; a failure prints what is not progress (the errors, in full).
#   scripts/build.sh [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
mkdir -p build
log=build/build.log
targets=()
for target in "$@"; do targets+=(--target "$target"); done
echo "Building ${*:-everything} (log: $log)"
if ! { cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" &&
       cmake --build build -j"$(nproc)" "${targets[@]}"; } >"$log" 2>&1; then
  grep -v -E '^\[ *[0-9]+%\] |^-- ' "$log" >&2 || true
  echo "The build failed; the whole output is in $log" >&2
  exit 1
fi
