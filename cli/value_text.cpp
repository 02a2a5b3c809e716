#include "cli/value_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/date_time.h"
#include "base/text.h"
#include "provider/ado_types.h"

namespace lumbra {

namespace {

std::string DoubleText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string CurrencyText(int64_t tenThousandths) {
  const bool negative = tenThousandths < 0;
  // Through unsigned arithmetic so the most negative amount keeps its digits.
  uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(tenThousandths) : static_cast<uint64_t>(tenThousandths);
  std::string text = std::to_string(magnitude / 10000);
  uint64_t fraction = magnitude % 10000;
  if (fraction != 0) {
    char digits[8];
    std::snprintf(digits, sizeof digits, ".%04u", static_cast<unsigned>(fraction));
    std::string f(digits);
    while (f.back() == '0')
      f.pop_back();
    text += f;
  }
  return negative ? "-" + text : text;
}

std::string DateText(double value, bool withTime) {
  const TCivilDateTime t = DecodeDateTime(value);
  char buffer[40];
  if (withTime) {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.Date.Year, t.Date.Month,
                  t.Date.Day, t.Hour, t.Minute, t.Second);
  } else {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", t.Date.Year, t.Date.Month, t.Date.Day);
  }
  return buffer;
}

bool IsNumber(const Variant& v) {
  switch (v.Type()) {
    case TVarType::varInteger:
    case TVarType::varInt64:
    case TVarType::varCurrency:
    case TVarType::varDecimal:
      return true;
    case TVarType::varDouble:
      return std::isfinite(v.Double());
    default:
      return false;
  }
}

}  // namespace

std::string PlainText(const Variant& v, int columnType) {
  switch (v.Type()) {
    case TVarType::varEmpty:
    case TVarType::varNull:
      return "";
    case TVarType::varString:
    case TVarType::varUString:
      return v.Text();
    case TVarType::varBytes:
      return HexOf(v.Text());
    case TVarType::varInteger:
      return std::to_string(v.Integer());
    case TVarType::varInt64:
      return std::to_string(v.Int64());
    case TVarType::varDouble:
      return DoubleText(v.Double());
    case TVarType::varCurrency:
      return CurrencyText(v.Currency());
    case TVarType::varDecimal:
      return v.Decimal().ToString();
    case TVarType::varDate:
      return DateText(v.Date(), columnType != adDBDate);
    case TVarType::varBoolean:
      return v.Boolean() ? "true" : "false";
    default:
      return VarTypeName(v.Type());
  }
}

namespace {

// Texts longer than this are appended a slice at a time, out handed to the
// flush between slices, so that a long memo never stands in out whole.
constexpr size_t kSliceBytes = 1 << 16;

// Appends the JSON escape of text, without quotes.
void AppendJsonEscaped(std::string& out, std::string_view text) {
  // Runs without a character to escape are appended whole.
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(text.substr(run, i - run));
    run = i + 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default: {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
        out += buffer;
      }
    }
  }
  out.append(text.substr(run));
}

void AppendHex(std::string& out, std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (const char b : bytes) {
    const auto c = static_cast<unsigned char>(b);
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 0xF]);
  }
}

// Appends part(out, slice) for each slice of text, flushing out after each.
template <typename TPart>
void AppendInSlices(std::string& out, std::string_view text, const TFlush& flush, TPart part) {
  while (text.size() > kSliceBytes && flush) {
    part(out, text.substr(0, kSliceBytes));
    text.remove_prefix(kSliceBytes);
    flush(out);
  }
  part(out, text);
}

// The text a value is written as, when it is held as text or bytes already:
// bytes become hex as they are appended.
bool IsHeldText(const Variant& v) {
  return v.Type() == TVarType::varString || v.Type() == TVarType::varUString;
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text, const TFlush& flush) {
  out.push_back('"');
  AppendInSlices(out, text, flush, AppendJsonEscaped);
  out.push_back('"');
}

void AppendJsonValue(std::string& out, const Variant& v, int columnType, const TFlush& flush) {
  if (v.IsNull() || v.IsEmpty()) {
    out += "null";
  } else if (v.Type() == TVarType::varBoolean || IsNumber(v)) {
    out += PlainText(v, columnType);
  } else if (IsHeldText(v)) {
    AppendJsonString(out, v.Text(), flush);
  } else if (v.Type() == TVarType::varBytes) {
    // Hex needs no escape.
    out.push_back('"');
    AppendInSlices(out, v.Text(), flush, AppendHex);
    out.push_back('"');
  } else {
    AppendJsonString(out, PlainText(v, columnType), flush);
  }
}

void AppendCsvField(std::string& out, const Variant& v, int columnType, const TFlush& flush) {
  if (v.IsNull() || v.IsEmpty()) return;
  if (v.Type() == TVarType::varBytes) {
    AppendInSlices(out, v.Text(), flush, AppendHex);
    return;
  }
  const std::string other = IsHeldText(v) ? std::string() : PlainText(v, columnType);
  const std::string_view text = IsHeldText(v) ? std::string_view(v.Text()) : other;
  if (!text.empty() && text.find_first_of(",\"\r\n") == std::string_view::npos) {
    AppendInSlices(out, text, flush, [](std::string& o, std::string_view t) { o.append(t); });
    return;
  }
  out.push_back('"');
  AppendInSlices(out, text, flush, [](std::string& o, std::string_view t) {
    for (const char c : t) {
      if (c == '"') o.push_back('"');
      o.push_back(c);
    }
  });
  out.push_back('"');
}

}  // namespace lumbra
