#!/usr/bin/env bash
# Builds the source package and the Debian packages cvconf and cvconfmanager
# from a copy of this tree in build/deb/, checks their fields and contents and
# runs lintian on them (any error or warning fails).
#
# Usage: scripts/build-packages.sh [--test]
#   --test  also runs the packages' autopkgtest with the null runner: as root,
#           it installs them on this machine (for CI) and purges them again
#           unless they were installed before.
set -euo pipefail
cd "$(dirname "$0")/.."

run_tests=false
case "${1-}" in
  '') ;;
  --test) run_tests=true ;;
  *) echo "usage: $0 [--test]" >&2; exit 2 ;;
esac
if $run_tests && [ "$(id -u)" -ne 0 ]; then
  echo "$0: --test installs the packages on this machine and needs root" >&2
  exit 1
fi

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

scripts/setup-machine.sh packaging

source_name=$(dpkg-parsechangelog -S Source)
version=$(dpkg-parsechangelog -S Version)
arch=$(dpkg --print-architecture)
out=build/deb
tree="$out/$source_name-$version"

# dpkg-buildpackage writes beside the tree it builds; the copy leaves out the
# build folders and the repository, as a fresh checkout has neither.
rm -rf "$out"
mkdir -p "$tree"
tar -c -f - --exclude='./build*' --exclude=./.git . | tar -x -f - -C "$tree"
(cd "$tree" && dpkg-buildpackage -us -uc -J"$(nproc)")

changes="$out/${source_name}_${version}_$arch.changes"
cli_deb="$out/cvconf_${version}_$arch.deb"
gui_deb="$out/cvconfmanager_${version}_$arch.deb"
for made in "$changes" "$cli_deb" "$gui_deb" "$out/${source_name}_$version.dsc"; do
  [ -f "$made" ] || fail "dpkg-buildpackage made no $made"
done

