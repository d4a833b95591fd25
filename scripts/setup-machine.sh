#!/usr/bin/env bash
# Installs what building, running and testing need, only what is missing, and
# generates the locales the tests convert through.
set -euo pipefail

packages=(cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
          locales xvfb xauth xdotool imagemagick fonts-dejavu-core
          clang-14 libclang-rt-14-dev desktop-file-utils appstream dpkg-dev file
          librsvg2-bin libx11-dev libxcb1-dev fonts-urw-base35 fonts-liberation)
locales=("de_DE.ISO-8859-1 ISO-8859-1" "de_DE.UTF-8 UTF-8" "tr_TR.UTF-8 UTF-8")

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  as_root apt-get update -q
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

generate=0
for entry in "${locales[@]}"; do
  name=${entry%% *}
  normalised=$(echo "$name" | sed 's/ISO-8859-1/iso88591/; s/UTF-8/utf8/')
  if ! locale -a 2>/dev/null | grep -qx "$normalised"; then
    grep -qxF "$entry" /etc/locale.gen 2>/dev/null || echo "$entry" | as_root tee -a /etc/locale.gen >/dev/null
    generate=1
  fi
done
if [ "$generate" -eq 1 ]; then
  as_root locale-gen
fi
