#!/usr/bin/env bash
# Builds the Windows programs and packages them, from a Debian 12 machine: shubuxing.exe and
# shubuxing-cli.exe with everything they need (Qt's DLLs, the windows platform plug-in and
# styles, Qt's Chinese translations, the MinGW runtime DLLs Qt needs), as a portable .zip and
# an NSIS installer (per user, no administrator rights), all in build-windows/. Builds Qt for
# Windows first when the cache lacks it (hours; packaging/windows/build_qt.sh).
#   packaging/windows/package.sh      (from the repository root; SBX_WINDOWS_CACHE as there)
set -euo pipefail
# Chinese file names (the sample pool) go into the .zip and the installer as UTF-8.
export LC_ALL=C.UTF-8
root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/packaging/windows
out=$root/build-windows
jobs=${SBX_WINDOWS_JOBS:-$(nproc)}
say() { echo "package: $*"; }
fail() { echo "package: $*" >&2; exit 1; }
version=$(sed -n 's/^project(shubuxing VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || fail "no version in CMakeLists.txt"

deps=$("$here/build_deps.sh" | tail -n 1)
qt=$(nice -n 10 "$here/build_qt.sh" | tail -n 1)
mkdir -p "$out"

# The icon: rendered by the build machine's own build of packaging/render_icons.cpp (an
# existing Linux build with the desktop program, SBX_LINUX_BUILD, saves building one).
say "rendering the icon"
host=${SBX_LINUX_BUILD:-$out/host}
if [ ! -f "$host/CMakeCache.txt" ] || ! grep -q '^SBX_BUILD_GUI:BOOL=ON' "$host/CMakeCache.txt"; then
  host=$out/host
  cmake -S "$root" -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSBX_BUILD_TESTS=OFF \
    -DSBX_BUILD_BENCH=OFF >"$out/host-configure.log" || { cat "$out/host-configure.log" >&2; fail "configuring the host build failed"; }
fi
cmake --build "$host" --parallel "$jobs" --target sbx_icons >/dev/null || fail "rendering the icons failed"
icon=$out/shubuxing.ico
"$here/png_to_ico.py" "$icon" "$host"/icons/{48,64,128,256}/shubuxing.png

say "building the programs for Windows"
# shellcheck source=configure_windows.sh
. "$here/configure_windows.sh"
sbx_configure_windows "$out/build" "$deps" "$qt" -DSBX_BUILD_TESTS=OFF -DSBX_WINDOWS_ICON="$icon" \
  >"$out/configure.log" || { cat "$out/configure.log" >&2; fail "configuring the Windows build failed"; }
cmake --build "$out/build" --parallel "$jobs" --target shubuxing shubuxing-cli || fail "the Windows build failed"

# ---- The folder the programs run from -------------------------------------------------------
stage=$out/shubuxing
# shellcheck source=stage.sh
. "$here/stage.sh"
sbx_stage_windows "$stage" "$out/build" "$qt" || fail "gathering the programs' files failed"
cp "$icon" "$stage/"
mkdir -p "$stage/examples"
cp -r "$root/examples/pool" "$stage/examples/"

# ---- The portable .zip and the installer ----------------------------------------------------
zip=$out/shubuxing-$version-windows-x64.zip
rm -f "$zip"
(cd "$out" && cmake -E tar cf "$zip" --format=zip shubuxing)
list=$out/installed-files.nsh
(cd "$stage" && find . -type f | sed 's|^\./||; s|/|\\|g; s|.*|  Delete "$INSTDIR\\&"|' \
   && find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g; s|.*|  RMDir "$INSTDIR\\&"|') > "$list"
# (No "setup" in the name: Windows would load its installer compatibility shims into it.)
setup=$out/shubuxing-$version-windows-x64.exe
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage" -DSTAGE_LIST="$list" -DOUTFILE="$setup" "$here/installer.nsi" \
  || fail "makensis could not build the installer"

# ---- Tried under Wine, where it is installed ------------------------------------------------
if command -v wine >/dev/null; then
  cmake --build "$host" --parallel "$jobs" --target shubuxing-cli >/dev/null || fail "building the Linux command-line tool failed"
  "$root/tools/windows_install_check.sh" "$setup" "$host/cli/shubuxing-cli" "$out/windows_main_window.png" \
    || fail "the installer failed under Wine"
else
  say "the installer was not tried: Wine is not installed (apt-get install wine wine64 xvfb openbox xdotool x11-apps imagemagick)"
fi
say "done: $zip, $setup (and the programs in $stage)"
