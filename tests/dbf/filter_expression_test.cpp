// Filter texts over a built table with a column of every family: what each
// operator keeps, the Null rules, text by the collation, and the errors that
// name a position.
#include "dbf/filter_expression.h"

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf_error.h"
#include "tests/support/dbf_builder.h"
#include "tests/support/test_files.h"

namespace lumbra {
namespace {

using namespace lumbra::test;

// Code page 1250 bytes of Romanian towns.
const std::string kBrasov = "Bra\xBAov";  // Braşov
const std::string kBacau = "Bac\xE3u";    // Bacău
const std::string kIasi = "Ia\xBAi";      // Iaşi

TTableShape TownsSpec() {
  TTableShape spec;
  spec.CodePageMark = 0xC8;  // 1250
  spec.Fields = {{"ID", 'I', 4},       {"NUME", 'C', 12, 0, kFlagNullable},
                 {"SUMA", 'N', 10, 2}, {"PRET", 'B', 8},
                 {"VAL", 'Y', 8},      {"DATA", 'D', 8},
                 {"MOMENT", 'T', 8},   {"ACTIV", 'L', 1},
                 {"OBS", 'M', 4},      {"COD", 'C', 2, 0, kFlagBinary},
                 {"AND", 'N', 3}};
  spec.Rows = {
      {Int(1), Text("Cluj"), Dbl(150), Dbl(1.5), Currency(10000), Date(2020, 1, 15),
       DateTime(2020, 1, 15, 10, 30, 0), Logical(true), Memo("prima nota"), Raw("ab"), Int(1)},
      {Int(2), Text("CLUJ"), Dbl(99.99), Dbl(2.5), Currency(25000), Date(2020, 1, 16),
       DateTime(2020, 1, 15, 10, 30, 1), Logical(false), Memo(""), Raw("cd"), Int(0)},
      {Int(3), Text(kBrasov), Dbl(100), Dbl(-0.5), Currency(-5000), Date(2019, 12, 31),
       DateTime(1899, 12, 29, 6, 0, 0), Logical(true), Memo("alta nota"), Raw("ef"), Int(0)},
      {Int(4), Null(), Null(), Dbl(0), Currency(0), Null(), Null(), Raw("?"), Null(), Raw("gh"),
       Int(0)},
      {Int(5), Text(kBacau), Dbl(-12.5), Dbl(1e6), Currency(0), Date(1899, 12, 29),
       DateTime(1899, 12, 29, 0, 0, 0), Logical(false), Memo("x"), Raw("ij"), Int(0)},
      {Int(6), Text("O'Brien"), Dbl(0), Dbl(0), Currency(0), Date(2024, 2, 29),
       DateTime(2024, 2, 29, 23, 59, 59), Logical(true), Memo(""), Raw("kl"), Int(0)},
      {Int(7), Text("  lead"), Dbl(0), Dbl(0), Currency(0), Date(2000, 1, 1),
       DateTime(2000, 1, 1, 0, 0, 0), Logical(true), Memo(""), Raw("mn"), Int(0)},
      {Int(8), Text(""), Dbl(0), Dbl(0), Currency(0), Date(2000, 1, 1),
       DateTime(2000, 1, 1, 0, 0, 0), Logical(true), Memo(""), Raw("op"), Int(0)},
      {Int(9), Text(kIasi), Dbl(1000), Dbl(0), Currency(0), Date(2000, 1, 1),
       DateTime(2000, 1, 1, 0, 0, 0), Logical(true), Memo(""), Raw("qr"), Int(0)},
      {Int(10), Text("Cluj"), Dbl(150), Dbl(1.5), Currency(10000), Date(2020, 1, 15),
       DateTime(2020, 1, 15, 10, 30, 0), Logical(true), Memo(""), Raw("st"), Int(1)},
  };
  spec.DeletedRows = {9};
  return spec;
}

class FilterTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    FFolder = new TTempFolder;
    FPath = new std::string(WriteTable(FFolder->Path(), "orase", TownsSpec()).string());
  }
  static void TearDownTestSuite() {
    delete FPath;
    delete FFolder;
  }
  void SetUp() override { FTable = TDbfTable::Open(*FPath); }

