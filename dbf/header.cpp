#include "dbf/header.h"

#include <cstring>

#include "base/byte_order.h"
#include "dbf/dbf_error.h"

namespace lumbra {

namespace {

std::string Hex2(unsigned v) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string("0x") + kDigits[(v >> 4) & 0xF] + kDigits[v & 0xF];
}

std::string NameOf(const unsigned char* p, size_t maxLength) {
  size_t n = 0;
  while (n < maxLength && p[n] != 0)
    ++n;
  while (n > 0 && p[n - 1] == ' ')
    --n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

bool IsTypeLetter(unsigned char c) {
  return c >= 0x20 && c < 0x7F;
}

bool IsKnownVersion(uint8_t v) {
  switch (v) {
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x07:
    case 0x30:
    case 0x31:
    case 0x32:
    case 0x43:
    case 0x63:
    case 0x83:
    case 0x87:
    case 0x8B:
    case 0x8C:
    case 0xCB:
    case 0xE5:
    case 0xF5:
    case 0xFB:
      return true;
    default:
      return false;
  }
}

TDbfFormat FormatOf(uint8_t v) {
  switch (v) {
    case 0x30:
    case 0x31:
    case 0x32:
      return TDbfFormat::VisualFoxPro;
    case 0xF5:
    case 0xFB:
      return TDbfFormat::FoxPro;
    case 0x04:
    case 0x8C:
      return TDbfFormat::dBase7;
    case 0x8B:
    case 0xCB:
      return TDbfFormat::dBase4;
    default:
      return TDbfFormat::dBase3;
  }
}

// The dBase II layout: 16-byte descriptors after an 8-byte header, records at 521.
bool TryDecodeDBase2(const unsigned char* b, size_t size, uint64_t fileSize, TDbfHeader& h) {
  if (size < 8 || b[0] != 0x02) return false;
  const uint32_t recordLength = LoadLe16(b + 6);
  std::vector<TDbfField> fields;
  uint32_t sum = 1;
  size_t pos = 8;
  for (int k = 0; k <= 32; ++k, pos += 16) {
    if (pos >= size) return false;
    if (b[pos] == 0x0D) break;
    if (k == 32 || pos + 16 > size) return false;
    TDbfField f;
    f.RawName = NameOf(b + pos, 11);
    f.Type = static_cast<char>(b[pos + 11]);
    if (f.Type != 'C' && f.Type != 'N' && f.Type != 'L' && f.Type != 'D' && f.Type != 'M') {
      return false;
    }
    f.Length = b[pos + 12];
    f.Decimals = b[pos + 15];
    f.Offset = sum;
    sum += f.Length;
    fields.push_back(std::move(f));
  }
  if (sum != recordLength || fields.empty()) return false;
  h.Version = 0x02;
  h.Format = TDbfFormat::dBase2;
  h.RecordCount = LoadLe16(b + 1);
  h.UpdateMonth = b[3];
  h.UpdateDay = b[4];
  h.UpdateYear = b[5];
  h.HeaderLength = 521;
  h.RecordLength = recordLength;
  h.Fields = std::move(fields);
  if (fileSize < h.HeaderLength) {
    throw EDbfError(TDbfErrorKind::Corrupt,
                    "truncated header: the file has " + std::to_string(fileSize) +
                        " bytes, the header needs " + std::to_string(h.HeaderLength));
  }
  return true;
}

// Sums the field widths into offsets. A wide character field of Clipper and
// Harbour keeps the high byte of its width in the decimal count; that reading
// is taken only when it, and not the plain one, fits the record length.
void LayOutFields(TDbfHeader& h) {
  uint64_t plain = 1, clipper = 1;
  bool anyWide = false;
  for (const TDbfField& f : h.Fields) {
    plain += f.Length;
    if (f.Type == 'C' && f.Decimals != 0) {
      clipper += f.Length + 256u * f.Decimals;
      anyWide = true;
    } else {
      clipper += f.Length;
    }
  }
  const bool visualFoxPro = h.Format == TDbfFormat::VisualFoxPro;
  bool useClipper = false;
  // An exact fit settles it even under a Visual FoxPro version byte: third-party
  // writers put wide fields in such tables, and plain widths would leave most
  // of their records unread as padding.
  if (anyWide && clipper == h.RecordLength) {
    useClipper = true;
  } else if (plain > h.RecordLength) {
    if (anyWide && !visualFoxPro && clipper <= h.RecordLength) {
      useClipper = true;
    } else {
      throw EDbfError(TDbfErrorKind::Corrupt,
                      "record length " + std::to_string(h.RecordLength) +
                          " disagrees with the fields (1 + their widths = " +
                          std::to_string(plain) + " bytes)");
    }
  }
  uint32_t offset = 1;
  for (TDbfField& f : h.Fields) {
    if (useClipper && f.Type == 'C' && f.Decimals != 0) {
      f.Length += 256u * f.Decimals;
      f.Decimals = 0;
    }
    f.Offset = offset;
    offset += f.Length;
  }
}

// The one reading of the type letter: what the field's bytes decode to.
void Describe(TDbfField& f, TDbfFormat format) {
  const bool level7 = format == TDbfFormat::dBase7;
  const bool flaggedBinary = (f.Flags & 0x04) != 0;
  const auto fixed = [&](TFieldKind kind, uint32_t width) {
    f.Kind = kind;
    f.OddWidth = f.Length != width;
  };
  switch (f.Type) {
    case 'C':
      f.Kind = TFieldKind::Character;
      f.Binary = flaggedBinary;
      break;
    case 'V':
    case 'Q':
      f.Kind = TFieldKind::Varchar;
      f.Binary = f.Type == 'Q' || flaggedBinary;
      break;
    case 'N':
    case 'F':
      f.Kind = TFieldKind::Numeric;
      break;
    case 'D':
      f.Kind = TFieldKind::Date;
      break;
    case 'L':
      f.Kind = TFieldKind::Logical;
      break;
    case 'I':
    case '+':
      fixed(TFieldKind::Integer, 4);
      f.AutoIncrement = f.Type == '+' || (f.Flags & 0x08) != 0;
      f.Sortable7 = level7;
      break;
    case 'O':
      fixed(TFieldKind::Double, 8);
      f.Sortable7 = true;
      break;
    case 'Y':
      fixed(TFieldKind::Currency, 8);
      break;
    case 'T':
    case '@':
      fixed(TFieldKind::DateTime, 8);
      f.Sortable7 = f.Type == '@' && level7;
      break;
    case 'B':
      // dBase's B is a memo pointer; Visual FoxPro's, 8 bytes wide, a double.
      if (f.Length == 8) {
        f.Kind = TFieldKind::Double;
      } else {
        f.Kind = TFieldKind::Memo;
        f.Binary = true;
      }
      break;
    case 'M':
      f.Kind = TFieldKind::Memo;
      f.Binary = flaggedBinary;
      break;
    case 'G':
    case 'P':
    case 'W':
      f.Kind = TFieldKind::Memo;
      f.Binary = true;
      break;
    case '0':
      f.Kind = TFieldKind::NullFlags;
      break;
    default:
      f.Kind = TFieldKind::Unknown;
      break;
  }
}

void DescribeFields(TDbfHeader& h) {
  for (TDbfField& f : h.Fields)
    Describe(f, h.Format);
}

void AssignNullFlagBits(TDbfHeader& h) {
  int bit = 0;
  for (size_t i = 0; i < h.Fields.size(); ++i) {
    TDbfField& f = h.Fields[i];
    if (f.Kind == TFieldKind::NullFlags) {
      if (h.NullFlagsField < 0) h.NullFlagsField = static_cast<int>(i);
      continue;
    }
    if (f.Kind == TFieldKind::Varchar) f.VarLengthBit = bit++;
    if (f.IsNullable()) f.NullBit = bit++;
  }
  // Without a _NullFlags field no bit can be read.
  if (h.NullFlagsField < 0) {
    for (TDbfField& f : h.Fields)
      f.NullBit = f.VarLengthBit = -1;
  }
}

void DecodeDescriptors(const unsigned char* b, size_t size, TDbfHeader& h) {
  const bool level7 = h.Format == TDbfFormat::dBase7;
  const size_t first = level7 ? 68 : 32;
  const size_t width = level7 ? 48 : 32;
  const size_t end = std::min<size_t>(h.HeaderLength, size);
  const size_t typeAt = level7 ? 32 : 11;
  const size_t lengthAt = level7 ? 33 : 16;
  // 1 + the widths of the fields so far, plainly and as Clipper reads them.
  uint64_t plain = 1, clipper = 1;
  // A NUL ends the list where the fields so far fill the record; before that,
  // a descriptor whose name starts with NUL is still a field when it has a
  // type and fits the record.
  const auto endsList = [&](const unsigned char* d) {
    if (d[0] == 0x0D) return true;
    if (d[0] != 0x00) return false;
    if (plain == h.RecordLength || clipper == h.RecordLength) return true;
    return !IsTypeLetter(d[typeAt]) || d[typeAt] == ' ' || plain + d[lengthAt] > h.RecordLength;
  };
  size_t pos = first;
  while (pos + width <= end && !endsList(b + pos)) {
    const unsigned char* d = b + pos;
    TDbfField f;
    f.RawName = NameOf(d, level7 ? 32 : 11);
    if (!IsTypeLetter(d[typeAt])) {
      throw EDbfError(TDbfErrorKind::Corrupt, "field descriptor " +
                                                  std::to_string(h.Fields.size() + 1) +
                                                  " has an invalid type byte " + Hex2(d[typeAt]));
    }
    f.Type = static_cast<char>(d[typeAt]);
    f.Length = level7 ? d[33] : d[16];
    f.Decimals = level7 ? d[34] : d[17];
    if (h.Format == TDbfFormat::VisualFoxPro) f.Flags = d[18];
    plain += f.Length;
    clipper += f.Length + (f.Type == 'C' ? 256u * f.Decimals : 0u);
    h.Fields.push_back(std::move(f));
    pos += width;
  }
  // Descriptors may run right up to the header length without a terminator,
  // and shapefile writers put another byte in the terminator's place when the
  // header has room for exactly one.
  const bool terminated = pos < end && (b[pos] == 0x0D || b[pos] == 0x00);
  if (!terminated && pos != h.HeaderLength && pos + 1 != h.HeaderLength) {
    throw EDbfError(TDbfErrorKind::Corrupt,
                    "field descriptors without their terminator (no 0x0D before byte " +
                        std::to_string(h.HeaderLength) + ")");
  }
  if (h.Format == TDbfFormat::VisualFoxPro && terminated && pos + 1 < end) {
    h.Backlink = NameOf(b + pos + 1, std::min<size_t>(263, end - pos - 1));
  }
}

}  // namespace

bool TDbfHeader::HasMemoFields() const {
  for (const TDbfField& f : Fields) {
    if (f.IsMemo()) return true;
  }
  return false;
}

TMemoFormat TDbfHeader::PreferredMemoFormat() const {
  if (!HasMemoFields()) return TMemoFormat::None;
  switch (Format) {
    case TDbfFormat::VisualFoxPro:
    case TDbfFormat::FoxPro:
      return TMemoFormat::Fpt;
    default:
      return TMemoFormat::Dbt;
  }
}

TDbfHeader DecodeHeader(std::string_view bytes, uint64_t fileSize) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t size = bytes.size();
  if (fileSize == 0) throw EDbfError(TDbfErrorKind::Corrupt, "not a table: the file is empty");
  TDbfHeader h;
  if (TryDecodeDBase2(b, size, fileSize, h)) {
    DescribeFields(h);
    return h;
  }
  if (fileSize < 32 || size < 32) {
    throw EDbfError(TDbfErrorKind::Corrupt, "truncated header: the file has " +
                                                std::to_string(fileSize) +
                                                " bytes, fewer than the 32 of a table header");
  }
  h.Version = b[0];
  const bool known = IsKnownVersion(h.Version);
  h.Format = FormatOf(h.Version);
  h.UpdateYear = b[1];
  h.UpdateMonth = b[2];
  h.UpdateDay = b[3];
  h.RecordCount = LoadLe32(b + 4);
  h.HeaderLength = LoadLe16(b + 8);
  h.RecordLength = LoadLe16(b + 10);
  h.TableFlags = b[28];
  h.CodePageMark = b[29];
  try {
    const uint32_t minimum = h.Format == TDbfFormat::dBase7 ? 69 : 33;
    if (h.HeaderLength < minimum) {
      throw EDbfError(TDbfErrorKind::Corrupt, "invalid header length " +
                                                  std::to_string(h.HeaderLength) + " (at least " +
                                                  std::to_string(minimum) + " expected)");
    }
    if (h.RecordLength < 1) throw EDbfError(TDbfErrorKind::Corrupt, "invalid record length 0");
    if (h.HeaderLength > fileSize) {
      throw EDbfError(TDbfErrorKind::Corrupt,
                      "truncated header: the header length is " + std::to_string(h.HeaderLength) +
                          " bytes but the file has only " + std::to_string(fileSize));
    }
    if (h.Format == TDbfFormat::dBase7) h.LanguageDriver = NameOf(b + 32, 32);
    DecodeDescriptors(b, size, h);
    LayOutFields(h);
    DescribeFields(h);
  } catch (const EDbfError& e) {
    if (known) throw;
    throw EDbfError(TDbfErrorKind::Unsupported,
                    "not a dBase or FoxPro table: unknown version byte " + Hex2(h.Version) + " (" +
                        e.Message() + ")");
  }
  // Only dBase writers use byte 15 as the encryption flag; others leave junk there.
  if (h.Format == TDbfFormat::dBase4 || h.Format == TDbfFormat::dBase7 || h.Version == 0x03) {
    h.Encrypted = b[15] == 0x01;
  }
  if (h.Format == TDbfFormat::VisualFoxPro) AssignNullFlagBits(h);
  return h;
}

std::optional<TUpdateDate> UpdateDateOf(const TDbfHeader& header) {
  if (header.UpdateMonth < 1 || header.UpdateMonth > 12 || header.UpdateDay < 1 ||
      header.UpdateDay > 31) {
    return std::nullopt;
  }
  const int year = header.UpdateYear;
  return TUpdateDate{year >= 80 ? 1900 + year : 2000 + year, header.UpdateMonth, header.UpdateDay};
}

}  // namespace lumbra
