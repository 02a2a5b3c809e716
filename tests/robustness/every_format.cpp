#include "tests/robustness/every_format.h"

#include <cstdint>
#include <string>

namespace lumbra::test {

TTableShape QueryTable() {
  TTableShape spec;
  spec.Version = 0x30;
  spec.CodePageMark = 0xC8;
  spec.Fields = {{"ID", 'I', 4},
                 {"NUME", 'C', 12},
                 {"SUMA", 'N', 10, 2},
                 {"ZI", 'D', 8},
                 {"MOMENT", 'T', 8},
                 {"ACTIV", 'L', 1},
                 {"NOTA", 'V', 8, 0, kFlagNullable},
                 {"BANI", 'Y', 8},
                 {"REAL", 'B', 8},
                 {"OBS", 'M', 4},
                 {"CU BLANC", 'C', 3, 0, kFlagNullable}};
  spec.Rows = {
      {Int(1), Text("Ana"), Dbl(12.5), Date(2024, 1, 2), DateTime(2024, 1, 2, 3, 4, 5),
       Logical(true), Text("x"), Currency(125000), Dbl(1.5), Memo("unu"), Text("a")},
      {Int(2), Text("ana "), Dbl(-3), Date(1999, 12, 31), DateTime(1899, 12, 30, 0, 0, 0),
       Logical(false), Null(), Currency(-1), Dbl(-0.25), Memo(""), Null()},
      {Int(3), Text("B\xE3ile"), Null(), Null(), Null(), Null(), Text(""), Currency(0), Dbl(1e300),
       Memo("doi"), Text("b c")},
      {Int(-4), Text("%_'[]"), Dbl(99999.99), Date(1, 1, 1), DateTime(9999, 12, 31, 23, 59, 59),
       Logical(true), Text("12345678"), Currency(INT64_MAX), Dbl(-1e-300), Memo("trei"),
       Text("zzz")},
      {Int(5), Text("deleted"), Dbl(0), Date(2000, 2, 29), DateTime(2000, 2, 29, 12, 0, 0),
       Logical(false), Text("y"), Currency(1), Dbl(0), Memo("patru"), Text("d")},
  };
  spec.DeletedRows = {4};
  return spec;
}

std::vector<TTableShape> EveryFormatTables() {
  std::vector<TTableShape> specs;
  specs.push_back(QueryTable());

  TTableShape dBase3;
  dBase3.Version = 0x83;
  dBase3.CodePageMark = 0x00;
  dBase3.Fields = {{"NAME", 'C', 10}, {"QTY", 'N', 5}, {"PRICE", 'F', 8, 3},
                   {"DAY", 'D', 8},   {"OK", 'L', 1},  {"NOTE", 'M', 10}};
  dBase3.Rows = {
      {Text("first"), Int(12), Dbl(1.25), Date(2020, 5, 6), Logical(true), Memo("a memo")},
      {Text(""), Null(), Null(), Null(), Null(), Memo("")},
      {Raw(std::string("\xFF\x00garbage!", 10)), Raw("  1e5"), Raw("abc.def "), Raw("2020-13-"),
       Raw("?"), Memo("second memo\r\nwith two lines")}};
  dBase3.DeletedRows = {1};
  specs.push_back(dBase3);

  TTableShape dBase4 = dBase3;
  dBase4.Version = 0x8B;
  specs.push_back(dBase4);

  TTableShape dBase7;
  dBase7.Version = 0x04;
  dBase7.LanguageDriver = "DBWINUS0";
  dBase7.Fields = {{"N", 'I', 4},     {"AUTO", '+', 4}, {"DBL", 'O', 8},
                   {"STAMP", '@', 8}, {"TXT", 'C', 5},  {"BLOB", 'B', 10}};
  dBase7.Rows = {
      {Int(7), Int(1), Dbl(2.5), DateTime(2021, 7, 8, 9, 10, 11), Text("abc"), Memo("\x01\x02")},
      {Int(-7), Int(2), Dbl(-1e10), DateTime(1970, 1, 1, 0, 0, 0), Text(""), Memo("")}};
  specs.push_back(dBase7);

  TTableShape foxPro;
  foxPro.Version = 0xF5;
  foxPro.Fields = {{"NAME", 'C', 8}, {"AMOUNT", 'N', 9, 2}, {"PIC", 'G', 10}, {"TEXT", 'M', 10}};
  foxPro.Rows = {{Text("x"), Dbl(3.14), Memo("GIF89a"), Memo("fox")},
                 {Text("y"), Dbl(-2), Memo(""), Memo(std::string(300, 'm'))}};
  foxPro.MemoBlockSize = 32;
  specs.push_back(foxPro);

  TTableShape visual;
  visual.Version = 0x32;
  visual.Backlink = "data.dbc";
  visual.Fields = {{"ID", 'I', 4, 0, kFlagAutoIncrement},
                   {"VAR", 'V', 10, 0, kFlagNullable},
                   {"BIN", 'Q', 6},
                   {"WHEN", 'T', 8, 0, kFlagNullable},
                   {"MONEY", 'Y', 8},
                   {"DBL", 'B', 8, 4},
                   {"MEMO", 'M', 4, 0, kFlagNullable},
                   {"BLOB", 'W', 4},
                   {"FLAGS", 'C', 4, 0, kFlagBinary}};
  visual.Rows = {
      {Int(1), Text("short"), Text(std::string("\x00\x01", 2)), DateTime(2024, 2, 3, 4, 5, 6, 789),
       Currency(12345678), Dbl(2.5), Memo("vfp memo"), Memo("\xDE\xAD"), Text("ab")},
      {Int(2), Null(), Text(""), Null(), Currency(0), Dbl(0), Null(), Memo(""),
       Raw(std::string("\x00\xFF\x00\xFF", 4))}};
  specs.push_back(visual);
  return specs;
}

}  // namespace lumbra::test
