#include "dbf/filter_expression.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

#include "base/date_time.h"
#include "base/progress.h"
#include "base/shortcuts.h"
#include "base/text.h"
#include "dbf/dbf_error.h"

namespace lumbra {

namespace {

// The answers kept for text comparisons stop growing at about this many
// bytes, counting each with its bytes and its share of the look-up table.
constexpr size_t kMaxAnswerBytes = size_t{4} << 20;
constexpr size_t kAnswerOverhead = 24;
// An exact decimal literal keeps at most this many digits: 10^38 still fits
// in 128 bits.
constexpr int kMaxExactDigits = 38;

enum class TTokenKind : uint8_t { End, Word, Bracketed, Text, Number, Date, Open, Close, Operator };

bool IsNameByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c >= 0x80;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool Satisfies(TFilterExpression::TOperator op, int order) {
  using TOp = TFilterExpression::TOperator;
  switch (op) {
    case TOp::Equal:
      return order == 0;
    case TOp::NotEqual:
      return order != 0;
    case TOp::Less:
      return order < 0;
    case TOp::Greater:
      return order > 0;
    case TOp::LessEqual:
      return order <= 0;
    case TOp::GreaterEqual:
      return order >= 0;
    default:
      return false;
  }
}

template <class T>
int Order(const T& a, const T& b) {
  return a < b ? -1 : b < a ? 1 : 0;
}

}  // namespace

// Reads the text a token at a time and builds the expression's nodes.
class TFilterExpression::TParser {
 public:
  TParser(TFilterExpression& expression, std::string_view text)
      : FExpression(expression), FText(text) {}

  uint32_t Parse() {
    const size_t nul = FText.find('\0');
    if (nul != std::string_view::npos) {
      Fail(nul, "a NUL character (code 0) cannot be part of a filter");
    }
    Next();
    if (FToken.Kind == TTokenKind::End) return AddNode({TNodeKind::All, 0, 0});
    const uint32_t root = ParseOr(0);
    if (FToken.Kind == TTokenKind::Close) Fail(FToken.Start, "')' without a matching '('");
    if (FToken.Kind != TTokenKind::End) Fail(FToken.Start, "expected AND or OR, found " + Found());
    return root;
  }

 private:
  struct TToken {
    TTokenKind Kind = TTokenKind::End;
    size_t Start = 0;  // byte offsets in the text
    size_t End = 0;
    std::string Value;  // a name, or a text with its doubled quotes undone
    TOperator Operator = TOperator::Equal;
    TNumber Number;
    int64_t Time = 0;
  };

  [[noreturn]] void Fail(size_t offset, const std::string& problem) const {
    throw EDbfError(TDbfErrorKind::Syntax, "Filter error at position " +
                                               std::to_string(CharacterPosition(FText, offset)) +
                                               ": " + problem);
  }

  std::string Quoted(size_t start, size_t end) const {
    std::string quoted(1, '\'');
    quoted += Abbreviated(FText.substr(start, end - start));
    quoted += '\'';
    return quoted;
  }

  // The current token as a message shows it.
  std::string Found() const {
    if (FToken.Kind == TTokenKind::End) return "the end of the filter";
    // A text shows with its own quotes.
    if (FToken.Kind == TTokenKind::Text) {
      return Abbreviated(FText.substr(FToken.Start, FToken.End - FToken.Start));
    }
    return Quoted(FToken.Start, FToken.End);
  }

  bool IsKeyword(const char* keyword) const {
    return FToken.Kind == TTokenKind::Word && EqualsIgnoringAsciiCase(FToken.Value, keyword);
  }

  bool IsAnyKeyword() const {
    for (const char* keyword : {"AND", "OR", "NOT", "LIKE", "IS", "NULL", "TRUE", "FALSE"}) {
      if (IsKeyword(keyword)) return true;
    }
    return false;
  }

