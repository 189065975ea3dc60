#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the program and starts it (under Xvfb when there is no display).
set -e
cd "$(dirname "$0")/.."
scripts/build.sh TerminalConfigTool terminal-sim
if [ -z "$DISPLAY" ] && [ -z "$WAYLAND_DISPLAY" ]; then
  n=99
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  echo "No display: starting the window on the virtual display :$n (Xvfb); reach it with e.g. 'x11vnc -display :$n -localhost' and a VNC viewer, or see it with scripts/screenshots.sh."
  # -ac: any local client may attach to look at it; Xvfb listens on no network port.
  exec xvfb-run -n "$n" -s "-screen 0 1280x800x24 -ac" build/src/app/terminal-config-tool "$@"
fi
exec build/src/app/terminal-config-tool "$@"
