#!/usr/bin/env bash
# Installs dependencies, builds and starts PageLux. With no camera attached the
# program starts on the built-in virtual camera.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"

have_camera=0
for dev in /sys/class/video4linux/video*; do
  [ -e "$dev" ] || continue
  have_camera=1
  break
done
if [ "$have_camera" = "0" ] && [ -z "${CAMSDK_VIRTUAL:-}" ]; then
  echo "No camera attached: starting PageLux with one virtual camera (CAMSDK_VIRTUAL=1)."
  export CAMSDK_VIRTUAL=1
fi
exec ./build/bin/pagelux "$@"
