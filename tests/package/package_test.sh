#!/usr/bin/env bash
# The Debian package as a user gets it: made by CPack from the build, unpacked
# into a scratch root, and run from there. Everything it writes stays in the
# scratch folder inside the build.
set -euo pipefail
build="$(cd "$1" && pwd)"
source="$(cd "$2" && pwd)"
rm -rf "$3"
mkdir -p "$3/tmp" "$3/home"
scratch="$(cd "$3" && pwd)"
export TMPDIR="${scratch}/tmp" HOME="${scratch}/home" XDG_CACHE_HOME="${scratch}/home/.cache"
cd "${scratch}"
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "${build}/CPackConfig.cmake" -B "${scratch}/out" > cpack.log 2>&1 || { cat cpack.log; fail "cpack failed"; }
deb="$(echo "${scratch}"/out/gravel_*_amd64.deb)"
[ -f "${deb}" ] || fail "no gravel_<version>_amd64.deb made"
root="${scratch}/root"
dpkg-deb -x "${deb}" "${root}"
dpkg-deb -f "${deb}" Depends | grep -q libc6 || fail "no shared-library dependencies computed"

# Every installed path.
expected=(usr/bin/gravel
  usr/lib/lxvst/Gravel.vst/Contents/x86_64-linux/Gravel.so
  usr/lib/lxvst/Gravel.vst/Contents/x86_64-linux/libgravel-platform.so.1
  usr/lib/lxvst/Gravel.vst/Contents/Info.plist
  usr/lib/lv2/Gravel.lv2/manifest.ttl
  usr/share/applications/gravel.desktop
  usr/share/icons/hicolor/48x48/apps/gravel.png
  usr/share/icons/hicolor/256x256/apps/gravel.png
  usr/share/man/man1/gravel.1.gz
  usr/share/doc/gravel/README.md usr/share/doc/gravel/copyright usr/share/doc/gravel/changelog.gz)
[ ! -e "${build}/Gravel.clap" ] || expected+=(usr/lib/clap/Gravel.clap)
for path in "${expected[@]}"; do
  [ -e "${root}/${path}" ] || fail "the package lacks /${path}"
done

# Nothing refers to the build or source tree; binaries find their libraries
# relative to themselves.
leaks="$(grep -rlF "${source}" "${root}" || true)"
[ -z "${leaks}" ] || fail "installed files name the source or build tree: ${leaks}"
while IFS= read -r -d '' file; do
  readelf -h "${file}" > /dev/null 2>&1 || continue
  readelf -d "${file}" | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]/\2/p' | tr ':' '\n' | while read -r entry; do
    case "${entry}" in '$ORIGIN'*) ;; *) fail "${file#${root}} searches ${entry} for libraries" ;; esac
  done
done < <(find "${root}" -type f -print0)

# The installed gravel loads the installed bundle by itself and renders what
# the build renders.
"${build}/gravel" render -o built.wav > /dev/null
"${root}/usr/bin/gravel" render -o installed.wav > /dev/null || fail "the installed gravel cannot render without --plugin"
cmp -s built.wav installed.wav || fail "the installed gravel renders differently from the build's"

# Hosts find the plug-ins through their search paths.
uri="https://brackenfold.example/plugins/gravel"
LV2_PATH="${root}/usr/lib/lv2" lv2info "${uri}" > lv2info.txt 2>&1 || true
grep -qF "Binary:            file://${root}/usr/lib/lv2/Gravel.lv2/Gravel.so" lv2info.txt ||
  { cat lv2info.txt; fail "lv2info does not find Gravel.lv2 in the package"; }
au="${root}/usr/lib/au/Gravel.vst"
[ -L "${au}" ] && [ "$(readlink "${au}" | cut -c1)" != / ] || fail "/usr/lib/au/Gravel.vst is not a relative link"
[ "$(readlink -f "${au}")" = "${root}/usr/lib/lxvst/Gravel.vst" ] || fail "/usr/lib/au/Gravel.vst does not lead to the VST bundle"

# The manual page renders cleanly and names every command and option.
LC_ALL=C MANWIDTH=200 man --warnings -l "${root}/usr/share/man/man1/gravel.1.gz" > page.txt 2> man.log
[ ! -s man.log ] || { cat man.log; fail "the manual page renders with warnings"; }
help() { "${build}/gravel" "$@" --help; }
commands="$(help | sed -n '/^Commands:/,/^$/s/^  \([a-z][-a-z0-9]*\).*/\1/p')"
[ -n "${commands}" ] || fail "gravel --help lists no commands"
for command in "" ${commands}; do
  grep -qF "gravel ${command}" page.txt || fail "the manual page lacks gravel ${command}"
  for option in $(help ${command} | grep -oE -- '(^|[^[:alnum:]-])--?[[:alpha:]][-[:alnum:]]*' | grep -oE -- '-.*' | sort -u); do
    grep -qF -- "${option}" page.txt || fail "the manual page lacks ${option} of gravel ${command}"
  done
done

if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "${root}/usr/share/applications/gravel.desktop" || fail "the desktop entry is invalid"
else
  echo "SKIPPED desktop-file-validate: not installed (scripts/deps.sh installs desktop-file-utils)"
fi
if command -v lintian > /dev/null; then
  lintian --fail-on error "${deb}" || fail "lintian reports errors"
else
  echo "SKIPPED lintian: not installed (scripts/deps.sh installs it)"
fi
echo "package tests passed: ${deb##*/}"
