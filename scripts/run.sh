#!/usr/bin/env bash
# Installs what is missing, builds, and starts Larkspan.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
source scripts/loopback-env.sh

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "Larkspan is a desktop program and needs a display, but none was found." >&2
  echo "Without a desktop, run it under a virtual display:" >&2
  echo "    xvfb-run -a scripts/run.sh" >&2
  exit 1
fi
exec build/bin/larkspan
