#!/usr/bin/env bash
# The Windows desktop program under Wine, Xvfb and openbox, driven by xdotool as a person
# drives it: on a working folder holding the sample pool and a remembered job, it answers
# the start-up question, sets the job up through 环境设定 (worksheet selection, range entry),
# selects the pool and runs it in the efficiency mode and then in the function mode. After
# each run the summary must hold the totals the Linux command-line tool computes for the same
# job and mode. The main window after the first run is saved as a PNG; closing it must end
# the program.
#   tools/windows_desktop_smoke.sh PROGRAM_DIR LINUX_CLI SCREENSHOT.png
# PROGRAM_DIR: shubuxing.exe with its DLLs (packaging/windows/stage.sh lays it out, or an
# installed copy). WINEPREFIX: a prefix made by the caller. Needs xvfb, openbox, xdotool,
# x11-apps (xwd), ImageMagick's convert and fonts-noto-cjk.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program_dir=${1:?usage: windows_desktop_smoke.sh PROGRAM_DIR LINUX_CLI SCREENSHOT.png}
linux_cli=${2:?usage: windows_desktop_smoke.sh PROGRAM_DIR LINUX_CLI SCREENSHOT.png}
screenshot=${3:?usage: windows_desktop_smoke.sh PROGRAM_DIR LINUX_CLI SCREENSHOT.png}
for tool in Xvfb openbox xdotool xwd convert wine; do
  command -v "$tool" >/dev/null || { echo "windows_desktop_smoke: $tool is not installed" >&2; exit 1; }
done
export LC_ALL=C.UTF-8 WINEDEBUG=-all

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "windows_desktop_smoke: FAIL: $*" >&2
  xwd -root -silent -out "$work/failed.xwd" 2>/dev/null && convert "$work/failed.xwd" "${screenshot%.png}_failed.png" 2>/dev/null \
    && echo "windows_desktop_smoke: the screen at the failure: ${screenshot%.png}_failed.png" >&2
  echo "--- program output" >&2
  cat "$work/program.log" >&2
  exit 1
}

# Chinese Windows has Microsoft YaHei and SimSun; this prefix has the Noto CJK fonts under
# those names, so that Qt's font choice and its fallbacks find Chinese glyphs.
for font in "Microsoft YaHei" "Microsoft YaHei UI" SimSun NSimSun; do
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /d "Noto Sans CJK SC" /f >/dev/null 2>&1 \
    || fail "could not set the font replacement for $font"
done

display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
export DISPLAY=":$display"
Xvfb "$DISPLAY" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

# A visible window titled exactly $1 and not $2 (a message box has the main window's title),
# once it shows (up to $3 s, 60 by default); empty if none.
window() {
  local tries=$(( ${3:-60} * 10 )) id
  for _ in $(seq "$tries"); do
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
      [ "$id" != "${2:-}" ] && { echo "$id"; return; }
    done
    sleep 0.1
  done
}
gone() {
  for _ in $(seq 100); do xdotool getwindowname "$1" >/dev/null 2>&1 || return 0; sleep 0.1; done
  return 1
}
key() { sleep 0.5; xdotool key "$@"; }
activate() { timeout 5 xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true; }
click() { sleep 0.5; xdotool mousemove --window "$1" "$2" "$3" sleep 0.3 click 1; }
# Answers the next message box over the main window with the keys given, and waits for it to go.
answer() {
  local what=$1 wait=$2 box
  shift 2
  box=$(window 数簿星 "$main" "$wait")
  [ -n "$box" ] || fail "no message box: $what"
  activate "$box"
  key "$@"
  gone "$box" || fail "the message box did not go: $what"
}

