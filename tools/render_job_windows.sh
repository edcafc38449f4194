#!/usr/bin/env bash
# Render the job windows to docs/checkfrm.png and docs/hjxx.png on the offscreen platform,
# through their tests.
#
#   tools/render_job_windows.sh BUILD_DIR
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: render_job_windows.sh BUILD_DIR}
for test in sheet_selection_window_test range_entry_window_test; do
  binary=$(find "$build" -type f -name "$test" -perm -u+x | head -n 1)
  SBX_SCREENSHOT_DIR="$repo/docs" QT_QPA_PLATFORM=offscreen "$binary" >/dev/null
done
ls -l "$repo/docs/checkfrm.png" "$repo/docs/hjxx.png"
