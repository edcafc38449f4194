#!/bin/sh
# Makes sample_report.xls from sample_report.fods with LibreOffice (headless).
set -e
cd "$(dirname "$0")"
soffice --headless --convert-to xls:"MS Excel 97" sample_report.fods >/dev/null
echo "made $(pwd)/sample_report.xls"
