#!/usr/bin/env bash
# Writes the workbooks of tests/data/xlsx/ from the small pedigrees in
# tests/data/xlsx/source/, with LibreOffice, so that the tests read files a
# real spreadsheet program wrote. The workbooks are committed: neither the
# build nor CI runs this script, and LibreOffice is no dependency of either.
# To run it, install LibreOffice by hand first:
#   apt-get install libreoffice-calc-nogui
#
# CSV sources: comma-separated, first row the header. Numbers become number
# cells, and the "Birth date" column of dates.csv date cells (column format
# 5 = year-month-day). two_sheets.fods holds two sheets. herd.csv becomes
# examples/herd.xlsx.
set -euo pipefail
cd "$(dirname "$0")/../tests/data/xlsx"

if ! command -v soffice >/dev/null; then
  echo "soffice not found: apt-get install libreoffice-calc-nogui" >&2
  exit 1
fi

profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
convert() {  # convert SOURCE [CSV-FILTER-OPTIONS]
  local options=()
  [[ -n ${2:-} ]] && options=(--infilter="CSV:$2")
  soffice -env:UserInstallation="file://$profile" --headless "${options[@]}" \
      --convert-to xlsx:"Calc MS Excel 2007 XML" --outdir . "$1" >/dev/null
}

# 44 = comma, 34 = double quote, 76 = UTF-8, 1 = first line; then the column
# formats (1 standard, 5 year-month-day), the language, quoted text as text,
# detect special numbers.
for csv in source/plain.csv source/numeric.csv source/empty.csv source/groups.csv; do
  convert "$csv" "44,34,76,1,,1033,false,false"
done
convert source/dates.csv "44,34,76,1,4/5,1033,false,false"
convert source/two_sheets.fods
# The example herd: examples/herd.pdg with a birth date in its group's year
# and a sex for every animal.
convert source/herd.csv "44,34,76,1,6/5,1033,false,false"
mv herd.xlsx ../../../examples/herd.xlsx
ls -l ./*.xlsx ../../../examples/herd.xlsx
