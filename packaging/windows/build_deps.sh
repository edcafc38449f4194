#!/usr/bin/env bash
# Cross-builds the core's libraries for 64-bit Windows (MinGW-w64) into a cache folder outside
# the checkout: libzip and expat from Debian's own source packages (the versions of the
# machine's libzip-dev and libexpat1-dev), GoogleTest from /usr/src/googletest (libgtest-dev),
# all static. zlib is Debian's libz-mingw-w64-dev. A cache that is already complete is reused.
# Prints the install prefix on its last line.
#   packaging/windows/build_deps.sh          (SBX_WINDOWS_CACHE: cache root,
#                                             default /var/cache/shubuxing-windows)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${SBX_WINDOWS_CACHE:-/var/cache/shubuxing-windows}
jobs=${SBX_WINDOWS_JOBS:-$(nproc)}
# shellcheck source=debian_source.sh
. "$here/debian_source.sh"

version_of() {
  dpkg-query -W -f='${Version}' "$1" 2>/dev/null \
    || { echo "build_deps: $1 is not installed; its version picks the source to build" >&2; exit 1; }
}
libzip_version=$(version_of libzip-dev)
expat_version=$(version_of libexpat1-dev)
gtest_version=$(version_of googletest)
zlib_version=$(version_of libz-mingw-w64-dev)
compiler=$(version_of g++-mingw-w64-x86-64-posix)

mingw_root=/usr/x86_64-w64-mingw32
# The static zlib, not the import library of zlib1.dll.
zlib_options=(-DZLIB_LIBRARY="$mingw_root/lib/libz.a" -DZLIB_INCLUDE_DIR="$mingw_root/include")
libzip_options=(-DBUILD_SHARED_LIBS=OFF -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF
  -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF -DENABLE_BZIP2=OFF
  -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF
  -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF)
expat_options=(-DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF
  -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=OFF)
gtest_options=(-DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -Dgtest_force_shared_crt=ON)

key=$( { echo "$libzip_version $expat_version $gtest_version $zlib_version $compiler";
         printf '%s\n' "${zlib_options[@]}" "${libzip_options[@]}" "${expat_options[@]}" "${gtest_options[@]}"; } \
       | sha256sum | cut -c1-12)
prefix=$cache/deps-$key
if [ -f "$prefix/.complete" ]; then
  echo "build_deps: reusing $prefix"
  echo "$prefix"
  exit 0
fi

mkdir -p "$cache"
exec 9>"$prefix.lock"
flock -n 9 || { echo "build_deps: waiting for another build of $prefix to finish"; flock 9; }
if [ -f "$prefix/.complete" ]; then echo "$prefix"; exit 0; fi

work=$(mktemp -d "$cache/deps-$key.build.XXXXXX")
trap 'rm -rf "$work"; sbx_cleanup_private_apt' EXIT

configure() {  # configure NAME SOURCE_DIR OPTIONS...
  local name=$1 source=$2
  shift 2
  echo "build_deps: building $name from $source"
  cmake -G Ninja -S "$source" -B "$work/build-$name" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw-toolchain.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_PREFIX_PATH="$prefix" "$@" >"$work/$name.configure.log" \
    || { cat "$work/$name.configure.log" >&2; echo "build_deps: configuring $name failed" >&2; exit 1; }
}

compile_and_install() {  # compile_and_install NAME
  local name=$1
  cmake --build "$work/build-$name" --parallel "$jobs" >"$work/$name.build.log" \
    || { tail -n 40 "$work/$name.build.log" >&2; echo "build_deps: building $name failed" >&2; exit 1; }
  cmake --install "$work/build-$name" >/dev/null
}

expat_source=$(debian_source expat "$expat_version" "$work/expat")
# Debian's expat source keeps the library in a subfolder.
[ -f "$expat_source/CMakeLists.txt" ] || expat_source=$expat_source/expat
configure expat "$expat_source" "${expat_options[@]}"
# Debian's patches test `XML_DTD == 1`, as the configure script Debian builds with defines
# it; expat's CMake configuration header defines it empty.
sed -i -E 's/^#define (XML_DTD|XML_NS) *$/#define \1 1/' "$work/build-expat/expat_config.h"
grep -q '^#define XML_DTD 1$' "$work/build-expat/expat_config.h" \
  || { echo "build_deps: expat_config.h does not define XML_DTD as expected" >&2; exit 1; }
compile_and_install expat
libzip_source=$(debian_source libzip "$libzip_version" "$work/libzip")
configure libzip "$libzip_source" "${zlib_options[@]}" "${libzip_options[@]}"
compile_and_install libzip
configure googletest /usr/src/googletest "${gtest_options[@]}"
compile_and_install googletest

touch "$prefix/.complete"
echo "build_deps: installed in $prefix"
echo "$prefix"
