#!/usr/bin/env python3
"""Checks lumbra-cli against the oracles of the shared corpus of real tables.

Usage: check_corpus.py LUMBRA_CLI [CORPUS_FOLDER] [--only TEXT] [--verbose]

For every *.dbf / *.DBF under the corpus folder that has NAME.oracle.json beside
it, runs `lumbra-cli columns` and `lumbra-cli dump` and compares:
  * the columns with the oracle's raw header parse, mapped to the provider's
    column types (provider/provider.cpp, DescribeColumns);
  * the number of records shown with the oracle's flag-byte scan;
  * the values of the first `cap` records with what dbfread decoded, except where
    dbfread is known to mislead. Each exception below says why, citing the format
    reference dbf/FORMAT.md by its sections ("§4"); there the expected value is
    decoded from the record's own bytes by the small decoder in this file.
Tables that the format reference says must be refused are expected to make
lumbra-cli exit with 1 and a message that names the file.

Prints one line per table, then "N passed, M failed[, K skipped]". Exits 0 when
nothing failed, 1 otherwise, and 77 (CTest's skip code) when the corpus folder
is absent. Python standard library only.
"""

import datetime
import json
import math
import os
import re
import struct
import subprocess
import sys
from decimal import Decimal

EXIT_SKIP = 77
MAX_PROBLEMS_SHOWN = 8

# Provider column types (DataTypeEnum) and attribute bits, as provider/ado_types.h has them.
AD_INTEGER, AD_DOUBLE, AD_CURRENCY, AD_BOOLEAN = 3, 5, 6, 11
AD_BINARY, AD_CHAR, AD_NUMERIC, AD_DBDATE, AD_DBTIMESTAMP = 128, 129, 131, 133, 135
AD_VARCHAR, AD_LONGVARCHAR, AD_VARBINARY, AD_LONGVARBINARY = 200, 201, 204, 205
FLD_UPDATABLE, FLD_FIXED, FLD_NULLABLE = 0x4, 0x10, 0x20 | 0x40

VFP_VERSIONS = (0x30, 0x31, 0x32)
LEVEL7_VERSIONS = (0x04, 0x8C)
FOX_MEMO_VERSIONS = (0x30, 0x31, 0x32, 0xF5, 0xFB)


# ---------------------------------------------------------------------------
# Code pages (§5)

# Header byte 29 to code page; 0x00, 0x57 and unknown marks use the default.
MARK_CODE_PAGES = {
    0x01: 437, 0x02: 850, 0x03: 1252, 0x04: 10000, 0x08: 865, 0x13: 932, 0x17: 865,
    0x1C: 863, 0x24: 860, 0x26: 866, 0x4D: 936, 0x4E: 949, 0x4F: 950, 0x50: 874,
    0x58: 1252, 0x59: 1252, 0x64: 852, 0x65: 866, 0x66: 865, 0x67: 861, 0x68: 895,
    0x69: 620, 0x6A: 737, 0x6B: 857, 0x6C: 863, 0x78: 950, 0x79: 949, 0x7A: 936,
    0x7B: 932, 0x7C: 874, 0x7D: 1255, 0x7E: 1256, 0x86: 737, 0x87: 852, 0x88: 857,
    0x96: 10007, 0x97: 10029, 0x98: 10006, 0xC8: 1250, 0xC9: 1251, 0xCA: 1254,
    0xCB: 1253, 0xCC: 1257, 0xF0: 65001,
}
for _mark in (0x09, 0x0B, 0x0D, 0x0F, 0x11, 0x15, 0x18, 0x19, 0x1B):
    MARK_CODE_PAGES[_mark] = 437
for _mark in (0x0A, 0x0E, 0x10, 0x12, 0x14, 0x16, 0x1A, 0x1D, 0x25, 0x37):
    MARK_CODE_PAGES[_mark] = 850
for _mark in (0x1F, 0x22, 0x23, 0x40):
    MARK_CODE_PAGES[_mark] = 852

PYTHON_CODECS = {
    437: "cp437", 737: "cp737", 850: "cp850", 852: "cp852", 857: "cp857", 860: "cp860",
    861: "cp861", 863: "cp863", 865: "cp865", 866: "cp866", 874: "cp874", 932: "cp932",
    936: "gbk", 949: "cp949", 950: "cp950", 1250: "cp1250", 1251: "cp1251",
    1252: "cp1252", 1253: "cp1253", 1254: "cp1254", 1255: "cp1255", 1256: "cp1256",
    1257: "cp1257", 10000: "mac_roman", 10006: "mac_greek", 10007: "mac_cyrillic",
    10029: "mac_latin2", 65001: "utf-8",
}
MULTI_BYTE = (932, 936, 949, 950, 65001)