  static const TCollation& Romanian() {
    static const TCollation collation("ro_RO.UTF-8");
    return collation;
  }

  // The IDs of the records the filter keeps, in the order it keeps them.
  std::vector<int> Matching(const std::string& text) {
    TDbfCursor cursor(*FTable);
    TFilterExpression filter(text, *FTable, Romanian());
    ApplyFilter(cursor, filter);
    std::vector<int> ids;
    Variant id;
    for (uint32_t position = 0; cursor.Reaches(position); ++position) {
      FTable->DecodeField(FTable->RecordAt(cursor.RecordAt(position)), 0, id);
      ids.push_back(id.Integer());
    }
    return ids;
  }

  // The message of the error the filter text gives.
  std::string ErrorOf(const std::string& text) {
    try {
      TFilterExpression filter(text, *FTable, Romanian());
    } catch (const EDbfError& e) {
      return e.Message();
    }
    return "no error";
  }

  static TTempFolder* FFolder;
  static std::string* FPath;
  std::unique_ptr<TDbfTable> FTable;
};

TTempFolder* FilterTest::FFolder = nullptr;
std::string* FilterTest::FPath = nullptr;

struct TCase {
  const char* Name;
  std::string Filter;
  std::vector<int> Ids;
};

void PrintTo(const TCase& c, std::ostream* os) {
  *os << c.Filter;
}

// A case's name as a test name: letters and digits, words joined by "_".
template <class T>
std::string CaseName(const testing::TestParamInfo<T>& info) {
  std::string name;
  for (const char* p = info.param.Name; *p != '\0'; ++p) {
    const bool alnum = std::isalnum(static_cast<unsigned char>(*p)) != 0;
    if (alnum) {
      name.push_back(*p);
    } else if (!name.empty() && name.back() != '_') {
      name.push_back('_');
    }
  }
  return name;
}

class FilterKeeps : public FilterTest, public testing::WithParamInterface<TCase> {};

TEST_P(FilterKeeps, TheRecordsItHoldsFor) {
  EXPECT_EQ(Matching(GetParam().Filter), GetParam().Ids) << GetParam().Filter;
}

const std::vector<int> kAllLive = {1, 2, 3, 4, 5, 6, 7, 8, 9};

INSTANTIATE_TEST_SUITE_P(
    Text, FilterKeeps,
    testing::Values(TCase{"equal ignores letter case", "NUME = 'cluj'", {1, 2}},
                    TCase{
                        "equal ignores the literal's trailing blanks", "NUME = 'Cluj   '", {1, 2}},
                    TCase{"leading blanks count", "NUME = 'lead'", {}},
                    TCase{"blank text is empty, not Null", "NUME = ''", {8}},
                    TCase{"not equal leaves Null out", "NUME <> 'Cluj'", {3, 5, 6, 7, 8, 9}},
                    TCase{"!= is <>", "NUME != 'Cluj'", {3, 5, 6, 7, 8, 9}},
                    TCase{"order by the collation", "NUME >= 'b' AND NUME < 'J'", {1, 2, 3, 5, 9}},
                    TCase{"less than", "NUME < 'Braşov'", {5, 7, 8}},
                    TCase{"greater than", "NUME > 'iaşi'", {6}},
                    TCase{"less or equal", "NUME <= 'Bacău'", {5, 7, 8}},
                    TCase{"diacritics without letter case", "NUME = 'BRAŞOV'", {3}},
                    TCase{"capital diacritics", "NUME = 'IAŞI' OR NUME = 'BACĂU'", {5, 9}},
                    TCase{"accents count", "NUME = 'Brasov' OR NUME = 'Bacau'", {}},
                    TCase{"doubled quote", "NUME = 'O''Brien'", {6}},
                    TCase{"bracketed column", "[NUME] = 'Cluj'", {1, 2}},
                    TCase{"column in other letter case", "nume = 'Cluj'", {1, 2}},
                    TCase{"bracketed keyword column", "[AND] = 1", {1}},
                    TCase{"memo text", "OBS = 'Prima Nota'", {1}}),
    CaseName<TCase>);

