#include "tests/support/read_back.h"

#include <charconv>
#include <cstdio>

#include "base/date_time.h"
#include "base/text.h"
#include "dbf/file_io.h"

namespace lumbra::test {

std::unique_ptr<TDbfTable> OpenBuilt(const TTableShape& spec, const TDbfOpenOptions& options) {
  TBuiltTable built = BuildTableBytes(spec);
  std::unique_ptr<IFileIo> memo;
  if (!built.MemoExtension.empty()) {
    memo = std::make_unique<MemoryFileIo>("mem." + built.MemoExtension, std::move(built.Memo));
  }
  return std::make_unique<TDbfTable>(std::make_unique<MemoryFileIo>("mem.dbf", built.Table),
                                     std::move(memo), options);
}

std::unique_ptr<TDbfTable> OpenBytes(const std::string& bytes) {
  return std::make_unique<TDbfTable>(std::make_unique<MemoryFileIo>("mem.dbf", bytes), nullptr);
}

std::vector<std::string> ShowColumn(TDbfTable& table, size_t field) {
  std::vector<std::string> out;
  Variant value;
  for (uint32_t r = 0; r < table.RecordCount(); ++r) {
    table.DecodeField(table.RecordAt(r), field, value);
    out.push_back(Show(value));
  }
  return out;
}

std::string Show(const Variant& v) {
  char buffer[64];
  switch (v.Type()) {
    case TVarType::varNull:
      return "null";
    case TVarType::varString:
      return "'" + v.Text() + "'";
    case TVarType::varBytes:
      return "bytes " + HexOf(v.Text());
    case TVarType::varInteger:
      return "int " + std::to_string(v.Integer());
    case TVarType::varDouble: {
      const auto end = std::to_chars(buffer, buffer + sizeof buffer, v.Double()).ptr;
      return "double " + std::string(buffer, end);
    }
    case TVarType::varCurrency: {
      const int64_t c = v.Currency();
      const uint64_t magnitude = c < 0 ? 0 - static_cast<uint64_t>(c) : static_cast<uint64_t>(c);
      std::snprintf(buffer, sizeof buffer, "currency %s%llu.%04llu", c < 0 ? "-" : "",
                    static_cast<unsigned long long>(magnitude / 10000),
                    static_cast<unsigned long long>(magnitude % 10000));
      return buffer;
    }
    case TVarType::varDecimal:
      return "decimal " + v.Decimal().ToString();
    case TVarType::varBoolean:
      return v.Boolean() ? "true" : "false";
    case TVarType::varDate: {
      const TCivilDateTime t = DecodeDateTime(v.Date());
      const bool midnight = t.Hour == 0 && t.Minute == 0 && t.Second == 0 && t.Millisecond == 0;
      std::snprintf(buffer, sizeof buffer, "date %04d-%02d-%02d", t.Date.Year, t.Date.Month,
                    t.Date.Day);
      std::string text = buffer;
      if (!midnight) {
        std::snprintf(buffer, sizeof buffer, " %02d:%02d:%02d.%03d", t.Hour, t.Minute, t.Second,
                      t.Millisecond);
        text += buffer;
      }
      return text;
    }
    default:
      return VarTypeName(v.Type());
  }
}

}  // namespace lumbra::test
