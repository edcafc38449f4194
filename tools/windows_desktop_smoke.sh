#!/usr/bin/env bash
# The Windows desktop program under Wine and Xvfb: starts shubuxing.exe on a fresh working
# folder holding the sample pool, waits for its main window (titled 数簿星), keeps a screenshot
# of it in docs/windows_main_window.png, and closes it; the program must end by itself then.
#   tools/windows_desktop_smoke.sh WINDOWS_BUILD_DIR QT_PREFIX   (Wine prefix set up)
# Needs xvfb, xdotool, x11-apps (xwd) and ImageMagick's convert.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1 qt=$2
fail() { echo "windows_desktop_smoke: $*" >&2; exit 1; }
for tool in Xvfb xdotool xwd convert; do command -v "$tool" >/dev/null || fail "$tool is not installed"; done
export LC_ALL=C.UTF-8

work=$(mktemp -d)
xvfb_pid=
trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"' EXIT
# The program beside Qt's DLLs, its plug-ins and translations, as the package lays it out.
program=$work/program
mkdir -p "$program/platforms" "$program/styles" "$program/translations"
cp "$build/app/shubuxing.exe" "$qt"/bin/Qt6{Core,Gui,Widgets}.dll "$program/"
cp /usr/lib/gcc/x86_64-w64-mingw32/12-posix/{libstdc++-6,libgcc_s_seh-1}.dll \
   /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll "$program/"
cp "$qt/plugins/platforms/qwindows.dll" "$program/platforms/"
cp "$qt"/plugins/styles/*.dll "$program/styles/"
cp /usr/share/qt6/translations/qtbase_zh_CN.qm "$program/translations/"
cp "$root/packaging/windows/qt.conf" "$program/"
export SHUBUXING_HOME=$work/kx
mkdir -p "$SHUBUXING_HOME"
cp "$root"/examples/pool/*.xls "$SHUBUXING_HOME/"

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp &
xvfb_pid=$!
export DISPLAY=$display
sleep 2
wine "$program/shubuxing.exe" --no-splash >"$work/program.log" 2>&1 &
program_pid=$!
window=
for _ in $(seq 60); do
  window=$(xdotool search --name '数簿星' 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  kill -0 "$program_pid" 2>/dev/null || fail "shubuxing.exe ended before its window showed: $(cat "$work/program.log")"
  sleep 1
done
[ -n "$window" ] || fail "no window titled 数簿星 within 60 s"
sleep 3  # the start-up takes in the pool and paints the list
xwd -root -display "$display" -out "$work/screen.xwd"
convert "$work/screen.xwd" -trim "$root/docs/windows_main_window.png"
xdotool windowclose "$window" || xdotool key --window "$window" alt+F4
for _ in $(seq 30); do kill -0 "$program_pid" 2>/dev/null || break; sleep 1; done
kill -0 "$program_pid" 2>/dev/null && fail "shubuxing.exe did not end when its main window was closed"
echo "windows_desktop_smoke: the main window showed (docs/windows_main_window.png) and the program ended when it was closed"
