#!/bin/sh
# Installs what building and testing lsmtp needs on a Debian 12 machine.
# Packages already present are left alone; run as root (or through sudo).
set -eu
# With --only, just the packages named after it.
packages="g++ cmake make libgtest-dev libgmock-dev googletest iproute2 util-linux binutils python3 python3-aiosmtpd coreutils"
if [ "${1-}" = --only ]; then
    shift
    packages="$*"
elif [ $# -gt 0 ]; then
    packages="$packages $*"
fi
missing=""
for package in $packages; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing="$missing $package"
done
[ -z "$missing" ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# Packages of another architecture (wine32:i386) need it known to dpkg
# before the package lists are read.
for package in $missing; do
    arch="${package#*:}"
    if [ "$arch" != "$package" ] && ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        $sudo dpkg --add-architecture "$arch"
    fi
done
$sudo apt-get -o DPkg::Lock::Timeout=600 update -q
# shellcheck disable=SC2086
$sudo apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends $missing