  void Next() {
    size_t i = FToken.End;
    while (i < FText.size() && static_cast<unsigned char>(FText[i]) < 33)
      ++i;
    FToken = TToken{};
    FToken.Start = FToken.End = i;
    if (i == FText.size()) return;
    const char c = FText[i];
    if (c == '(' || c == ')') {
      FToken.Kind = c == '(' ? TTokenKind::Open : TTokenKind::Close;
      FToken.End = i + 1;
    } else if (c == '\'') {
      LexText(i);
    } else if (c == '#') {
      LexDate(i);
    } else if (c == '[') {
      const size_t close = FText.find(']', i + 1);
      if (close == std::string_view::npos) {
        Fail(i, "the column name in brackets that starts here has no closing ']'");
      }
      FToken.Kind = TTokenKind::Bracketed;
      FToken.Value = FText.substr(i + 1, close - i - 1);
      FToken.End = close + 1;
    } else if (IsDigit(c) || ((c == '-' || c == '+' || c == '.') && StartsNumber(i))) {
      LexNumber(i);
    } else if (IsNameByte(static_cast<unsigned char>(c))) {
      size_t end = i;
      while (end < FText.size() && IsNameByte(static_cast<unsigned char>(FText[end])))
        ++end;
      FToken.Kind = TTokenKind::Word;
      FToken.Value = FText.substr(i, end - i);
      FToken.End = end;
    } else {
      LexOperator(i);
    }
  }

  bool StartsNumber(size_t i) const {
    if (FText[i] != '.') ++i;
    if (i < FText.size() && FText[i] == '.') ++i;
    return i < FText.size() && IsDigit(FText[i]);
  }

  void LexText(size_t i) {
    std::string value;
    size_t j = i + 1;
    for (;;) {
      const size_t quote = FText.find('\'', j);
      if (quote == std::string_view::npos)
        Fail(i, "the text that starts here has no closing quote");
      value.append(FText.substr(j, quote - j));
      if (quote + 1 < FText.size() && FText[quote + 1] == '\'') {
        value.push_back('\'');
        j = quote + 2;
      } else {
        j = quote + 1;
        break;
      }
    }
    FToken.Kind = TTokenKind::Text;
    FToken.Value = std::move(value);
    FToken.End = j;
  }

  void LexDate(size_t i) {
    const size_t close = FText.find('#', i + 1);
    if (close == std::string_view::npos) Fail(i, "the date that starts here has no closing '#'");
    const std::string_view body = FText.substr(i + 1, close - i - 1);
    FToken.End = close + 1;
    // #YYYY-MM-DD# or #YYYY-MM-DD HH:MM:SS#, every digit in its place.
    static constexpr std::string_view kDateShape = "dddd-dd-dd";
    static constexpr std::string_view kTimeShape = "dddd-dd-dd dd:dd:dd";
    const std::string_view shape = body.size() == kDateShape.size() ? kDateShape : kTimeShape;
    bool fits = body.size() == shape.size();
    for (size_t k = 0; fits && k < body.size(); ++k)
      fits = shape[k] == 'd' ? IsDigit(body[k]) : body[k] == shape[k];
    if (!fits) {
      Fail(i,
           Quoted(i, FToken.End) + " is not a date: write #YYYY-MM-DD# or #YYYY-MM-DD HH:MM:SS#");
    }
    const auto number = [&](size_t at, size_t length) {
      int value = 0;
      for (size_t k = at; k < at + length; ++k)
        value = value * 10 + (body[k] - '0');
      return value;
    };
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    int hour = 0, minute = 0, second = 0;
    if (body.size() == kTimeShape.size()) {
      hour = number(11, 2);
      minute = number(14, 2);
      second = number(17, 2);
    }
    if (!IsValidDate(year, month, day) || hour > 23 || minute > 59 || second > 59) {
      Fail(i, Quoted(i, FToken.End) + " is not a valid date");
    }
    FToken.Kind = TTokenKind::Date;
    FToken.Time = DaysSinceEpoch(year, month, day) * kMsPerDay +
                  ((hour * 60 + minute) * 60 + second) * int64_t{1000};
  }

