# Sourced by the Windows scripts: configures a MinGW-w64 build of this repository.
#   sbx_configure_windows BUILD_DIR DEPS_PREFIX [QT_PREFIX] [CMAKE OPTIONS...]
# QT_PREFIX empty: the core, the command-line tool and the tests only.
sbx_configure_windows() {
  local build=$1 deps=$2 qt=$3
  shift 3
  local root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  # -O2 as the Linux build has it (GCC 12 warns falsely on std::string at -O3).
  local prefixes=$deps gui=OFF
  if [ -n "$qt" ]; then
    prefixes="$deps;$qt"
    gui=ON
  fi
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -G Ninja -S "$root" -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$root/packaging/windows/mingw-toolchain.cmake" \
    -DSBX_WINDOWS_PREFIXES="$prefixes" -DCMAKE_PREFIX_PATH="$prefixes" \
    -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DSBX_WERROR=ON -DSBX_BUILD_BENCH=OFF -DSBX_BUILD_GUI=$gui \
    "${launcher[@]}" "$@"
}
