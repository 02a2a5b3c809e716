#!/usr/bin/python3
"""One benchmark task done with python3-dbf.

Usage: dbf_task.py read|pack TABLE.dbf

read converts every field of every record to text; pack marks every record
deleted and packs the table, which changes TABLE.dbf: give it a copy. Prints
one number (values read, records left) so that bench/run can check the work.
"""
import sys

import dbf


def read(path):
    characters = 0
    table = dbf.Table(path, codepage="cp1250")
    table.open(dbf.READ_ONLY)
    try:
        names = table.field_names
        for record in table:
            if dbf.is_deleted(record):
                continue
            for name in names:
                characters += len(str(record[name]))
    finally:
        table.close()
    return characters


def pack(path):
    table = dbf.Table(path, codepage="cp1250")
    table.open(dbf.READ_WRITE)
    try:
        for record in table:
            dbf.delete(record)
        table.pack()
        return len(table)
    finally:
        table.close()


TASKS = {"read": read, "pack": pack}

if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in TASKS:
        sys.exit(__doc__)
    print(TASKS[sys.argv[1]](sys.argv[2]))
