#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command inside a network namespace of its own, shaped like a small site LAN:
# 192.168.1.10/24 on a veth, a default route via .1, and 192.168.1.200 and .248 on the
# loopback so that unicast to them reaches local test sockets. Broadcast and multicast loop
# back to local receivers. Nothing sent in here reaches the machine's real network.
# Exit 77 (skipped) where namespaces cannot be made, unless CI=true, where that is a failure.
if [ -z "$LAB_INSIDE" ]; then
  # A user who is not root makes the namespace inside a user namespace of its own, mapped
  # to root there, where the kernel allows unprivileged user namespaces.
  if [ "$(id -u)" = 0 ]; then ns="-n"; else ns="-rn"; fi
  if ! unshare $ns true 2>/dev/null; then
    if [ "$CI" = "true" ]; then
      echo "lab.sh: cannot create a network namespace (needs root or user namespaces)" >&2
      exit 1
    fi
    echo "SKIPPED: cannot create a network namespace here (needs root or user namespaces)" >&2
    exit 77
  fi
  LAB_INSIDE=1 exec unshare $ns "$0" "$@"
fi
set -e
ip link set lo up
ip link add veth0 type veth peer name veth1
ip addr add 192.168.1.10/24 dev veth0
ip link set veth0 up
ip link set veth1 up
ip route add default via 192.168.1.1 dev veth0
ip addr add 192.168.1.200/32 dev lo
ip addr add 192.168.1.248/32 dev lo
# Multicast sent without a chosen interface leaves by the default route; loop it back.
ip route add 224.0.0.0/4 dev lo 2>/dev/null || true
set +e
exec "$@"
