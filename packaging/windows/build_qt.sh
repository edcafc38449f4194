#!/usr/bin/env bash
# Cross-builds qtbase for 64-bit Windows (MinGW-w64) from Debian's own qt6-base source, the
# same version as the host tools (moc, rcc, uic from qt6-base-dev-tools), and installs it in
# a cache folder outside the checkout, keyed by the version and the options. A cache that is
# already complete is reused. Prints the install prefix on its last line.
#   packaging/windows/build_qt.sh [--find]   (SBX_WINDOWS_CACHE: cache root,
#                                             default /var/cache/shubuxing-windows)
# --find builds nothing: it prints the prefix of a complete cached build, or fails.
# Needs g++-mingw-w64-x86-64-posix, ninja-build, cmake, dpkg-dev, qt6-base-dev-tools.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${SBX_WINDOWS_CACHE:-/var/cache/shubuxing-windows}
jobs=${SBX_WINDOWS_JOBS:-$(nproc)}
# shellcheck source=debian_source.sh
. "$here/debian_source.sh"

debian_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null) \
  || { echo "build_qt: qt6-base-dev-tools is not installed (the host tools the build needs)" >&2; exit 1; }
qt_version=${debian_version%%+*}

# Windows platform plugin and styles; no network, sql, dbus or OpenGL. The bundled zlib,
# pcre2, libpng and the rest are used so that the DLLs depend on nothing but Windows and the
# MinGW runtime.
options=(
  -DCMAKE_BUILD_TYPE=Release
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF
  -DFEATURE_concurrent=OFF -DFEATURE_printsupport=OFF -DFEATURE_xml=OFF -DFEATURE_testlib=ON
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF
  -DFEATURE_system_jpeg=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF
)
compiler=$(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix)
key=$( { echo "$debian_version"; echo "$compiler"; printf '%s\n' "${options[@]}"; } | sha256sum | cut -c1-12)
prefix=$cache/qt-$qt_version-$key

if [ -f "$prefix/.complete" ]; then
  [ "${1:-}" = --find ] || echo "build_qt: reusing $prefix"
  echo "$prefix"
  exit 0
fi
if [ "${1:-}" = --find ]; then
  echo "build_qt: no complete Qt $qt_version for Windows in $prefix" >&2
  exit 1
fi

mkdir -p "$cache"
exec 9>"$cache/qt-$qt_version-$key.lock"
flock -n 9 || { echo "build_qt: waiting for another build of $prefix to finish"; flock 9; }
if [ -f "$prefix/.complete" ]; then echo "$prefix"; exit 0; fi

work=$cache/qt-$qt_version-$key.build
if [ ! -f "$work/source.unpacked" ]; then
  rm -rf "$work"
  mkdir -p "$work"
  source_dir=$(debian_source qt6-base "$debian_version" "$work/src")
  sbx_cleanup_private_apt
  echo "$source_dir" > "$work/source.unpacked"
fi
source_dir=$(cat "$work/source.unpacked")

# Debian's source leaves out Wacom's wintab headers (src/3rdparty/wintab: their licence does
# not allow changes), which the Windows platform plugin's tablet support includes. The plugin
# is built without that support: a pen then works as a mouse. Idempotent.
plugin=$source_dir/src/plugins/platforms/windows
if [ ! -f "$source_dir/src/3rdparty/wintab/wintab.h" ] && grep -rq 'QT_CONFIG(tabletevent)' "$plugin"; then
  echo "build_qt: building the Windows platform plugin without wintab tablet support (not in Debian's source)"
  grep -rl 'QT_CONFIG(tabletevent)' "$plugin" | xargs sed -i 's/QT_CONFIG(tabletevent)/0 \/\* no wintab in this source \*\//'
  sed -i 's/CONDITION QT_FEATURE_tabletevent$/CONDITION OFF/' "$plugin/CMakeLists.txt"
fi
# The Direct2D platform plugin compiles the whole Windows plugin a second time, and the
# programs use the Windows one (qwindows.dll): it is not built. Idempotent.
sed -i 's/^if(QT_FEATURE_direct2d1_1 AND QT_FEATURE_directwrite)$/if(OFF) # no Direct2D plugin: qwindows serves/' \
  "$source_dir/src/plugins/platforms/CMakeLists.txt"
# Qt 6.4 leaves dynamicgl on for Windows when OpenGL is off, and the window code then names
# the OpenGL context that is not built: those branches need both. Idempotent.
if grep -q 'QT_CONFIG(dynamicgl)$' "$plugin/qwindowswindow.cpp"; then
  sed -i 's/QT_CONFIG(dynamicgl)$/QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' "$plugin/qwindowswindow.cpp"
fi

# The build folder and the installed Qt keep the toolchain file's path: a copy in the cache,
# so that a build resumed from another checkout, or after this one is gone, still finds it.
toolchain=$cache/qt-$qt_version-$key.toolchain.cmake
cp "$here/mingw-toolchain.cmake" "$toolchain"
# Every cache and system file of the build (config tests too) names the toolchain it was
# configured with; point any other path at the copy.
if [ -d "$work/build" ]; then
  stale=$(grep -rlE --include=CMakeCache.txt --include=CMakeSystem.cmake \
            "[^\"=]*/mingw-toolchain\.cmake" "$work/build" || true)
  if [ -n "$stale" ]; then
    echo "build_qt: pointing $(echo "$stale" | wc -l) build files at $toolchain"
    echo "$stale" | xargs -r sed -i -E "s#[^\"=]*/mingw-toolchain\.cmake#$toolchain#g"
  fi
fi

echo "build_qt: configuring $source_dir for Windows into $prefix"
cmake -G Ninja -S "$source_dir" -B "$work/build" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}"
echo "build_qt: building with $jobs jobs"
cmake --build "$work/build" --parallel "$jobs"
cmake --install "$work/build"
touch "$prefix/.complete"
rm -rf "$work"
echo "build_qt: installed in $prefix"
echo "$prefix"
