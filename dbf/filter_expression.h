// Filter texts: a condition on a table's columns that keeps the records it
// holds for. The grammar:
//
//   condition  := and-list { OR and-list }
//   and-list   := factor { AND factor }
//   factor     := NOT factor | "(" condition ")" | comparison
//   comparison := column op value | column LIKE 'pattern'
//               | column IS [NOT] NULL
//   op         := = | <> | != | < | > | <= | >=
//   column     := name | [any name]
//   value      := 'text' | number | #YYYY-MM-DD# | #YYYY-MM-DD HH:MM:SS#
//               | TRUE | FALSE | NULL
//
// A doubled quote stands for a quote inside a text. Keywords and column names
// ignore letter case. Texts compare by the collation, letter case ignored,
// trailing blanks ignored on both sides; LIKE patterns are described in
// dbf/filter_like.h. Numbers compare by value, dates and date-times in time
// order, logicals with FALSE before TRUE. A comparison with a Null value, or
// with NULL, is false; only IS NULL holds for it. NOT of a false comparison is
// true.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/variant.h"
#include "dbf/collation.h"
#include "dbf/cursor.h"
#include "dbf/filter_like.h"
#include "dbf/filter_values.h"
#include "dbf/table.h"

namespace lumbra {

class TFilterExpression {
 public:
  // How deep parentheses and NOTs may nest.
  static constexpr int kMaxDepth = 200;

  // Compiles text against the columns of table (its fields but the system
  // ones). A text of blanks alone holds for every record. table and
  // collation must outlive the expression. Throws EDbfError
  // "Filter error at position N: <problem>", N counting characters from 1;
  // memory and time stay proportional to the text's length, and nesting
  // beyond kMaxDepth is refused.
  TFilterExpression(std::string_view text, TDbfTable& table,
                    const TCollation& collation = TCollation::ForUser());

  // Whether the record (bytes from the table's RecordAt) satisfies the
  // condition. Decodes only the fields the answer needs. Throws EDbfError
  // when a memo read fails.
  bool Matches(const uint8_t* record);

  enum class TOperator : uint8_t {
    Equal,
    NotEqual,
    Less,
    Greater,
    LessEqual,
    GreaterEqual,
    Like,
    IsNull,
    IsNotNull
  };

 private:
  struct TNumber {
    double Value = 0;
    bool Exact = false;  // Decimal holds the literal exactly
    TDecimal Decimal;
  };
  struct TComparison {
    TOperator Operator = TOperator::Equal;
    size_t Field = 0;
    TValueFamily Family = TValueFamily::Text;
    bool WithNull = false;   // compared with NULL: never true
    std::string Text;        // trailing blanks cut
    bool PlainText = false;  // every byte of Text is plain ASCII to the collation
    TNumber Number;
    int64_t Time = 0;  // milliseconds on the time line
    bool Logical = false;
    TLikePattern Pattern;
    // A text comparison's answers by the bytes of the value, for character
    // fields: their values repeat, and the bytes are all the answer needs.
    TDistinctBytes Answered;
    std::vector<bool> Answers;  // by the number of the bytes in Answered
  };
  enum class TNodeKind : uint8_t { All, And, Or, Not, Comparison };
  struct TNode {
    TNodeKind Kind = TNodeKind::All;
    uint32_t First =
        0;  // And/Or: first index into FChildren; Not: the child; Comparison: its index
    uint32_t Count = 0;  // And/Or: number of children
  };
  class TParser;

  bool Evaluate(uint32_t node, const uint8_t* record);
  bool Compare(TComparison& c, const uint8_t* record);
  bool CompareText(const TComparison& c, std::string_view text) const;
  const Variant& Value(size_t field, const uint8_t* record);

  TDbfTable& FTable;
  const TCollation& FCollation;
  std::vector<TNode> FNodes;
  uint32_t FRoot = 0;
  std::vector<uint32_t> FChildren;
  std::vector<TComparison> FComparisons;
  // The values of the record being tested, decoded on first use: a field's
  // value is current when its stamp is the record's.
  std::vector<Variant> FValues;
  std::vector<uint64_t> FValueStamps;
  uint64_t FStamp = 0;
  // Memory the comparisons' answers take, which stops growing at a bound.
  size_t FAnswerBytes = 0;
};

// Keeps those of the cursor's visible records that satisfy filter, in their
// order. Reads the records in file order whatever the cursor's order. Throws
// EDbfError when the file cannot be read; the cursor is then unchanged.
void ApplyFilter(TDbfCursor& cursor, TFilterExpression& filter);

}  // namespace lumbra
