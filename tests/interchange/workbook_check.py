#!/usr/bin/python3
"""Reads a question sheet written by Scrivane with a reader of its own and
prints what it holds as JSON: openpyxl for .xlsx, the zip and XML modules of
Python for .ods (which also checks the package: "mimetype" first and stored).

    workbook_check.py FILE

The dump: {"rows": [[cell, ...], ...], "widths": [w1, ...], "wrap": [bool, ...]}
with numbers as numbers, texts as texts and empty cells as null; widths in
characters. Exit status 77 means openpyxl is not installed.
"""
import json
import sys
import zipfile
import xml.etree.ElementTree as ET

path = sys.argv[1]


def xlsx():
    try:
        import openpyxl
    except ImportError:
        sys.stderr.write("openpyxl is not installed\n")
        sys.exit(77)
    sheet = openpyxl.load_workbook(path).active
    rows = [list(r) for r in sheet.iter_rows(max_col=10, values_only=True)]
    letters = "ABCDEFGHIJ"
    widths = [sheet.column_dimensions[c].width for c in letters]
    wrap = [bool(sheet.column_dimensions[c].alignment.wrap_text) for c in letters]
    return {"rows": rows, "widths": widths, "wrap": wrap}


NS = {
    "table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
    "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
    "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
    "style": "urn:oasis:names:tc:opendocument:xmlns:style:1.0",
    "fo": "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0",
}


def q(name):
    prefix, local = name.split(":")
    return "{%s}%s" % (NS[prefix], local)


def paragraph_text(p):
    out = [p.text or ""]
    for child in p:
        if child.tag == q("text:s"):
            out.append(" " * int(child.get(q("text:c"), "1")))
        elif child.tag == q("text:tab"):
            out.append("\t")
        elif child.tag == q("text:line-break"):
            out.append("\n")
        else:
            out.append(paragraph_text(child))
        out.append(child.tail or "")
    return "".join(out)


def ods():
    with zipfile.ZipFile(path) as package:
        first = package.infolist()[0]
        if first.filename != "mimetype" or first.compress_type != zipfile.ZIP_STORED:
            sys.exit("mimetype is not the first, stored member")
        if package.read("mimetype") != b"application/vnd.oasis.opendocument.spreadsheet":
            sys.exit("wrong mimetype")
        if package.testzip() is not None:
            sys.exit("a member is damaged")
        root = ET.fromstring(package.read("content.xml"))
    widths_by_style, wrapping = {}, set()
    for style in root.iter(q("style:style")):
        name = style.get(q("style:name"))
        for props in style.iter(q("style:table-column-properties")):
            inches = float(props.get(q("style:column-width")).rstrip("in"))
            widths_by_style[name] = round((inches * 96 - 5) / 7, 2)
        for props in style.iter(q("style:table-cell-properties")):
            if props.get(q("fo:wrap-option")) == "wrap":
                wrapping.add(name)
    table = next(root.iter(q("table:table")))
    widths, wrap = [], []
    for column in table.iter(q("table:table-column")):
        for _ in range(int(column.get(q("table:number-columns-repeated"), "1"))):
            widths.append(widths_by_style.get(column.get(q("table:style-name"))))
            wrap.append(column.get(q("table:default-cell-style-name")) in wrapping)
    rows = []
    for row in table.iter(q("table:table-row")):
        cells = []
        for cell in row:
            kind = cell.get(q("office:value-type"))
            if kind == "float":
                value = float(cell.get(q("office:value")))
                cells.append(int(value) if value.is_integer() else value)
            elif kind == "string":
                cells.append("\n".join(paragraph_text(p) for p in cell.findall(q("text:p"))))
            else:
                cells.append(None)
        rows.append(cells)
    return {"rows": rows, "widths": widths[:10], "wrap": wrap[:10]}


print(json.dumps(xlsx() if path.endswith(".xlsx") else ods(), ensure_ascii=False))
