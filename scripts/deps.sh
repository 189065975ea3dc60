#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the build, the program and the tests need, where missing.
PACKAGES="cmake make g++ clang libclang-rt-14-dev qt6-base-dev qt6-base-dev-tools libgl-dev \
libexpected-dev libgtest-dev libgmock-dev fonts-noto-cjk qt6-translations-l10n xvfb xauth iproute2 util-linux \
procps dbus-daemon dbus-bin at-spi2-core dpkg-dev file lintian desktop-file-utils appstream \
clang-tidy clang-format tshark iputils-arping"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq && $SUDO apt-get install -y -qq --no-install-recommends $missing
