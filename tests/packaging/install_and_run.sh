#!/bin/sh
# Installs the build into a temporary prefix and checks the layout and the
# desktop metadata, then starts the installed launcher on a private X server,
# waits for the main window, closes it and expects exit status 0; and runs the
# installed cvconf. The Debian packages are checked by scripts/build-packages.sh.
#
# Usage: install_and_run.sh BUILD_DIR SOURCE_DIR CLOSE_WINDOW_TOOL
# Exit status: 0 passed, 1 failed, 77 skipped (no Xvfb or xdotool).
set -eu

build=$1
source=$2
close_window=$3
app_id=org.example.cvconfmanager
title='Corvane Configuration Manager'

for tool in Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed (scripts/setup-machine.sh installs it)"
    exit 77
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/cv-packaging.XXXXXX")
xvfb_pid=
app_pid=
cleanup() {
  [ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM

fail() {
  echo "FAIL: $*" >&2
  for log in "$work"/*.log; do
    [ -s "$log" ] || continue
    echo "--- ${log##*/}" >&2
    cat "$log" >&2
  done
  exit 1
}

for tool in desktop-file-validate appstreamcli xmllint file timeout; do
  command -v "$tool" >/dev/null 2>&1 || fail "$tool is not installed (scripts/setup-machine.sh installs it)"
done

# --- Installation into a prefix with a blank and a quote, which the launcher
# has to carry through the shell unchanged.
prefix="$work/pre fix'x"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || fail "cmake --install failed"
: >"$work/install.log"
program_dir="$prefix/lib/cvconfmanager"

[ -x "$prefix/bin/CVConfManager" ] || fail "no launcher $prefix/bin/CVConfManager"
[ "$(head -n 1 "$prefix/bin/CVConfManager")" = "#!/bin/sh" ] || fail "the launcher is not a sh script"
[ -x "$program_dir/CVConfManager" ] || fail "no program in $program_dir"
file -L "$program_dir/CVConfManager" | grep -q ELF || fail "$program_dir/CVConfManager is not the program"

[ -x "$prefix/bin/cvconf" ] || fail "no launcher $prefix/bin/cvconf"
file -L "$program_dir/cvconf" | grep -q ELF || fail "$program_dir/cvconf is not the program"
# The command-line face runs where no display library is installed.
if readelf -d "$program_dir/cvconf" | grep -q -e libQt6Gui -e libQt6Widgets; then
  fail "cvconf links Qt Gui or Widgets"
fi
[ -f "$prefix/share/bash-completion/completions/cvconf" ] || fail "no bash completion for cvconf"

expect_link() { # link target
  [ -L "$1" ] || fail "$1 is not a symbolic link"
  [ "$(readlink "$1")" = "$2" ] || fail "$1 points to $(readlink "$1"), expected $2"
}
expect_link "$program_dir/CVConfManager.lang" "$prefix/etc/cvconfmanager/CVConfManager.lang"
cmp -s "$prefix/etc/cvconfmanager/CVConfManager.lang" "$source/demo/CVConfManager.lang" \
  || fail "the installed language file differs from demo/CVConfManager.lang"
expect_link "$program_dir/corvane.conf" /etc/corvane/corvane.conf
expect_link "$program_dir/aliases.conf" /etc/corvane/aliases.conf

desktop_file="$prefix/share/applications/$app_id.desktop"
metainfo="$prefix/share/metainfo/$app_id.metainfo.xml"
[ -f "$desktop_file" ] || fail "no desktop entry $desktop_file"
[ -f "$metainfo" ] || fail "no metainfo $metainfo"
grep -qx "Icon=$app_id" "$desktop_file" || fail "the desktop entry does not name the icon $app_id"
grep -qx "Exec=CVConfManager" "$desktop_file" || fail "the desktop entry does not start the launcher"
# No way to start the windows as root: the helper alone runs through pkexec.
! grep -q '^Actions=' "$desktop_file" || fail "the desktop entry has actions: $(grep '^Actions=' "$desktop_file")"
[ -x "$program_dir/cvconfmanager-helper" ] || fail "no helper $program_dir/cvconfmanager-helper"
if readelf -d "$program_dir/cvconfmanager-helper" | grep -q -e libQt6Gui -e libQt6Widgets; then
  fail "the helper links Qt Gui or Widgets"
fi
policy="$prefix/share/polkit-1/actions/$app_id.policy"
xmllint --noout --nonet --dtdvalid /usr/share/polkit-1/policyconfig-1.dtd "$policy" >"$work/validate.log" 2>&1 \
  || fail "the polkit action does not validate against polkit's DTD (polkitd ships it)"
[ -f "$prefix/share/icons/hicolor/scalable/apps/$app_id.svg" ] || fail "no scalable icon"
for size in 16 24 32 48 64 128 256; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
  [ -f "$icon" ] || fail "no ${size}x${size} icon (rsvg-convert from librsvg2-bin renders them)"
  file "$icon" | grep -q "PNG image data, $size x $size," || fail "$icon is not a ${size}x${size} PNG: $(file -b "$icon")"
done
[ -f "$prefix/share/doc/cvconf/copyright" ] || fail "no copyright file"
[ -f "$prefix/share/doc/cvconf/examples/corvane.conf" ] || fail "no example configuration"

# --- Validators.
desktop-file-validate "$desktop_file" >"$work/validate.log" 2>&1 || fail "desktop-file-validate rejects $desktop_file"
cat "$work/validate.log"
appstreamcli validate --no-net "$metainfo" >"$work/validate.log" 2>&1 || fail "appstreamcli validate rejects $metainfo"
: >"$work/validate.log"
# Every screenshot the metainfo lists is one of docs/.
for image in $(grep -o 'screenshot-[a-z-]*\.png' "$metainfo"); do
  [ -f "$source/docs/$image" ] || fail "the metainfo lists $image, which docs/ lacks"
done

# --- The installed program on a private X server. -displayfd picks a free
# display and reports it once the server accepts connections.
Xvfb -displayfd 5 -nolisten tcp -screen 0 1024x768x24 5>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
tries=0
until [ -s "$work/display" ]; do
  kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start"
  tries=$((tries + 1))
  [ "$tries" -le 200 ] || fail "Xvfb reported no display within 20 s"
  sleep 0.1
done
DISPLAY=:$(cat "$work/display")
export DISPLAY
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
mkdir -m 700 "$work/runtime"
XDG_RUNTIME_DIR="$work/runtime"
export XDG_RUNTIME_DIR
# In a sanitizer build: libxkbcommon-x11, which only the X11 platform plugin
# loads, strndup()s counted buffers without a terminator. That is valid, but
# strict string checking reports it; the later setting wins.
if [ -n "${ASAN_OPTIONS:-}" ]; then
  ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
  export ASAN_OPTIONS
fi

# Waits for a visible window whose title is exactly $1, owned by the program.
await_window() {
  window=$(timeout 30 xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) || true
  [ -n "$window" ] || fail "no window \"$1\" within 30 s"
  owner=$(xdotool getwindowpid "$window" 2>/dev/null) || true
  [ "$owner" = "$app_pid" ] || fail "the window \"$1\" belongs to process ${owner:-?}, not to the program ($app_pid)"
}

# Closes the window and expects the program to end with status 0 within 30 s.
close_and_expect_exit() {
  "$close_window" "$window" || fail "could not send WM_DELETE_WINDOW to $window"
  tries=0
  while kill -0 "$app_pid" 2>/dev/null; do
    tries=$((tries + 1))
    [ "$tries" -le 300 ] || fail "the program did not end within 30 s of closing its window"
    sleep 0.1
  done
  if wait "$app_pid"; then status=0; else status=$?; fi
  app_pid=
  [ "$status" -eq 0 ] || fail "the program ended with status $status"
}

# As from a shell: the bare name through the search path, from a directory
# that holds none of the program's files, on a configuration of its own.
mkdir "$work/conf" "$work/elsewhere"
cp "$source/demo/corvane.conf" "$work/conf/corvane.conf"
cd "$work/elsewhere"
PATH="$prefix/bin:$PATH" CVConfManager "$work/conf/corvane.conf" >"$work/program.log" 2>&1 &
app_pid=$!
await_window "$title"
close_and_expect_exit
cmp -s "$work/conf/corvane.conf" "$source/demo/corvane.conf" || fail "closing the window changed the configuration file"

# cvconf through its launcher, from the same directory: the installed
# language file, and a change that the GUI's file then holds.
PATH="$prefix/bin:$PATH" cvconf describe ConnectionTimeout >"$work/program.log" 2>&1 \
  && [ -s "$work/program.log" ] || fail "cvconf describe printed no description"
PATH="$prefix/bin:$PATH" cvconf --file "$work/conf/corvane.conf" set ConnectionTimeout=240 >"$work/program.log" 2>&1 \
  || fail "cvconf set failed"
[ "$(PATH="$prefix/bin:$PATH" cvconf --file "$work/conf/corvane.conf" get connectiontimeout)" = 240 ] \
  || fail "cvconf get does not read what cvconf set wrote"
: >"$work/program.log"
cmp -s "$prefix/etc/cvconfmanager/CVConfManager.lang" "$source/demo/CVConfManager.lang" \
  || fail "the run changed the language file"

# Without an argument the default is the server's corvane.conf. Where no
# server is installed its link dangles: the error box, then status 0.
if [ ! -e /etc/corvane/corvane.conf ]; then
  "$prefix/bin/CVConfManager" >"$work/program.log" 2>&1 &
  app_pid=$!
  await_window Fehler
  close_and_expect_exit
fi

echo "PASS: installed layout, validators and a run of the installed program"
