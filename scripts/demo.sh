#!/usr/bin/env bash
# Installs what is missing, builds, and starts Lumetra with its built-in virtual meter.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting Lumetra on a virtual X display (xvfb-run)." >&2
  exec xvfb-run -a build/bin/lumetra --demo "$@"
fi
exec build/bin/lumetra --demo "$@"
