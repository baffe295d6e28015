#!/usr/bin/env python3
"""Dumps what the workbook tests check, read back with openpyxl, as JSON.

Usage: read_workbook.py FILE.xlsx

Output: {"sheets": [names], "cells": {"A1": {...}, ...}, "columns": {"A": width or null, ...},
         "max_row": n}
Every cell stored in the first sheet (blank cells that only carry a format
included) is listed with its value, its openpyxl data type ("s" text, "n"
number), bold, italic and, per edge, [style, colour] where colour is "auto",
an ARGB string or null. A column without its own width is null.
"""
import json
import re
import sys
import xml.etree.ElementTree as ET
import zipfile

import openpyxl
from openpyxl.utils import get_column_letter


MAIN = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
OFFICE_REL = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}"
PACKAGE_REL = "{http://schemas.openxmlformats.org/package/2006/relationships}"


def unescape(value):
    # Characters XML cannot hold are stored as _xHHHH_, a literal "_x" of
    # that form as _x005F_x...; a spreadsheet application shows the
    # characters themselves. openpyxl only drops the _x005F_ part, so text
    # cells are decoded here from the file's own strings.
    return re.sub(r"_x([0-9A-Fa-f]{4})_", lambda m: chr(int(m.group(1), 16)), value)


def shared_texts(path):
    """Text of every shared-string cell of the first sheet, by cell name."""
    with zipfile.ZipFile(path) as z:
        names = z.namelist()
        book = ET.fromstring(z.read("xl/workbook.xml"))
        rid = book.find(MAIN + "sheets").find(MAIN + "sheet").get(OFFICE_REL + "id")
        rels = ET.fromstring(z.read("xl/_rels/workbook.xml.rels"))
        target = next(r.get("Target") for r in rels.iter(PACKAGE_REL + "Relationship") if r.get("Id") == rid)
        sheet_path = target.lstrip("/") if target.startswith("/") else "xl/" + target
        strings = []
        if "xl/sharedStrings.xml" in names:
            for si in ET.fromstring(z.read("xl/sharedStrings.xml")).iter(MAIN + "si"):
                runs = [si.find(MAIN + "t")] if si.find(MAIN + "t") is not None else \
                    [r.find(MAIN + "t") for r in si.findall(MAIN + "r")]
                strings.append(unescape("".join((t.text or "") for t in runs if t is not None)))
        texts = {}
        for c in ET.fromstring(z.read(sheet_path)).iter(MAIN + "c"):
            if c.get("t") == "s":
                texts[c.get("r")] = strings[int(c.find(MAIN + "v").text)]
        return texts


def colour(side):
    c = side.color
    if c is None:
        return None
    if c.type == "auto":
        return "auto"
    if c.type == "rgb":
        return c.rgb
    return "%s:%s" % (c.type, c.value)


def edge(side):
    if side is None or side.style is None:
        return [None, None]
    return [side.style, colour(side)]


def main():
    wb = openpyxl.load_workbook(sys.argv[1])
    ws = wb.worksheets[0]
    texts = shared_texts(sys.argv[1])
    cells = {}
    for (row, col), cell in sorted(ws._cells.items()):
        b = cell.border
        cells[cell.coordinate] = {
            "value": texts.get(cell.coordinate, cell.value),
            "type": cell.data_type,
            "bold": bool(cell.font.b),
            "italic": bool(cell.font.i),
            "left": edge(b.left),
            "right": edge(b.right),
            "top": edge(b.top),
            "bottom": edge(b.bottom),
            "diagonal": edge(b.diagonal) + [bool(b.diagonalUp), bool(b.diagonalDown)],
        }
    columns = {}
    for i in range(1, 13):
        letter = get_column_letter(i)
        dim = ws.column_dimensions.get(letter) if letter in ws.column_dimensions else None
        columns[letter] = dim.width if dim is not None and dim.customWidth else None
    json.dump({"sheets": wb.sheetnames, "cells": cells, "columns": columns, "max_row": ws.max_row},
              sys.stdout, ensure_ascii=True)


if __name__ == "__main__":
    main()
