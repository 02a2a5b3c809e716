// Decoding of a table's header and field descriptors (dbf/FORMAT.md sections
// 2 and 3). Pure: bytes in, a description out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumbra {

enum class TDbfFormat : uint8_t {
  dBase2,        // 0x02 with the 521-byte header
  dBase3,        // 0x03, 0x83 and every 32-byte layout without another family
  dBase4,        // 0x8B, 0xCB and the other IV-style memo versions
  dBase7,        // 0x04, 0x8C: 48-byte descriptors
  FoxPro,        // 0xF5, 0xFB: FoxPro 2.x and FoxBASE with an .fpt
  VisualFoxPro,  // 0x30, 0x31, 0x32
};

enum class TMemoFormat : uint8_t { None, Fpt, Dbt };

// What a field's bytes decode to, settled once from its type letter and width.
enum class TFieldKind : uint8_t {
  Character,  // C: text up to the first NUL, or bytes when binary
  Varchar,    // V, Q: text or bytes, shorter when the length bit is set
  Numeric,    // N, F: ASCII digits, an exact decimal
  Date,       // D: YYYYMMDD
  Logical,    // L
  Integer,    // I, +: 32 bits
  Double,     // O, and B 8 bytes wide
  Currency,   // Y: 64 bits, 4 decimals
  DateTime,   // T, @
  Memo,       // M, G, P, W, and B of another width: a memo file pointer
  NullFlags,  // 0: the _NullFlags system field
  Unknown,    // any other letter: the raw bytes
};

// One field descriptor as the header decoder reads it. Everything the
// record decoder, filters, sorts and column descriptions need to know about
// a field's values is here, so that no other code looks at the type letter.
struct TDbfField {
  std::string RawName;  // as stored: up to the first NUL, trailing blanks cut
  char Type = 'C';
  uint32_t Length = 0;
  uint8_t Decimals = 0;
  uint8_t Flags = 0;      // Visual FoxPro field flags; 0 in every other format
  uint32_t Offset = 0;    // in the record, counting the deletion flag
  int NullBit = -1;       // bit in _NullFlags that marks Null, or -1
  int VarLengthBit = -1;  // bit in _NullFlags that marks a short V/Q value, or -1
  TFieldKind Kind = TFieldKind::Unknown;
  // Values are bytes, not text: binary C, V and M fields, Q, and the memo
  // fields other than M.
  bool Binary = false;
  bool AutoIncrement = false;  // + fields, and I fields flagged so
  // Stored in dBase 7's byte-sortable form: I, + and @ of dBase 7, and O.
  bool Sortable7 = false;
  // A width the kind's values never have: an Integer's values are then its
  // bytes, a Double's, Currency's or DateTime's are Null.
  bool OddWidth = false;

  bool IsSystem() const { return (Flags & 0x01) != 0 || Kind == TFieldKind::NullFlags; }
  bool IsNullable() const { return (Flags & 0x02) != 0; }
  bool IsBinary() const { return Binary; }
  bool IsAutoIncrement() const { return AutoIncrement; }
  bool IsMemo() const { return Kind == TFieldKind::Memo; }
};

struct TDbfHeader {
  uint8_t Version = 0;
  TDbfFormat Format = TDbfFormat::dBase3;
  uint8_t UpdateYear = 0;  // the raw year byte
  uint8_t UpdateMonth = 0;
  uint8_t UpdateDay = 0;
  uint32_t RecordCount = 0;  // as the header says
  uint32_t HeaderLength = 0;
  uint32_t RecordLength = 0;
  uint8_t TableFlags = 0;
  uint8_t CodePageMark = 0;
  std::string LanguageDriver;     // dBase 7 only
  std::string Backlink;           // Visual FoxPro: the owning database container, or empty
  bool Encrypted = false;         // dBase IV encryption flag
  std::vector<TDbfField> Fields;  // every descriptor, _NullFlags included
  int NullFlagsField = -1;        // index of _NullFlags in Fields, or -1

  bool HasMemoFields() const;
  // The memo file the table's memo fields live in, by its version byte.
  TMemoFormat PreferredMemoFormat() const;
  // dBase IV-style .dbt blocks (signature and length) rather than III-style.
  bool DbtIsLevel4() const { return (Version & 0x08) != 0; }
  // Whether bit (0 or more) of record's _NullFlags is set; bits beyond the
  // field are not.
  bool NullFlag(const uint8_t* record, int bit) const {
    const TDbfField& flags = Fields[static_cast<size_t>(NullFlagsField)];
    const auto byte = static_cast<uint32_t>(bit / 8);
    return byte < flags.Length && ((record[flags.Offset + byte] >> (bit % 8)) & 1) != 0;
  }
  // Whether field's value in record is Null by its _NullFlags bit.
  bool IsNullByFlag(const uint8_t* record, const TDbfField& field) const {
    return field.NullBit >= 0 && NullFlag(record, field.NullBit);
  }
};

struct TUpdateDate {
  int Year = 0;
  int Month = 0;
  int Day = 0;
};
// The date of last update in the header's bytes 1-3. Writers store the year
// either since 1900 or modulo 100: a byte of 100 or more is since 1900, a
// smaller one below 80 is taken as 2000 and later. Nothing when the bytes hold
// no date (a zero or impossible month or day).
std::optional<TUpdateDate> UpdateDateOf(const TDbfHeader& header);

// Decodes the header from the first bytes of a file whose full size is
// fileSize; bytes must hold min(fileSize, kHeaderBytesToRead) bytes. Throws
// EDbfError with a message that says what is wrong (without the file name).
TDbfHeader DecodeHeader(std::string_view bytes, uint64_t fileSize);
inline constexpr size_t kHeaderBytesToRead = 65536;

}  // namespace lumbra
