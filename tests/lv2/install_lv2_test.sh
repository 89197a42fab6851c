#!/usr/bin/env bash
# scripts/install.sh puts Gravel.lv2 where LV2 hosts find it, replaces only
# its own bundle, and refuses before installing anything when the folder
# holds someone else's Gravel.lv2.
set -euo pipefail
install="$1"
bundle="$2" # the built Gravel.vst; Gravel.lv2 is beside it
scratch="$(mktemp -d)"
export HOME="${scratch}/home"
trap 'rm -rf "${scratch}"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
uri="https://brackenfold.example/plugins/gravel"

bash "${install}" --prefix "${scratch}/vst" --bundle "${bundle}" >/dev/null
[ -f "${HOME}/.lv2/Gravel.lv2/manifest.ttl" ] || fail "Gravel.lv2 not installed in ~/.lv2"
[ -f "${HOME}/.lv2/Gravel.lv2/Contents/x86_64-linux/GravelUI.so" ] || fail "UI binary not installed"
[ "$(LV2_PATH="${HOME}/.lv2" lv2ls 2>/dev/null)" = "${uri}" ] || fail "lv2ls does not list the installed plug-in"

# Reinstall into a chosen folder, over an earlier copy of ours.
lv2="${scratch}/lv2"
mkdir -p "${lv2}/Other.lv2"
echo keep > "${lv2}/Other.lv2/file"
bash "${install}" --prefix "${scratch}/vst" --lv2-prefix "${lv2}" --bundle "${bundle}" >/dev/null
touch "${lv2}/Gravel.lv2/stale"
bash "${install}" --prefix "${scratch}/vst" --lv2-prefix "${lv2}" --bundle "${bundle}" >/dev/null
[ ! -e "${lv2}/Gravel.lv2/stale" ] || fail "earlier Gravel.lv2 not replaced"
[ "$(cat "${lv2}/Other.lv2/file")" = keep ] || fail "another LV2 bundle was touched"
[ -z "$(find "${lv2}" -maxdepth 1 -name '.Gravel.lv2.install.*')" ] || fail "staging left behind"
LV2_PATH="${lv2}" lv2info "${uri}" 2>/dev/null | grep -q "Port 14:" || fail "lv2info cannot read the installed bundle"

# Someone else's Gravel.lv2: refused, and nothing installed at all.
other="${scratch}/other"
mkdir -p "${other}/Gravel.lv2"
echo mine > "${other}/Gravel.lv2/manifest.ttl"
if bash "${install}" --prefix "${scratch}/vst2" --lv2-prefix "${other}" --bundle "${bundle}" 2>/dev/null; then
  fail "replaced a foreign Gravel.lv2"
fi
[ "$(cat "${other}/Gravel.lv2/manifest.ttl")" = mine ] || fail "foreign Gravel.lv2 touched"
[ ! -e "${scratch}/vst2" ] || fail "the VST bundle was installed although the LV2 install was refused"

# An LV2 bundle asked for that does not exist: a clear failure.
if bash "${install}" --prefix "${scratch}/vst" --lv2-bundle "${scratch}/missing.lv2" --bundle "${bundle}" 2>/dev/null; then
  fail "installed a missing LV2 bundle successfully"
fi
echo "LV2 install tests passed"
