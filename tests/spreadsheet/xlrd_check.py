#!/usr/bin/python3
"""Reads an .xls file with xlrd and prints what it holds as JSON.

    xlrd_check.py FILE.xls                 print the dump
    xlrd_check.py FILE.xls EXPECTED.json   also compare it with EXPECTED

The dump:
    {"active_sheet": i,                        # from WINDOW1
     "sheets": [{"name": ..., "selected": bool, "shown": bool,   # WINDOW2
                 "cells": {"R,C": [type, value, wrap, valign]},  # 1-based
                 "columns": {"C": [width_chars, wrap]},          # COLINFO
                 "rows": {"R": [height_twips, custom_height]}}]}  # ROW
type is text, number, boolean or error; error values are BIFF codes.

The comparison takes every key of EXPECTED and compares it with the dump;
keys missing from EXPECTED are not compared, except in "cells", which must
hold exactly the same cells. Differences go to stderr and the exit status
is 1. Exit status 77 means xlrd is not installed.
"""
import json
import struct
import sys

try:
    import xlrd
    from xlrd import compdoc
except ImportError:
    sys.stderr.write("xlrd is not installed\n")
    sys.exit(77)

TYPES = {
    xlrd.XL_CELL_TEXT: "text",
    xlrd.XL_CELL_NUMBER: "number",
    xlrd.XL_CELL_BOOLEAN: "boolean",
    xlrd.XL_CELL_ERROR: "error",
    xlrd.XL_CELL_BLANK: "blank",
}


def active_sheet(data):
    """The itabCur of WINDOW1, read from the raw Workbook stream."""
    doc = compdoc.CompDoc(data, logfile=open("/dev/null", "w"))
    stream = doc.get_named_stream("Workbook")
    pos = 0
    while pos + 4 <= len(stream):
        rtype, length = struct.unpack_from("<HH", stream, pos)
        if rtype == 0x003D:
            return struct.unpack_from("<H", stream, pos + 4 + 10)[0]
        if rtype == 0x000A:
            break
        pos += 4 + length
    return None


def dump(path):
    with open(path, "rb") as f:
        data = f.read()
    book = xlrd.open_workbook(file_contents=data, formatting_info=True,
                              on_demand=False, ragged_rows=True,
                              logfile=open("/dev/null", "w"))

    def wrap_of(xf_index):
        xf = book.xf_list[xf_index]
        return bool(xf.alignment.text_wrapped), xf.alignment.vert_align

    sheets = []
    for sh in book.sheets():
        cells = {}
        for r in range(sh.nrows):
            for c in range(sh.row_len(r)):
                cell = sh.cell(r, c)
                if cell.ctype == xlrd.XL_CELL_EMPTY:
                    continue
                wrap, valign = wrap_of(cell.xf_index)
                value = cell.value
                if cell.ctype == xlrd.XL_CELL_BOOLEAN:
                    value = bool(value)
                cells["%d,%d" % (r + 1, c + 1)] = [TYPES[cell.ctype], value, wrap, valign]
        columns = {}
        for c, info in sh.colinfo_map.items():
            columns[str(c + 1)] = [info.width / 256.0, wrap_of(info.xf_index)[0]]
        rows = {}
        for r, info in sh.rowinfo_map.items():
            rows[str(r + 1)] = [info.height, bool(info.height_mismatch)]
        sheets.append({"name": sh.name, "selected": bool(sh.sheet_selected),
                       "shown": bool(sh.sheet_visible), "cells": cells,
                       "columns": columns, "rows": rows})
    return {"active_sheet": active_sheet(data), "sheets": sheets}


def compare(expected, actual, where, problems, exact_keys=False):
    if isinstance(expected, dict):
        if not isinstance(actual, dict):
            problems.append("%s: expected an object, got %r" % (where, actual))
            return
        if exact_keys:
            for key in sorted(set(actual) - set(expected)):
                problems.append("%s: unexpected %s = %r" % (where, key, actual[key]))
        for key, value in expected.items():
            if key not in actual:
                problems.append("%s: %s is missing" % (where, key))
            else:
                compare(value, actual[key], "%s/%s" % (where, key), problems, key == "cells")
    elif isinstance(expected, list):
        if not isinstance(actual, list) or len(actual) != len(expected):
            problems.append("%s: expected %d items, got %r" % (where, len(expected), actual))
            return
        for i, (e, a) in enumerate(zip(expected, actual)):
            compare(e, a, "%s[%d]" % (where, i), problems)
    elif expected != actual or type(expected) is bool and type(actual) is not bool:
        shown = lambda v: repr(v) if len(repr(v)) < 80 else repr(v)[:77] + "..."
        problems.append("%s: expected %s, got %s" % (where, shown(expected), shown(actual)))


def main():
    if len(sys.argv) not in (2, 3):
        sys.stderr.write(__doc__)
        return 2
    result = dump(sys.argv[1])
    print(json.dumps(result, ensure_ascii=False, sort_keys=True))
    if len(sys.argv) == 3:
        with open(sys.argv[2], encoding="utf-8") as f:
            expected = json.load(f)
        problems = []
        compare(expected, result, "", problems)
        for p in problems[:50]:
            sys.stderr.write(p + "\n")
        return 1 if problems else 0
    return 0


if __name__ == "__main__":
    sys.exit(main())
