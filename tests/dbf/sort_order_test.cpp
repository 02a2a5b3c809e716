// Sort texts over built tables: the order of every family, Nulls, ties kept
// in file order, sorting a filtered set, and the errors of bad sort texts.
#include "dbf/sort_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "base/progress.h"
#include "dbf/dbf_error.h"
#include "dbf/filter_expression.h"
#include "tests/support/dbf_builder.h"
#include "tests/support/test_files.h"

namespace lumbra {
namespace {

using namespace lumbra::test;

const TCollation& Romanian() {
  static const TCollation collation("ro_RO.UTF-8");
  return collation;
}

TTableShape TownsSpec() {
  TTableShape spec;
  spec.CodePageMark = 0xC8;  // 1250
  spec.Fields = {{"ID", 'I', 4},       {"ORAS", 'C', 12, 0, kFlagNullable},
                 {"SUMA", 'N', 10, 2}, {"MARE", 'N', 20, 0},
                 {"PRET", 'B', 8},     {"VAL", 'Y', 8},
                 {"DATA", 'D', 8},     {"MOMENT", 'T', 8},
                 {"ACTIV", 'L', 1},    {"ETICHETA", 'V', 10},
                 {"OBS", 'M', 4},      {"COD", 'C', 2, 0, kFlagBinary}};
  spec.Rows = {
      {Int(1), Text("Cluj"), Dbl(150), Raw("   12345678901234568"), Dbl(0.0), Currency(10000),
       Date(2020, 1, 15), DateTime(2020, 1, 15, 10, 30, 0), Logical(true), Text("beta"), Memo("a"),
       Raw("ab")},
      {Int(2), Text("Bac\xE3u"), Dbl(20), Raw("   12345678901234567"), Dbl(-0.0), Currency(-1),
       Date(1899, 12, 29), DateTime(1899, 12, 29, 6, 0, 0), Logical(false), Text("Alfa"), Memo("b"),
       Raw("cd")},
      {Int(3), Text("CLUJ"), Dbl(150), Raw("  -12345678901234567"), Dbl(-2.5), Currency(0),
       Date(2020, 1, 15), DateTime(1899, 12, 29, 0, 0, 0), Logical(true), Text("alfa"), Memo("c"),
       Raw("ef")},
      {Int(4), Null(), Null(), Null(), Dbl(1e300), Currency(5), Null(), Null(), Raw("?"),
       Text("  "), Memo(""), Raw("gh")},
      {Int(5), Text("bra\xBAov"), Dbl(-5), Raw("                   0"), Dbl(3), Currency(5),
       Date(1900, 1, 1), DateTime(1899, 12, 30, 0, 0, 1), Logical(false), Text("Beta  "), Memo(""),
       Raw("ij")},
      {Int(6), Text("Cluj  "), Dbl(200), Raw("   12345678901234568"), Dbl(-1e300), Currency(-10),
       Date(2019, 12, 31), DateTime(2020, 1, 15, 10, 29, 59), Logical(true), Text("gama"), Memo(""),
       Raw("kl")},
      {Int(7), Text("Ia\xBAi"), Dbl(20), Raw("                  -1"), Dbl(0.5), Currency(0),
       Date(2020, 1, 16), DateTime(2000, 1, 1, 0, 0, 0), Null(), Text("delta"), Memo(""),
       Raw("mn")},
      {Int(8), Text("Zalau"), Dbl(1), Raw("                   1"), Dbl(0), Currency(0),
       Date(2020, 1, 16), DateTime(2000, 1, 1, 0, 0, 0), Logical(true), Text("z"), Memo(""),
       Raw("op")},
  };
  spec.DeletedRows = {7};
  return spec;
}

class SortTest : public testing::Test {
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

  std::vector<int> Ids(TDbfCursor& cursor) {
    std::vector<int> ids;
    Variant id;
    for (uint32_t position = 0; cursor.Reaches(position); ++position) {
      FTable->DecodeField(FTable->RecordAt(cursor.RecordAt(position)), 0, id);
      ids.push_back(id.Integer());
    }
    return ids;
  }