  void LexNumber(size_t i) {
    size_t j = i;
    bool negative = false;
    if (FText[j] == '-' || FText[j] == '+') negative = FText[j++] == '-';
    TDecimal decimal;
    decimal.Negative = negative;
    int digits = 0;
    bool exact = true;
    bool fraction = false;
    for (; j < FText.size() && (IsDigit(FText[j]) || (FText[j] == '.' && !fraction)); ++j) {
      if (FText[j] == '.') {
        fraction = true;
        continue;
      }
      // Leading zeros add no digits.
      if (decimal.Mantissa != 0 || FText[j] != '0') ++digits;
      if (digits > kMaxExactDigits) exact = false;
      if (exact) {
        decimal.Mantissa = decimal.Mantissa * 10 + static_cast<unsigned>(FText[j] - '0');
        if (fraction) ++decimal.Scale;
      }
    }
    if (j < FText.size() && (FText[j] == 'e' || FText[j] == 'E')) {
      size_t k = j + 1;
      if (k < FText.size() && (FText[k] == '-' || FText[k] == '+')) ++k;
      if (k < FText.size() && IsDigit(FText[k])) {
        while (k < FText.size() && IsDigit(FText[k]))
          ++k;
        j = k;
        exact = false;
      }
    }
    size_t end = j;
    while (end < FText.size() &&
           (IsNameByte(static_cast<unsigned char>(FText[end])) || FText[end] == '.'))
      ++end;
    if (end != j) Fail(i, Quoted(i, end) + " is not a number");
    FToken.Kind = TTokenKind::Number;
    FToken.End = j;
    const char* first = FText.data() + i + (FText[i] == '+' ? 1 : 0);
    double value = 0;
    const auto parsed = std::from_chars(first, FText.data() + j, value);
    if (parsed.ec == std::errc::result_out_of_range || !std::isfinite(value)) {
      Fail(i, Quoted(i, j) + " is out of the range of numbers");
    }
    FToken.Number.Value = value;
    FToken.Number.Exact = exact;
    FToken.Number.Decimal = decimal;
  }

  void LexOperator(size_t i) {
    const std::string_view rest = FText.substr(i);
    static constexpr std::pair<std::string_view, TOperator> kOperators[] = {
        {"<>", TOperator::NotEqual},     {"!=", TOperator::NotEqual}, {"<=", TOperator::LessEqual},
        {">=", TOperator::GreaterEqual}, {"=", TOperator::Equal},     {"<", TOperator::Less},
        {">", TOperator::Greater}};
    for (const auto& [text, op] : kOperators) {
      if (rest.substr(0, text.size()) == text) {
        FToken.Kind = TTokenKind::Operator;
        FToken.Operator = op;
        FToken.End = i + text.size();
        return;
      }
    }
    size_t end = i + 1;
    while (end < FText.size() && (static_cast<unsigned char>(FText[end]) & 0xC0) == 0x80)
      ++end;
    Fail(i, "unexpected character " + Quoted(i, end));
  }

  uint32_t AddNode(TNode node) {
    FExpression.FNodes.push_back(node);
    return static_cast<uint32_t>(FExpression.FNodes.size() - 1);
  }

  uint32_t AddList(TNodeKind kind, const std::vector<uint32_t>& children) {
    if (children.size() == 1) return children[0];
    auto& all = FExpression.FChildren;
    const auto first = static_cast<uint32_t>(all.size());
    all.insert(all.end(), children.begin(), children.end());
    return AddNode({kind, first, static_cast<uint32_t>(children.size())});
  }

  uint32_t ParseOr(int depth) {
    std::vector<uint32_t> children{ParseAnd(depth)};
    while (IsKeyword("OR")) {
      Next();
      children.push_back(ParseAnd(depth));
    }
    return AddList(TNodeKind::Or, children);
  }

