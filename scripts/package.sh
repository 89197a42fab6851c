#!/usr/bin/env bash
# Builds Gravel in Release and makes the Debian package with CPack:
# build/gravel_<version>_amd64.deb. Install it with
#   sudo apt install ./build/gravel_<version>_amd64.deb
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${root}/build"

cmake -S "${root}" -B "${build}" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "${build}" -j2
(cd "${build}" && cpack --config CPackConfig.cmake)
deb="$(ls -t "${build}"/gravel_*_amd64.deb | head -n 1)"
echo "package: ${deb}"
if command -v lintian > /dev/null; then
  lintian "${deb}" || { echo "package: lintian reports errors" >&2; exit 1; }
fi
