#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The receive monitor as a normal user: monitor_bench's flood run as nobody without any
# capability, so the receive buffer is what SO_RCVBUF gets under net.core.rmem_max (the
# program's SO_RCVBUFFORCE needs CAP_NET_ADMIN). Prints sent, listed, dropped and the buffer
# granted. Run as root (it sets the limit and drops to nobody):
#   bench/user_bench.sh [--limit=BYTES] [build dir] [monitor_bench options]
# --limit is the net.core.rmem_max to measure with: 212992 (default) is stock Debian 12,
# 4194304 what dist/linux/60-terminal-config-tool.conf raises it to.
# Where the kernel keeps the limit per network namespace it is set in a namespace of the run's
# own; where it does not (Linux keeps it global, read-only in other namespaces), the global
# value is set for the run and put back afterwards, on any exit.
set -eu
limit=212992
case ${1:-} in --limit=*)
  limit=${1#--limit=}
  shift
  ;;
esac
build=${1:-build}
[ $# -gt 0 ] && shift
if [ "$(id -u)" -ne 0 ]; then
  echo "user_bench: run as root: it sets net.core.rmem_max and then runs as nobody" >&2
  exit 2
fi
bench=$(realpath "$build/bench/monitor_bench")
seconds=10
for a in "$@"; do
  case $a in --seconds=*) seconds=${a#--seconds=} ;; esac
done
limit_s=$((seconds * 3 + 90))
home=$(mktemp -d)
chown nobody:nogroup "$home"
sysctl_file=/proc/sys/net/core/rmem_max

# nobody, no groups, no capabilities of any kind, none to be gained.
as_user="setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=-all \
--bounding-set=-all --no-new-privs env HOME=$home XDG_RUNTIME_DIR=$home XDG_CACHE_HOME=$home/cache"
if ! $as_user test -x "$bench"; then
  echo "user_bench: nobody cannot run $bench (a folder on the way is closed to others)" >&2
  rm -rf "$home"
  exit 2
fi

if unshare -n sh -c "echo $limit > $sysctl_file" 2>/dev/null; then
  echo "user_bench: net.core.rmem_max=$limit in the run's own network namespace"
  status=0
  unshare -n sh -c "ip link set lo up && echo $limit > $sysctl_file && exec timeout -k 5 \
$limit_s $as_user \"\$0\" --part=flood --process-sender \"\$@\"" "$bench" "$@" || status=$?
  rm -rf "$home"
  exit $status
fi

old=$(cat $sysctl_file)
restore() {
  echo "$old" > $sysctl_file
  rm -rf "$home"
}
trap restore EXIT
trap 'exit 130' INT TERM HUP
echo "user_bench: net.core.rmem_max is global on this kernel ($(uname -r)):" \
  "$limit for the run, $old again afterwards"
echo "$limit" > $sysctl_file
status=0
timeout -k 5 $limit_s $as_user "$bench" --part=flood --process-sender "$@" || status=$?
exit $status