# --- Fields. The command-line package stays free of anything graphical.
depends_of() { dpkg-deb -f "$1" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//'; }
echo "cvconf Depends: $(dpkg-deb -f "$cli_deb" Depends)"
echo "cvconfmanager Depends: $(dpkg-deb -f "$gui_deb" Depends)"
for library in libc6 libstdc++6 libqt6core6; do
  depends_of "$cli_deb" | grep -qx "$library" || fail "cvconf does not depend on $library"
done
if depends_of "$cli_deb" | grep -E 'qt6gui|qt6widgets|libx11|libxcb|libxkb|libgl|libegl|fonts-|polkit|pkexec'; then
  fail "cvconf depends on a graphical package, a font or polkit"
fi
for package in "cvconf (= $version)" libqt6gui6 libqt6widgets6 fonts-liberation pkexec; do
  dpkg-deb -f "$gui_deb" Depends | tr ',' '\n' | sed 's/^ *//' | grep -qE "^${package//[()]/.}( |$)" \
    || fail "cvconfmanager does not depend on $package"
done
[ "$(dpkg-deb -f "$gui_deb" Recommends)" = xdg-utils ] || fail "cvconfmanager does not recommend xdg-utils"

# --- Contents: which package holds what.
work=$(mktemp -d "${TMPDIR:-/tmp}/cv-packages.XXXXXX")
trap 'rm -rf "$work"' EXIT
expect_entries() { # deb entry...
  local deb=$1
  shift
  dpkg-deb -c "$deb" | sed 's/^.* \.\//\//' >"$work/contents"
  for entry in "$@"; do
    grep -qxF "$entry" "$work/contents" || fail "$(basename "$deb") lacks $entry"
  done
  if grep -v -e '^/usr/' -e '^/etc/cvconfmanager/' -e '^/$' -e '^/etc/$' "$work/contents"; then
    fail "$(basename "$deb") installs outside /usr and /etc/cvconfmanager"
  fi
}
expect_entries "$cli_deb" \
  /usr/bin/cvconf \
  /usr/lib/cvconfmanager/cvconf \
  "/usr/lib/cvconfmanager/CVConfManager.lang -> /etc/cvconfmanager/CVConfManager.lang" \
  "/usr/lib/cvconfmanager/corvane.conf -> /etc/corvane/corvane.conf" \
  "/usr/lib/cvconfmanager/aliases.conf -> /etc/corvane/aliases.conf" \
  /etc/cvconfmanager/CVConfManager.lang \
  /usr/share/man/man1/cvconf.1.gz \
  /usr/share/bash-completion/completions/cvconf \
  /usr/share/doc/cvconf/examples/corvane.conf \
  /usr/share/doc/cvconf/examples/aliases.conf \
  /usr/share/doc/cvconf/copyright \
  /usr/share/ansible/collections/ansible_collections/cvconfmanager/corvane/MANIFEST.json \
  /usr/share/ansible/collections/ansible_collections/cvconfmanager/corvane/plugins/modules/parameter.py \
  /usr/share/ansible/collections/ansible_collections/cvconfmanager/corvane/plugins/modules/parameter_info.py
if grep -e CVConfManager.1 -e /applications/ -e /icons/ -e polkit "$work/contents"; then
  fail "cvconf holds a file of the windows"
fi
expect_entries "$gui_deb" \
  /usr/bin/CVConfManager \
  /usr/lib/cvconfmanager/CVConfManager \
  /usr/lib/cvconfmanager/cvconfmanager-helper \
  /usr/share/applications/org.example.cvconfmanager.desktop \
  /usr/share/metainfo/org.example.cvconfmanager.metainfo.xml \
  /usr/share/icons/hicolor/scalable/apps/org.example.cvconfmanager.svg \
  /usr/share/icons/hicolor/48x48/apps/org.example.cvconfmanager.png \
  /usr/share/polkit-1/actions/org.example.cvconfmanager.policy \
  /usr/share/man/man1/CVConfManager.1.gz \
  /usr/share/doc/cvconfmanager/copyright
if grep -e /etc/ -e cvconf.1 -e completions -e /examples/ "$work/contents"; then
  fail "cvconfmanager holds a file of cvconf"
fi

dpkg-deb -e "$cli_deb" "$work/control"
[ "$(cat "$work/control/conffiles")" = /etc/cvconfmanager/CVConfManager.lang ] \
  || fail "cvconf's configuration files are not the language file alone: $(cat "$work/control/conffiles")"

# The launchers and the polkit action name the installed programs.
dpkg-deb -x "$cli_deb" "$work/root"
dpkg-deb -x "$gui_deb" "$work/root"
root=$work/root
[ "$(tail -n 1 "$root/usr/bin/cvconf")" = "exec '/usr/lib/cvconfmanager/cvconf' \"\$@\"" ] \
  || fail "/usr/bin/cvconf does not start /usr/lib/cvconfmanager/cvconf"
[ "$(tail -n 1 "$root/usr/bin/CVConfManager")" = "exec '/usr/lib/cvconfmanager/CVConfManager' \"\$@\"" ] \
  || fail "/usr/bin/CVConfManager does not start /usr/lib/cvconfmanager/CVConfManager"
grep -qF '<annotate key="org.freedesktop.policykit.exec.path">/usr/lib/cvconfmanager/cvconfmanager-helper</annotate>' \
  "$root/usr/share/polkit-1/actions/org.example.cvconfmanager.policy" \
  || fail "the polkit action does not name /usr/lib/cvconfmanager/cvconfmanager-helper"
if grep -rlF -e "$PWD" -e debian/tmp "$root"; then
  fail "a package names the folder it was built in"
fi
# The metainfo's launchable and icon are in the package.
appstreamcli validate-tree --no-net "$root" || fail "appstreamcli validate-tree rejects the packages"

# --- lintian on the source and binary packages.
lintian --fail-on error,warning "$changes" || fail "lintian reports errors or warnings on $changes"

if $run_tests; then
  installed_before=()
  for package in cvconf cvconfmanager; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" && installed_before+=("$package")
  done
  status=0
  autopkgtest "$changes" -- null || status=$?
  if [ ${#installed_before[@]} -eq 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -q cvconf cvconfmanager
  fi
  [ "$status" -eq 0 ] || fail "autopkgtest failed with status $status"
fi
echo "PASS: $changes"
