#!/usr/bin/python3
# Reads every cell of every sheet of a workbook with xlrd (python3-xlrd), the reference the
# workbook reader's speed is compared with: bench/read_workbook_xlrd.py FILE
import sys

import xlrd

book = xlrd.open_workbook(sys.argv[1])
present = 0
for sheet in book.sheets():
    for r in range(sheet.nrows):
        for value in sheet.row_values(r):
            present += value != ''
print(present)
