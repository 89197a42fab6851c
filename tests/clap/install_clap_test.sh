#!/usr/bin/env bash
# scripts/install.sh puts Gravel.clap in ~/.clap (or --clap-prefix), replaces
# only its own file, and refuses before installing anything when the folder
# holds someone else's Gravel.clap.
set -euo pipefail
install="$1"
bundle="$2" # the built Gravel.vst; Gravel.clap is beside it
scratch="$(mktemp -d)"
export HOME="${scratch}/home"
trap 'rm -rf "${scratch}"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

bash "${install}" --prefix "${scratch}/vst" --bundle "${bundle}" >/dev/null
cmp -s "$(dirname "${bundle}")/Gravel.clap" "${HOME}/.clap/Gravel.clap" || fail "Gravel.clap not installed in ~/.clap"

clap="${scratch}/clap"
mkdir -p "${clap}"
echo keep > "${clap}/Other.clap"
echo old-gravel-com.brackenfold.gravel > "${clap}/Gravel.clap"
bash "${install}" --prefix "${scratch}/vst" --clap-prefix "${clap}" --bundle "${bundle}" >/dev/null
cmp -s "$(dirname "${bundle}")/Gravel.clap" "${clap}/Gravel.clap" || fail "earlier Gravel.clap not replaced"
[ "$(cat "${clap}/Other.clap")" = keep ] || fail "another CLAP plug-in was touched"
[ -z "$(find "${clap}" -name '.Gravel.clap.install.*')" ] || fail "staging left behind"

other="${scratch}/other"
mkdir -p "${other}"
echo mine > "${other}/Gravel.clap"
if bash "${install}" --prefix "${scratch}/vst2" --clap-prefix "${other}" --bundle "${bundle}" 2>/dev/null; then
  fail "replaced a foreign Gravel.clap"
fi
[ "$(cat "${other}/Gravel.clap")" = mine ] || fail "foreign Gravel.clap touched"
[ ! -e "${scratch}/vst2" ] || fail "the VST bundle was installed although the CLAP install was refused"
echo "CLAP install tests passed"
