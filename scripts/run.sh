#!/usr/bin/env bash
# Installs what is missing, builds, and starts the recorder. With a display it
# returns when the window is closed; without one it shows the recorder working
# on a private Xvfb screen, saves a screenshot of the window under build/ and
# ends with status 0.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec build/bin/tessaly-recorder "$@"
fi

echo "No display: running the recorder on a private Xvfb screen."
exec scripts/with-xvfb.sh bash scripts/headless-demo.sh
