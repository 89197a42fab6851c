#!/usr/bin/env bash
# Installs the built Gravel.vst bundle where Linux VST 2.4 hosts look for
# plug-ins: ~/.vst by default, or the folder given with --prefix. The same
# bundle is an AudioUnit component: a link to it in ~/.au (or the folder given
# with --au-prefix), one of the folders AudioUnit hosts search (AU_PATH),
# makes it found there too. Gravel.lv2, built beside it, goes into ~/.lv2 (or
# the folder given with --lv2-prefix), where LV2 hosts look. Gravel.clap,
# also beside it, goes into ~/.clap (or the folder given with --clap-prefix),
# the folder CLAP hosts search.
#
# Only Gravel.vst (and Gravel.lv2) is ever replaced, and only when the bundle
# already there is ours (same bundle identifier) and not newer than this build
# (--force allows a downgrade). Everything else in the folder is left alone.
# The new copy is staged next to the old one and swapped in, so a failed copy
# leaves the installed plug-in as it was.
#
# The gravel program goes into ~/.local/bin (or the folder given with
# --bin-prefix), with a desktop entry, icon and manual page under
# ${XDG_DATA_HOME:-~/.local/share}, so Gravel appears in the desktop's menu.
# Like the packaged one it loads ../lib/lxvst/Gravel.vst beside its folder:
# a link there leads to the installed bundle. A gravel, desktop entry or
# link there that is not Gravel's is left alone.
set -euo pipefail

usage() {
  echo "usage: $0 [--prefix DIR] [--au-prefix DIR] [--lv2-prefix DIR] [--bin-prefix DIR]"
  echo "          [--bundle PATH] [--lv2-bundle PATH] [--force]"
  echo "  --prefix DIR     install into DIR (default: \$HOME/.vst)"
  echo "  --au-prefix DIR  link the installed bundle into DIR for AudioUnit hosts"
  echo "                   (default: \$HOME/.au)"
  echo "  --lv2-prefix DIR install Gravel.lv2 into DIR (default: \$HOME/.lv2)"
  echo "  --bin-prefix DIR install the gravel program into DIR (default: \$HOME/.local/bin)"
  echo "  --bundle PATH    the bundle to install (default: build/Gravel.vst)"
  echo "  --lv2-bundle PATH  the LV2 bundle to install (default: Gravel.lv2 beside"
  echo "                   the VST bundle; skipped with a note when not built)"
  echo "  --clap-prefix DIR  install Gravel.clap into DIR (default: \$HOME/.clap;"
  echo "                   skipped with a note when Gravel.clap was not built)"
  echo "  --force          replace an installed Gravel.vst even if it is newer"
}

root="$(cd "$(dirname "$0")/.." && pwd)"
prefix="${HOME}/.vst"
au_prefix="${HOME}/.au"
lv2_prefix="${HOME}/.lv2"
clap_prefix="${HOME}/.clap"
bin_prefix="${HOME}/.local/bin"
data_home="${XDG_DATA_HOME:-${HOME}/.local/share}"
bundle="${root}/build/Gravel.vst"
lv2_bundle=""
force=0
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) [ $# -ge 2 ] || { usage >&2; exit 2; }; prefix="$2"; shift 2 ;;
    --prefix=*) prefix="${1#--prefix=}"; shift ;;
    --au-prefix) [ $# -ge 2 ] || { usage >&2; exit 2; }; au_prefix="$2"; shift 2 ;;
    --au-prefix=*) au_prefix="${1#--au-prefix=}"; shift ;;
    --lv2-prefix) [ $# -ge 2 ] || { usage >&2; exit 2; }; lv2_prefix="$2"; shift 2 ;;
    --lv2-prefix=*) lv2_prefix="${1#--lv2-prefix=}"; shift ;;
    --bin-prefix) [ $# -ge 2 ] || { usage >&2; exit 2; }; bin_prefix="$2"; shift 2 ;;
    --bin-prefix=*) bin_prefix="${1#--bin-prefix=}"; shift ;;
    --lv2-bundle) [ $# -ge 2 ] || { usage >&2; exit 2; }; lv2_bundle="$2"; shift 2 ;;
    --lv2-bundle=*) lv2_bundle="${1#--lv2-bundle=}"; shift ;;
    --clap-prefix) [ $# -ge 2 ] || { usage >&2; exit 2; }; clap_prefix="$2"; shift 2 ;;
    --clap-prefix=*) clap_prefix="${1#--clap-prefix=}"; shift ;;
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

