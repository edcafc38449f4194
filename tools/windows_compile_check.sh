#!/usr/bin/env bash
# Compiles the core and the command-line tool (everything but the Qt windows) with the
# MinGW-w64 cross compiler, so that the branches written for Windows (wide paths, _wopen,
# _commit, the c:\kx working directory) are compiled as well. Types and syntax only: nothing
# is linked or run. Needs g++-mingw-w64-x86-64-posix, libssl-dev, libzip-dev and libexpat1-dev
# (for their headers).
#   tools/windows_compile_check.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cxx=${SBX_WINDOWS_CXX:-x86_64-w64-mingw32-g++-posix}
command -v "$cxx" >/dev/null || { echo "windows_compile_check: $cxx is not installed" >&2; exit 1; }

# OpenSSL's headers, with the configuration header of the build machine (the declarations
# used here do not depend on it).
headers=$(mktemp -d)
trap 'rm -rf "$headers"' EXIT
mkdir -p "$headers/openssl"
cp /usr/include/openssl/*.h "$headers/openssl/"
cp /usr/include/"$(gcc -dumpmachine)"/openssl/*.h "$headers/openssl/"
# libzip's and expat's headers, for the .xlsx engine.
cp /usr/include/zip.h /usr/include/zipconf.h /usr/include/expat.h /usr/include/expat_external.h "$headers/"

mapfile -t sources < <(cd "$root" && find spreadsheet workspace job consolidate cli -name '*.cpp' \
                         -not -path '*/windows/*' | sort)
failed=0
for source in "${sources[@]}"; do
  if ! "$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -Werror -I"$root" -isystem "$headers" \
       -DSBX_VERSION='"check"' "$root/$source"; then
    echo "windows_compile_check: $source does not compile for Windows" >&2
    failed=1
  fi
done
[ $failed -eq 0 ] && echo "windows_compile_check: ${#sources[@]} files compile for Windows"
exit $failed
