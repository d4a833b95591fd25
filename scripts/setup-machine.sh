#!/usr/bin/env bash
# Installs the Debian packages a task needs, only those that are missing, after
# saying which and why. The tests also need a few locales, generated
# system-wide.
#
# Usage: scripts/setup-machine.sh demo|tests|benchmark|fuzz|sanitizers|packaging|ansible-sanity
#   demo        build the program and run it on a desktop
#   tests       the above, and what the test suite needs
#   benchmark   the tests' packages, and the benchmark's X connection
#   fuzz        build the fuzz targets with clang and symbolize what they find
#   sanitizers  the test suite under the sanitizers, with symbolized reports
#   packaging   build the Debian packages and check them (scripts/build-packages.sh)
#   ansible-sanity  ansible-test sanity on the collection (scripts/run-ansible-sanity.sh)
#
# sudo, apt-get, locale-gen and tee are called by name, so that they are the
# ones on the search path (through sudo, those on its secure_path).
set -euo pipefail

# Building the program; xxhash.h for the digest of a file's stamp.
build_packages=(
  cmake
  g++
  libxxhash-dev
  make
  qt6-base-dev
)
# Running it on a desktop: the font its window asks for.
run_packages=(
  fonts-liberation
)
# The test suite, each package for the tests named beside it: locale-gen for
# the tests' locales; a private X server and a window closer (install_and_run);
# the font the caption tests measure with (tst_captionsfit); the menu entry,
# metainfo and icon checks (install_and_run); polkit's DTD and its
# validator (install_and_run); the real pkexec of tst_adminsave; ACL and
# extended-attribute tools (tst_safewrite, setfacl in tst_adminsave); ansible-galaxy, -playbook and -doc
# (the collection and its test, ansible_parameter).
test_packages=(
  locales
  xvfb
  xdotool
  libx11-dev
  fonts-dejavu-core
  desktop-file-utils
  appstream
  file
  librsvg2-bin
  libxml2-utils
  polkitd
  acl
  attr
  ansible-core
  pkexec
)
# The benchmark's start-up timing talks to Xvfb through xcb.
bench_packages=(
  libxcb1-dev
  pkg-config
)
# Fuzzing and the sanitizer run: clang with libFuzzer, the sanitizer runtime,
# and llvm-symbolizer for function names in the reports.
clang_packages=(
  clang-14
  libclang-rt-14-dev
  llvm-14
)
# The Debian packages: the build dependencies named in debian/control, what
# dpkg-buildpackage takes for granted, the package and metainfo checkers, and
# autopkgtest with the tools its start of the windows needs.
packaging_packages=(
  build-essential
  dpkg-dev
  lintian
  appstream
  autopkgtest
  xvfb
  xdotool
)
# ansible-test sanity offline: git for the files it checks, venv for its
# environments, and the checkers it would otherwise fetch from PyPI.
sanity_packages=(
  ansible-core
  git
  python3-venv
  python3-voluptuous
  pylint
  pycodestyle
  yamllint
)
# The tests convert text through these.
test_locales=(
  "de_DE.ISO-8859-1 ISO-8859-1"
  "de_DE.UTF-8 UTF-8"
  "tr_TR.UTF-8 UTF-8"
)

usage() {
  echo "usage: $0 demo|tests|benchmark|fuzz|sanitizers|packaging|ansible-sanity" >&2
  exit 2
}
[ $# -eq 1 ] || usage
task=$1

groups=()
locales=()
case "$task" in
  demo) groups=(build run) ;;
  tests) groups=(build run test); locales=("${test_locales[@]}") ;;
  benchmark) groups=(build run test bench); locales=("${test_locales[@]}") ;;
  fuzz) groups=(build clang) ;;
  sanitizers) groups=(build run test clang); locales=("${test_locales[@]}") ;;
  packaging) groups=(packaging) ;;
  ansible-sanity) groups=(sanity) ;;
  *) usage ;;
esac

