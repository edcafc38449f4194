#!/usr/bin/env bash
# The Windows installer under Wine, in a throwaway prefix: installs silently as a user, checks
# the programs, Qt's plug-in and translations, the Start-menu entry and the uninstall entry;
# runs the installed shubuxing-cli.exe on the sample pool against the Linux build and, when
# Xvfb, openbox and xdotool are there, the installed shubuxing.exe through its windows
# (tools/windows_desktop_smoke.sh); then uninstalls and checks that all of it went.
#   tools/windows_install_check.sh INSTALLER.exe LINUX_CLI SCREENSHOT.png
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
installer=${1:?usage: windows_install_check.sh INSTALLER.exe LINUX_CLI SCREENSHOT.png}
linux_cli=${2:?usage: windows_install_check.sh INSTALLER.exe LINUX_CLI SCREENSHOT.png}
screenshot=${3:?usage: windows_install_check.sh INSTALLER.exe LINUX_CLI SCREENSHOT.png}
say() { echo "windows_install_check: $*"; }
fail() { echo "windows_install_check: FAIL: $*" >&2; exit 1; }
export LC_ALL=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=

work=$(mktemp -d)
export WINEPREFIX=$work/wine
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
wineboot -i >/dev/null 2>&1 || fail "wineboot could not make the Wine prefix"
unix_path() { winepath -u "$(wine cmd /c echo "%$1%" | tr -d '\r')"; }
programs=$(unix_path LOCALAPPDATA)/Programs/shubuxing
shortcut="$(unix_path APPDATA)/Microsoft/Windows/Start Menu/Programs/数簿星.lnk"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\shubuxing'

say "installing $(basename "$installer") silently"
wine "$installer" /S || fail "the installer ended with status $?"
wineserver -w
for file in shubuxing.exe shubuxing-cli.exe uninstall.exe qt.conf Qt6Core.dll Qt6Widgets.dll \
            platforms/qwindows.dll translations/qtbase_zh_CN.qm examples/pool/东城区.xls; do
  [ -f "$programs/$file" ] || fail "the install lacks $file (in $programs)"
done
[ -f "$shortcut" ] || fail "no Start-menu entry $shortcut"
# The link's paths, some in UTF-16: the program it starts and the icon it shows.
for target in 'shubuxing\.exe' 'shubuxing\.ico'; do
  tr -d '\0' <"$shortcut" | grep -aq "$target" || fail "the Start-menu entry does not name $target"
done
wine reg query "$uninstall_key" 2>/dev/null | grep -q UninstallString || fail "no uninstall entry $uninstall_key"
say "installed per user in $programs, with the Start-menu entry and the uninstall entry"

"$root/tools/windows_cli_end_to_end.sh" "$programs/shubuxing-cli.exe" "$linux_cli" "$work/e2e" \
  || fail "the installed shubuxing-cli.exe failed its end-to-end run"
if command -v Xvfb >/dev/null && command -v openbox >/dev/null && command -v xdotool >/dev/null; then
  "$root/tools/windows_desktop_smoke.sh" "$programs" "$linux_cli" "$screenshot" \
    || fail "the installed shubuxing.exe failed its runs through the windows"
  wineserver -w
else
  say "SKIPPED the installed desktop program: Xvfb, openbox or xdotool is not installed"
fi

say "uninstalling"
# The uninstaller copies itself away and starts the copy: wineserver -w waits for that one.
wine "$programs/uninstall.exe" /S || fail "the uninstaller ended with status $?"
wineserver -w
[ ! -e "$programs" ] || fail "the uninstaller left $programs: $(cd "$programs" && find . | head)"
[ ! -e "$shortcut" ] || fail "the uninstaller left the Start-menu entry"
! wine reg query "$uninstall_key" >/dev/null 2>&1 || fail "the uninstaller left $uninstall_key"
say "the uninstaller removed the programs, the Start-menu entry and the uninstall entry"
