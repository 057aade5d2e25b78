#!/bin/bash
# cli-compare.sh BINDIR OUTDIR [SOURCE]: runs every mode of the converter over
# the fixtures and keeps, for each run, its exit status, stdout, stderr and
# the files it wrote in OUTDIR/<case>/. Two OUTDIRs from two builds compare
# with `diff -r`. A PDF carries the time it was made and Qt's own stream
# encoding, so it is kept as its text (pdftotext -layout) and page count.
# .xlsx and .ods are zips stamped with the time they were written: they are
# kept unpacked, with the creation and modification times blanked.
# The programs are copied into a folder of their own with a TypeInfo.con in
# multiple-answer mode, so the answer mode never depends on the build folder.
set -u
BIN=$(realpath "$1")
OUT=$(realpath -m "$2")
SRC=$(realpath "${3:-$(dirname "$0")/..}")
FIX="$SRC/tests/fixtures"
rm -rf "$OUT"
mkdir -p "$OUT"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/bin" "$WORK/fx" "$WORK/run"
chmod 700 "$WORK/run"
export XDG_RUNTIME_DIR="$WORK/run"
cp "$BIN"/scrivane-convert* "$WORK/bin/"
# TypeInfo.con of the multiple-answer mode (AnswerType 3) beside the programs.
"$BIN/../tools/make-typeinfo" 3 "$WORK/bin/TypeInfo.con" >/dev/null 2>&1 ||
    echo "cli-compare: no make-typeinfo; the answer mode defaults to single" >&2