INSTANTIATE_TEST_SUITE_P(
    Like, FilterKeeps,
    testing::Values(
        TCase{"star runs", "NUME LIKE 'cl*'", {1, 2}},
        TCase{"percent runs", "NUME LIKE '%J'", {1, 2}},
        TCase{"underscore is one character", "NUME LIKE 'Bra_ov'", {3}},
        TCase{"question mark is one character", "NUME LIKE '?a?i'", {9}},
        TCase{"no wildcard is the whole text", "NUME LIKE 'clu'", {}},
        TCase{"diacritics without letter case", "NUME LIKE '*ĂU'", {5}},
        TCase{"empty pattern matches blank", "NUME LIKE ''", {8}},
        TCase{"run matches every text but Null", "NUME LIKE '*'", {1, 2, 3, 5, 6, 7, 8, 9}},
        TCase{"leading blanks are characters", "NUME LIKE '_ lead'", {7}},
        TCase{"memo", "OBS LIKE '*nota'", {1, 3}}),
    CaseName<TCase>);

INSTANTIATE_TEST_SUITE_P(
    Numbers, FilterKeeps,
    testing::Values(TCase{"integer equal", "ID = 3", {3}},
                    TCase{"integer not equal", "ID <> 3 AND ID < 6", {1, 2, 4, 5}},
                    TCase{"decimal greater", "SUMA > 100", {1, 9}},
                    TCase{"decimal greater or equal", "SUMA >= 100", {1, 3, 9}},
                    TCase{"decimal against a whole number", "SUMA = 150", {1}},
                    TCase{"decimal against more decimals", "SUMA = 99.990", {2}},
                    TCase{"exponent", "SUMA = 1.5E2", {1}},
                    TCase{"negative literal", "SUMA < -1", {5}},
                    TCase{"fraction without a leading digit", "SUMA > .5 AND SUMA < 100", {2}},
                    TCase{"blank numeric is Null", "SUMA <= 0", {5, 6, 7, 8}},
                    TCase{"double", "PRET < 0 OR PRET > 1000", {3, 5}},
                    TCase{"double against a fraction", "PRET = 2.5", {2}},
                    TCase{"currency", "VAL = 2.5", {2}}, TCase{"negative currency", "VAL < 0", {3}},
                    TCase{"plus sign", "ID = +1", {1}}),
    CaseName<TCase>);

INSTANTIATE_TEST_SUITE_P(
    Dates, FilterKeeps,
    testing::Values(
        TCase{"date equal", "DATA = #2020-01-15#", {1}},
        TCase{"date later", "DATA > #2020-01-15#", {2, 6}},
        TCase{"date against a time of day", "DATA < #2020-01-15 00:00:01#", {1, 3, 5, 7, 8, 9}},
        TCase{"date-time to the second", "MOMENT = #2020-01-15 10:30:00#", {1}},
        TCase{"date-time against a date", "MOMENT > #2020-01-15#", {1, 2, 6}},
        TCase{"before 1899-12-30 in time order",
              "MOMENT > #1899-12-29 00:00:00# AND MOMENT < #1899-12-30#",
              {3}},
        TCase{"leap day", "DATA = #2024-02-29#", {6}}),
    CaseName<TCase>);

INSTANTIATE_TEST_SUITE_P(Logicals, FilterKeeps,
                         testing::Values(TCase{"true", "ACTIV = TRUE", {1, 3, 6, 7, 8, 9}},
                                         TCase{"false in lower case", "ACTIV = false", {2, 5}},
                                         TCase{"not true leaves Null out", "ACTIV <> TRUE", {2, 5}},
                                         TCase{"false before true", "ACTIV < TRUE", {2, 5}}),
                         CaseName<TCase>);

INSTANTIATE_TEST_SUITE_P(
    Nulls, FilterKeeps,
    testing::Values(
        TCase{"is null", "NUME IS NULL", {4}},
        TCase{"is not null", "nume is not null", {1, 2, 3, 5, 6, 7, 8, 9}},
        TCase{"equal to NULL holds for none", "NUME = NULL OR ID = NULL", {}},
        TCase{"unequal to NULL holds for none", "NUME <> NULL", {}},
        TCase{"NOT of a comparison with Null holds", "NOT NUME = 'Cluj'", {3, 4, 5, 6, 7, 8, 9}},
        TCase{"blank date is Null", "DATA IS NULL AND MOMENT IS NULL", {4}},
        TCase{"unreadable logical is Null", "ACTIV IS NULL", {4}},
        TCase{"binary column tested for Null", "COD IS NOT NULL", kAllLive}),
    CaseName<TCase>);

