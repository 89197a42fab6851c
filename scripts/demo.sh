#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine: installs the Debian packages the
# build needs, builds everything (the gravel program, Gravel.vst with its
# factory presets, Gravel.lv2: all that scripts/install.sh installs) in
# Release into build/, and renders the demo guitar riff through the built
# Gravel.vst at three Drive settings into ./gravel-demo-clean.wav,
# ./gravel-demo-crunch.wav and ./gravel-demo-lead.wav. Arguments, when given,
# are passed to one `gravel render` instead (for example: --set drive=7.5).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$root/build" -j "$(nproc 2>/dev/null || echo 2)"
if [ $# -gt 0 ]; then
  exec "$root/build/gravel" render "$@"
fi
# Level 9 is about unity gain at low Drive; the clipping stage holds the
# louder settings near the same loudness, so the range is heard as tone.
"$root/build/gravel" render -o gravel-demo-clean.wav --set drive=1 --set level=9
"$root/build/gravel" render -o gravel-demo-crunch.wav --set drive=5 --set level=8
"$root/build/gravel" render -o gravel-demo-lead.wav --set drive=9 --set level=8 --set tone=6