# The Build-Depends field of debian/control, one name a line: versions,
# architectures and build profiles dropped, the first of alternatives taken;
# debhelper-compat is debhelper's versioned name.
build_dependencies() {
  awk '/^Build-Depends:/ { field = 1; sub(/^Build-Depends:/, ""); print; next }
       field && /^[ \t]/ { print; next }
       { field = 0 }' "$1" |
    tr ',' '\n' |
    sed 's/|.*//; s/([^)]*)//g; s/\[[^]]*\]//g; s/<[^>]*>//g; s/[[:space:]]//g; s/^debhelper-compat$/debhelper/' |
    grep .
}
if [ "$task" = packaging ]; then
  control="$(dirname "$0")/../debian/control"
  [ -r "$control" ] || { echo "$0: cannot read $control" >&2; exit 1; }
  mapfile -t named < <(build_dependencies "$control")
  packaging_packages+=("${named[@]}")
fi

declare -A purpose=(
  [build]="to build the program"
  [run]="to run it on a desktop"
  [test]="to run the tests"
  [bench]="for the benchmark's X connection"
  [clang]="for clang, its sanitizer runtime and llvm-symbolizer"
  [packaging]="to build and check the Debian packages"
  [sanity]="for ansible-test sanity and its checkers"
)

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=()
report=()
for group in "${groups[@]}"; do
  declare -n list="${group}_packages"
  lacking=()
  for package in "${list[@]}"; do
    installed "$package" || lacking+=("$package")
  done
  unset -n list
  if [ ${#lacking[@]} -gt 0 ]; then
    missing+=("${lacking[@]}")
    report+=("  ${purpose[$group]}: ${lacking[*]}")
  fi
done

absent_locales=()
for entry in "${locales[@]}"; do
  name=${entry%% *}
  normalised=$(echo "$name" | sed 's/ISO-8859-1/iso88591/; s/UTF-8/utf8/')
  locale -a 2>/dev/null | grep -qx "$normalised" || absent_locales+=("$entry")
done

[ ${#missing[@]} -gt 0 ] || [ ${#absent_locales[@]} -gt 0 ] || exit 0

echo "Setting up this machine for: $task"
if [ ${#missing[@]} -gt 0 ]; then
  if [ ${#missing[@]} -eq 1 ]; then
    echo "To install with apt-get, 1 Debian package:"
  else
    echo "To install with apt-get, ${#missing[@]} Debian packages:"
  fi
  printf '%s\n' "${report[@]}"
fi
if [ ${#absent_locales[@]} -gt 0 ]; then
  echo "To generate system-wide (in /etc/locale.gen), locales the tests convert text through:"
  for entry in "${absent_locales[@]}"; do echo "  ${entry%% *}"; done
fi

as_root_hint() {
  echo "Run this one command as root (for example after su -), then start again:" >&2
  echo "  $(cd "$(dirname "$0")" && pwd)/$(basename "$0") $task" >&2
  exit 1
}
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif ! command -v sudo >/dev/null 2>&1; then
  echo "This needs root, and this user is not root and has no sudo." >&2
  as_root_hint
# sudo asks for the password on the terminal itself; what it says otherwise
# (no terminal, no right, three wrong passwords) is passed on.
elif sudo_said=$(sudo -v 2>&1); then
  as_root=(sudo)
else
  echo "This needs root, and sudo refused:" >&2
  printf '%s\n' "$sudo_said" | sed 's/^/  /' >&2
  as_root_hint
fi

if [ ${#missing[@]} -gt 0 ]; then
  "${as_root[@]}" apt-get update -q
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
if [ ${#absent_locales[@]} -gt 0 ]; then
  for entry in "${absent_locales[@]}"; do
    grep -qxF "$entry" /etc/locale.gen 2>/dev/null || echo "$entry" | "${as_root[@]}" tee -a /etc/locale.gen >/dev/null
  done
  "${as_root[@]}" locale-gen
fi