cp "$FIX"/* "$WORK/fx/"
CONVERT="$WORK/bin/scrivane-convert"
cd "$WORK"

# run NAME ARGS...: one case, in a fresh folder holding only what it writes.
run() {
    local name=$1
    shift
    local dir="$OUT/$name"
    mkdir -p "$dir" "$WORK/o"
    (cd "$WORK" && QT_QPA_PLATFORM=offscreen "$CONVERT" "$@" </dev/null >"$dir/stdout" 2>"$dir/stderr")
    echo $? >"$dir/exit"
    printf '%s\n' "$@" >"$dir/args"
    if [ -n "$(ls -A "$WORK/o")" ]; then
        mv "$WORK/o" "$dir/files"
        for pdf in "$dir"/files/*.[pP][dD][fF]; do
            [ -f "$pdf" ] || continue
            pdftotext -layout "$pdf" "$pdf.txt" 2>/dev/null
            pdfinfo "$pdf" 2>/dev/null | grep '^Pages:' >"$pdf.pages"
            rm "$pdf"
        done
        for zip in "$dir"/files/*; do
            [ "$(head -c 2 "$zip")" = PK ] || continue
            mkdir "$zip.unpacked"
            (cd "$zip.unpacked" && unzip -q "$zip" && unzip -Z1 "$zip" >../"$(basename "$zip").members")
            find "$zip.unpacked" -name core.xml -o -name meta.xml |
                xargs -r sed -i -E 's/>[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:.]+Z?</>DATE</g'
            rm "$zip"
        done
    fi
    rm -rf "$WORK/o"
}

# Help and arguments that are not a command.
run help --help
run help-short -h
run help-after -- --help
run help-late fx/plain-3q.lo.xls --json --help
run help-then-unknown --help --frob
run help-with-to fx/plain-3q.lo.xls --help --to csv
run help-with-check fx/plain-3q.lo.xls --check --help
run help-with-pdf fx/plain-3q.lo.xls o/out.pdf --help
run no-arguments
run unknown-option fx/plain-3q.lo.xls --frobnicate
run unknown-option-with-json fx/plain-3q.lo.xls --json --frobnicate
run too-many fx/plain-3q.lo.xls a b c
run json-two-files fx/plain-3q.lo.xls o/x.xls --json
run missing-input missing.xls --json
run folder-input fx --json
run dash-input - --json
run options-ended --json -- fx/plain-3q.lo.xls
run mode-alone fx/plain-3q.lo.xls --mode single
run mode-missing fx/plain-3q.lo.xls --mode
run unknown-then-help fx/plain-3q.lo.xls --frob --help
run json-then-dashes-json fx/plain-3q.lo.xls --json -- --json

# Every fixture as JSON, and through the workbook writer.
for f in "$FIX"/*; do
    case "$f" in *.expected.json | *.truth.json | *.md | *.jpg | *.png | *.tif) continue ;; esac
    b=$(basename "$f")
    run "json-$b" "fx/$b" --json
    run "xls-$b" "fx/$b" o/out.xls
done

# Every format out, by name and by extension, and their refusals.
for to in xls xlsx ods csv moodle gift aiken; do
    run "to-$to" fx/texts-blanks-chinese-long.lo.xls o/out.bin --to "$to"
    run "to-eq-$to-rows100" fx/rows-100.lo.xls o/out.bin "--to=$to"
    run "to-$to-from-gift" fx/bank.gift o/out.bin --to "$to"
done
for ext in tpf xlsx ods csv xml gift txt aiken dat; do
    run "ext-$ext" fx/marks.xlwt.xls "o/out.$ext"
    run "ext-$ext-from-moodle" fx/bank.moodle.xml "o/out.$ext"
done
run to-unknown fx/plain-3q.lo.xls o/out.txt --to pdf
run to-missing fx/plain-3q.lo.xls o/out.txt --to
run to-with-json fx/plain-3q.lo.xls --json --to csv
run to-one-file fx/plain-3q.lo.xls --to csv
run to-unknown-option fx/plain-3q.lo.xls o/out.txt --to aiken --two-letters
run aiken-unfit fx/marks.xlwt.xls o/out.txt --to aiken
run cannot-write fx/plain-3q.lo.xls nowhere/out.xls
run cannot-write-csv fx/plain-3q.lo.xls nowhere/out.csv
run cannot-write-gift fx/bank.gift nowhere/out.xls
run gift-json-invalid fx/header-only.openpyxl.xlsx --json --to gift
run missing-input-to missing.gift o/out.csv
run from-eq fx/bank.gift o/out.csv --from=gift
run from-missing fx/bank.gift o/out.csv --from
run from-workbook fx/plain-3q.lo.xls o/out.csv --from xls
run from-unknown-after fx/bank.gift o/out.csv --from gift --frob
run to-value-dashes fx/plain-3q.lo.xls o/out.csv --to --json

# Checks and rebalance.
for f in plain-3q.lo.xls rows-100.lo.xls marks.xlwt.xls bank.gift header-only.openpyxl.xlsx texts-blanks-chinese-long.lo.ods; do
    run "check-$f" "fx/$f" --check
    run "check-json-$f" "fx/$f" --check --json
    run "check-single-$f" "fx/$f" --check --mode single
    run "check-multiple-json-$f" "fx/$f" --json --check --mode multiple
    run "rebalance-$f" "fx/$f" o/out.xls --rebalance
    run "rebalance-single-$f" "fx/$f" o/out.xls --rebalance --mode single
done
run check-bad-mode fx/plain-3q.lo.xls --check --mode both
run check-mode-missing fx/plain-3q.lo.xls --check --mode
run check-and-rebalance fx/plain-3q.lo.xls o/out.xls --check --rebalance
run rebalance-json fx/plain-3q.lo.xls o/out.xls --rebalance --json
run check-two-files fx/plain-3q.lo.xls o/out.xls --check
run rebalance-one-file fx/plain-3q.lo.xls --rebalance
run check-unknown fx/plain-3q.lo.xls --check --frob
run check-missing missing.xls --check
run check-folder fx --check
run rebalance-cannot-write fx/plain-3q.lo.xls nowhere/out.xls --rebalance
run check-to fx/plain-3q.lo.xls --check --to csv
run check-after-dashes fx/plain-3q.lo.xls -- --check
run check-unknown-then-bad-mode fx/plain-3q.lo.xls --check --frob --mode x
run check-mode-takes-option fx/plain-3q.lo.xls --check --mode --json

# PDF.
run pdf-default-seed fx/rows-100.lo.xls o/out.pdf --seed 1
run pdf-all fx/texts-blanks-chinese-long.lo.xls o/out.pdf --versions 3 --seed 7 \
    --shuffle-questions --shuffle-options --answer-sheet --id-digits 4 --heading "Ünïcode heading" \
    --versions-json o/versions.json --sheet-layout-json o/layout.json
run pdf-sheet-only fx/plain-3q.lo.xls o/out.PDF --seed 3 --no-paper --no-key --answer-sheet \
    --mode single --id-digits 0
run pdf-no-key fx/marks.xlwt.xls o/out.pdf --seed 3 --no-key --mode multiple
run pdf-from-gift fx/bank.gift o/out.pdf --seed 2 --versions 2 --versions-json o/v.json
run pdf-nothing fx/plain-3q.lo.xls o/out.pdf --no-paper --no-key
run pdf-versions-0 fx/plain-3q.lo.xls o/out.pdf --versions 0
run pdf-versions-27 fx/plain-3q.lo.xls o/out.pdf --versions 27
run pdf-versions-x fx/plain-3q.lo.xls o/out.pdf --versions x
run pdf-seed-bad fx/plain-3q.lo.xls o/out.pdf --seed -1
run pdf-seed-big fx/plain-3q.lo.xls o/out.pdf --seed 4294967296
run pdf-id-digits-11 fx/plain-3q.lo.xls o/out.pdf --id-digits 11 --answer-sheet
run pdf-layout-no-sheet fx/plain-3q.lo.xls o/out.pdf --seed 1 --sheet-layout-json o/l.json
run pdf-bad-mode fx/plain-3q.lo.xls o/out.pdf --mode x
run pdf-value-missing fx/plain-3q.lo.xls o/out.pdf --versions
run pdf-unknown fx/plain-3q.lo.xls o/out.pdf --frob
run pdf-one-file fx/plain-3q.lo.xls --versions 2
run pdf-not-pdf fx/plain-3q.lo.xls o/out.xls --versions 2
run pdf-missing missing.xls o/out.pdf --seed 1
run pdf-folder fx o/out.pdf --seed 1
run pdf-invalid fx/header-mark-blanks.openpyxl.xlsx o/out.pdf --seed 1
run pdf-empty fx/header-only.openpyxl.xlsx o/out.pdf --seed 1
run pdf-cannot-write fx/plain-3q.lo.xls nowhere/out.pdf --seed 1
run pdf-json-cannot-write fx/plain-3q.lo.xls o/out.pdf --seed 1 --versions-json nowhere/v.json
run pdf-with-check fx/plain-3q.lo.xls o/out.pdf --check --seed 1
run pdf-with-json fx/plain-3q.lo.xls --json --seed 1
run pdf-after-dashes fx/plain-3q.lo.xls --seed 4 -- o/out.pdf
run pdf-heading-takes-option fx/plain-3q.lo.xls o/out.pdf --seed 1 --heading --no-key
run pdf-last-value-wins fx/plain-3q.lo.xls o/out.pdf --seed 1 --seed 2 --versions 3 --versions 2 \
    --versions-json o/v.json
run pdf-joined-value fx/plain-3q.lo.xls o/out.pdf --seed=1
run pdf-unknown-then-missing fx/plain-3q.lo.xls o/out.pdf --frob --seed

# Grading: sheets printed by the converter itself, blank and as scans.
mkdir -p "$WORK/g"
QT_QPA_PLATFORM=offscreen "$CONVERT" fx/plain-3q.lo.xls g/sheets.pdf --seed 5 --versions 2 \
    --no-paper --no-key --answer-sheet --id-digits 3 >/dev/null 2>&1
QT_QPA_PLATFORM=offscreen "$BIN/scangen" g/scans 3 11 -1 100 150 >/dev/null 2>&1
printf 'number,name\n001,Ann\n002,Bo\n' >"$WORK/g/class.csv"
run grade-pdf fx/plain-3q.lo.xls --grade g/sheets.pdf
run grade-pdf-json fx/plain-3q.lo.xls --grade g/sheets.pdf --json --csv o/grades.csv
run grade-partial fx/plain-3q.lo.xls --grade g/sheets.pdf --scoring partial --mode single --dpi 100
run grade-class fx/plain-3q.lo.xls --grade g/sheets.pdf --class-list g/class.csv
run grade-scans fx/rows-100.lo.xls --grade $(ls g/scans/sheet-*.* | grep -v json) --json
run grade-fixture-scans fx/rows-100.lo.xls --grade fx/scan-crooked-a.jpg fx/scan-three-pages.tif
run grade-no-scan fx/plain-3q.lo.xls --grade
run grade-bad-dpi fx/plain-3q.lo.xls --grade g/sheets.pdf --dpi 10
run grade-dpi-missing fx/plain-3q.lo.xls --grade g/sheets.pdf --dpi
run grade-bad-scoring fx/plain-3q.lo.xls --grade g/sheets.pdf --scoring most
run grade-bad-mode fx/plain-3q.lo.xls --grade g/sheets.pdf --mode x
run grade-csv-missing fx/plain-3q.lo.xls --grade g/sheets.pdf --csv
run grade-class-missing fx/plain-3q.lo.xls --grade g/sheets.pdf --class-list nothing.csv
run grade-unknown fx/plain-3q.lo.xls --grade g/sheets.pdf --frob
run grade-missing-paper missing.xls --grade g/sheets.pdf
run grade-invalid-paper fx/header-mark-blanks.openpyxl.xlsx --grade g/sheets.pdf
run grade-missing-scan fx/plain-3q.lo.xls --grade nothing.png
run grade-csv-cannot-write fx/plain-3q.lo.xls --grade g/sheets.pdf --csv nowhere/g.csv
run grade-with-pdf fx/plain-3q.lo.xls o/out.pdf --grade g/sheets.pdf
run grade-with-check fx/plain-3q.lo.xls --check --grade g/sheets.pdf
run grade-after-dashes fx/plain-3q.lo.xls -- --grade g/sheets.pdf
run grade-unknown-then-bad-dpi fx/plain-3q.lo.xls --grade g/sheets.pdf --frob --dpi 10
run grade-bad-dpi-then-unknown fx/plain-3q.lo.xls --grade g/sheets.pdf --dpi 10 --frob
run grade-scoring-missing fx/plain-3q.lo.xls --grade g/sheets.pdf --scoring
run grade-class-list-missing fx/plain-3q.lo.xls --grade g/sheets.pdf --class-list
run grade-mode-missing fx/plain-3q.lo.xls --grade g/sheets.pdf --mode
run grade-joined-dpi fx/plain-3q.lo.xls --grade g/sheets.pdf --dpi=100
run grade-exact-json fx/plain-3q.lo.xls --grade g/sheets.pdf --scoring exact --json --mode multiple
echo "cli-compare: $(ls "$OUT" | wc -l) cases in $OUT"
