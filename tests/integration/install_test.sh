#!/usr/bin/env bash
# scripts/install.sh against a scratch plug-in folder: it installs, replaces
# only an older Gravel.vst of ours, and never touches anything else.
set -euo pipefail
install="$1"
bundle="$2"
scratch="$(mktemp -d)"
# The script also links into ~/.au: never the real home of whoever runs this.
export HOME="${scratch}/home"
trap 'rm -rf "${scratch}"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix="${scratch}/vst"
mkdir -p "${prefix}/Other.vst"
echo keep > "${prefix}/Other.vst/file"
echo keep > "${prefix}/notes.txt"

# Fresh install next to the user's own things.
HOME="${scratch}/home" bash "${install}" --prefix "${prefix}" --bundle "${bundle}" >/dev/null
[ -f "${prefix}/Gravel.vst/Contents/x86_64-linux/Gravel.so" ] || fail "bundle not installed"
[ -f "${prefix}/Gravel.vst/Contents/Info.plist" ] || fail "Info.plist not installed"
# What the default build (scripts/demo.sh's) makes is all that gets installed:
# the factory presets, the LV2 and CLAP plug-ins beside the bundle.
[ -f "${prefix}/Gravel.vst/Contents/Resources/TNFactoryPresets.txt" ] || fail "AudioUnit factory presets not built"
[ "$(ls "${prefix}/Gravel.vst/Contents/Resources/Presets/"*.fxp | wc -l)" -eq 6 ] || fail "the six .fxp presets not built"
for built in "${HOME}/.lv2/Gravel.lv2/Gravel.so" "${HOME}/.lv2/Gravel.lv2/presets.ttl" "${HOME}/.clap/Gravel.clap"; do
  [ -f "${built}" ] || fail "${built} not built or not installed"
done

# The program and its menu entry: gravel runs from ~/.local/bin and finds the
# bundle it was installed with, wherever that went.
program="${HOME}/.local/bin/gravel"
"${program}" info > "${scratch}/info.txt" || fail "the installed gravel does not load the installed bundle"
grep -q '^Gravel v' "${scratch}/info.txt" || fail "the installed gravel loaded something else than Gravel"
desktop="${HOME}/.local/share/applications/gravel.desktop"
grep -qxF "Exec=\"${program}\" live" "${desktop}" || fail "the desktop entry does not start the installed gravel live"
[ -f "${HOME}/.local/share/icons/hicolor/48x48/apps/gravel.png" ] || fail "icon not installed"
if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "${desktop}" || fail "the installed desktop entry is invalid"
fi
bash "${install}" --prefix "${prefix}" --bin-prefix "${scratch}/tools/bin" --bundle "${bundle}" >/dev/null
"${scratch}/tools/bin/gravel" info > /dev/null || fail "gravel installed with --bin-prefix does not run"
mkdir -p "${scratch}/mine"
printf '#!/bin/sh\necho mine\n' > "${scratch}/mine/gravel"
if bash "${install}" --prefix "${prefix}" --bin-prefix "${scratch}/mine" --bundle "${bundle}" 2>/dev/null; then fail "replaced another program named gravel"; fi
grep -q mine "${scratch}/mine/gravel" || fail "another program named gravel was touched"

# Reinstall over an older copy: replaced, and a stray file in it goes with it.
sed -i 's/<string>[0-9.]*<\/string>\(.*\)$/<string>0.0.1<\/string>\1/' "${prefix}/Gravel.vst/Contents/Info.plist"
touch "${prefix}/Gravel.vst/stale"
bash "${install}" --prefix "${prefix}" --bundle "${bundle}" >/dev/null
[ ! -e "${prefix}/Gravel.vst/stale" ] || fail "older bundle not replaced"
[ "$(cat "${prefix}/Other.vst/file")" = keep ] || fail "another plug-in was touched"
[ "$(cat "${prefix}/notes.txt")" = keep ] || fail "a user file was touched"
[ -z "$(find "${prefix}" -maxdepth 1 -name '.Gravel.vst.install.*')" ] || fail "staging left behind"

# A newer installed copy is kept unless forced.
sed -i '/CFBundleVersion/{n;s/<string>.*<\/string>/<string>99.0.0<\/string>/}' "${prefix}/Gravel.vst/Contents/Info.plist"
if bash "${install}" --prefix "${prefix}" --bundle "${bundle}" 2>/dev/null; then fail "downgraded without --force"; fi
grep -q 99.0.0 "${prefix}/Gravel.vst/Contents/Info.plist" || fail "newer bundle changed"
bash "${install}" --prefix "${prefix}" --bundle "${bundle}" --force >/dev/null
! grep -q 99.0.0 "${prefix}/Gravel.vst/Contents/Info.plist" || fail "--force did not replace"

# Something else named Gravel.vst is not ours to replace.
other="${scratch}/other"
mkdir -p "${other}/Gravel.vst"
echo mine > "${other}/Gravel.vst/data"
if bash "${install}" --prefix "${other}" --bundle "${bundle}" 2>/dev/null; then fail "replaced a foreign Gravel.vst"; fi
[ "$(cat "${other}/Gravel.vst/data")" = mine ] || fail "foreign Gravel.vst touched"

# Missing build: a clear failure, nothing created.
if bash "${install}" --prefix "${scratch}/none" --bundle "${scratch}/missing.vst" 2>/dev/null; then fail "installed nothing successfully"; fi
[ ! -e "${scratch}/none" ] || fail "created a folder for nothing"
echo "install tests passed"
