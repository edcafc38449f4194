#!/usr/bin/env bash
# Make the summary workbooks of the job-window tests (9, 10 and 51 worksheets) with
# LibreOffice Calc, from sources written by write_job_fixture_sources.py.
#
#   tools/make_job_fixtures.sh
#
# Needs libreoffice-calc (soffice). Writes tests/data/fixtures/job_windows/*.xls.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
out="$repo/tests/data/fixtures/job_windows"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
lo=(soffice "-env:UserInstallation=file://$work/lo-profile" --headless)

mkdir -p "$out"
/usr/bin/python3 "$repo/tools/write_job_fixture_sources.py" "$work/src"
for source in "$work"/src/*.fods; do
  "${lo[@]}" --convert-to 'xls:MS Excel 97' --outdir "$work" "$source" >/dev/null
done
for book in sheets_9 sheets_10_blank_names sheets_51; do
  cp "$work/$book.xls" "$out/$book.xls"
done
ls -l "$out"
