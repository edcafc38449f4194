#!/usr/bin/env bash
# Builds the Debian package (cpack -G DEB), installs it with apt-get, and tries the installed
# programs as a user would: the versions, then a consolidation of the installed sample pool
# in both modes from a scratch folder, with the totals checked by xlrd against the sources.
# Last, the package is removed again (SBX_PACKAGE_KEEP=1 keeps it). Run as root, from
# anywhere; needs dpkg-dev (dpkg-shlibdeps), file and python3-xlrd. Build folder: build/ in
# the repository (configured here if it is not), or SBX_PACKAGE_BUILD.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SBX_PACKAGE_BUILD:-$root/build}
python=/usr/bin/python3
fail() { echo "package_check: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || fail "installing the package needs root"
for tool in dpkg-shlibdeps file "$python"; do
  command -v "$tool" >/dev/null || fail "$tool is missing (dpkg-dev, file, python3)"
done
"$python" -c 'import xlrd' 2>/dev/null || fail "python3-xlrd is missing"

[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
out="$build/package"
rm -rf "$out"
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
debs=("$out"/shubuxing_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single shubuxing_*.deb in $out"
deb=${debs[0]}
echo "package_check: built $(basename "$deb")"

# The control fields: version from the project, the libraries found by dpkg-shlibdeps.
version=$(dpkg-deb -f "$deb" Version)
expected=$(sed -n 's/^project(shubuxing VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ "$version" = "$expected" ] || fail "package version $version, the project says $expected"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libqt6gui6 libqt6core6 libssl3 libstdc++6 qt6-translations-l10n; do
  [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done
[[ $(dpkg-deb -f "$deb" Recommends) == *fonts-noto-cjk* ]] || fail "fonts-noto-cjk is not recommended"
# Read whole before testing: `grep -q` stopping early would fail the pipe under pipefail.
fields=$(dpkg-deb -f "$deb" Maintainer Description)
[ -n "$fields" ] || fail "no maintainer or description"

# Installed as a user would, with apt-get on the file (a copy from an earlier run goes first:
# apt-get keeps an installed package of the same version).
if [[ $(dpkg-query -W -f='${Status}' shubuxing 2>/dev/null || true) == *"ok installed"* ]]; then
  apt-get remove -y -o DPkg::Lock::Timeout=600 shubuxing >/dev/null
fi
scratch=$(mktemp -d /tmp/sbx_package_check.XXXXXX)
cleanup() {
  rm -rf "$scratch"
  if [ "${SBX_PACKAGE_KEEP:-0}" != 1 ]; then
    apt-get remove -y -o DPkg::Lock::Timeout=600 shubuxing >/dev/null 2>&1 || true
  fi
}
trap cleanup EXIT
(cd "$out" && apt-get install -y -o DPkg::Lock::Timeout=600 ./shubuxing_*.deb >/dev/null)

for file in /usr/bin/shubuxing /usr/bin/shubuxing-cli /usr/share/applications/shubuxing.desktop \
            /usr/share/icons/hicolor/48x48/apps/shubuxing.png /usr/share/icons/hicolor/256x256/apps/shubuxing.png \
            /usr/share/icons/hicolor/scalable/apps/shubuxing.svg /usr/share/man/man1/shubuxing-cli.1.gz; do
  [ -s "$file" ] || fail "$file is not installed"
done
[[ $(file -b /usr/share/icons/hicolor/256x256/apps/shubuxing.png) == "PNG image data, 256 x 256"* ]] ||
  fail "the 256 px icon is not a 256 x 256 PNG"
grep -q '^Categories=Office;Spreadsheet;' /usr/share/applications/shubuxing.desktop || fail "desktop entry without its categories"

# Both programs say their version; the desktop program without a display.
[ "$(shubuxing-cli --version)" = "shubuxing-cli $version" ] || fail "shubuxing-cli --version: $(shubuxing-cli --version)"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM shubuxing --version)" = "shubuxing $version" ] ||
  fail "shubuxing --version does not answer without windows"

# The sample pool, added up in both modes from a scratch folder.
pool=/usr/share/shubuxing/examples/pool
sources=("$pool"/*.xls)
[ ${#sources[@]} -eq 4 ] || fail "the sample pool holds ${#sources[@]} workbooks, not 4"
cd "$scratch"
for mode in efficiency function; do
  shubuxing-cli consolidate --mode "$mode" --out "total_$mode.xls" \
    --range '基本情况!b3:d5' --range '收支明细!b2:e6' "${sources[@]}" >"$mode.log" ||
    fail "consolidate --mode $mode failed: $(cat "$mode.log")"
  [ "$(shubuxing-cli dump "total_$mode.xls" 收支明细 a2:a2)" = "营业收入" ] || fail "$mode: the template's texts are gone"
done
"$python" - "$scratch" "${sources[@]}" <<'EOF'
# Every cell of the ranges is the sum of the sources' cells, as xlrd reads them; the cells
# around the ranges are those of the template, the last source.
import sys, xlrd
scratch, sources = sys.argv[1], sys.argv[2:]
ranges = {"基本情况": (2, 5, 1, 4), "收支明细": (1, 6, 1, 5)}  # first row, row past the end, columns alike
books = [xlrd.open_workbook(s) for s in sources]
problems = []
for mode in ("efficiency", "function"):
    total = xlrd.open_workbook(f"{scratch}/total_{mode}.xls")
    for name, (r0, r1, c0, c1) in ranges.items():
        sheet = total.sheet_by_name(name)
        template = books[-1].sheet_by_name(name)
        for r in range(template.nrows):
            for c in range(template.ncols):
                got = sheet.cell_value(r, c) if r < sheet.nrows and c < sheet.ncols else ""
                if r0 <= r < r1 and c0 <= c < c1:
                    want = sum(b.sheet_by_name(name).cell_value(r, c) for b in books)
                    ok = isinstance(got, float) and abs(got - want) <= 1e-9 * max(1.0, abs(want))
                elif r1 <= r:
                    continue  # rows of formulas below the ranges are recomputed, not copied
                else:
                    want = template.cell_value(r, c)
                    ok = got == want
                if not ok:
                    problems.append(f"{mode} {name} row {r + 1} column {c + 1}: {got!r}, expected {want!r}")
for p in problems[:20]:
    print("package_check:", p, file=sys.stderr)
sys.exit(1 if problems else 0)
EOF
# Reading the pool changed none of the installed files.
dpkg --verify shubuxing || fail "installed files of the package changed"
echo "package_check: $(basename "$deb") installs; shubuxing-cli $version consolidates the sample pool in both modes"
