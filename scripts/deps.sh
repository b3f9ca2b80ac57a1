#!/bin/sh
# Installs the Debian 12 packages the build and the tests need, when missing
# (locales: the sources a test makes a decimal-comma locale from).
set -e
need=""
for p in cmake g++ make libgtest-dev libfltk1.3-dev clang libclang-rt-14-dev mkgmap locales xvfb xauth xdotool imagemagick time python3; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need="$need $p"
done
if [ -n "$need" ]; then
    echo "Installing:$need"
    if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $need >/dev/null
fi
