#!/usr/bin/env bash
# Configures and builds into build/ (or the folder given as $1, with extra CMake options after it).
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
shift || true
launcher=()
# Paths relative to the checkout, so another clone of it (CI's) finds the cache.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@"
cmake --build "$dir" -j"$(nproc)"
