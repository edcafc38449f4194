#!/usr/bin/env bash
# The real program under a real X server with a window manager (Xvfb and openbox), driven
# by xdotool as a person drives it: keys go to the window the window manager made active,
# clicks land where the windows are. Exit 77 (skipped) without Xvfb, openbox or xdotool.
#
#   real_program_keys_test.sh PROGRAM WORKBOOK
#
# WORKBOOK: a workbook of 9 worksheets (表1 to 表9), taken into the pool as 单位10.xls and
# 单位2.xls, with a job for it remembered in 方案.txt.
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
printf 'shubuxing-jobs\t1\ntemplate\t表1\t表2\t表3\t表4\t表5\t表6\t表7\t表8\t表9\nsheet\t表3\tb3\td5\n' \
  >"$work/home/方案.txt"
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

# A box of the program (titled 数簿星 like the main window) once it shows and is active; empty if not.
box() {
  for _ in $(seq 150); do
    local id
    for id in $(xdotool search --onlyvisible --name '^数簿星$' 2>/dev/null); do
      if [ "$id" != "$main" ] && [ "$(xdotool getactivewindow 2>/dev/null)" = "$id" ]; then echo "$id"; return; fi
    done
    sleep 0.1
  done
}
# Enter on the box that shows now: its default answer.
answer_box() {
  local id
  id=$(box)
  [ -n "$id" ] || fail "$1: no message box"
  key Return
  gone_id "$id" || fail "$1: Enter did not answer the message box"
}

# A double-click on a pool entry opens it in the viewer, active beside its message; Esc
# closes the viewer, which the program then says.
xdotool mousemove --window "$main" 50 122 sleep 0.2 click --repeat 2 --delay 100 1
[ -n "$(window '单位2\.xls \(只读\)')" ] || fail "a double-click on 单位2.xls opened no viewer"
expect_active "单位2.xls (只读)" "viewer"
key Escape
gone '单位2\.xls \(只读\)' || fail "Esc did not close the viewer"
answer_box "表格已自动关闭 after the viewer"
expect_active 数簿星 "main window after the viewer"

# The remembered job: the worksheet selection comes with 表3 ticked; its 确 定 leads to range
# entry, which opens with the remembered range in its boxes, and Enter accepts it.
click "$main" 140 76
selection=$(window 请选择EXCEL表格之工作表)
[ -n "$selection" ] || fail "环境设定 opened no worksheet selection the second time"
expect_active 请选择EXCEL表格之工作表 "worksheet selection with a remembered job"
click "$selection" 150 245
answer_box "the count of worksheets chosen"
[ -n "$(window 环境信息设定)" ] || fail "the worksheet selection did not lead to range entry"
expect_active 环境信息设定 "range entry with remembered ranges"
key Return
answer_box "Enter on the remembered ranges: the hint to choose pool files"
gone 环境信息设定 || fail "Enter did not accept the remembered ranges"

# A click on a pool entry gives 开始汇表 the focus: Enter presses it and the mode window opens;
# Esc closes it and nothing runs.
expect_active 数簿星 "main window after range entry"
click "$main" 50 122
key Return
[ -n "$(window 请选择汇表模式)" ] || fail "Enter after a click on the pool did not press 开始汇表"
expect_active 请选择汇表模式 "mode window"
key Escape
gone 请选择汇表模式 || fail "Esc did not close the mode window"
expect_active 数簿星 "main window after the mode window"
[ ! -e "$work/home/hz/total.xls.run.json" ] || fail "a run started though the mode window was closed with Esc"

echo "PASS: the start-up question, help, the worksheet selection, the viewer, remembered ranges, 开始汇表 and the mode window by keys in the real program under openbox"
