#!/usr/bin/env bash
# Installs the built Gravel.vst bundle where Linux VST 2.4 hosts look for
# plug-ins: ~/.vst by default, or the folder given with --prefix. The same
# bundle is an AudioUnit component: a link to it in ~/.au (or the folder given
# with --au-prefix), one of the folders AudioUnit hosts search (AU_PATH),
# makes it found there too.
#
# Only Gravel.vst itself is ever replaced, and only when the bundle already
# there is ours (same bundle identifier) and not newer than this build
# (--force allows a downgrade). Everything else in the folder is left alone.
# The new copy is staged next to the old one and swapped in, so a failed copy
# leaves the installed plug-in as it was.
set -euo pipefail

usage() {
  echo "usage: $0 [--prefix DIR] [--au-prefix DIR] [--bundle PATH] [--force]"
  echo "  --prefix DIR     install into DIR (default: \$HOME/.vst)"
  echo "  --au-prefix DIR  link the installed bundle into DIR for AudioUnit hosts"
  echo "                   (default: \$HOME/.au)"
  echo "  --bundle PATH    the bundle to install (default: build/Gravel.vst)"
  echo "  --force          replace an installed Gravel.vst even if it is newer"
}

root="$(cd "$(dirname "$0")/.." && pwd)"
prefix="${HOME}/.vst"
au_prefix="${HOME}/.au"
bundle="${root}/build/Gravel.vst"
force=0
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) [ $# -ge 2 ] || { usage >&2; exit 2; }; prefix="$2"; shift 2 ;;
    --prefix=*) prefix="${1#--prefix=}"; shift ;;
    --au-prefix) [ $# -ge 2 ] || { usage >&2; exit 2; }; au_prefix="$2"; shift 2 ;;
    --au-prefix=*) au_prefix="${1#--au-prefix=}"; shift ;;
    --bundle) [ $# -ge 2 ] || { usage >&2; exit 2; }; bundle="$2"; shift 2 ;;
    --bundle=*) bundle="${1#--bundle=}"; shift ;;
    --force) force=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "install: unknown argument: $1" >&2; usage >&2; exit 2 ;;
  esac
done

identifier="com.brackenfold.gravel"

# plist_value FILE KEY: the string following <key>KEY</key>.
plist_value() {
  sed -n "/<key>$2<\/key>/{n;s/.*<string>\(.*\)<\/string>.*/\1/p;q}" "$1" 2>/dev/null || true
}

executable="${bundle}/Contents/x86_64-linux/Gravel.so"
if [ ! -f "${executable}" ] || [ ! -f "${bundle}/Contents/Info.plist" ]; then
  echo "install: no built bundle at ${bundle} (build first: cmake --build build)" >&2
  exit 1
fi
new_version="$(plist_value "${bundle}/Contents/Info.plist" CFBundleVersion)"

target="${prefix}/Gravel.vst"
if [ -e "${target}" ] || [ -L "${target}" ]; then
  if [ -L "${target}" ]; then
    : # a link the user made: replacing the link leaves what it points to alone
  elif [ ! -d "${target}" ] || [ "$(plist_value "${target}/Contents/Info.plist" CFBundleIdentifier)" != "${identifier}" ]; then
    echo "install: ${target} exists and is not a Gravel bundle; leaving it alone" >&2
    exit 1
  else
    old_version="$(plist_value "${target}/Contents/Info.plist" CFBundleVersion)"
    if [ "${force}" -eq 0 ] && [ -n "${old_version}" ] && [ -n "${new_version}" ] &&
       [ "${old_version}" != "${new_version}" ] &&
       [ "$(printf '%s\n%s\n' "${old_version}" "${new_version}" | sort -V | tail -n 1)" = "${old_version}" ]; then
      echo "install: ${target} is version ${old_version}, newer than ${new_version}; use --force to replace it" >&2
      exit 1
    fi
  fi
fi

mkdir -p "${prefix}"
stage="$(mktemp -d "${prefix}/.Gravel.vst.install.XXXXXX")"
old=""
cleanup() {
  rm -rf "${stage}"
  [ -z "${old}" ] || rm -rf "${old}"
}
trap cleanup EXIT

cp -R "${bundle}" "${stage}/Gravel.vst"
if [ -e "${target}" ] || [ -L "${target}" ]; then
  old="${stage}/previous"
  mv "${target}" "${old}"
fi
if ! mv "${stage}/Gravel.vst" "${target}"; then
  [ -z "${old}" ] || mv "${old}" "${target}"
  old=""
  echo "install: could not put the new bundle in place; the previous one is kept" >&2
  exit 1
fi
echo "install: Gravel.vst ${new_version} installed in ${prefix}"

# The AudioUnit link: only a link of that name is ever replaced.
installed="$(cd "${prefix}" && pwd)/Gravel.vst"
au_link="${au_prefix}/Gravel.vst"
if [ -e "${au_link}" ] && [ ! -L "${au_link}" ]; then
  echo "install: ${au_link} exists and is not a link; leaving it alone (AudioUnit hosts will not see this install)" >&2
  exit 1
fi
if [ "$(cd "$(dirname "${installed}")" && pwd)" = "$(mkdir -p "${au_prefix}" && cd "${au_prefix}" && pwd)" ]; then
  exit 0 # installed straight into the AudioUnit folder: nothing to link
fi
ln -sfn "${installed}" "${au_link}"
echo "install: linked ${au_link} -> ${installed} for AudioUnit hosts"
