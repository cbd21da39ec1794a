#!/bin/sh
# Installs the Debian packages Kartivo needs to build, test and show its window.
# Packages already present are skipped; runs apt-get directly as root, through sudo otherwise.
set -eu

PACKAGES="cmake g++ make pkg-config qt6-base-dev qt6-svg-dev libgl-dev libgtest-dev libgmock-dev \
xvfb xauth openbox x11-utils fonts-ipafont-gothic fonts-dejavu-core clang libclang-rt-14-dev lld \
help2man desktop-file-utils appstream man-db dpkg-dev file libgdal-dev gdal-bin nlohmann-json3-dev python3-pil"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
else
    SUDO="sudo"
fi

echo "Installing:$missing"
$SUDO apt-get update -q
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
