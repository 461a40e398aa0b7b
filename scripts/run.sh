#!/usr/bin/env bash
# Installs the dependencies, builds, and starts the program. Without a parallel
# port the program drives its virtual printer. Arguments go to the program
# (for example /debug). Without a display it runs under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exec xvfb-run -a build/src/shell/kvphoto "$@"
fi
exec build/src/shell/kvphoto "$@"
