#!/usr/bin/env bash
# Installs the dependencies, builds, and runs every test (unit, widget, whole
# program, fuzz corpus replay). Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh "${KV_BUILD_DIR:-build}" ${KV_CMAKE_ARGS:-}
ctest --test-dir "${KV_BUILD_DIR:-build}" --output-on-failure -j"$(nproc)" "$@"