  // The IDs in the order the sort text gives, from file order.
  std::vector<int> Sorted(const std::string& text) {
    TDbfCursor cursor(*FTable);
    ApplySort(cursor, ParseSortText(text, *FTable), Romanian());
    return Ids(cursor);
  }

  std::string ErrorOf(const std::string& text) {
    try {
      ParseSortText(text, *FTable);
    } catch (const EDbfError& e) {
      return e.Message();
    }
    return "no error";
  }

  static TTempFolder* FFolder;
  static std::string* FPath;
  std::unique_ptr<TDbfTable> FTable;
};

TTempFolder* SortTest::FFolder = nullptr;
std::string* SortTest::FPath = nullptr;

struct TCase {
  const char* Name;
  std::string Sort;
  std::vector<int> Ids;
};

void PrintTo(const TCase& c, std::ostream* os) {
  *os << c.Sort;
}

struct TErrorCase {
  const char* Name;
  std::string Sort;
  std::string Message;
};

void PrintTo(const TErrorCase& c, std::ostream* os) {
  *os << c.Sort;
}

template <class T>
std::string CaseName(const testing::TestParamInfo<T>& info) {
  std::string name;
  for (const char* p = info.param.Name; *p != '\0'; ++p) {
    if (std::isalnum(static_cast<unsigned char>(*p)) != 0) {
      name.push_back(*p);
    } else if (!name.empty() && name.back() != '_') {
      name.push_back('_');
    }
  }
  return name;
}

class SortGives : public SortTest, public testing::WithParamInterface<TCase> {};

TEST_P(SortGives, TheOrder) {
  EXPECT_EQ(Sorted(GetParam().Sort), GetParam().Ids) << GetParam().Sort;
}

INSTANTIATE_TEST_SUITE_P(
    Columns, SortGives,
    testing::Values(
        TCase{
            "text by the collation, Null first, ties in file order", "ORAS", {4, 2, 5, 1, 3, 6, 7}},
        TCase{"text descending, Null last, ties still in file order",
              "ORAS DESC",
              {7, 1, 3, 6, 5, 2, 4}},
        TCase{"second column within ties of the first", "ORAS, SUMA DESC", {4, 2, 5, 6, 1, 3, 7}},
        TCase{"decimals, Null first", "SUMA", {4, 5, 2, 7, 1, 3, 6}},
        TCase{"wide numerics exactly", "MARE", {4, 3, 7, 5, 2, 1, 6}},
        TCase{"doubles, negative zero equal to zero", "PRET", {6, 3, 1, 2, 7, 5, 4}},
        TCase{"currency", "VAL DESC", {1, 4, 5, 3, 7, 2, 6}},
        TCase{"dates", "DATA", {4, 2, 5, 6, 1, 3, 7}},
        TCase{"date-times in time order before 1899-12-30", "MOMENT", {4, 3, 2, 5, 7, 6, 1}},
        TCase{"logicals false before true", "ACTIV", {4, 7, 2, 5, 1, 3, 6}},
        TCase{"varchar texts", "ETICHETA", {4, 2, 3, 1, 5, 7, 6}},
        TCase{"integers descending", "ID DESC", {7, 6, 5, 4, 3, 2, 1}}),
    CaseName<TCase>);

INSTANTIATE_TEST_SUITE_P(
    Texts, SortGives,
    testing::Values(TCase{"keywords in any letter case", "id desc", {7, 6, 5, 4, 3, 2, 1}},
                    TCase{"ASC is the default", "ID ASC", {1, 2, 3, 4, 5, 6, 7}},
                    TCase{"bracketed column", "[ORAS] DESC, [ID]DESC", {7, 6, 3, 1, 5, 2, 4}},
                    TCase{"blanks around parts", "  SUMA  DESC ,\tID  ", {6, 1, 3, 2, 7, 5, 4}},
                    TCase{"a column named again adds nothing",
                          "ORAS, ORAS DESC, ID DESC",
                          {4, 2, 5, 6, 3, 1, 7}},
                    TCase{"empty text keeps file order", "", {1, 2, 3, 4, 5, 6, 7}},
                    TCase{"blanks keep file order", "  ", {1, 2, 3, 4, 5, 6, 7}}),
    CaseName<TCase>);

class SortRefuses : public SortTest, public testing::WithParamInterface<TErrorCase> {};

TEST_P(SortRefuses, NamingPositionAndProblem) {
  EXPECT_EQ(ErrorOf(GetParam().Sort), GetParam().Message) << GetParam().Sort;
}

INSTANTIATE_TEST_SUITE_P(
    Errors, SortRefuses,
    testing::Values(
        TErrorCase{"unknown column", "ORSA", "Sort error at position 1: unknown column 'ORSA'"},
        TErrorCase{"unknown second column", "ID, ORSA DESC",
                   "Sort error at position 5: unknown column 'ORSA'"},
        TErrorCase{"direction word that is none", "ORAS DESCENDING",
                   "Sort error at position 1: unknown column 'ORAS DESCENDING'"},
        TErrorCase{"empty part", "ID,,ORAS", "Sort error at position 4: a column name is missing"},
        TErrorCase{"trailing comma", "ID, ", "Sort error at position 5: a column name is missing"},
        TErrorCase{"memo", "OBS",
                   "Sort error at position 1: column 'OBS' is a memo, which cannot be sorted"},
        TErrorCase{"binary", "ID,COD DESC",
                   "Sort error at position 4: column 'COD' holds binary data, which cannot be "
                   "sorted"},
        TErrorCase{"word after brackets", "[ORAS] DOWN",
                   "Sort error at position 8: expected ASC, DESC or ',' after the column, found "
                   "'DOWN'"},
        TErrorCase{"unclosed bracket", "[ORAS DESC",
                   "Sort error at position 1: the column name in brackets that starts here has "
                   "no closing ']'"},
        TErrorCase{"NUL byte", std::string("ID\0", 3),
                   "Sort error at position 3: a NUL character (code 0) cannot be part of a sort"}),
    CaseName<TErrorCase>);

TEST_F(SortTest, SortsAFilteredSetAsTheFilterWouldLeaveTheSortedOne) {
  TDbfCursor filteredFirst(*FTable);
  TFilterExpression filter("SUMA >= 20", *FTable, Romanian());
  ApplyFilter(filteredFirst, filter);
  ApplySort(filteredFirst, ParseSortText("ORAS DESC", *FTable), Romanian());

  TDbfCursor sortedFirst(*FTable);
  ApplySort(sortedFirst, ParseSortText("ORAS DESC", *FTable), Romanian());
  ApplyFilter(sortedFirst, filter);

  EXPECT_EQ(Ids(filteredFirst), (std::vector<int>{7, 1, 3, 6, 2}));
  EXPECT_EQ(Ids(sortedFirst), Ids(filteredFirst));
  // No keys: the filtered set in file order.
  ApplySort(filteredFirst, {}, Romanian());
  EXPECT_EQ(Ids(filteredFirst), (std::vector<int>{1, 2, 3, 6, 7}));
}

TEST_F(SortTest, SortsAnEmptyFilteredSet) {
  TDbfCursor cursor(*FTable);
  TFilterExpression filter("ID > 100", *FTable, Romanian());
  ApplyFilter(cursor, filter);
  ApplySort(cursor, ParseSortText("ORAS", *FTable), Romanian());
  EXPECT_EQ(cursor.Count(), 0u);
}

// Many records, few or many distinct keys (which the sort orders by
// different roads), ascending and descending: ties keep file order.
TEST(SortStability, TiesKeepFileOrderWhateverTheNumberOfDistinctKeys) {
  const TTempFolder folder;
  for (const int distinct : {3, 150}) {
    TTableShape spec;
    spec.Fields = {{"ID", 'I', 4}, {"CHEIE", 'C', 8}, {"NR", 'N', 5}};
    std::vector<std::pair<std::string, int>> rows;
    for (int i = 0; i < 400; ++i) {
      const int key = (i * 7919) % distinct;
      const std::string text = (key % 2 == 0 ? "k" : "K") + std::to_string(key);
      rows.push_back({text, key % 5});
      spec.Rows.push_back({Int(i), Text(text), Int(key % 5)});
    }
    const auto path = WriteTable(folder.Path(), "chei" + std::to_string(distinct), spec);
    const auto table = TDbfTable::Open(path.string());
    for (const bool descending : {false, true}) {
      std::vector<int> expected(rows.size());
      std::iota(expected.begin(), expected.end(), 0);
      std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
        const int order = Romanian().Compare(rows[a].first, rows[b].first);
        if (order != 0) return descending ? order > 0 : order < 0;
        return rows[a].second < rows[b].second;
      });
      TDbfCursor cursor(*table);
      ApplySort(cursor,
                ParseSortText(std::string("CHEIE") + (descending ? " DESC" : "") + ", NR", *table),
                Romanian());
      std::vector<int> ids;
      Variant id;
      for (uint32_t p = 0; cursor.Reaches(p); ++p) {
        table->DecodeField(table->RecordAt(cursor.RecordAt(p)), 0, id);
        ids.push_back(id.Integer());
      }
      EXPECT_EQ(ids, expected) << distinct << " distinct keys, descending " << descending;
    }
  }
}

}  // namespace
}  // namespace lumbra

