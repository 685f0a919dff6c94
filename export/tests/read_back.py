#!/usr/bin/env python3
"""Reads an exported file back with a reader that owes nothing to the exporter and compares every
value with the database's text form.

usage: read_back.py FORMAT FILE EXPECTED.json
FORMAT: csv, html, xml, xlsx, docx, sqlite. EXPECTED holds {"table": name, "columns": [{"name",
"kind", "refused"}], "rows": [[text or null, ...], ...]}. Prints one line per difference and exits 1
when there is any; exits 2 when a reader is missing (a missing reader is a failure, never a skip).
"""

import base64
import csv
import datetime
import decimal
import html.parser
import json
import re
import sqlite3
import subprocess
import sys
import xml.etree.ElementTree as ET


def read_csv(path):
    with open(path, newline="", encoding="utf-8") as f:
        return list(csv.reader(f))


class _Cells(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.rows, self._cell = [], None

    def handle_starttag(self, tag, attrs):
        if tag == "tr":
            self.rows.append([])
        elif tag in ("td", "th"):
            self._cell = []

    def handle_endtag(self, tag):
        if tag in ("td", "th") and self._cell is not None:
            self.rows[-1].append("".join(self._cell))
            self._cell = None

    def handle_data(self, data):
        if self._cell is not None:
            self._cell.append(data)


def read_html(path):
    parser = _Cells()
    with open(path, encoding="utf-8") as f:
        parser.feed(f.read())
    # A page shows no line break at a cell's start; a Null is written "(NULL)".
    return [[None if c.lstrip("\r\n") == "(NULL)" else c.lstrip("\r\n") for c in r] for r in parser.rows]


def read_xml(path):
    # xmllint first: the file must be well-formed XML to a reader of its own.
    subprocess.run(["xmllint", "--noout", path], check=True)
    root = ET.parse(path).getroot()
    columns = [el for el in root.iter() if el.tag.rsplit("}", 1)[-1] == "column"]
    rows = [[c.get("name") for c in columns]]
    for el in root.iter():
        if el.tag.rsplit("}", 1)[-1] != "row":
            continue
        row = []
        for c in columns:
            attr = c.get("attr")
            if el.get(attr + ".b64") is not None:
                row.append(base64.b64decode(el.get(attr + ".b64")))
            else:
                row.append(el.get(attr))
        rows.append(row)
    return rows


SHEET_ESCAPE = re.compile(r"_x([0-9A-Fa-f]{4})_")


def sheet_text(text):
    """A sheet's text as a spreadsheet shows it: each _xHHHH_ is the UTF-16 unit it names, in one
    pass (so "_x005F_x0041_" is the text "_x0041_")."""
    return SHEET_ESCAPE.sub(lambda m: chr(int(m.group(1), 16)), text)


def read_xlsx(path):
    import openpyxl
    from openpyxl.cell.text import Text
    from openpyxl.reader import excel
    from openpyxl.xml.constants import SHEET_MAIN_NS
    from openpyxl.xml.functions import iterparse

    # openpyxl gives a sheet's text as stored, except that it drops every "x005F_" of the shared
    # strings (and of no other text): read them as stored too, and decode every text alike.
    def read_string_table(source):
        strings = []
        for _, node in iterparse(source):
            if node.tag == "{%s}si" % SHEET_MAIN_NS:
                strings.append(Text.from_tree(node).content)
                node.clear()
        return strings

    excel.read_string_table = read_string_table
    sheet = openpyxl.load_workbook(path).worksheets[0]
    return [[sheet_text(v) if isinstance(v, str) else v for v in r] for r in sheet.iter_rows(values_only=True)]


def read_docx(path):
    import docx
    table = docx.Document(path).tables[0]
    return [[c.text for c in r.cells] for r in table.rows]


def read_sqlite(path, table):
    con = sqlite3.connect(path)
    con.text_factory = lambda b: b.decode("utf-8", "replace")
    cur = con.execute('SELECT * FROM "%s"' % table.replace('"', '""'))
    rows = [[d[0] for d in cur.description]] + [list(r) for r in cur.fetchall()]
    con.close()
    return rows


def norm_fraction(frac):
    frac = (frac or "").rstrip("0")
    return "." + frac if frac else ""


def norm_zone(zone):
    # "+05" and "+05:00" name one offset.
    if not zone:
        return ""
    return zone[:3] + (zone[3:] if zone[3:] not in (":00", "") else "")


MOMENT = re.compile(r"^(\d{4,}-\d\d-\d\d)?[ T]?(\d\d:\d\d:\d\d)?(?:\.(\d+))?([+-]\d\d(?::\d\d){0,2})?$")


def norm_moment(text):
    m = MOMENT.match(text)
    if not m:
        return text
    date, time, frac, zone = m.groups()
    parts = [p for p in (date, (time or "") + norm_fraction(frac) + norm_zone(zone)) if p]
    return " ".join(parts)


def as_text(value, kind):
    """The text of a value as the reader gave it, in the form the expected text is put in."""
    if value is None:
        return None
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, datetime.datetime):
        text = value.isoformat(" ")
        return norm_moment(text[:10]) if kind == "date" else norm_moment(text)
    if isinstance(value, datetime.time):
        return norm_moment(value.isoformat())
    if isinstance(value, datetime.date):
        return value.isoformat()
    if isinstance(value, float):
        return repr(value)
    if isinstance(value, bytes):
        return value.decode("utf-8", "replace")
    return str(value)


