#!/usr/bin/env bash
# Installs what building and testing the driver needs, where it is missing: a C++20 compiler, CMake,
# GoogleTest and Google Benchmark, Python, and the tools that build and check the .deb, from Debian's
# packages. Does nothing on a machine that has them.
set -euo pipefail

source "$(dirname "$0")/packages.sh"
mapfile -t missing < <(missing_packages g++ cmake make libgtest-dev libgmock-dev libbenchmark-dev python3 python3-venv \
  python3-setuptools python3-wheel tshark pkg-config dpkg-dev file lintian zip unzip)
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
# Answered beforehand so that tshark's package asks nothing: no setuid capture for other users.
echo 'wireshark-common wireshark-common/install-setuid boolean false' | as_root debconf-set-selections
apt_install "${missing[@]}"
