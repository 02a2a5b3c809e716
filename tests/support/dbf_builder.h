// The tests' fixture builder: writes a table and its memo file from a short
// description, so each test states the bytes it depends on and nothing else.
// Output is deterministic: the same description always gives the same bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace lumbra::test {

// Visual FoxPro field flags.
inline constexpr uint8_t kFlagSystem = 0x01;
inline constexpr uint8_t kFlagNullable = 0x02;
inline constexpr uint8_t kFlagBinary = 0x04;
inline constexpr uint8_t kFlagAutoIncrement = 0x0C;  // as VFP writes it: 0x08 with 0x04

struct TFieldShape {
  std::string Name;
  char Type = 'C';
  uint8_t Length = 0;
  uint8_t Decimals = 0;
  uint8_t Flags = 0;  // written only in Visual FoxPro tables
};

// One value of a row. How it is stored depends on its field's type; a kind
// that a field's type cannot hold throws std::invalid_argument.
struct TCell {
  enum class TKind : uint8_t {
    Null,      // the null bit of a nullable field; otherwise the type's blank value
    Raw,       // exactly the field's width in bytes, written as they are
    Text,      // left-aligned and padded with blanks; V and Q use the length byte
    Integer,   // N, F (right-aligned digits), I, + (dBase 7: sortable)
    Double,    // N, F (right-aligned, the field's decimals), B (8 wide), O
    Currency,  // Y: the amount in ten-thousandths
    Date,      // D
    DateTime,  // T and Harbour's @ (Julian day, milliseconds), dBase 7 @ (a double)
    Logical,   // L: T or F
    Memo,      // M, G, P, W, B (10 wide): the bytes go to the memo file
  };
  TKind Kind = TKind::Null;
  std::string Bytes;  // Raw, Text, Memo
  int64_t Int = 0;    // Integer, Currency, and the milliseconds of a DateTime
  double Dbl = 0;
  int Year = 0, Month = 0, Day = 0;
  bool Bool = false;
};

TCell Null();
TCell Raw(std::string bytes);
TCell Text(std::string bytes);
TCell Int(int64_t value);
TCell Dbl(double value);
TCell Currency(int64_t tenThousandths);
TCell Date(int year, int month, int day);
TCell DateTime(int year, int month, int day, int hour, int minute, int second, int millisecond = 0);
TCell Logical(bool value);
TCell Memo(std::string bytes);

enum class TMemoStyle : uint8_t {
  ByVersion,  // .fpt for FoxPro and Visual FoxPro, IV-style .dbt for dBase IV and 7, else III
  Fpt,
  DbtLevel3,
  DbtLevel4,
};

struct TTableShape {
  uint8_t Version = 0x30;
  uint8_t CodePageMark = 0x03;
  // Visual FoxPro tables with memo fields get the memo bit 0x02 added.
  uint8_t TableFlags = 0;
  int UpdateYear = 2024, UpdateMonth = 1, UpdateDay = 15;  // stored as the version's writers do
  std::string Backlink;        // Visual FoxPro: the owning database container
  std::string LanguageDriver;  // dBase 7 (version 0x04 or 0x8C)
  // Visual FoxPro tables with a nullable, V or Q field get _NullFlags appended.
  std::vector<TFieldShape> Fields;
  std::vector<std::vector<TCell>> Rows;
  std::set<size_t> DeletedRows;
  TMemoStyle MemoStyle = TMemoStyle::ByVersion;
  uint16_t MemoBlockSize = 0;  // 0: 64 for .fpt, 512 for .dbt
  bool EndOfFileMarker = true;
};

struct TBuiltTable {
  std::string Table;
  std::string Memo;           // empty when the table has no memo fields
  std::string MemoExtension;  // "fpt" or "dbt", or empty
};

TBuiltTable BuildTableBytes(const TTableShape& spec);
// Writes folder/name.dbf and, for a table with memo fields, its memo file
// (extensions in lower case). Returns the table's path.
std::filesystem::path WriteTable(const std::filesystem::path& folder, const std::string& name,
                                 const TTableShape& spec);

// A Visual FoxPro database container at folder/fileName holding one table,
// tableName, whose fields are fieldNames in order (their records written last
// first, their object numbers ascending). Returns its path.
std::filesystem::path WriteContainer(const std::filesystem::path& folder,
                                     const std::string& fileName, const std::string& tableName,
                                     const std::vector<std::string>& fieldNames);

// Little-endian stores into built bytes, for tests that damage a header.
void PutLe16(std::string& bytes, size_t offset, uint16_t value);
void PutLe32(std::string& bytes, size_t offset, uint32_t value);

}  // namespace lumbra::test
