#!/usr/bin/python3
"""One benchmark task done with python3-dbfread, the way its users write it.

Usage: dbfread_task.py read|filter|sort|distinct TABLE.dbf

Prints one number (values read, records kept, records sorted, distinct values)
so that bench/run can check it did the work. The tables carry no code page
mark, so the encoding is given, as a Romanian user would give it.
"""
import sys

from dbfread import DBF


def table(path):
    return DBF(path, encoding="cp1250")


def read(path):
    characters = 0
    for record in table(path):
        for value in record.values():
            characters += len(str(value))
    return characters


def matches(record):
    suma = record["SUMA"]
    return record["ORAS"].casefold() == "cluj" and suma is not None and suma > 100


def filter_(path):
    return sum(1 for record in table(path) if matches(record))


def sort(path):
    # ORAS ascending without regard to case, then SUMA descending, blanks last.
    def key(record):
        suma = record["SUMA"]
        return (record["ORAS"].casefold(), suma is None, -(suma or 0))

    return len(sorted(table(path), key=key))


def distinct(path):
    counts = {}
    for record in table(path):
        for name, value in record.items():
            column = counts.setdefault(name, {})
            text = str(value).casefold()
            column[text] = column.get(text, 0) + 1
    return sum(len(column) for column in counts.values())


TASKS = {"read": read, "filter": filter_, "sort": sort, "distinct": distinct}

if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in TASKS:
        sys.exit(__doc__)
    print(TASKS[sys.argv[1]](sys.argv[2]))
