#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The receive monitor in a real window: an X server (Xvfb), the accessibility bridge on (a
# session bus with the AT-SPI bus, as a desktop with a screen reader has), and the flood from
# a process of its own. Prints datagrams sent, listed and dropped.
#   bench/window_bench.sh [build dir] [monitor_bench options, e.g. --rate=50000 --seconds=10]
# Every step has a time limit, and the AT-SPI bus (its launcher, bus and registry, which
# outlive their session otherwise) is ended with the run, so the script always returns.
set -eu
build=${1:-build}
[ $# -gt 0 ] && shift
bench=$(realpath "$build/bench/monitor_bench")
seconds=10
for a in "$@"; do
  case $a in --seconds=*) seconds=${a#--seconds=} ;; esac
done
# The flood, draining, the export and its check, with room for a busy machine.
limit=$((seconds * 3 + 90))
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR="$runtime"

timeout -k 10 $((limit + 30)) xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" \
  timeout -k 10 $((limit + 20)) dbus-run-session -- sh -c '
  bench=$1 limit=$2
  shift 2
  # A session of its own, so that the launcher and what it starts end together.
  setsid /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
  launcher=$!
  trap "kill -TERM -$launcher 2>/dev/null || true" EXIT INT TERM HUP
  # The bridge finds the AT-SPI bus through the session bus: wait until the launcher holds its
  # name there (asking the name itself would have the bus start a second launcher).
  tries=0
  until timeout 2 dbus-send --session --print-reply --dest=org.freedesktop.DBus \
      /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null |
      grep -q "boolean true"; do
    tries=$((tries + 1))
    if [ $tries -ge 20 ]; then
      echo "window_bench: the AT-SPI bus did not come up" >&2
      exit 3
    fi
    sleep 0.25
  done
  status=0
  MONITOR_BENCH_DISPLAY=1 QT_QPA_PLATFORM=xcb QT_ACCESSIBILITY=1 \
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 timeout -k 5 "$limit" \
    "$bench" --part=flood --process-sender "$@" || status=$?
  [ $status -eq 124 ] && echo "window_bench: monitor_bench ran over $limit s" >&2
  exit $status' sh "$bench" "$limit" "$@"
