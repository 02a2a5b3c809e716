#include "cli/value_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/date_time.h"
#include "base/shortcuts.h"
#include "base/text.h"
#include "provider/ado_types.h"

namespace lumbra {

namespace {

void AppendDouble(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
  } else if (std::isinf(value)) {
    out += value > 0 ? "Infinity" : "-Infinity";
  } else {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
  }
}

void AppendCurrency(std::string& out, int64_t tenThousandths) {
  const bool negative = tenThousandths < 0;
  // Through unsigned arithmetic so the most negative amount keeps its digits.
  uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(tenThousandths) : static_cast<uint64_t>(tenThousandths);
  if (negative) out.push_back('-');
  char digits[24];
  const auto whole = std::to_chars(digits, digits + sizeof digits, magnitude / 10000);
  out.append(digits, whole.ptr);
  unsigned fraction = static_cast<unsigned>(magnitude % 10000);
  if (fraction == 0) return;
  char decimals[5] = {'.'};
  for (int i = 4; i >= 1; --i, fraction /= 10)
    decimals[i] = static_cast<char>('0' + fraction % 10);
  size_t length = 5;
  while (decimals[length - 1] == '0')
    --length;
  out.append(decimals, length);
}

// Writes the last width digits of value, zero-padded, at to; returns their end.
char* PutDigits(char* to, int value, int width) {
  for (int i = width; i-- > 0; value /= 10)
    to[i] = static_cast<char>('0' + value % 10);
  return to + width;
}

void AppendDate(std::string& out, double value, bool withTime) {
  const TCivilDateTime t = DecodeDateTime(value);
  if (kShortcuts && t.Date.Year >= 0 && t.Date.Year <= 9999) {
    // The digits put in place: most dates' years have four digits, which
    // "%04d" would write the same.
    const size_t start = out.size();
    out.resize(start + (withTime ? 19 : 10));
    char* to = PutDigits(out.data() + start, t.Date.Year, 4);
    *to++ = '-';
    to = PutDigits(to, t.Date.Month, 2);
    *to++ = '-';
    to = PutDigits(to, t.Date.Day, 2);
    if (!withTime) return;
    *to++ = ' ';
    to = PutDigits(to, t.Hour, 2);
    *to++ = ':';
    to = PutDigits(to, t.Minute, 2);
    *to++ = ':';
    PutDigits(to, t.Second, 2);
    return;
  }
  char buffer[40];
  if (withTime) {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.Date.Year, t.Date.Month,
                  t.Date.Day, t.Hour, t.Minute, t.Second);
  } else {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", t.Date.Year, t.Date.Month, t.Date.Day);
  }
  out += buffer;
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

// Appends the text of a value that is not held as text or bytes.
void AppendScalarText(std::string& out, const Variant& v, int columnType) {
  switch (v.Type()) {
    case TVarType::varInteger:
    case TVarType::varInt64: {
      char digits[24];
      const int64_t number = v.Type() == TVarType::varInteger ? v.Integer() : v.Int64();
      const auto result = std::to_chars(digits, digits + sizeof digits, number);
      out.append(digits, result.ptr);
      return;
    }
    case TVarType::varDouble:
      AppendDouble(out, v.Double());
      return;
    case TVarType::varCurrency:
      AppendCurrency(out, v.Currency());
      return;
    case TVarType::varDecimal:
      v.Decimal().AppendTo(out);
      return;
    case TVarType::varDate:
      AppendDate(out, v.Date(), columnType != adDBDate);
      return;
    case TVarType::varBoolean:
      out += v.Boolean() ? "true" : "false";
      return;
    case TVarType::varEmpty:
    case TVarType::varNull:
      return;
    default:
      out += VarTypeName(v.Type());
      return;
  }
}

// Texts longer than this are appended a slice at a time, out handed to the
// flush between slices, so that a long memo never stands in out whole.
constexpr size_t kSliceBytes = 1 << 16;

bool NeedsJsonEscape(unsigned char c) {
  return c < 0x20 || c == '"' || c == '\\';
}

// The position of the first byte from `from` on that JSON must escape, or
// text's size.
size_t NextJsonEscape(std::string_view text, size_t from) {
  if constexpr (kShortcuts) return from + LengthBeforeJsonEscape(text.substr(from));
  while (from < text.size() && !NeedsJsonEscape(static_cast<unsigned char>(text[from])))
    ++from;
  return from;
}

// Appends the JSON escape of text, without quotes.
void AppendJsonEscaped(std::string& out, std::string_view text) {
  // Runs without a character to escape are appended whole.
  size_t run = 0;
  for (size_t i = NextJsonEscape(text, 0); i < text.size(); i = NextJsonEscape(text, i + 1)) {
    const auto c = static_cast<unsigned char>(text[i]);
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

// Whether a CSV field holding text must be quoted for what it holds: a
// comma, a quote or a line break.
bool NeedsCsvQuotes(std::string_view text) {
  if constexpr (kShortcuts) return LengthBeforeCsvQuoting(text) != text.size();
  return text.find_first_of(",\"\r\n") != std::string_view::npos;
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
    AppendScalarText(out, v, columnType);
  } else if (IsHeldText(v)) {
    AppendJsonString(out, v.Text(), flush);
  } else if (v.Type() == TVarType::varBytes) {
    // Hex needs no escape.
    out.push_back('"');
    AppendInSlices(out, v.Text(), flush, AppendHex);
    out.push_back('"');
  } else {
    // Dates, and the names of the kinds without a text, need no escape.
    out.push_back('"');
    AppendScalarText(out, v, columnType);
    out.push_back('"');
  }
}

void AppendCsvField(std::string& out, const Variant& v, int columnType, const TFlush& flush) {
  if (v.IsNull() || v.IsEmpty()) return;
  if (v.Type() == TVarType::varBytes) {
    AppendInSlices(out, v.Text(), flush, AppendHex);
    return;
  }
  if (!IsHeldText(v)) {
    // Numbers, dates, true and false: never empty, never a comma, a quote
    // or a line break.
    AppendScalarText(out, v, columnType);
    return;
  }
  const std::string_view text = v.Text();
  if (!text.empty() && !NeedsCsvQuotes(text)) {
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
