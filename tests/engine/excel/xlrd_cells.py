#!/usr/bin/python3
"""Prints what xlrd reads in a workbook, in a neutral text form the reader's tests compare
with their own reading:

    S <tab> sheet name
    C <tab> row <tab> column <tab> value

for every worksheet (after a line "F <tab> file name" for each file named on the command line) and every cell that is not blank (cells covered by a merged range, other
than its top-left one, are left out). Values: T:text (\\ \t \n \r escaped), N:number
(integers without decimals, other numbers as Python's shortest repr), D:yyyy-mm-ddTHH:MM:SS
with .mmm when there are milliseconds (times of day alone on 1899-12-30), B:0 or B:1,
E for an error.
"""
import datetime
import os
import sys

import xlrd


def number_text(value):
    if value == int(value) and abs(value) < 1e16:
        return str(int(value))
    return repr(value)


def date_text(value, datemode):
    if 0 <= value < 1:
        moment = datetime.datetime(1899, 12, 30) + datetime.timedelta(days=value)
    else:
        moment = xlrd.xldate.xldate_as_datetime(value, datemode)
    millis = round(moment.microsecond / 1000)
    moment = moment.replace(microsecond=0) + datetime.timedelta(milliseconds=millis)
    text = moment.strftime("%Y-%m-%dT%H:%M:%S")
    if moment.microsecond:
        text += ".%03d" % (moment.microsecond // 1000)
    return text


def escape(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")


def dump(path, out):
    with open(os.devnull, "w") as quiet:
        try:
            book = xlrd.open_workbook(path, formatting_info=True, logfile=quiet)
        except Exception:
            book = xlrd.open_workbook(path, logfile=quiet)
    out.append("F\t" + os.path.basename(path))
    for sheet in book.sheets():
        out.append("S\t" + escape(sheet.name))
        covered = set()
        for first_row, last_row, first_col, last_col in sheet.merged_cells:
            for r in range(first_row, last_row):
                for c in range(first_col, last_col):
                    if (r, c) != (first_row, first_col):
                        covered.add((r, c))
        for r in range(sheet.nrows):
            for c in range(sheet.row_len(r)):
                if (r, c) in covered:
                    continue
                cell = sheet.cell(r, c)
                if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                    continue
                if cell.ctype == xlrd.XL_CELL_TEXT:
                    value = "T:" + escape(cell.value)
                elif cell.ctype == xlrd.XL_CELL_NUMBER:
                    value = "N:" + number_text(cell.value)
                elif cell.ctype == xlrd.XL_CELL_DATE:
                    value = "D:" + date_text(cell.value, book.datemode)
                elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                    value = "B:%d" % cell.value
                else:
                    value = "E"
                out.append("C\t%d\t%d\t%s" % (r, c, value))


if __name__ == "__main__":
    lines = []
    for name in sys.argv[1:]:
        dump(name, lines)
    sys.stdout.buffer.write(("\n".join(lines) + "\n").encode("utf-8"))
