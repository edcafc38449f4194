#!/bin/sh
# Checks that containers written by CompoundFile::serialize open in other applications:
# every fixture is parsed and written again by compound_file_test, then olefile must see the
# same streams with the same bytes, and LibreOffice must convert the copy to the same CSV as
# the original (first sheet).
#
# usage: tools/check_cfb_roundtrip.sh <build dir>    (compound_file_test must be built)
set -eu
BUILD=$(cd "${1:?usage: $0 <build dir>}" && pwd)
HERE=$(cd "$(dirname "$0")/.." && pwd)
FIXTURES="$HERE/../shared/fixtures/xls"
WORK=$(mktemp -d /tmp/cfb_roundtrip.XXXXXX)
mkdir -p "$WORK/copies" "$WORK/csv_original" "$WORK/csv_original2" "$WORK/csv_copy" "$WORK/profile"

SBX_CFB_ROUNDTRIP_DIR="$WORK/copies" "$BUILD/tests/compound_file_test" \
    --gtest_filter='CompoundFileFixtures.RoundTrip*' >/dev/null

/usr/bin/python3 - "$FIXTURES" "$WORK/copies" <<'PY'
import os, sys, olefile
originals, copies = sys.argv[1], sys.argv[2]
bad = 0
for name in sorted(os.listdir(copies)):
    def streams(path):
        with olefile.OleFileIO(path) as ole:
            return {"/".join(p): ole.openstream(p).read() for p in ole.listdir()}
    a, b = streams(os.path.join(originals, name)), streams(os.path.join(copies, name))
    if a != b:
        bad += 1
        print("olefile: streams differ in", name)
print("olefile: %d copies read, %d differ" % (len(os.listdir(copies)), bad))
sys.exit(1 if bad else 0)
PY

# A profile of our own, so that a LibreOffice started by someone else does not interfere.
convert() {
    timeout 600 soffice -env:UserInstallation="file://$WORK/profile" --headless \
        --convert-to csv --outdir "$2" "$1"/*.xls >/dev/null 2>&1 || true
}
mkdir -p "$WORK/originals"
for f in "$WORK/copies"/*.xls; do cp "$FIXTURES/$(basename "$f")" "$WORK/originals/"; done
convert "$WORK/originals" "$WORK/csv_original"
convert "$WORK/originals" "$WORK/csv_original2"  # to tell volatile formulas (NOW, RAND) apart
convert "$WORK/copies" "$WORK/csv_copy"
status=0
for f in "$WORK/copies"/*.xls; do
    csv=$(basename "$f" .xls).csv
    if [ ! -s "$WORK/csv_original/$csv" ]; then
        echo "LibreOffice: no CSV from the original of $(basename "$f") (skipped)"
    elif [ ! -s "$WORK/csv_copy/$csv" ]; then
        echo "LibreOffice: FAILED to open the copy of $(basename "$f")"; status=1
    elif ! cmp -s "$WORK/csv_original/$csv" "$WORK/csv_copy/$csv"; then
        changed=$(diff "$WORK/csv_original/$csv" "$WORK/csv_copy/$csv" | grep -c '^[<>]' || true)
        volatile=$(diff "$WORK/csv_original/$csv" "$WORK/csv_original2/$csv" | grep -c '^[<>]' || true)
        if [ "$volatile" -ge "$changed" ]; then
            echo "LibreOffice: same CSV for $(basename "$f") except volatile formulas ($changed lines)"
        else
            echo "LibreOffice: CSV differs for $(basename "$f")"; status=1
        fi
    else
        echo "LibreOffice: same CSV for $(basename "$f")"
    fi
done
echo "work files in $WORK"
exit $status
