# Sourced by the Windows scripts: lays out the folder the Windows programs run from, as the
# package ships it and the desktop test runs it.
#   sbx_stage_windows STAGE WINDOWS_BUILD_DIR QT_PREFIX
# STAGE gets shubuxing.exe and shubuxing-cli.exe, Qt's DLLs, the platform and style plug-ins,
# qt.conf, Qt's Chinese translations and every DLL these import from Qt or the MinGW runtime
# (libzip, expat and zlib are linked in). Fails naming what is missing.
sbx_stage_windows() {
  local stage=$1 build=$2 qt=$3
  local here
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  local qm=/usr/share/qt6/translations/qtbase_zh_CN.qm
  [ -f "$qm" ] || { echo "stage: $qm is missing (qt6-translations-l10n)" >&2; return 1; }
  rm -rf "$stage"
  mkdir -p "$stage/platforms" "$stage/styles" "$stage/translations"
  # qt_standard_project_setup() puts Windows programs made after it at the build's top.
  cp "$build/shubuxing.exe" "$build/cli/shubuxing-cli.exe" "$stage/" || return 1
  cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/" || return 1
  # The styles plug-in is there when Qt's build made it (windowsvista); Fusion and Windows are in Qt6Widgets.
  if compgen -G "$qt/plugins/styles/*.dll" >/dev/null; then
    cp "$qt"/plugins/styles/*.dll "$stage/styles/"
  else
    rmdir "$stage/styles"
  fi
  cp "$qm" "$stage/translations/"
  cp "$here/qt.conf" "$stage/"
  # The DLLs each program and plug-in imports, followed through; Windows' own are not found here.
  local runtime_dirs=("$qt/bin" /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
  local pending=("$stage"/*.exe "$stage"/*/*.dll) file dll dir
  while [ ${#pending[@]} -gt 0 ]; do
    file=${pending[0]}
    pending=("${pending[@]:1}")
    for dll in $(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
      [ -e "$stage/$dll" ] && continue
      for dir in "${runtime_dirs[@]}"; do
        if [ -f "$dir/$dll" ]; then
          cp "$dir/$dll" "$stage/"
          pending+=("$stage/$dll")
          break
        fi
      done
    done
  done
  for dll in Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    [ -f "$stage/$dll" ] || { echo "stage: $dll was not found for $stage" >&2; return 1; }
  done
}