# The LV2 bundle: one asked for must exist; the one beside the VST bundle is
# installed when it was built.
lv2_uri="https://brackenfold.example/plugins/gravel"
lv2_target="${lv2_prefix}/Gravel.lv2"
lv2_explicit=1
if [ -z "${lv2_bundle}" ]; then
  lv2_bundle="$(dirname "${bundle}")/Gravel.lv2"
  lv2_explicit=0
fi
if [ ! -f "${lv2_bundle}/manifest.ttl" ] || [ ! -f "${lv2_bundle}/Gravel.so" ]; then
  if [ "${lv2_explicit}" -eq 1 ]; then
    echo "install: no built LV2 bundle at ${lv2_bundle} (build first: cmake --build build)" >&2
    exit 1
  fi
  echo "install: note: no Gravel.lv2 beside ${bundle}; LV2 hosts will not see this install (build it with cmake --build)"
  lv2_bundle=""
elif [ -L "${lv2_target}" ]; then
  : # a link the user made: replacing the link leaves what it points to alone
elif { [ -e "${lv2_target}" ] && [ ! -d "${lv2_target}" ]; } ||
     { [ -d "${lv2_target}" ] && ! grep -qF "<${lv2_uri}>" "${lv2_target}/manifest.ttl" 2>/dev/null; }; then
  # Asked before anything is installed, so a refusal changes nothing.
  echo "install: ${lv2_target} exists and is not Gravel's LV2 bundle; leaving it alone" >&2
  exit 1
fi

# Gravel.clap, one file beside the VST bundle. A Gravel.clap already there
# that is not ours (no Gravel plug-in id inside) is refused before anything
# is installed.
clap_file="$(dirname "${bundle}")/Gravel.clap"
clap_target="${clap_prefix}/Gravel.clap"
if [ ! -f "${clap_file}" ]; then
  echo "install: note: no Gravel.clap beside ${bundle}; CLAP hosts will not see this install (build it with cmake --build)"
  clap_file=""
elif [ -L "${clap_target}" ]; then
  : # a link the user made: replacing the link leaves what it points to alone
elif { [ -e "${clap_target}" ] && [ ! -f "${clap_target}" ]; } ||
     { [ -f "${clap_target}" ] && ! grep -qaF "${identifier}" "${clap_target}"; }; then
  echo "install: ${clap_target} exists and is not Gravel's CLAP plug-in; leaving it alone" >&2
  exit 1
fi

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

# Gravel.lv2, staged and swapped in the same way.
if [ -n "${lv2_bundle}" ]; then
  mkdir -p "${lv2_prefix}"
  lv2_stage="$(mktemp -d "${lv2_prefix}/.Gravel.lv2.install.XXXXXX")"
  trap 'cleanup; rm -rf "${lv2_stage}"' EXIT
  cp -R "${lv2_bundle}" "${lv2_stage}/Gravel.lv2"
  if [ -e "${lv2_target}" ] || [ -L "${lv2_target}" ]; then
    mv "${lv2_target}" "${lv2_stage}/previous"
  fi
  if ! mv "${lv2_stage}/Gravel.lv2" "${lv2_target}"; then
    [ ! -e "${lv2_stage}/previous" ] || mv "${lv2_stage}/previous" "${lv2_target}"
    echo "install: could not put Gravel.lv2 in place; the previous one is kept" >&2
    exit 1
  fi
  echo "install: Gravel.lv2 installed in ${lv2_prefix}"
fi

# Gravel.clap: copied beside its place, then renamed over it in one step.
if [ -n "${clap_file}" ]; then
  mkdir -p "${clap_prefix}"
  clap_stage="$(mktemp "${clap_prefix}/.Gravel.clap.install.XXXXXX")"
  if ! cp "${clap_file}" "${clap_stage}" || ! chmod 755 "${clap_stage}" || ! mv -fT "${clap_stage}" "${clap_target}"; then
    rm -f "${clap_stage}"
    echo "install: could not put Gravel.clap in place; the previous one is kept" >&2
    exit 1
  fi
  echo "install: Gravel.clap installed in ${clap_prefix}"