# Python has no codec for the two Slavic DOS pages: both are 437 with national
# letters in place of some graphics characters.
MAZOVIA = dict(zip(
    [0x86, 0x8D, 0x8F, 0x90, 0x91, 0x92, 0x95, 0x98, 0x9C, 0x9E, 0xA0, 0xA1, 0xA2, 0xA3,
     0xA4, 0xA5, 0xA6, 0xA7],
    "ąćĄĘęłĆŚŁśŹŻóÓńŃźż"))
KAMENICKY = dict(zip(range(0x80, 0xB0),
                     "ČüéďäĎŤčěĚĹÍľĺÄÁÉžŽôöÓůÚýÖÜŠĽÝŘťáíóúňŇŮÔšřŕŔ¼§«»"))

# The default code page for tables without a mark follows the locale's language
# (README, "Using lumbra-cli"); these locales make lumbra-cli pick each default.
LOCALE_FOR_DEFAULT = {1250: "pl_PL.UTF-8", 1251: "ru_RU.UTF-8", 1252: "C"}


def decode_text(data, code_page):
    """Bytes of a table's text to str, as the engine should decode them."""
    if code_page in MULTI_BYTE:
        return data.decode(PYTHON_CODECS[code_page], errors="replace")
    overrides = MAZOVIA if code_page == 620 else KAMENICKY if code_page == 895 else {}
    codec = PYTHON_CODECS.get(code_page, "cp437")
    out = []
    for b in data:
        if b < 0x80:
            out.append(chr(b))
        elif b in overrides:
            out.append(overrides[b])
        else:
            try:
                out.append(bytes([b]).decode(codec))
            except UnicodeDecodeError:
                # A byte the code page leaves undefined keeps its own value.
                out.append(chr(b))
    return "".join(out)


# ---------------------------------------------------------------------------
# The table as the oracle's raw header parse describes it


class Field:
    def __init__(self, desc, vfp, clipper):
        self.name_bytes = desc["name"].encode("latin-1").rstrip(b" ")
        self.type = desc["type"]
        self.length = desc["length"]
        self.decimals = desc["decimals"]
        if clipper and "clipper_char_length" in desc:
            # §3: Clipper keeps the high byte of a wide C field's width in the
            # decimal count.
            self.length, self.decimals = desc["clipper_char_length"], 0
        # §3: field flags are read only in Visual FoxPro tables.
        self.flags = int(desc.get("flags") or "0x00", 16) if vfp else 0
        self.offset = 0
        # The name the table's database container keeps (dbf/FORMAT.md §10).
        self.long_name = None

    def shown_name(self, code_page):
        if self.long_name is not None:
            return self.long_name
        return decode_text(self.name_bytes.split(b"\x00", 1)[0], code_page)

    @property
    def binary(self):
        return bool(self.flags & 0x04)

    @property
    def hidden(self):
        return self.type == "0" or bool(self.flags & 0x01)

    @property
    def is_memo(self):
        return self.type in "MGPW" or (self.type == "B" and self.length != 8)


