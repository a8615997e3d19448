#!/usr/bin/env python3
"""Reads an exported file back with readers independent of the program
(openpyxl for .xlsx, the csv module for .csv) and prints what they see as
JSON, for the export tests to compare with the table."""
import csv
import datetime
import json
import sys

EPOCH = datetime.datetime(1970, 1, 1)


def workbook_cell(cell):
    value = cell.value
    if value is None:
        return None
    if isinstance(value, datetime.datetime):
        ms = round((value - EPOCH).total_seconds() * 1000)
        return {"type": "datetime", "ms": ms, "format": cell.number_format}
    if isinstance(value, (int, float)):
        return {"type": "number", "value": value, "format": cell.number_format}
    return {"type": "text", "value": str(value)}


def colour_of(series):
    try:
        colour = series.graphicalProperties.line.solidFill.srgbClr
    except AttributeError:
        return None
    return getattr(colour, "val", colour)


def read_workbook(path):
    import openpyxl
    book = openpyxl.load_workbook(path)
    sheets = []
    for sheet in book.worksheets:
        rows = [[workbook_cell(cell) for cell in row] for row in sheet.iter_rows()]
        sheets.append({"name": sheet.title, "freeze": sheet.freeze_panes, "rows": rows})
    charts = []
    for holder in list(book.chartsheets) + list(book.worksheets):
        for chart in holder._charts:
            charts.append({
                "sheet": holder.title,
                "type": chart.tagname,
                "series": [{"colour": colour_of(s), "values": s.val.numRef.f} for s in chart.series],
            })
    return {"sheets": sheets, "charts": charts}


def read_csv(path):
    with open(path, newline="", encoding="utf-8-sig") as file:
        rows = list(csv.reader(file, strict=True))
    stamps = []
    for row in rows[1:]:
        try:
            moment = datetime.datetime.fromisoformat(row[1])
            stamps.append({"utcMs": round(moment.timestamp() * 1000),
                           "offsetSeconds": int(moment.utcoffset().total_seconds())})
        except ValueError:
            stamps.append(None)
    return {"rows": rows, "stamps": stamps}


if __name__ == "__main__":
    kind, path = sys.argv[1], sys.argv[2]
    json.dump(read_workbook(path) if kind == "xlsx" else read_csv(path), sys.stdout, ensure_ascii=False)