namespace lumbra {
namespace {

// Stops the walk at its stop-th report.
class TStopAt final : public IProgress {
 public:
  explicit TStopAt(int stop) : FStop(stop) {}
  int Steps = 0;
  void Step(uint64_t, uint64_t) override {
    if (++Steps == FStop) throw EAbort("Operation aborted");
  }

 private:
  int FStop;
};

// More records than the sort takes in one piece, in one range and in two
// large buckets: the order is std::stable_sort's, and a sort stopped on its
// way leaves the cursor as it was.
TEST(SortInPieces, OrdersLargeRangesAndStopsWhenAsked) {
  const TTempFolder folder;
  constexpr int kRecords = 200'000;
  TTableShape spec;
  spec.Fields = {{"ID", 'I', 4}, {"PAR", 'L', 1}, {"NR", 'I', 4}};
  std::vector<std::pair<bool, int>> rows;
  for (int i = 0; i < kRecords; ++i) {
    rows.push_back({i % 3 == 0, (i * 7919) % 1000});
    spec.Rows.push_back({Int(i), Logical(rows.back().first), Int(rows.back().second)});
  }
  const auto table = TDbfTable::Open(WriteTable(folder.Path(), "mare", spec).string());
  const auto ids = [&](TDbfCursor& cursor) {
    std::vector<int> result;
    Variant id;
    for (uint32_t p = 0; cursor.Reaches(p); ++p) {
      table->DecodeField(table->RecordAt(cursor.RecordAt(p)), 0, id);
      result.push_back(id.Integer());
    }
    return result;
  };
  for (const bool byFlag : {false, true}) {
    std::vector<int> expected(kRecords);
    std::iota(expected.begin(), expected.end(), 0);
    std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
      if (byFlag && rows[a].first != rows[b].first) return rows[b].first;
      return rows[a].second > rows[b].second;
    });
    TDbfCursor cursor(*table);
    TStopAt never(0);
    const TProgressScope scope(never);
    ApplySort(cursor, ParseSortText(byFlag ? "PAR, NR DESC" : "NR DESC", *table), Romanian());
    EXPECT_EQ(ids(cursor), expected) << "by flag " << byFlag;
    EXPECT_GT(never.Steps, 3) << "reported on the way";
  }
  TDbfCursor cursor(*table);
  TStopAt stop(5);
  const TProgressScope scope(stop);
  EXPECT_THROW(ApplySort(cursor, ParseSortText("NR", *table), Romanian()), EAbort);
  EXPECT_FALSE(cursor.HasOrder()) << "the cursor as it was";
  EXPECT_EQ(cursor.Count(), static_cast<uint32_t>(kRecords));
}

}  // namespace
}  // namespace lumbra
