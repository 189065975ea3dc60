#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The receive monitor in a real window: an X server (Xvfb), the accessibility bridge on (a
# session bus with the AT-SPI bus, as a desktop with a screen reader has), and the flood from
# a process of its own. Prints datagrams sent, listed and dropped.
#   bench/window_bench.sh [build dir] [monitor_bench options, e.g. --rate=50000 --seconds=10]
set -eu
build=${1:-build}
[ $# -gt 0 ] && shift
exec xvfb-run -a -s "-screen 0 1920x1080x24" dbus-run-session -- sh -c '
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
  sleep 1
  MONITOR_BENCH_DISPLAY=1 QT_QPA_PLATFORM=xcb QT_ACCESSIBILITY=1 \
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$0" --part=flood --process-sender "$@"
  status=$?
  kill $! 2>/dev/null || true
  exit $status' "$build/bench/monitor_bench" "$@"
