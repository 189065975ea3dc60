#!/bin/sh
# Builds the program and starts it (under Xvfb when there is no display).
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target TerminalConfigTool
if [ -z "$DISPLAY" ] && [ -z "$WAYLAND_DISPLAY" ]; then
  exec xvfb-run -a -s "-screen 0 1280x800x24" build/src/app/terminal-config-tool "$@"
fi
exec build/src/app/terminal-config-tool "$@"
