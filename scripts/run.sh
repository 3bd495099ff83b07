#!/usr/bin/env bash
# Installs what is needed, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target velmora -j"$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<MSG
Velmora is built (build/workbench/velmora), but there is no display to show its window on
(neither DISPLAY nor WAYLAND_DISPLAY is set).
Start it on a virtual X server instead:

    xvfb-run -a -s "-screen 0 1280x800x24" build/workbench/velmora

or log in to a desktop session and run: bash scripts/run.sh
MSG
  exit 2
fi
exec build/workbench/velmora "$@"