  uint32_t ParseAnd(int depth) {
    std::vector<uint32_t> children{ParseFactor(depth)};
    while (IsKeyword("AND")) {
      Next();
      children.push_back(ParseFactor(depth));
    }
    return AddList(TNodeKind::And, children);
  }

  uint32_t ParseFactor(int depth) {
    if (IsKeyword("NOT") || FToken.Kind == TTokenKind::Open) {
      if (depth >= kMaxDepth) {
        Fail(FToken.Start,
             "parentheses and NOTs nest more than " + std::to_string(kMaxDepth) + " deep");
      }
    }
    if (IsKeyword("NOT")) {
      Next();
      return AddNode({TNodeKind::Not, ParseFactor(depth + 1), 0});
    }
    if (FToken.Kind == TTokenKind::Open) {
      const size_t open = FToken.Start;
      Next();
      const uint32_t inner = ParseOr(depth + 1);
      if (FToken.Kind == TTokenKind::End) Fail(open, "'(' is not closed");
      if (FToken.Kind != TTokenKind::Close) {
        Fail(FToken.Start, "expected ')', AND or OR, found " + Found());
      }
      Next();
      return inner;
    }
    return ParseComparison();
  }

  uint32_t ParseComparison() {
    if (FToken.Kind != TTokenKind::Bracketed &&
        (FToken.Kind != TTokenKind::Word || IsAnyKeyword())) {
      Fail(FToken.Start, "expected a column name, found " + Found());
    }
    const int field = FindColumn(FExpression.FTable, FToken.Value);
    if (field < 0) Fail(FToken.Start, "unknown column '" + Abbreviated(FToken.Value) + "'");
    TComparison c;
    c.Field = static_cast<size_t>(field);
    c.Family = FamilyOf(FExpression.FTable.Fields()[c.Field]);
    const std::string name = FExpression.FTable.FieldNames()[c.Field];
    Next();
    if (IsKeyword("IS")) {
      Next();
      c.Operator = TOperator::IsNull;
      if (IsKeyword("NOT")) {
        c.Operator = TOperator::IsNotNull;
        Next();
      }
      if (!IsKeyword("NULL")) Fail(FToken.Start, "expected NULL, found " + Found());
      Next();
    } else if (IsKeyword("LIKE")) {
      if (c.Family != TValueFamily::Text) {
        Fail(FToken.Start,
             "LIKE needs a column of text; '" + name + "' holds " + FamilyNoun(c.Family));
      }
      Next();
      if (FToken.Kind != TTokenKind::Text) {
        Fail(FToken.Start, "LIKE needs a 'pattern' in quotes, found " + Found());
      }
      c.Operator = TOperator::Like;
      c.Pattern = TLikePattern(FToken.Value);
      Next();
    } else if (FToken.Kind == TTokenKind::Operator) {
      c.Operator = FToken.Operator;
      Next();
      TakeValue(c, name);
      Next();
    } else {
      Fail(FToken.Start, "expected =, <>, !=, <, >, <=, >=, LIKE or IS after column '" + name +
                             "', found " + Found());
    }
    FExpression.FComparisons.push_back(std::move(c));
    return AddNode(
        {TNodeKind::Comparison, static_cast<uint32_t>(FExpression.FComparisons.size() - 1), 0});
  }