home=$work/kx
mkdir -p "$home"
cp "$root"/examples/pool/*.xls "$home/"
# The job the worksheet selection and the range entry come filled with (方案.txt).
printf 'shubuxing-jobs\t1\ntemplate\t基本情况\t收支明细\nsheet\t基本情况\tb3\td5\nsheet\t收支明细\tb2\te6\n' >"$home/方案.txt"
SHUBUXING_HOME=$(winepath -w "$home") || fail "winepath could not name $home"
export SHUBUXING_HOME
wine "$program_dir/shubuxing.exe" --no-splash >"$work/program.log" 2>&1 &
program_pid=$!
pids+=("$program_pid")

# The windows have fixed layouts (in twips, 15 to a pixel at Wine's 96 dpi), so clicks go to
# places: in the main window 环境设定 at 140,76, 开始汇表 at 560,76, the pool's rows from 122
# down, 18 apart; 确 定 of a two-worksheet selection at 150,105; the mode buttons at 100,40
# and 260,40.

# Start-up asks whether to work on the pool; Enter takes the default, OK.
question=$(window 数簿星 "" 90)
[ -n "$question" ] || fail "no start-up question within 90 s"
activate "$question"
key Return
gone "$question" || fail "Enter did not answer the start-up question"
main=$(window 数簿星)
[ -n "$main" ] || fail "no main window"
sleep 1

# 环境设定: the remembered job's worksheets come ticked; 确 定, then the count's message.
click "$main" 140 76
selection=$(window 请选择EXCEL表格之工作表 "" 20)
[ -n "$selection" ] || fail "环境设定 opened no worksheet selection"
click "$selection" 150 105
answer "the count of worksheets chosen" 20 Return
ranges=$(window 环境信息设定 "" 20)
[ -n "$ranges" ] || fail "the worksheet selection led to no range entry"
activate "$ranges"
key Return
# The ranges are taken: the window asks for pool files to be selected, then goes.
answer "select the pool files" 20 Return
gone "$ranges" || fail "the range entry stayed after its ranges were taken"
# The whole pool, as the hint says: pressed on the first file and dragged to the last.
activate "$main"
sleep 0.5
xdotool mousemove --window "$main" 60 122 sleep 0.3 mousedown 1 sleep 0.3 mousemove --window "$main" 60 150 \
  sleep 0.3 mousemove --window "$main" 60 180 sleep 0.3 mouseup 1

expected() {  # expected MODE: the totals of the Linux build for the same job
  "$linux_cli" consolidate --mode "$1" --out "$work/linux_$1.xls" --job "$home/方案.txt" "$home"/*.xls \
    >"$work/linux_$1.log" 2>&1 || fail "the Linux command-line tool failed: $(cat "$work/linux_$1.log")"
}
dump_ranges() {  # dump_ranges FILE: both ranges' cells, as the Linux tool reads them
  "$linux_cli" dump "$1" 基本情况 b3:d5 && "$linux_cli" dump "$1" 收支明细 b2:e6
}

run() {  # run MODE X: 开始汇表, the mode window's button at X, the answers after the run
  local mode=$1 x=$2 modes
  rm -f "$home/hz/total.xls.run.json"
  click "$main" 560 76
  modes=$(window 请选择汇表模式 "" 20)
  [ -n "$modes" ] || fail "开始汇表 opened no mode window"
  click "$modes" "$x" 40
  [ "$mode" = function ] && answer "the function mode's second question" 20 alt+y
  # After the run: keep the sources in the working folder (default No), export nothing.
  answer "whether to move the sources out ($mode mode)" 120 Return
  answer "whether to export the summary ($mode mode)" 20 alt+n
  grep -q "\"mode\": \"$mode\"" "$home/hz/total.xls.run.json" 2>/dev/null \
    || fail "the $mode run left no record of a $mode run in hz/total.xls.run.json"
  expected "$mode"
  dump_ranges "$work/linux_$mode.xls" >"$work/expected_$mode.txt" || fail "dump of the Linux summary failed"
  dump_ranges "$home/hz/total.xls" >"$work/actual_$mode.txt" || fail "dump of hz/total.xls failed"
  diff "$work/expected_$mode.txt" "$work/actual_$mode.txt" >&2 \
    || fail "$mode mode: hz/total.xls does not hold the Linux build's totals"
  echo "windows_desktop_smoke: the $mode run through the windows wrote the Linux build's totals"
}

run efficiency 100
sleep 1
xwd -id "$main" -silent -out "$work/main.xwd" && convert "$work/main.xwd" "$screenshot" \
  || fail "no screenshot of the main window"
run function 260

activate "$main"
key alt+F4
for _ in $(seq 30); do kill -0 "$program_pid" 2>/dev/null || break; sleep 1; done
kill -0 "$program_pid" 2>/dev/null && fail "shubuxing.exe did not end when its main window was closed"
echo "windows_desktop_smoke: both runs gave the Linux build's totals; the main window is in $screenshot"
