#!/usr/bin/env python3
"""Dumps what the workbook tests check, read back with openpyxl, as JSON.

Usage: read_workbook.py FILE.xlsx

Output: {"sheets": [names], "cells": {"A1": {...}, ...}, "columns": {"A": width or null, ...},
         "max_row": n, "page": {...}}
Every cell stored in the first sheet (blank cells that only carry a format
included) is listed with its value, its openpyxl data type ("s" text, "n"
number, "d" a number with a date or time format), its number format, the
text a spreadsheet application shows for it ("shown"; null for a format
this reader cannot render), bold, italic and, per edge, [style, colour]
where colour is "auto", an ARGB string or null. The value of a number cell
is the number stored in the file, also for dates and times (days since
1899-12-30). A column without its own width is null. "page" is the print
setup: orientation, fit to page, pages wide and tall, repeated rows.
"""
import datetime
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


def stored_values(path):
    """Text of every shared-string cell and number of every number cell of
    the first sheet, by cell name, as the file stores them."""
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
        values = {}
        for c in ET.fromstring(z.read(sheet_path)).iter(MAIN + "c"):
            v = c.find(MAIN + "v")
            if c.get("t") == "s":
                values[c.get("r")] = strings[int(v.text)]
            elif c.get("t") in (None, "n") and v is not None:
                values[c.get("r")] = float(v.text)
        return values


def general(number):
    if number == int(number) and abs(number) < 1e11:
        return str(int(number))
    return "%.10g" % number


def shown(value, number_format):
    """The text a spreadsheet application shows for a stored value, for the
    formats the flight log uses."""
    if value is None or isinstance(value, str):
        return value
    minutes = round(value * 24 * 60)
    if number_format == "General":
        return general(value)
    if number_format == "yyyy-mm-dd":
        return (datetime.date(1899, 12, 30) + datetime.timedelta(days=int(value))).isoformat()
    if number_format == "hh:mm":
        return "%02d:%02d" % (minutes // 60 % 24, minutes % 60)
    if number_format == "[hh]:mm":
        return "%02d:%02d" % (minutes // 60, minutes % 60)
    return None


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
    values = stored_values(sys.argv[1])
    cells = {}
    for (row, col), cell in sorted(ws._cells.items()):
        b = cell.border
        value = values.get(cell.coordinate, cell.value)
        cells[cell.coordinate] = {
            "value": value,
            "type": cell.data_type,
            "format": cell.number_format,
            "shown": shown(value, cell.number_format),
            "bold": bool(cell.font.b),
            "italic": bool(cell.font.i),
            "wrap": bool(cell.alignment.wrap_text),
            "left": edge(b.left),
            "right": edge(b.right),
            "top": edge(b.top),
            "bottom": edge(b.bottom),
            "diagonal": edge(b.diagonal) + [bool(b.diagonalUp), bool(b.diagonalDown)],
        }
    columns = {}
    for i in range(1, 16):
        letter = get_column_letter(i)
        dim = ws.column_dimensions.get(letter) if letter in ws.column_dimensions else None
        columns[letter] = dim.width if dim is not None and dim.customWidth else None
    setup = ws.page_setup
    page = {
        "orientation": setup.orientation,
        "fit_to_page": bool(ws.sheet_properties.pageSetUpPr and ws.sheet_properties.pageSetUpPr.fitToPage),
        # Both default to 1 when the file leaves them out; 0 means as many
        # as needed.
        "pages_wide": 1 if setup.fitToWidth is None else int(setup.fitToWidth),
        "pages_tall": 1 if setup.fitToHeight is None else int(setup.fitToHeight),
        "repeated_rows": ws.print_title_rows,
    }
    json.dump({"sheets": wb.sheetnames, "cells": cells, "columns": columns, "max_row": ws.max_row,
               "page": page}, sys.stdout, ensure_ascii=True)


if __name__ == "__main__":
    main()
