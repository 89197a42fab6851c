#!/usr/bin/env bash
# Installs every Debian package the build, tests and benchmarks need.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libplist-dev libcairo2-dev libstb-dev libx11-dev libsndfile1-dev
  xvfb xauth
  # the LV2 interface, and the LV2 tools and hosts the tests check the bundle with
  lv2-dev lilv-utils liblilv-dev lv2file sordi
  # third-party VST 2.4 effects the hosting tests load as black boxes
  lsp-plugins-vst dpf-plugins-vst
  # live audio: JACK to build against, and a JACK server the live tests start
  libjack-jackd2-dev jackd2
  # the real CLAP host whose scanner checks Gravel.clap
  qtractor
  # the Debian package and its checkers; man-db renders the manual page
  dpkg-dev lintian desktop-file-utils man-db
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "deps: all ${#packages[@]} packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "deps: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