class Table:
    def __init__(self, path, oracle):
        self.path = path
        self.oracle = oracle
        h = oracle["header"]
        self.header = h
        self.version = int(h["version_byte"], 16)
        self.vfp = self.version in VFP_VERSIONS
        self.level7 = self.version in LEVEL7_VERSIONS and "language_driver_name" in h
        self.dbase2 = h.get("layout", "").startswith("dBase II")
        clipper = h.get("char_width_rule") == "clipper"
        self.fields = [Field(d, self.vfp, clipper) for d in h["fields"]]
        offset = 1
        for f in self.fields:
            f.offset = offset
            offset += f.length
        self.width_sum = offset
        self.header_length = h["header_length"]
        self.record_length = h["record_length"]
        self.record_count = h["record_count"]
        with open(path, "rb") as fh:
            self.data = fh.read()
        self.mark = int(h["code_page_byte"], 16) if h.get("code_page_byte") else 0
        if self.vfp:
            names = container_names(path, self.data, len(self.fields))
            shown = [f for f in self.fields if not f.hidden]
            if names is not None and len(names) == len(shown):
                for f, name in zip(shown, names):
                    f.long_name = name

    def code_page(self, default):
        if self.level7:
            # §2.2: a language driver name DBnnn... names DOS page nnn, DBWIN... 1252.
            name = self.header.get("language_driver_name") or ""
            if name.startswith("DBWIN"):
                return 1252
            m = re.match(r"DB(\d{3})", name)
            if m and int(m.group(1)) in PYTHON_CODECS:
                return int(m.group(1))
        return MARK_CODE_PAGES.get(self.mark, default)

    def has_default_code_page(self):
        return self.code_page(0) == 0

    def records_present(self):
        size = len(self.data)
        if size < self.header_length:
            return 0
        return min(self.record_count, (size - self.header_length) // self.record_length)

    def record(self, index):
        start = self.header_length + index * self.record_length
        return self.data[start:start + self.record_length]

    def visible_indexes(self):
        # §4: only 0x2A marks a deleted record; every other flag byte is live.
        return [i for i in range(self.records_present()) if self.record(i)[0] != 0x2A]


def expected_refusal(table):
    """A reason the format reference gives for refusing the table, or None."""
    if table.dbase2:
        return None
    if table.header_length < 33 or table.record_length < 1:
        return "invalid header"
    if table.header_length > len(table.data):
        return "truncated header"
    # §3: widths that do not fit the record length even by the Clipper rule.
    if table.width_sum > table.record_length:
        return "record length %d disagrees with the fields" % table.record_length
    if len(table.data) >= 16 and table.data[15] == 0x01 and (
            table.version in (0x03, 0x8B, 0xCB) or table.version in LEVEL7_VERSIONS):
        return "encrypted"
    return None


# ---------------------------------------------------------------------------
# Memo files (§6)


def container_names(path, data, field_count):
    """The field names of the database container the backlink of the Visual
    FoxPro table at path (bytes data) names, read here from the container's own
    bytes as dbf/FORMAT.md §10 says; None when they do not apply."""
    end = 32 + 32 * field_count
    if len(data) < end + 1 + 263 or data[end] != 0x0D:
        return None
    backlink = data[end + 1:end + 1 + 263].split(b"\x00", 1)[0].decode("latin-1")
    wanted = backlink.replace("\\", "/").rsplit("/", 1)[-1].lower()
    folder = os.path.dirname(path) or "."
    found = [n for n in sorted(os.listdir(folder)) if wanted and n.lower() == wanted]
    if not found:
        return None
    with open(os.path.join(folder, found[0]), "rb") as fh:
        dbc = fh.read()
    count = struct.unpack_from("<I", dbc, 4)[0]
    header_length, record_length = struct.unpack_from("<HH", dbc, 8)
    columns, offset, pos = {}, 1, 32
    while pos < header_length and dbc[pos] != 0x0D:
        name = dbc[pos:pos + 11].split(b"\x00", 1)[0].decode("latin-1").upper()
        columns[name] = (chr(dbc[pos + 11]), offset, dbc[pos + 16])
        offset += dbc[pos + 16]
        pos += 32
    if any(c not in columns for c in ("OBJECTID", "PARENTID", "OBJECTTYPE", "OBJECTNAME")):
        return None

    def value(record, name):
        kind, at, length = columns[name]
        raw = record[at:at + length]
        if kind == "I":
            return struct.unpack("<i", raw)[0]
        return raw.decode("cp1252", "replace").rstrip(" ")

    table_name = os.path.splitext(os.path.basename(path))[0].lower()
    tables, fields = [], []
    for i in range(count):
        record = dbc[header_length + i * record_length:header_length + (i + 1) * record_length]
        if len(record) < record_length:
            break
        if record[0:1] == b"*":
            continue
        kind = value(record, "OBJECTTYPE").lower()
        if kind == "table" and value(record, "OBJECTNAME").lower() in (
                table_name, table_name.replace(" ", "_")):
            tables.append(value(record, "OBJECTID"))
        elif kind == "field":
            fields.append((value(record, "OBJECTID"), value(record, "PARENTID"),
                           value(record, "OBJECTNAME")))
    if len(tables) != 1:
        return None
    return [name for _, parent, name in sorted(fields) if parent == tables[0]]


def find_sibling(path, extension):
    folder = os.path.dirname(path) or "."
    base = os.path.splitext(os.path.basename(path))[0]
    wanted = (base + extension).lower()
    exact = os.path.join(folder, base + extension)
    if os.path.exists(exact):
        return exact
    for name in sorted(os.listdir(folder)):
        if name.lower() == wanted:
            return os.path.join(folder, name)
    return None


class Memo:
    """Reads memo blocks the way §6 describes them."""

    def __init__(self, table):
        fox = table.version in FOX_MEMO_VERSIONS
        self.data = None
        for extension in ((".fpt", ".dbt") if fox else (".dbt", ".fpt")):
            found = find_sibling(table.path, extension)
            if found:
                with open(found, "rb") as fh:
                    self.data = fh.read()
                self.fpt = extension == ".fpt"
                break
        self.level4 = bool(table.version & 0x08)
        if self.data is None:
            return
        if self.fpt:
            self.block_size = struct.unpack(">H", self.data[6:8])[0] if len(self.data) >= 8 else 0
            self.first = -(-512 // self.block_size) if self.block_size else 1
        else:
            self.block_size = 512
            declared = struct.unpack("<H", self.data[20:22])[0] if len(self.data) >= 22 else 0
            if self.level4 and declared:
                self.block_size = declared
            self.first = 1

    @property
    def missing(self):
        return self.data is None

    def level4_length(self, block):
        """The memo length of a dBase IV block (§6) at block, else None."""
        if self.data is None or self.fpt or not block:
            return None
        head = self.data[block * self.block_size:block * self.block_size + 8]
        if len(head) < 8 or head[:4] != b"\xff\xff\x08\x00":
            return None
        return max(struct.unpack("<I", head[4:])[0] - 8, 0)

    def read(self, block):
        """The memo's bytes, b"" for no memo, None for a bad pointer."""
        if self.data is None:
            return None
        if block == 0:
            return b""
        if not self.block_size or block < self.first:
            return None
        size = len(self.data)
        offset = block * self.block_size
        if offset >= size:
            return None
        head = self.data[offset:offset + 8]
        if self.fpt:
            if len(head) < 8:
                return None
            kind, length = struct.unpack(">II", head)
            if kind > 2 or offset + 8 + length > size:
                return None
            return self.data[offset + 8:offset + 8 + length]
        if head[:4] == b"\xff\xff\x08\x00" and len(head) == 8:
            # §6: the stored length counts the 8-byte block header.
            length = max(struct.unpack("<I", head[4:8])[0] - 8, 0)
            if offset + 8 + length > size:
                return None
            return self.data[offset + 8:offset + 8 + length]
        end = self.data.find(b"\x1a", offset)
        return self.data[offset:end if end >= 0 else size]


def memo_pointer(raw):
    """§4: 4 bytes LE, or ASCII digits; anything else is no memo (0)."""
    if len(raw) == 4:
        return struct.unpack("<I", raw)[0]
    text = raw.replace(b"\x00", b" ").strip(b" ")
    return int(text) if text.isdigit() else 0


# ---------------------------------------------------------------------------
# Values decoded from the record bytes, by the format reference (§4)

def date_text(d):
    return "%04d-%02d-%02d" % (d.year, d.month, d.day)


def datetime_text(d):
    return date_text(d) + " %02d:%02d:%02d" % (d.hour, d.minute, d.second)


def round_to_second(d):
    return (d + datetime.timedelta(microseconds=500000)).replace(microsecond=0)


def parse_ascii_number(raw):
    """§4."""
    text = raw.split(b"\x00", 1)[0].strip(b" ").decode("latin-1")
    if not text or "*" in text:
        return None
    if "," in text and "." not in text:
        text = text.replace(",", ".")
    if not re.fullmatch(r"[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?", text):
        return None
    return Decimal(text)


def parse_date(raw):
    """§4."""
    text = raw.decode("latin-1")
    if not re.fullmatch(r"\d{8}", text):
        return None
    try:
        return date_text(datetime.date(int(text[:4]), int(text[4:6]), int(text[6:8])))
    except ValueError:
        return None


def julian_datetime(raw):
    """§4 T: Julian day number and milliseconds, rounded to the second."""
    day, ms = struct.unpack("<ii", raw)
    if (day == 0 and ms == 0) or raw == b" " * 8 or not 0 <= ms < 86400000:
        return None
    try:
        d = datetime.datetime(1970, 1, 1) + datetime.timedelta(days=day - 2440588,
                                                               milliseconds=ms)
    except OverflowError:
        return None
    return datetime_text(round_to_second(d))


def level7_timestamp(raw):
    """§4 @: big-endian double of milliseconds from one day before 0001-01-01."""
    ms = struct.unpack(">d", raw)[0]
    if raw == b"\x00" * 8 or not math.isfinite(ms) or ms < 0:
        return None
    d = datetime.datetime(1, 1, 1) + datetime.timedelta(milliseconds=round(ms / 1000) * 1000
                                                        - 86400000)
    return datetime_text(d)


def level7_double(raw):
    """§4 O: positive values with the sign bit flipped, negative ones inverted (a
    real dBase 7 file, javadbf/bug-102, confirms the inversion: 3f14a7caa2b39b77 is
    its -56001.67 V beside the text "-56.002 kV"). All zero bytes would be a NaN:
    that file leaves never-written fields so, and they are blank."""
    if raw == b"\x00" * 8:
        return None
    bits = struct.unpack(">Q", raw)[0]
    bits = bits ^ (1 << 63) if bits & (1 << 63) else ~bits & ((1 << 64) - 1)
    return struct.unpack(">d", struct.pack(">Q", bits))[0]


def raw_field(field, record):
    return record[field.offset:field.offset + field.length]


def decode_raw(table, memo, field, record, code_page, varlength=None):
    """The value of field in record (its bytes), in lumbra-cli's JSON form."""
    raw = raw_field(field, record)
    t = field.type
    if t == "C":
        if field.binary:
            return raw.hex()
        return decode_text(raw.split(b"\x00", 1)[0], code_page)
    if t in "VQ":
        if varlength is not None:
            raw = raw[:varlength]
        return decode_text(raw, code_page) if t == "V" and not field.binary else raw.hex()
    if t in "NF":
        return parse_ascii_number(raw)
    if t == "D":
        return parse_date(raw)
    if t == "L":
        return {"T": True, "t": True, "Y": True, "y": True,
                "F": False, "f": False, "N": False, "n": False}.get(chr(raw[0]))
    if t in "I+" and field.length == 4:
        if table.level7:
            # §4: big-endian with the sign bit inverted.
            return struct.unpack(">i", bytes([raw[0] ^ 0x80]) + raw[1:])[0]
        return struct.unpack("<i", raw)[0]
    if t == "B" and field.length == 8:
        return struct.unpack("<d", raw)[0]
    if t == "O" and field.length == 8:
        return level7_double(raw)
    if t == "Y" and field.length == 8:
        return Decimal(struct.unpack("<q", raw)[0]) / 10000
    if t == "T" and field.length == 8:
        return julian_datetime(raw)
    if t == "@" and field.length == 8:
        return level7_timestamp(raw) if table.level7 else julian_datetime(raw)
    if field.is_memo:
        value = memo.read(memo_pointer(raw))
        if value is None:
            return None
        if t == "M" and not field.binary:
            return decode_text(value, code_page)
        return value.hex()
    return raw.hex()


# ---------------------------------------------------------------------------
# Columns


def expected_column(table, field, code_page):
    t, length = field.type, field.length
    size = precision = scale = None  # None: not checked (the column description leaves them open)
    fixed = True
    if t == "C":
        kind, size, precision, scale = (AD_BINARY if field.binary else AD_CHAR), length, 0, 0
    elif t in "VQ":
        kind = AD_VARBINARY if t == "Q" or field.binary else AD_VARCHAR
        size, precision, scale, fixed = length, 0, 0, False
    elif t in "NF":
        kind, size, precision, scale = AD_NUMERIC, length, length, field.decimals
    elif t in "I+" and length == 4:
        kind, size, precision, scale = AD_INTEGER, 4, 10, 0
    elif (t == "B" and length == 8) or t == "O":
        kind, size, precision, scale = AD_DOUBLE, 8, 15, 0
    elif t == "Y":
        kind, size, precision, scale = AD_CURRENCY, 8, 19, 4
    elif t == "D":
        kind = AD_DBDATE
    elif t in "T@":
        kind = AD_DBTIMESTAMP
    elif t == "L":
        kind = AD_BOOLEAN
    elif field.is_memo:
        kind = AD_LONGVARCHAR if t == "M" and not field.binary else AD_LONGVARBINARY
        size, precision, scale, fixed = 0, 0, 0, False
    else:
        # A type the provider does not know: its bytes, as a fixed binary column.
        kind, size = AD_BINARY, length
    auto = kind == AD_INTEGER and (t == "+" or bool(field.flags & 0x08))
    attributes = (FLD_FIXED if fixed else 0) | (0 if auto else FLD_UPDATABLE)
    if field.flags & 0x02:
        attributes |= FLD_NULLABLE
    name = field.shown_name(code_page)
    return [name, kind, size, precision, scale, attributes, int(auto)]


def check_columns(table, lines, code_page, problems):
    visible = [f for f in table.fields if not f.hidden]
    if len(lines) != len(visible):
        problems.append("columns: %d shown, %d expected" % (len(lines), len(visible)))
        return
    for line, field in zip(lines, visible):
        parts = line.split("\t")
        if len(parts) != 7:
            problems.append("columns: malformed line %r" % line)
            continue
        got = [parts[0]] + [int(p, 0) for p in parts[1:]]
        want = expected_column(table, field, code_page)
        for label, g, w in zip(("name", "type", "size", "precision", "scale", "attributes",
                                "autoincrement"), got, want):
            if w is not None and g != w:
                problems.append("column %s: %s %r, expected %r" % (want[0], label, g, w))


# ---------------------------------------------------------------------------
# Values as dbfread gave them, brought into lumbra-cli's form


def oracle_text_bytes(value, encoding, tolerant):
    """The bytes dbfread decoded into value; its tolerant mode writes bytes it could
    not decode as \\xNN escapes."""
    if not tolerant:
        return value.encode(encoding)
    out = bytearray()
    for part in re.split(r"(\\x[0-9a-f]{2})", value):
        if re.fullmatch(r"\\x[0-9a-f]{2}", part):
            out.append(int(part[2:], 16))
        else:
            out += part.encode(encoding)
    return bytes(out)


def same_number(got, want):
    if got is None or want is None:
        return got is None and want is None
    if isinstance(got, bool) or not isinstance(got, (int, Decimal)):
        return False
    if isinstance(want, float):
        return float(got) == want or (math.isnan(want) and math.isnan(float(got)))
    return Decimal(got) == Decimal(want)


def compare(table, field, got, want):
    """True when lumbra-cli's JSON value got matches the expected value want."""
    t = field.type
    if want is None or got is None:
        return want is None and got is None
    if isinstance(want, float) and not math.isfinite(want):
        return got == str(want).replace("nan", "NaN").replace("inf", "Infinity")
    if t in "NFIB+OY" and not field.is_memo and not isinstance(want, str):
        return same_number(got, want)
    return got == want


def check_record_values(table, memo, code_page, got_rows, problems):
    """Compares the first records' values; returns how many came from each source."""
    counts = {}
    oracle = table.oracle
    reader = oracle["dbfread"]
    ours = table.visible_indexes()
    cap = oracle.get("cap", 200)
    vfp_rows = {r["physical_index"]: r for r in oracle.get("vfp", {}).get("rows", [])}

    # dbfread walks the file to its end whatever the header's count says (§2:
    # show the n records there are), stops at a 0x1A flag and shows only records flagged ' '
    # (§4: every flag but '*' is live). Its records are placed by that walk, and
    # those that are not ours are left out.
    records = reader.get("records") if reader.get("ok") else None
    reader_rows = {}
    if records is not None:
        walked = dbfread_walk(table)
        if len(walked) == reader.get("non_deleted_count"):
            reader_rows = {p: r for p, r in zip(walked, records) if p in ours}
        else:
            problems.append("dbfread's record count %s does not match its walk (%d)"
                            % (reader.get("non_deleted_count"), len(walked)))
    # dbfread's field list must lay the record out as the header does; where it
    # applied the Clipper rule to fields that fit plainly (§3), its values are
    # misaligned.
    aligned = records is not None and [f["length"] for f in reader["fields"]] == [
        f.length for f in table.fields]
    encoding = reader.get("encoding") or "latin-1"
    tolerant = reader.get("mode") == "tolerant"

    # The oracle's own raw reads, where it has them, must see the bytes this
    # checker decodes.
    raw_rows = {r["_index"]: r for r in oracle.get("raw_records_hex", [])}

    shown = [f for f in table.fields if not f.hidden]
    names = unique_names([f.shown_name(code_page) for f in shown])
    column_of = {id(f): i for i, f in enumerate(table.fields)}
    for row, physical in enumerate(ours[:cap]):
        if row >= len(got_rows):
            break
        record = table.record(physical)
        got_row = got_rows[row]
        vfp = vfp_rows.get(physical, {})
        oracle_row = reader_rows.get(physical) if aligned else None
        if len(got_row) != len(shown):
            problems.append("record %d: %d values for %d columns" % (
                physical, len(got_row), len(shown)))
            continue
        for field, name, (got_name, got) in zip(shown, names, got_row):
            if got_name != name:
                problems.append("record %d: value named %s where %s belongs" % (
                    physical, got_name, name))
            oracle_hex = raw_rows.get(physical, {}).get(field_name(field))
            if oracle_hex is not None and oracle_hex != raw_field(field, record).hex():
                problems.append("record %d %s: the oracle's raw bytes differ from the file's" % (
                    physical, name))
            want_raw = decode_raw(table, memo, field, record, code_page,
                                  vfp.get("varlength", {}).get(field_name(field)))
            want, source = want_raw, "bytes"
            cell = oracle_row[column_of[id(field)]] if oracle_row is not None else None
            if field_name(field) in vfp.get("null_fields", []):
                # dbfread ignores _NullFlags; the oracle's vfp.rows holds the NULLs.
                want, source = None, "vfp.rows"
            elif oracle_row is not None and not is_reader_limit(table, field, cell):
                want, source = from_reader(table, memo, field, record, cell, code_page,
                                           encoding, tolerant, want_raw), "dbfread"
            counts[source] = counts.get(source, 0) + 1
            if not compare(table, field, got, want):
                problems.append("record %d %s: got %s, %s says %s" % (
                    physical, name, short(got), source, short(want)))
            elif not number_form_ok(field, got, raw_field(field, record)):
                problems.append("record %d %s: %s is not in the form the dump promises" % (
                    physical, name, short(got)))
    return counts


def number_form_ok(field, got, raw):
    """N and F keep the file's digits, doubles are in shortest round-trip form and
    currency has at most four decimals."""
    if not isinstance(got, (int, Decimal)) or isinstance(got, bool):
        return True
    got = Decimal(got)
    if field.type in "NF":
        text = raw.split(b"\x00", 1)[0].strip(b" ")
        if re.fullmatch(rb"[+-]?\d*\.?\d*", text):
            digits = text.split(b".")[1] if b"." in text else b""
            return -got.as_tuple().exponent == len(digits)
    elif field.type in "BO" and not field.is_memo:
        return Decimal(repr(float(got))) == got
    elif field.type == "Y":
        return -got.as_tuple().exponent <= 4
    return True


def dbfread_walk(table):
    """Physical indexes of the records dbfread lists."""
    found = []
    position = table.header_length
    while position < len(table.data):
        flag = table.data[position]
        if flag == 0x1A:
            break
        if flag == 0x20:
            found.append((position - table.header_length) // table.record_length)
        position += table.record_length
    return found


def unique_names(names):
    """The names the dump writes values under: a name met before (ignoring
    letter case), or no name at all, gets a counter, as the fields' names do."""
    taken, unique = set(), []
    for name in names:
        candidate, counter = name, 0
        while not candidate or candidate.casefold() in taken:
            counter += 1
            candidate = "%s_%d" % (name, counter) if name else "COLUMN%d" % counter
        taken.add(candidate.casefold())
        unique.append(candidate)
    return unique


def field_name(field):
    return field.name_bytes.split(b"\x00", 1)[0].decode("latin-1")


def is_reader_limit(table, field, cell):
    """Cells where dbfread is known to be wrong; the record bytes decide there."""
    if isinstance(cell, dict) and ("invalid" in cell or "unsupported_type" in cell):
        return True  # values it could not decode, types it does not know (W, Q, 7)
    if field.type in "VQ":
        return True  # §4: it ignores the varlength bit and keeps the length byte
    if field.type == "C" and field.binary:
        return True  # §3: NOCPTRANS text is raw bytes, which it decodes as text
    if field.type == "O" and not table.level7:
        return True  # it reads O as a little-endian double; §4 has it big-endian
    return False


def from_reader(table, memo, field, record, cell, code_page, encoding, tolerant, want_raw):
    """dbfread's cell in lumbra-cli's form."""
    t = field.type
    if t == "C":
        # dbfread strips trailing blanks and NULs: compare the text it saw, and
        # take the trailing blanks (§4: kept) from the record.
        text = decode_text(oracle_text_bytes(cell, encoding, tolerant), code_page)
        text = text.split("\x00", 1)[0]
        if isinstance(want_raw, str) and want_raw.rstrip(" ") == text.rstrip(" "):
            return want_raw
        return text
    if t == "D":
        return cell
    if t in "T@" and cell is not None:
        return datetime_text(round_to_second(datetime.datetime.fromisoformat(cell)))
    if t == "Y":
        return Decimal(cell)
    if field.is_memo:
        if cell is None:
            # dbfread returns None for an empty memo and for a missing memo file;
            # lumbra shows "" for the first (§4) and Null for the second.
            return want_raw if want_raw in ("", None) else "<dbfread: empty>"
        if isinstance(cell, dict):
            return cell["hex"]
        data = oracle_text_bytes(cell, encoding, tolerant)
        length = memo.level4_length(memo_pointer(raw_field(field, record)))
        if length is not None and len(data) >= length:
            # §6: the stored length of a dBase IV block counts its 8-byte header.
            # dbfread reads that many bytes after the header, 8 past the memo, and
            # cuts them at a 0x1F; the bytes past the length are garbage.
            data = data[:length]
        if t == "M" and not field.binary:
            return decode_text(data, code_page)
        return data.hex()
    return cell


def short(value):
    text = str(value) if isinstance(value, Decimal) else json.dumps(value, ensure_ascii=False)
    return text if len(text) <= 80 else text[:77] + "..."


# ---------------------------------------------------------------------------
# Running lumbra-cli


def run_cli(cli, command, path, locale):
    env = dict(os.environ)
    for variable in ("LC_ALL", "LC_CTYPE", "LANG"):
        env.pop(variable, None)
    env["LC_ALL"] = locale
    return subprocess.run([cli, command, path], capture_output=True, env=env, timeout=300)


def default_code_page(table):
    """The default the table is read with: dbfread's hinted encoding where the
    source project names one and a locale gives it, else 1252."""
    reader = table.oracle["dbfread"]
    if table.has_default_code_page() and str(reader.get("encoding_source", "")).startswith(
            "hint"):
        hinted = {"cp1250": 1250, "cp1251": 1251}.get(reader.get("encoding"))
        if hinted:
            return hinted
    return 1252


def check_table(cli, path, oracle_path):
    with open(oracle_path, encoding="utf-8") as fh:
        oracle = json.load(fh)
    table = Table(path, oracle)
    default = default_code_page(table)
    locale = LOCALE_FOR_DEFAULT[default]
    code_page = table.code_page(default)
    refusal = expected_refusal(table)
    problems = []

    columns = run_cli(cli, "columns", path, locale)
    if refusal is not None:
        for command in ("columns", "dump"):
            result = columns if command == "columns" else run_cli(cli, command, path, locale)
            message = result.stderr.decode("utf-8", "replace").strip()
            if result.returncode != 1 or result.stdout:
                problems.append("%s: expected a refusal (%s), got exit code %d" % (
                    command, refusal, result.returncode))
            elif "Table '%s'" % path not in message:
                problems.append("%s: the refusal does not name the file: %s" % (
                    command, message))
        return problems, "refused as expected (%s): %s" % (refusal, message)
    if columns.returncode != 0:
        problems.append("columns failed (%d): %s" % (
            columns.returncode, columns.stderr.decode("utf-8", "replace").strip()))
        return problems, None
    check_columns(table, columns.stdout.decode("utf-8").splitlines(), code_page, problems)

    dump = run_cli(cli, "dump", path, locale)
    if dump.returncode != 0:
        problems.append("dump failed (%d): %s" % (
            dump.returncode, dump.stderr.decode("utf-8", "replace").strip()))
        return problems, None
    # Pairs, not dicts: a table may repeat a field name (§3).
    rows = [json.loads(line, parse_float=Decimal, object_pairs_hook=list)
            for line in dump.stdout.decode("utf-8").splitlines()]
    expected_count = oracle["layout"]["not_deleted_by_star_rule"]
    if len(rows) != expected_count or len(rows) != len(table.visible_indexes()):
        problems.append("%d records shown, the oracle counts %d not flagged '*'" % (
            len(rows), expected_count))

    memo = Memo(table)
    if memo.missing and any(f.is_memo for f in table.fields):
        if b"memo file" not in dump.stderr:
            problems.append("no warning about the missing memo file")
    counts = check_record_values(table, memo, code_page, rows, problems)
    return problems, "%d records, values from %s" % (len(rows), ", ".join(
        "%s %d" % item for item in sorted(counts.items())) or "none")


def find_tables(corpus):
    for folder, dirs, files in os.walk(corpus):
        dirs.sort()
        for name in sorted(files):
            if os.path.splitext(name)[1] in (".dbf", ".DBF"):
                yield os.path.join(folder, name)


def main(argv):
    args = [a for a in argv[1:] if not a.startswith("--")]
    only = None
    if "--only" in argv:
        only = argv[argv.index("--only") + 1]
        args.remove(only)
    verbose = "--verbose" in argv
    if not args:
        print(__doc__)
        return 2
    cli = os.path.abspath(args[0])
    here = os.path.dirname(os.path.abspath(__file__))
    corpus = args[1] if len(args) > 1 else os.path.join(here, "..", "..", "..", "shared",
                                                        "corpus")
    if not os.path.isdir(corpus):
        print("corpus folder %s is absent: nothing to check" % corpus)
        return EXIT_SKIP
    passed = failed = skipped = 0
    for path in find_tables(corpus):
        relative = os.path.relpath(path, corpus)
        if only and only not in relative:
            continue
        oracle_path = os.path.splitext(path)[0] + ".oracle.json"
        if not os.path.exists(oracle_path):
            print("skip     %s: no oracle" % relative)
            skipped += 1
            continue
        try:
            problems, note = check_table(cli, path, oracle_path)
        except (subprocess.TimeoutExpired, OSError, ValueError) as e:
            problems, note = ["checker error: %s: %s" % (type(e).__name__, e)], None
        if problems:
            failed += 1
            print("MISMATCH %s: %d problem(s)" % (relative, len(problems)))
            for p in problems[:None if verbose else MAX_PROBLEMS_SHOWN]:
                print("    " + p)
            if len(problems) > MAX_PROBLEMS_SHOWN and not verbose:
                print("    ... and %d more" % (len(problems) - MAX_PROBLEMS_SHOWN))
        else:
            passed += 1
            print("ok       %s%s" % (relative, "" if note is None else ": " + note))
    summary = "%d passed, %d failed" % (passed, failed)
    if skipped:
        summary += ", %d skipped" % skipped
    print(summary)
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
