#!/usr/bin/env bash
# Renews the screenshots in docs/ on a private X server without a window
# manager, so each window sits where it places itself: the main window in
# English, its open language menu, the main window in German, and the aliases
# editor. Runs the built program (build/app) on a copy of the demo files.
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/app/CVConfManager
[ -x "$program" ] || { echo "build the program first: cmake --build build --target CVConfManager" >&2; exit 1; }
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: apt-get install xvfb xdotool imagemagick" >&2; exit 1; }
done

work=$(mktemp -d)
display=:$((90 + RANDOM % 400))
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
  [ -n "${server:-}" ] && kill "$server" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

cp "$program" demo/CVConfManager.lang demo/corvane.conf demo/aliases.conf "$work/"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp &
server=$!
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

(cd "$work" && LC_ALL=C.UTF-8 exec ./CVConfManager) &
app=$!
window() { xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1; }
window "Corvane Configuration Manager" >/dev/null
sleep 1

# Places within the main window (left 150, top 146): the button row starts at
# 353, BLanguage at 350 and BReadAliases at 524 in it, 170 x 22 each.
click() { xdotool mousemove "$1" "$2" click 1; sleep 1; }
main_shot() { import -window root -crop 716x401+150+146 +repage "docs/$1"; }
button_y=$((146 + 353 + 6 + 11))

xdotool mousemove 0 0
main_shot screenshot-main.png
click $((150 + 350 + 85)) "$button_y"
xdotool mousemove 0 0
main_shot screenshot-language-menu.png
# DEUTSCH, the second of five 19-pixel entries above the button.
click $((150 + 350 + 40)) $((button_y - 11 - 5 * 19 + 19 + 9))
xdotool mousemove 0 0
main_shot screenshot-main-de.png
click $((150 + 524 + 85)) "$button_y"
editor=$(window "Edit aliases.conf")
xdotool mousemove 0 0
sleep 1
import -window "$editor" docs/screenshot-aliases.png
echo "docs/screenshot-main.png docs/screenshot-language-menu.png docs/screenshot-main-de.png docs/screenshot-aliases.png"
