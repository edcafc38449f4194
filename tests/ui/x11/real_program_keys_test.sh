#!/usr/bin/env bash
# The real program under a real X server with a window manager (Xvfb and openbox), driven
# by xdotool as a person drives it: keys go to the window the window manager made active,
# clicks land where the windows are. Exit 77 (skipped) without Xvfb, openbox or xdotool.
#
#   real_program_keys_test.sh PROGRAM WORKBOOK
#
# WORKBOOK: a workbook of 9 worksheets, taken into the pool as 单位10.xls and 单位2.xls.
set -uo pipefail

program=${1:?usage: real_program_keys_test.sh PROGRAM WORKBOOK}
workbook=${2:?usage: real_program_keys_test.sh PROGRAM WORKBOOK}
for tool in Xvfb openbox xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing (apt-get install xvfb openbox xdotool)"
    exit 77
  fi
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
export DISPLAY=":$display"
Xvfb "$DISPLAY" -screen 0 1366x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

# The first failure ends the test: what follows would only fail after it.
fail() {
  echo "FAIL: $*"
  echo "--- program output"; cat "$work/program.log"
  exit 1
}

# The id of the visible window titled exactly $1, once it shows (up to 15 s); empty if not.
window() {
  for _ in $(seq 150); do
    local id
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n 1)
    if [ -n "$id" ]; then echo "$id"; return; fi
    sleep 0.1
  done
}
gone() {
  for _ in $(seq 50); do
    [ -z "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null)" ] && return 0
    sleep 0.1
  done
  return 1
}
active() { xdotool getwindowname "$(xdotool getactivewindow)" 2>/dev/null; }
expect_active() {
  for _ in $(seq 30); do [ "$(active)" = "$1" ] && return 0; sleep 0.1; done
  fail "$2: the active window is \"$(active)\", not \"$1\""
}
key() { sleep 0.3; xdotool key "$@"; }
# A click at x, y inside the window $1.
click() { xdotool mousemove --window "$1" "$2" "$3" sleep 0.2 click "${4:-1}"; }

mkdir -p "$work/home"
cp "$workbook" "$work/home/单位10.xls"
cp "$workbook" "$work/home/单位2.xls"
SHUBUXING_HOME="$work/home" QT_QPA_PLATFORM=xcb "$program" >"$work/program.log" 2>&1 &
pids+=($!)

# Start-up asks whether to work on the pool; Enter takes the default, OK.
for _ in $(seq 150); do
  question=$(xdotool search --onlyvisible --name '^数簿星$' 2>/dev/null | tail -n 1)
  [ -n "$question" ] && break
  sleep 0.1
done
[ -n "$question" ] || fail "no start-up question"
expect_active 数簿星 "start-up question"
sleep 0.5
key Return
gone_id() {
  for _ in $(seq 50); do xdotool getwindowname "$1" >/dev/null 2>&1 || return 0; sleep 0.1; done
  return 1
}
gone_id "$question" || fail "Enter did not answer the start-up question"
main=$(window 数簿星)
[ -n "$main" ] || fail "no main window"
expect_active 数簿星 "main window"
sleep 1  # placed by the window manager

# The help window from the window's menu; Esc closes it.
click "$main" 350 450 3
key Down Return
[ -n "$(window 系统上手指南)" ] || fail "the menu opened no help window"
expect_active 系统上手指南 "help"
key Escape
gone 系统上手指南 || fail "Esc did not close the help window"

# 环境设定 opens the worksheet selection, active; Esc leaves it.
click "$main" 140 76
[ -n "$(window 请选择EXCEL表格之工作表)" ] || fail "环境设定 opened no worksheet selection"
expect_active 请选择EXCEL表格之工作表 "worksheet selection"
key Escape
gone 请选择EXCEL表格之工作表 || fail "Esc did not close the worksheet selection"
expect_active 数簿星 "main window after the worksheet selection"

echo "PASS: the start-up question, help and the worksheet selection by keys in the real program under openbox"