INSTANTIATE_TEST_SUITE_P(
    Logic, FilterKeeps,
    testing::Values(TCase{"AND binds tighter than OR", "ID = 1 OR ID = 2 AND ID = 3", {1}},
                    TCase{"parentheses group", "(ID = 1 OR ID = 2) AND ID = 2", {2}},
                    TCase{"NOT binds tighter than AND", "NOT ID = 1 AND ID < 3", {2}},
                    TCase{"NOT of a group", "NOT (ID < 3 OR ID > 4)", {3, 4}},
                    TCase{"double NOT", "NOT NOT ID = 1", {1}},
                    TCase{"keywords in any letter case", "id = 1 oR Id = 2", {1, 2}},
                    TCase{"no blanks needed", "(ID=1)OR(ID>=9)", {1, 9}},
                    TCase{"blanks alone keep every record", " \t ", kAllLive},
                    TCase{"deleted records never come", "ID = 10", {}}),
    CaseName<TCase>);

struct TErrorCase {
  const char* Name;
  std::string Filter;
  std::string Message;
};

void PrintTo(const TErrorCase& c, std::ostream* os) {
  *os << c.Filter;
}

class FilterRefuses : public FilterTest, public testing::WithParamInterface<TErrorCase> {};

TEST_P(FilterRefuses, NamingPositionAndProblem) {
  EXPECT_EQ(ErrorOf(GetParam().Filter), GetParam().Message) << GetParam().Filter;
}

INSTANTIATE_TEST_SUITE_P(
    Errors, FilterRefuses,
    testing::Values(
        TErrorCase{"unknown column", "NOT ( ORSA = 1)",
                   "Filter error at position 7: unknown column 'ORSA'"},
        TErrorCase{"positions count characters, not bytes", "NUME = 'ş' AND ORSA = 1",
                   "Filter error at position 16: unknown column 'ORSA'"},
        TErrorCase{"unclosed quote", "NUME = 'abc",
                   "Filter error at position 8: the text that starts here has no closing quote"},
        TErrorCase{"number for a text column", "NUME = 5",
                   "Filter error at position 8: column 'NUME' holds text: compare it with a "
                   "'text' in quotes, not '5'"},
        TErrorCase{"text for a number column", "SUMA > '100'",
                   "Filter error at position 8: column 'SUMA' holds numbers: compare it with a "
                   "number, not '100'"},
        TErrorCase{"text for a date column", "DATA = '2020-01-15'",
                   "Filter error at position 8: column 'DATA' holds dates: compare it with a "
                   "date, #YYYY-MM-DD# or #YYYY-MM-DD HH:MM:SS#, not '2020-01-15'"},
        TErrorCase{"number for a logical column", "ACTIV = 1",
                   "Filter error at position 9: column 'ACTIV' holds logical values: compare it "
                   "with TRUE or FALSE, not '1'"},
        TErrorCase{"date for a number column", "ID = #2020-01-15#",
                   "Filter error at position 6: column 'ID' holds numbers: compare it with a "
                   "number, not '#2020-01-15#'"},
        TErrorCase{"binary column compared", "COD = 'ab'",
                   "Filter error at position 7: column 'COD' holds binary data: only IS NULL and "
                   "IS NOT NULL test it"},
        TErrorCase{"impossible date", "DATA = #2021-02-29#",
                   "Filter error at position 8: '#2021-02-29#' is not a valid date"},
        TErrorCase{"date of another shape", "DATA = #2021-2-3#",
                   "Filter error at position 8: '#2021-2-3#' is not a date: write #YYYY-MM-DD# "
                   "or #YYYY-MM-DD HH:MM:SS#"},
        TErrorCase{"unclosed date", "DATA = #2021-02-03",
                   "Filter error at position 8: the date that starts here has no closing '#'"},
        TErrorCase{"LIKE on numbers", "SUMA LIKE '1*'",
                   "Filter error at position 6: LIKE needs a column of text; 'SUMA' holds "
                   "numbers"},
        TErrorCase{"LIKE without a quoted pattern", "NUME LIKE Cl*",
                   "Filter error at position 11: LIKE needs a 'pattern' in quotes, found 'Cl'"},
        TErrorCase{"unclosed parenthesis", "(ID = 1 OR ID = 2",
                   "Filter error at position 1: '(' is not closed"},
        TErrorCase{"closing parenthesis alone", "ID = 1)",
                   "Filter error at position 7: ')' without a matching '('"},
        TErrorCase{"two comparisons without AND", "ID = 1 ID = 2",
                   "Filter error at position 8: expected AND or OR, found 'ID'"},
        TErrorCase{"column without operator", "ID",
                   "Filter error at position 3: expected =, <>, !=, <, >, <=, >=, LIKE or IS "
                   "after column 'ID', found the end of the filter"},
        TErrorCase{"operator without value", "ID =",
                   "Filter error at position 5: expected a value, found the end of the filter"},
        TErrorCase{"text without quotes", "NUME = Cluj",
                   "Filter error at position 8: expected a value, found 'Cluj' (a text goes in "
                   "quotes: 'Cluj')"},
        TErrorCase{"letters after digits", "ID = 12abc",
                   "Filter error at position 6: '12abc' is not a number"},
        TErrorCase{"unknown character", "ID & 1",
                   "Filter error at position 4: unexpected character '&'"},
        TErrorCase{"unclosed bracket", "[NUME = 'x'",
                   "Filter error at position 1: the column name in brackets that starts here has "
                   "no closing ']'"},
        TErrorCase{"IS without NULL", "ID IS 5",
                   "Filter error at position 7: expected NULL, found '5'"},
        TErrorCase{"AND at the end", "ID = 1 AND",
                   "Filter error at position 11: expected a column name, found the end of the "
                   "filter"},
        TErrorCase{"keyword where a column goes", "AND = 1",
                   "Filter error at position 1: expected a column name, found 'AND'"},
        TErrorCase{"NUL byte", std::string("ID = 1\0 OR ID = 2", 17),
                   "Filter error at position 7: a NUL character (code 0) cannot be part of a "
                   "filter"},
        TErrorCase{"number out of range", "SUMA > 1e999",
                   "Filter error at position 8: '1e999' is out of the range of numbers"}),
    CaseName<TErrorCase>);

