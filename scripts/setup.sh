#!/usr/bin/env bash
# Installs what building and testing the driver needs, where it is missing: a C++20 compiler, CMake,
# GoogleTest and Google Benchmark, Python, and the tools that build and check the .deb, from Debian's
# packages. Does nothing on a machine that has them.
set -euo pipefail

needed=(g++ cmake make libgtest-dev libgmock-dev libbenchmark-dev python3 python3-venv python3-setuptools python3-wheel tshark pkg-config dpkg-dev file lintian zip unzip)
missing=()
for pkg in "${needed[@]}"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
# Answered beforehand so that tshark's package asks nothing: no setuid capture for other users.
echo 'wireshark-common wireshark-common/install-setuid boolean false' | $sudo debconf-set-selections
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