def same(got, want, kind):
    if got == want:
        return True
    if got is None or want is None:
        return False
    if kind == "number":
        try:
            return decimal.Decimal(got) == decimal.Decimal(want)
        except decimal.InvalidOperation:
            return False
    if kind in ("date", "time", "timestamp"):
        return norm_moment(got) == norm_moment(want)
    if kind == "bool":
        return got.lower() in (want.lower(), {"true": "1", "false": "0"}.get(want.lower()))
    return False


def main():
    fmt, path, expected_path = sys.argv[1:4]
    with open(expected_path, encoding="utf-8") as f:
        expected = json.load(f)
    try:
        if fmt == "sqlite":
            rows = read_sqlite(path, expected["table"])
        else:
            rows = {"csv": read_csv, "html": read_html, "xml": read_xml, "xlsx": read_xlsx,
                    "docx": read_docx}[fmt](path)
    except ImportError as e:
        print("reader missing: %s" % e)
        return 2
    # Which formats keep a Null apart from an empty text.
    keeps_null = fmt in ("xml", "sqlite")
    problems = []
    header = [as_text(v, "text") for v in rows[0]] if rows else []
    columns = expected["columns"]
    for col in columns:
        name = col["name"]
        if col.get("refused"):
            # Only the spreadsheet names a refused column (over an empty column), and the XML
            # document carries every column (bytes as base64).
            if (name in header) != (fmt in ("xlsx", "xml")):
                problems.append("refused column %s: header %s" % (name, "present" if name in header else "missing"))
            continue
        if name not in header:
            problems.append("column %s missing from header %s" % (name, header))
    records = rows[1:]
    if fmt == "xlsx":
        # A record of Nulls only is no row to a sheet reader when nothing follows it.
        records += [[]] * (len(expected["rows"]) - len(records))
    if len(records) != len(expected["rows"]):
        problems.append("%d records, expected %d" % (len(records), len(expected["rows"])))
    for r, (got_row, want_row) in enumerate(zip(records, expected["rows"])):
        for c, col in enumerate(columns):
            if col["name"] not in header:
                continue
            at = header.index(col["name"])
            got = as_text(got_row[at] if at < len(got_row) else None, col["kind"])
            want = want_row[c]
            if col.get("refused"):
                if fmt == "xml":
                    continue
                want = None
            if fmt == "docx" and want:
                # A document's text cannot hold the control characters XML refuses.
                want = "".join(ch for ch in want if ch >= " " or ch in "\t\n\r")
            if not keeps_null:
                got = got or None
                want = want or None
            if not same(got, want, col["kind"]):
                problems.append("row %d column %s: got %r, expected %r" % (r + 1, col["name"], got, want))
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