  // The value of a comparison: it must suit the column's family.
  void TakeValue(TComparison& c, const std::string& name) {
    if (IsKeyword("NULL")) {
      c.WithNull = true;
      return;
    }
    const bool logical = IsKeyword("TRUE") || IsKeyword("FALSE");
    if (FToken.Kind == TTokenKind::Word && !logical && !IsAnyKeyword()) {
      Fail(FToken.Start, "expected a value, found " + Found() + " (a text goes in quotes: '" +
                             Abbreviated(FToken.Value) + "')");
    }
    if (FToken.Kind == TTokenKind::End || FToken.Kind == TTokenKind::Operator ||
        FToken.Kind == TTokenKind::Open || FToken.Kind == TTokenKind::Close ||
        (FToken.Kind == TTokenKind::Word && !logical)) {
      Fail(FToken.Start, "expected a value, found " + Found());
    }
    const char* wanted = nullptr;
    switch (c.Family) {
      case TValueFamily::Text:
        if (FToken.Kind == TTokenKind::Text) {
          c.Text = WithoutTrailingBlanks(FToken.Value);
          c.PlainText = std::all_of(c.Text.begin(), c.Text.end(), [&](char ch) {
            return FExpression.FCollation.IsPlainAscii(static_cast<unsigned char>(ch));
          });
          return;
        }
        wanted = "a 'text' in quotes";
        break;
      case TValueFamily::Number:
        if (FToken.Kind == TTokenKind::Number) {
          c.Number = FToken.Number;
          return;
        }
        wanted = "a number";
        break;
      case TValueFamily::Date:
        if (FToken.Kind == TTokenKind::Date) {
          c.Time = FToken.Time;
          return;
        }
        wanted = "a date, #YYYY-MM-DD# or #YYYY-MM-DD HH:MM:SS#";
        break;
      case TValueFamily::Logical:
        if (logical) {
          c.Logical = IsKeyword("TRUE");
          return;
        }
        wanted = "TRUE or FALSE";
        break;
      case TValueFamily::Binary:
        Fail(FToken.Start,
             "column '" + name + "' holds binary data: only IS NULL and IS NOT NULL test it");
    }
    Fail(FToken.Start, "column '" + name + "' holds " + FamilyNoun(c.Family) +
                           ": compare it with " + wanted + ", not " + Found());
  }