fi

# The AudioUnit link: only a link of that name is ever replaced.
installed="$(cd "${prefix}" && pwd)/Gravel.vst"
au_link="${au_prefix}/Gravel.vst"
if [ "$(cd "${prefix}" && pwd)" = "$(mkdir -p "${au_prefix}" && cd "${au_prefix}" && pwd)" ]; then
  : # installed straight into the AudioUnit folder: nothing to link
elif [ -e "${au_link}" ] && [ ! -L "${au_link}" ]; then
  echo "install: ${au_link} exists and is not a link; leaving it alone (AudioUnit hosts will not see this install)" >&2
  exit 1
else
  ln -sfn "${installed}" "${au_link}"
  echo "install: linked ${au_link} -> ${installed} for AudioUnit hosts"
fi

# The program, desktop entry, icons and manual page, as the build's install
# rules lay them out (the program's run path and all), staged and copied.
build="$(dirname "${bundle}")"
if [ ! -f "${build}/cmake_install.cmake" ] || [ ! -x "${build}/gravel" ]; then
  echo "install: note: no gravel program built beside ${bundle}; the program and its menu entry are not installed"
  exit 0
fi
program="${bin_prefix}/gravel"
desktop="${data_home}/applications/gravel.desktop"
# ours FILE TEXT: FILE is absent, or Gravel's (holds TEXT).
ours() { [ ! -e "$1" ] && [ ! -L "$1" ] || { [ -f "$1" ] && grep -qaF "$2" "$1"; }; }
if ! ours "${program}" "Gravel overdrive"; then
  echo "install: ${program} exists and is not Gravel's program; leaving it alone (use --bin-prefix DIR for another folder)" >&2
  exit 1
fi
if ! ours "${desktop}" "Icon=gravel"; then
  echo "install: ${desktop} exists and is not Gravel's desktop entry; leaving it alone" >&2
  exit 1
fi
mkdir -p "${bin_prefix}"
bin_prefix="$(cd "${bin_prefix}" && pwd)"
program="${bin_prefix}/gravel"
program_stage="$(mktemp -d "${bin_prefix}/.gravel.install.XXXXXX")"
trap 'cleanup; rm -rf "${lv2_stage:-}" "${program_stage}"' EXIT
cmake --install "${build}" --prefix "${program_stage}/root" --component gravel_program >/dev/null
cp "${program_stage}/root/bin/gravel" "${program_stage}/gravel"
mv -f "${program_stage}/gravel" "${program}"
echo "install: gravel installed in ${bin_prefix}"

# gravel finds its bundle (and its platform library) at ../lib/lxvst/Gravel.vst.
vst_link="$(dirname "${bin_prefix}")/lib/lxvst/Gravel.vst"
mkdir -p "$(dirname "${vst_link}")"
if [ "$(cd "$(dirname "${vst_link}")" && pwd)" = "$(cd "${prefix}" && pwd)" ]; then
  : # the bundle was installed right there
elif [ -e "${vst_link}" ] && [ ! -L "${vst_link}" ]; then
  echo "install: note: ${vst_link} is not a link to this install; gravel will load the bundle there"
else
  ln -sfn "${installed}" "${vst_link}"
fi

# Desktop entry: the program by its full path, since a desktop session's PATH
# need not hold ~/.local/bin. Exec quoting: \ " ` $ escaped, then every \
# doubled for the file's string syntax, % doubled for field codes.
exec_path="$(printf '%s' "${program}" | sed -e 's/[\\"`$]/\\&/g' -e 's/\\/\\\\/g' -e 's/%/%%/g')"
mkdir -p "${data_home}/applications" "${data_home}/icons" "${data_home}/man/man1"
sed "s|^Exec=gravel |Exec=\"$(printf '%s' "${exec_path}" | sed 's/[|&\\]/\\&/g')\" |" \
  "${program_stage}/root/share/applications/gravel.desktop" > "${program_stage}/gravel.desktop"
mv -f "${program_stage}/gravel.desktop" "${desktop}"
cp -R "${program_stage}/root/share/icons/hicolor" "${data_home}/icons/"
cp "${program_stage}/root/share/man/man1/gravel.1.gz" "${data_home}/man/man1/"
echo "install: Gravel's desktop entry installed in ${data_home}/applications"
