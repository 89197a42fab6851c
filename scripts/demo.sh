#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine: installs the Debian packages the
# build needs, builds Gravel in Release into build/, and renders the demo
# guitar riff through the built Gravel.vst into ./gravel-demo.wav. Arguments
# are passed to `gravel render` (for example: --set drive=7.5 --set fat=on).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$root/build" -j "$(nproc 2>/dev/null || echo 2)" --target gravel
"$root/build/gravel" render "$@"