  TFilterExpression& FExpression;
  std::string_view FText;
  TToken FToken;
};

TFilterExpression::TFilterExpression(std::string_view text, TDbfTable& table,
                                     const TCollation& collation)
    : FTable(table),
      FCollation(collation),
      FValues(table.Fields().size()),
      FValueStamps(table.Fields().size(), 0) {
  FRoot = TParser(*this, text).Parse();
}

bool TFilterExpression::Matches(const uint8_t* record) {
  ++FStamp;
  return Evaluate(FRoot, record);
}

bool TFilterExpression::Evaluate(uint32_t index, const uint8_t* record) {
  // Recursion is as deep as the text nests, which the parser bounds.
  const TNode& node = FNodes[index];
  switch (node.Kind) {
    case TNodeKind::All:
      return true;
    case TNodeKind::And:
      for (uint32_t i = 0; i < node.Count; ++i) {
        if (!Evaluate(FChildren[node.First + i], record)) return false;
      }
      return true;
    case TNodeKind::Or:
      for (uint32_t i = 0; i < node.Count; ++i) {
        if (Evaluate(FChildren[node.First + i], record)) return true;
      }
      return false;
    case TNodeKind::Not:
      return !Evaluate(node.First, record);
    case TNodeKind::Comparison:
      break;
  }
  return Compare(FComparisons[node.First], record);
}

const Variant& TFilterExpression::Value(size_t field, const uint8_t* record) {
  if (FValueStamps[field] != FStamp) {
    FTable.DecodeField(record, field, FValues[field]);
    FValueStamps[field] = FStamp;
  }
  return FValues[field];
}

bool TFilterExpression::Compare(TComparison& c, const uint8_t* record) {
  // A character field's answer is kept by its bytes, which need no decoding.
  if (kShortcuts && c.Family == TValueFamily::Text) {
    std::string_view bytes;
    const TRawText raw = RawText(FTable, record, c.Field, bytes);
    if (raw != TRawText::Other) {
      if (c.Operator == TOperator::IsNull || c.Operator == TOperator::IsNotNull) {
        return (raw == TRawText::Null) == (c.Operator == TOperator::IsNull);
      }
      if (raw == TRawText::Null || c.WithNull) return false;
      const uint32_t known = c.Answered.Find(bytes);
      if (known != TDistinctBytes::kNone) return c.Answers[known];
      const bool answer = CompareText(c, Value(c.Field, record).Text());
      if (FAnswerBytes < kMaxAnswerBytes) {
        bool isNew;
        c.Answered.IdOf(bytes, isNew);
        c.Answers.push_back(answer);
        FAnswerBytes += bytes.size() + kAnswerOverhead;
      }
      return answer;
    }
  }
  const Variant& value = Value(c.Field, record);
  if (c.Operator == TOperator::IsNull) return value.IsNull();
  if (c.Operator == TOperator::IsNotNull) return !value.IsNull();
  if (c.WithNull || value.IsNull()) return false;
  int order = 0;
  switch (c.Family) {
    case TValueFamily::Text:
      return CompareText(c, value.Text());
    case TValueFamily::Number:
      if (value.Type() == TVarType::varDouble) {
        // A NaN is in no order with any number.
        if (std::isnan(value.Double())) return false;
        order = Order(value.Double(), c.Number.Value);
      } else if (c.Number.Exact) {
        order = CompareDecimals(ExactDecimalOf(value), c.Number.Decimal);
      } else {
        order = Order(DecimalToDouble(ExactDecimalOf(value)), c.Number.Value);
      }
      break;
    case TValueFamily::Date:
      order = Order(TimeLineMilliseconds(value.Date()), c.Time);
      break;
    case TValueFamily::Logical:
      order = Order(value.Boolean(), c.Logical);
      break;
    case TValueFamily::Binary:
      return false;
  }
  return Satisfies(c.Operator, order);
}

bool TFilterExpression::CompareText(const TComparison& c, std::string_view text) const {
  text = WithoutTrailingBlanks(text);
  if (c.Operator == TOperator::Like) return c.Pattern.Matches(text);
  int order;
  if (kShortcuts && (c.Operator == TOperator::Equal || c.Operator == TOperator::NotEqual) &&
      c.PlainText && std::all_of(text.begin(), text.end(), [&](char ch) {
        return FCollation.IsPlainAscii(static_cast<unsigned char>(ch));
      })) {
    // Texts of plain ASCII characters are equal to the collation exactly
    // when they are equal ignoring ASCII case: no collator needed.
    order = EqualsIgnoringAsciiCase(text, c.Text) ? 0 : 1;
  } else {
    order = FCollation.Compare(text, c.Text);
  }
  return Satisfies(c.Operator, order);
}

void ApplyFilter(TDbfCursor& cursor, TFilterExpression& filter) {
  TDbfTable& table = cursor.Table();
  if (!cursor.HasOrder()) {
    // The live records in file order: one pass, keeping only the matches.
    // The list grows with the matches found, never with what the file's size
    // makes room for: a sparse file holds records it has no data for.
    std::vector<uint32_t> kept;
    for (uint32_t index = 0; index < table.RecordCount(); ++index) {
      if (index % kProgressRecords == 0) ReportProgress(index, table.RecordCount());
      const uint8_t* record = table.RecordAt(index);
      if (!table.IsHidden(record) && filter.Matches(record)) kept.push_back(index);
    }
    cursor.SetOrder(std::move(kept));
    return;
  }
  std::vector<uint32_t> records = cursor.TakeOrder();
  try {
    // Reading in the cursor's order would jump around the file; a bit per
    // table record marks the shown ones, which are then read in file order
    // and keep their mark only when they match.
    std::vector<bool> keep(table.RecordCount(), false);
    for (const uint32_t index : records)
      keep[index] = true;
    for (uint32_t index = 0; index < table.RecordCount(); ++index) {
      if (index % kProgressRecords == 0) ReportProgress(index, table.RecordCount());
      if (keep[index]) keep[index] = filter.Matches(table.RecordAt(index));
    }
    std::erase_if(records, [&](uint32_t index) { return !keep[index]; });
  } catch (...) {
    cursor.SetOrder(std::move(records));
    throw;
  }
  cursor.SetOrder(std::move(records));
}

}  // namespace lumbra
