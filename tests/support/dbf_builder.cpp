#include "tests/support/dbf_builder.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <stdexcept>

#include "tests/support/test_files.h"

namespace lumbra::test {

namespace {

constexpr int64_t kMsPerDay = 86'400'000;

bool IsFox(uint8_t version) {
  return version == 0x30 || version == 0x31 || version == 0x32 || version == 0xF5 ||
         version == 0xFB;
}
bool IsVisualFoxPro(uint8_t version) {
  return version == 0x30 || version == 0x31 || version == 0x32;
}
bool IsLevel7(uint8_t version) {
  return version == 0x04 || version == 0x8C;
}

std::string Le(uint64_t value, int width) {
  std::string out;
  for (int i = 0; i < width; ++i)
    out.push_back(static_cast<char>(value >> (8 * i)));
  return out;
}

std::string Be(uint64_t value, int width) {
  std::string out;
  for (int i = width - 1; i >= 0; --i)
    out.push_back(static_cast<char>(value >> (8 * i)));
  return out;
}

// Written independently of the engine's calendar code, so a fault there
// cannot cancel out between writing and reading.
int64_t JulianDay(int year, int month, int day) {
  const int64_t a = (14 - month) / 12;
  const int64_t y = year + 4800 - a;
  const int64_t m = month + 12 * a - 3;
  return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

[[noreturn]] void Refuse(const TFieldShape& f, const std::string& why) {
  throw std::invalid_argument("field " + f.Name + " (" + f.Type + "): " + why);
}

std::string RightAligned(const TFieldShape& f, const std::string& text) {
  if (text.size() > f.Length) Refuse(f, "'" + text + "' does not fit");
  return std::string(f.Length - text.size(), ' ') + text;
}

// What a writer leaves in a field that holds no value.
std::string Blank(const TFieldShape& f) {
  switch (f.Type) {
    case 'I':
    case 'Y':
    case 'T':
    case 'O':
    case '+':
    case '@':
    case '0':
      return std::string(f.Length, '\0');
    case 'B':
    case 'M':
    case 'G':
    case 'P':
    case 'W':
      return std::string(f.Length, f.Length == 10 ? ' ' : '\0');
    default:
      return std::string(f.Length, ' ');
  }
}

class TMemoWriter {
 public:
  TMemoWriter(TMemoStyle style, uint16_t blockSize) : FStyle(style), FBlockSize(blockSize) {
    if (FBlockSize == 0) FBlockSize = style == TMemoStyle::Fpt ? 64 : 512;
    if (style == TMemoStyle::DbtLevel3) FBlockSize = 512;
    // The header fills block 0; an .fpt header is 512 bytes whatever the block size.
    const size_t header = style == TMemoStyle::Fpt ? 512 : FBlockSize;
    FBytes.assign(header, '\0');
  }

  // Appends a memo and returns its block number. The last memo is not padded
  // out to a whole block, as FoxPro and dBase leave it.
  uint32_t Add(const std::string& data, char fieldType) {
    FBytes.resize((FBytes.size() + FBlockSize - 1) / FBlockSize * FBlockSize, '\0');
    const auto block = static_cast<uint32_t>(FBytes.size() / FBlockSize);
    switch (FStyle) {
      case TMemoStyle::Fpt: {
        const uint32_t type = fieldType == 'P' ? 0 : fieldType == 'G' ? 2 : 1;
        FBytes += Be(type, 4) + Be(data.size(), 4) + data;
        break;
      }
      case TMemoStyle::DbtLevel4:
        FBytes += std::string("\xFF\xFF\x08\x00", 4) + Le(data.size() + 8, 4) + data;
        break;
      default:
        FBytes += data + "\x1A\x1A";
        break;
    }
    return block;
  }

  std::string Finish() {
    std::string out = FBytes;
    const auto nextFree = static_cast<uint32_t>((out.size() + FBlockSize - 1) / FBlockSize);
    if (FStyle == TMemoStyle::Fpt) {
      out.replace(0, 4, Be(nextFree, 4));
      out.replace(6, 2, Be(FBlockSize, 2));
    } else {
      PutLe32(out, 0, nextFree);
      if (FStyle == TMemoStyle::DbtLevel4) PutLe16(out, 20, FBlockSize);
    }
    return out;
  }

 private:
  TMemoStyle FStyle;
  uint16_t FBlockSize;
  std::string FBytes;
};

// The fields as stored, _NullFlags included, with each one's bits in it.
struct TLayout {
  std::vector<TFieldShape> Fields;
  std::vector<int> NullBit, VarLengthBit;
  int NullFlags = -1;  // index of _NullFlags in Fields
  uint32_t RecordLength = 1;
};

TLayout LayOut(const TTableShape& spec) {
  TLayout layout;
  layout.Fields = spec.Fields;
  layout.NullBit.assign(spec.Fields.size(), -1);
  layout.VarLengthBit.assign(spec.Fields.size(), -1);
  if (IsVisualFoxPro(spec.Version)) {
    // A V or Q field takes a length bit and then, if nullable, its null bit.
    int bits = 0;
    for (size_t i = 0; i < spec.Fields.size(); ++i) {
      const TFieldShape& f = spec.Fields[i];
      if (f.Type == 'V' || f.Type == 'Q') layout.VarLengthBit[i] = bits++;
      if ((f.Flags & kFlagNullable) != 0) layout.NullBit[i] = bits++;
    }
    if (bits > 0) {
      layout.NullFlags = static_cast<int>(layout.Fields.size());
      layout.Fields.push_back(
          {"_NullFlags", '0', static_cast<uint8_t>((bits + 7) / 8), 0, kFlagSystem | kFlagBinary});
    }
  }
  for (const TFieldShape& f : layout.Fields)
    layout.RecordLength += f.Length;
  return layout;
}

TMemoStyle MemoStyleOf(const TTableShape& spec) {
  if (spec.MemoStyle != TMemoStyle::ByVersion) return spec.MemoStyle;
  if (IsFox(spec.Version)) return TMemoStyle::Fpt;
  return (spec.Version & 0x08) != 0 ? TMemoStyle::DbtLevel4 : TMemoStyle::DbtLevel3;
}

bool IsMemoField(const TFieldShape& f) {
  return f.Type == 'M' || f.Type == 'G' || f.Type == 'P' || f.Type == 'W' ||
         (f.Type == 'B' && f.Length != 8);
}

class TRecordWriter {
 public:
  TRecordWriter(const TTableShape& spec, const TLayout& layout, TMemoWriter* memo)
      : FLevel7(IsLevel7(spec.Version)), FLayout(layout), FMemo(memo) {}

  std::string Record(const std::vector<TCell>& cells, bool deleted) {
    const size_t userFields = FLayout.NullBit.size();
    if (cells.size() != userFields) {
      throw std::invalid_argument("a row has " + std::to_string(cells.size()) + " cells for " +
                                  std::to_string(userFields) + " fields");
    }
    FFlags.assign(FLayout.NullFlags < 0 ? 0 : FLayout.Fields[FLayout.NullFlags].Length, '\0');
    std::string record(1, deleted ? '*' : ' ');
    for (size_t i = 0; i < userFields; ++i) {
      const std::string value = Encode(i, cells[i]);
      if (value.size() != FLayout.Fields[i].Length) {
        Refuse(FLayout.Fields[i], std::to_string(value.size()) + " bytes for its width");
      }
      record += value;
    }
    return record + FFlags;
  }

 private:
  void SetBit(int bit) { FFlags[static_cast<size_t>(bit / 8)] |= static_cast<char>(1 << bit % 8); }

  std::string Encode(size_t index, const TCell& c) {
    const TFieldShape& f = FLayout.Fields[index];
    using K = TCell::TKind;
    switch (c.Kind) {
      case K::Null:
        if (FLayout.NullBit[index] >= 0) SetBit(FLayout.NullBit[index]);
        return Blank(f);
      case K::Raw:
        return c.Bytes;
      case K::Text: {
        if (c.Bytes.size() > f.Length) Refuse(f, "text longer than the field");
        std::string out = c.Bytes + std::string(f.Length - c.Bytes.size(), ' ');
        // A short V or Q value keeps its length in the last byte.
        if (FLayout.VarLengthBit[index] >= 0 && c.Bytes.size() < f.Length) {
          out.back() = static_cast<char>(c.Bytes.size());
          SetBit(FLayout.VarLengthBit[index]);
        }
        return out;
      }
      case K::Integer:
        if (f.Type == 'N' || f.Type == 'F') {
          std::string text = std::to_string(c.Int);
          if (f.Decimals > 0) text += "." + std::string(f.Decimals, '0');
          return RightAligned(f, text);
        }
        if (f.Type == '+' || (f.Type == 'I' && FLevel7)) {
          return Be(static_cast<uint32_t>(c.Int) ^ 0x80000000u, 4);
        }
        if (f.Type == 'I') return Le(static_cast<uint32_t>(c.Int), 4);
        break;
      case K::Double:
        if (f.Type == 'N' || f.Type == 'F') {
          char text[64];
          std::snprintf(text, sizeof text, "%.*f", f.Decimals, c.Dbl);
          return RightAligned(f, text);
        }
        if (f.Type == 'B' && f.Length == 8) return Le(std::bit_cast<uint64_t>(c.Dbl), 8);
        if (f.Type == 'O') {
          // Sortable: positive numbers get the sign bit, negative ones are inverted.
          const auto bits = std::bit_cast<uint64_t>(c.Dbl);
          return Be((bits >> 63) != 0 ? ~bits : bits | 1ull << 63, 8);
        }
        break;
      case K::Currency:
        if (f.Type == 'Y') return Le(static_cast<uint64_t>(c.Int), 8);
        break;
      case K::Date:
        if (f.Type == 'D') {
          char text[16];
          std::snprintf(text, sizeof text, "%04d%02d%02d", c.Year, c.Month, c.Day);
          return text;
        }
        break;
      case K::DateTime: {
        const int64_t day = JulianDay(c.Year, c.Month, c.Day);
        if (f.Type == '@' && FLevel7) {
          // Milliseconds counted from the day before 0001-01-01.
          const double ms = static_cast<double>((day - JulianDay(1, 1, 1) + 1) * kMsPerDay + c.Int);
          return Be(std::bit_cast<uint64_t>(ms), 8);
        }
        // Harbour's @ outside level 7 is stored as T is.
        if (f.Type == 'T' || f.Type == '@') {
          return Le(static_cast<uint32_t>(day), 4) + Le(static_cast<uint32_t>(c.Int), 4);
        }
        break;
      }
      case K::Logical:
        if (f.Type == 'L') return c.Bool ? "T" : "F";
        break;
      case K::Memo:
        if (IsMemoField(f) && FMemo != nullptr) {
          const uint32_t block = c.Bytes.empty() ? 0 : FMemo->Add(c.Bytes, f.Type);
          if (f.Length == 4) return Le(block, 4);
          return RightAligned(f, block == 0 ? "" : std::to_string(block));
        }
        break;
    }
    Refuse(f, "cannot hold this kind of value");
  }

  bool FLevel7;
  const TLayout& FLayout;
  TMemoWriter* FMemo;
  std::string FFlags;
};

std::string Header(const TTableShape& spec, const TLayout& layout, uint32_t headerLength) {
  const bool level7 = IsLevel7(spec.Version);
  const bool visualFoxPro = IsVisualFoxPro(spec.Version);
  std::string h(headerLength, '\0');
  h[0] = static_cast<char>(spec.Version);
  h[1] = static_cast<char>(IsFox(spec.Version) ? spec.UpdateYear % 100 : spec.UpdateYear - 1900);
  h[2] = static_cast<char>(spec.UpdateMonth);
  h[3] = static_cast<char>(spec.UpdateDay);
  PutLe32(h, 4, static_cast<uint32_t>(spec.Rows.size()));
  PutLe16(h, 8, static_cast<uint16_t>(headerLength));
  PutLe16(h, 10, static_cast<uint16_t>(layout.RecordLength));
  uint8_t flags = spec.TableFlags;
  if (visualFoxPro && std::any_of(layout.Fields.begin(), layout.Fields.end(), IsMemoField)) {
    flags |= 0x02;
  }
  h[28] = static_cast<char>(flags);
  h[29] = static_cast<char>(spec.CodePageMark);
  if (level7) h.replace(32, spec.LanguageDriver.size(), spec.LanguageDriver);
  size_t pos = level7 ? 68 : 32;
  uint32_t offset = 1;
  for (const TFieldShape& f : layout.Fields) {
    h.replace(pos, f.Name.size(), f.Name);
    if (level7) {
      h[pos + 32] = f.Type;
      h[pos + 33] = static_cast<char>(f.Length);
      h[pos + 34] = static_cast<char>(f.Decimals);
      pos += 48;
    } else {
      h[pos + 11] = f.Type;
      if (IsFox(spec.Version)) PutLe32(h, pos + 12, offset);
      h[pos + 16] = static_cast<char>(f.Length);
      h[pos + 17] = static_cast<char>(f.Decimals);
      if (visualFoxPro) {
        h[pos + 18] = static_cast<char>(f.Flags);
        // Next value and step, as VFP leaves them after numbering the rows 1, 2, ...
        if ((f.Flags & 0x08) != 0) {
          PutLe32(h, pos + 19, static_cast<uint32_t>(spec.Rows.size() + 1));
          h[pos + 23] = 1;
        }
      }
      pos += 32;
    }
    offset += f.Length;
  }
  h[pos] = 0x0D;
  if (visualFoxPro) h.replace(pos + 1, spec.Backlink.size(), spec.Backlink);
  return h;
}

}  // namespace

TCell Null() {
  return {};
}
TCell Raw(std::string bytes) {
  TCell c;
  c.Kind = TCell::TKind::Raw;
  c.Bytes = std::move(bytes);
  return c;
}
TCell Text(std::string bytes) {
  TCell c;
  c.Kind = TCell::TKind::Text;
  c.Bytes = std::move(bytes);
  return c;
}
TCell Int(int64_t value) {
  TCell c;
  c.Kind = TCell::TKind::Integer;
  c.Int = value;
  return c;
}
TCell Dbl(double value) {
  TCell c;
  c.Kind = TCell::TKind::Double;
  c.Dbl = value;
  return c;
}
TCell Currency(int64_t tenThousandths) {
  TCell c;
  c.Kind = TCell::TKind::Currency;
  c.Int = tenThousandths;
  return c;
}
TCell Date(int year, int month, int day) {
  TCell c;
  c.Kind = TCell::TKind::Date;
  c.Year = year;
  c.Month = month;
  c.Day = day;
  return c;
}
TCell DateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  TCell c = Date(year, month, day);
  c.Kind = TCell::TKind::DateTime;
  c.Int = ((hour * 60 + minute) * 60 + second) * 1000 + millisecond;
  return c;
}
TCell Logical(bool value) {
  TCell c;
  c.Kind = TCell::TKind::Logical;
  c.Bool = value;
  return c;
}
TCell Memo(std::string bytes) {
  TCell c;
  c.Kind = TCell::TKind::Memo;
  c.Bytes = std::move(bytes);
  return c;
}

TBuiltTable BuildTableBytes(const TTableShape& spec) {
  const TLayout layout = LayOut(spec);
  const bool level7 = IsLevel7(spec.Version);
  const size_t fields = layout.Fields.size();
  const size_t headerLength = level7
                                  ? 68 + 48 * fields + 1
                                  : 32 + 32 * fields + 1 + (IsVisualFoxPro(spec.Version) ? 263 : 0);
  TBuiltTable out;
  out.Table = Header(spec, layout, static_cast<uint32_t>(headerLength));
  std::optional<TMemoWriter> memo;
  if (std::any_of(layout.Fields.begin(), layout.Fields.end(), IsMemoField)) {
    memo.emplace(MemoStyleOf(spec), spec.MemoBlockSize);
  }
  TRecordWriter writer(spec, layout, memo ? &*memo : nullptr);
  for (size_t r = 0; r < spec.Rows.size(); ++r)
    out.Table += writer.Record(spec.Rows[r], spec.DeletedRows.count(r) != 0);
  if (spec.EndOfFileMarker) out.Table.push_back('\x1A');
  if (memo) {
    out.Memo = memo->Finish();
    out.MemoExtension = MemoStyleOf(spec) == TMemoStyle::Fpt ? "fpt" : "dbt";
  }
  return out;
}

std::filesystem::path WriteTable(const std::filesystem::path& folder, const std::string& name,
                                 const TTableShape& spec) {
  const TBuiltTable built = BuildTableBytes(spec);
  const std::filesystem::path table = folder / (name + ".dbf");
  WriteFile(table, built.Table);
  if (!built.MemoExtension.empty()) {
    WriteFile(folder / (name + "." + built.MemoExtension), built.Memo);
  }
  return table;
}

std::filesystem::path WriteContainer(const std::filesystem::path& folder,
                                     const std::string& fileName, const std::string& tableName,
                                     const std::vector<std::string>& fieldNames) {
  TTableShape spec;
  spec.TableFlags = 0x04;  // a database container
  spec.Fields = {{"OBJECTID", 'I', 4},
                 {"PARENTID", 'I', 4},
                 {"OBJECTTYPE", 'C', 10},
                 {"OBJECTNAME", 'C', 128}};
  spec.Rows.push_back({Int(1), Int(1), Text("Database"), Text("Database")});
  spec.Rows.push_back({Int(5), Int(1), Text("Table"), Text(tableName)});
  for (size_t i = fieldNames.size(); i-- > 0;) {
    spec.Rows.push_back(
        {Int(6 + static_cast<int64_t>(i)), Int(5), Text("Field"), Text(fieldNames[i])});
  }
  const std::filesystem::path path = folder / fileName;
  WriteFile(path, BuildTableBytes(spec).Table);
  return path;
}

void PutLe16(std::string& bytes, size_t offset, uint16_t value) {
  bytes.replace(offset, 2, Le(value, 2));
}

void PutLe32(std::string& bytes, size_t offset, uint32_t value) {
  bytes.replace(offset, 4, Le(value, 4));
}

}  // namespace lumbra::test