TEST_F(FilterTest, NestingIsBoundedWithOneError) {
  const int deepest = TFilterExpression::kMaxDepth;
  const auto nested = [](int depth, const std::string& open) {
    std::string text;
    for (int i = 0; i < depth; ++i)
      text += open;
    text += "ID = 1";
    if (open == "(") text += std::string(static_cast<size_t>(depth), ')');
    return text;
  };
  EXPECT_EQ(Matching(nested(deepest, "(")), std::vector<int>{1});
  EXPECT_EQ(Matching(nested(deepest, "NOT ")), std::vector<int>{1});
  EXPECT_EQ(ErrorOf(nested(10000, "(")),
            "Filter error at position 201: parentheses and NOTs nest more than 200 deep");
  EXPECT_EQ(ErrorOf(std::string(10000, '(')),
            "Filter error at position 201: parentheses and NOTs nest more than 200 deep");
  EXPECT_EQ(ErrorOf(nested(10000, "NOT ")),
            "Filter error at position 801: parentheses and NOTs nest more than 200 deep");
}

TEST_F(FilterTest, MegabyteTextsParseOrFailOnceWithAShortMessage) {
  const std::string megabyte(1 << 20, 'x');
  EXPECT_EQ(Matching("NUME = '" + megabyte + "'"), std::vector<int>{});
  std::string chain = "ID = 1";
  while (chain.size() < (1u << 20))
    chain += " OR ID = 2";
  EXPECT_EQ(Matching(chain), (std::vector<int>{1, 2}));
  EXPECT_EQ(ErrorOf("NUME = '" + megabyte),
            "Filter error at position 8: the text that starts here has no closing quote");
  EXPECT_EQ(ErrorOf(megabyte + " = 1"),
            "Filter error at position 1: unknown column '" + std::string(40, 'x') + "...'");
  EXPECT_LT(ErrorOf(std::string(1 << 20, '=')).size(), 100u);
}

}  // namespace
}  // namespace lumbra
