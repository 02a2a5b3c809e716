#include "analysis/distinct_report.h"

#include <gtest/gtest.h>

#include "fields/fields.h"
#include "tests/analysis/report_tables.h"
#include "tests/support/dbf_builder.h"
#include "tests/support/test_files.h"

namespace lumbra {
namespace {

using test::Int;
using test::kFlagNullable;
using test::Logical;
using test::Null;
using test::Raw;
using test::TCell;
using test::Text;
using test::TFieldShape;
using test::TMemoLines;
using test::TSlot;
using test::TTableShape;
using test::TTempFolder;

using TRows = std::vector<std::vector<TCell>>;

using TLines = std::vector<std::string>;

const std::string kRule(36, '-');

TLines Heading(const std::string& name, int records, int distinct) {
  return {"Analizez: " + name, kRule, "  Total linii = " + std::to_string(records),
          "  Linii distincte = " + std::to_string(distinct)};
}

TLines Joined(std::initializer_list<TLines> parts) {
  TLines lines;
  for (const TLines& part : parts)
    lines.insert(lines.end(), part.begin(), part.end());
  return lines;
}

void NoNotice(const std::string& text) {
  FAIL() << "notice: " << text;
}

class DistinctReportTest : public ::testing::Test {
 protected:
  void Write(const std::vector<TFieldShape>& fields, const TRows& rows) {
    TTableShape spec;
    spec.CodePageMark = 0xC8;  // 1250
    spec.Fields = fields;
    spec.Rows = rows;
    test::WriteTable(FFolder.Path(), "t", spec);
  }

  // Writes a Visual FoxPro table, opens it as slot 1 and runs the report.
  TLines Report(const std::vector<TFieldShape>& fields, const TRows& rows) {
    Write(fields, rows);
    Slot = std::make_unique<TSlot>(FFolder.Path(), "t");
    AnalyzeDistinctPerColumn(Slot->AT, Slot->DataSource1, NoNotice, Memo);
    return Memo.Lines;
  }

  TTempFolder FFolder;
  std::unique_ptr<TSlot> Slot;
  TMemoLines Memo;
};

TEST_F(DistinctReportTest, TheTownExample) {
  const TFieldShape oras{"ORAS", 'C', 5, 0, kFlagNullable};
  EXPECT_EQ(Report({oras}, {{Text("Cluj")}, {Text("cluj")}, {Text("Turda")}, {Null()}}),
            Joined({Heading("ORAS", 4, 3), {"  [Cluj ] = 2"}}));
  // The whole report replaces the memo once; the grid was detached meanwhile.
  EXPECT_EQ(Memo.Assigns, 1);
  EXPECT_EQ(Memo.Appends, 0);
  EXPECT_EQ(Slot->StateChanges, 2);
  EXPECT_TRUE(Slot->DataSource1.Enabled());
  EXPECT_TRUE(Slot->AT.Eof());
}

TEST_F(DistinctReportTest, ATableWithoutRecordsGivesZeroCounts) {
  EXPECT_EQ(Report({{"A", 'C', 3}, {"B", 'N', 4}}, {}),
            Joined({Heading("A", 0, 0), Heading("B", 0, 0)}));
}

TEST_F(DistinctReportTest, NullCountsWithTheTextNullInAnyCase) {
  const TFieldShape text{"T", 'C', 4, 0, kFlagNullable};
  EXPECT_EQ(Report({text}, {{Text("null")}, {Null()}, {Text("NULL")}, {Text("x")}, {Null()}}),
            Joined({Heading("T", 5, 2), {"  [null] = 4"}}));
}

TEST_F(DistinctReportTest, AColumnOfNullsCountsOneText) {
  // A blank number is Null too.
  const TFieldShape number{"N", 'N', 5, 0, kFlagNullable};
  EXPECT_EQ(Report({number}, {{Null()}, {Raw("     ")}, {Null()}}),
            Joined({Heading("N", 3, 1), {"  [NULL] = 3"}}));
}

TEST_F(DistinctReportTest, NullMemosCountUnderTheEmptyText) {
  // A Null memo reads as an empty text, not as Null.
  const TFieldShape memo{"OBS", 'M', 4, 0, kFlagNullable};
  EXPECT_EQ(Report({memo}, {{Null()}, {Null()}, {test::Memo("x")}}),
            Joined({Heading("OBS", 3, 2), {"  [] = 2"}}));
}

TEST_F(DistinctReportTest, CaseVariantsKeepTheSpellingMetFirst) {
  EXPECT_EQ(
      Report({{"ORAS", 'C', 4}}, {{Text("CLUJ")}, {Text("Cluj")}, {Text("cluj")}, {Text("Arad")}}),
      Joined({Heading("ORAS", 4, 2), {"  [CLUJ] = 3"}}));
}

TEST_F(DistinctReportTest, RepeatedTextsComeInCollationOrder) {
  // Not by arrival and not by count: digits before letters, 10 before 9, a
  // before ă (0xE3 in code page 1250) before b, letter case ignored.
  TRows rows;
  for (const char* text : {"b", "\xE3", "9", "B", "a", "10", "9", "\xC3", "10", "b", "A", "z", "10",
                           "e", "E", "\xE3"}) {
    rows.push_back({Text(text)});
  }
  EXPECT_EQ(Report({{"K", 'C', 2}}, rows), Joined({Heading("K", 16, 7),
                                                   {"  [10] = 3", "  [9 ] = 2", "  [a ] = 2",
                                                    "  [ă ] = 3", "  [b ] = 3", "  [e ] = 2"}}));
}

TEST_F(DistinctReportTest, ColumnsFollowEachOtherAndAllDistinctGivesNoBrackets) {
  EXPECT_EQ(Report({{"ID", 'N', 3}, {"DA", 'L', 1}},
                   {{Int(1), Logical(true)}, {Int(2), Logical(true)}, {Int(3), Logical(false)}}),
            Joined({Heading("ID", 3, 3), Heading("DA", 3, 2), {"  [True] = 2"}}));
}

TEST_F(DistinctReportTest, AFilteredSortedTableCountsWhatItShowsInItsOrder) {
  Write({{"ORAS", 'C', 4}, {"NR", 'N', 2}}, {{Text("Cluj"), Int(1)},
                                             {Text("Arad"), Int(2)},
                                             {Text("cluj"), Int(3)},
                                             {Text("Iasi"), Int(4)},
                                             {Text("CLUJ"), Int(5)}});
  TSlot slot(FFolder.Path(), "t");
  slot.AT.Close();
  slot.AT.Filter = "ORAS = 'cluj'";
  slot.AT.Filtered = true;
  slot.AT.IndexFieldNames = "NR DESC";
  slot.AT.Open();
  AnalyzeDistinctPerColumn(slot.AT, slot.DataSource1, NoNotice, Memo);
  // The last record shown comes first, so its spelling stays.
  EXPECT_EQ(Memo.Lines, Joined({Heading("ORAS", 3, 1), {"  [CLUJ] = 3"}, Heading("NR", 3, 3)}));
}

TEST_F(DistinctReportTest, ATableWithoutFieldsEmptiesTheMemoAndStaysPut) {
  Write({}, {{}, {}, {}});
  TSlot slot(FFolder.Path(), "t");
  slot.AT.SetRecNo(2);
  Memo.Lines = {"the previous report"};
  AnalyzeDistinctPerColumn(slot.AT, slot.DataSource1, NoNotice, Memo);
  EXPECT_EQ(Memo.Lines, TLines{});
  EXPECT_EQ(Memo.Assigns, 1);
  EXPECT_EQ(slot.AT.RecNo(), 2);
}

TEST_F(DistinctReportTest, ATextWithALineBreakIsWrittenAsItIs) {
  EXPECT_EQ(Report({{"T", 'C', 4}}, {{Text("a\r\nb")}, {Text("a\r\nb")}}),
            Joined({Heading("T", 2, 1), {"  [a\r\nb] = 2"}}));
}

TEST_F(DistinctReportTest, AnErrorKeepsTheMemoAndSwitchesTheGridBackOn) {
  // 10^19 is beyond a BCD field's currency range: reading it as a variant
  // fails, outside the report's catch of the text reading.
  const TCell huge = Raw("10000000000000000000");
  Write({{"A", 'C', 1}, {"B", 'N', 20}, {"C", 'N', 20}}, {{Text("x"), Int(1), Int(1)},
                                                          {Text("y"), Int(2), huge},
                                                          {Text("z"), huge, Int(3)},
                                                          {Text("w"), Int(4), Int(4)}});
  TSlot slot(FFolder.Path(), "t");
  Memo.Lines = {"the previous report"};
  EXPECT_THROW(AnalyzeDistinctPerColumn(slot.AT, slot.DataSource1, NoNotice, Memo),
               EBcdOverflowError);
  EXPECT_EQ(Memo.Lines, TLines{"the previous report"});
  EXPECT_EQ(Memo.Assigns, 0);
  EXPECT_TRUE(slot.DataSource1.Enabled());
  EXPECT_EQ(slot.StateChanges, 2);
  // Column B fails first, on its third record, and the table stays there.
  EXPECT_EQ(slot.AT.RecNo(), 3);
}

TEST_F(DistinctReportTest, ManyRecordsAreCountedAcrossBatches) {
  // More records than one batch of texts handed to the counting threads. The
  // spelling kept is the first in record order, whichever thread counts
  // which batch.
  TRows rows;
  for (int i = 0; i < 10'000; ++i) {
    rows.push_back({Text(std::string(1, static_cast<char>('a' + i % 3))), Int(i % 2),
                    Text(i < 5'000 ? "x" : "X")});
  }
  EXPECT_EQ(Report({{"T", 'C', 1}, {"N", 'N', 1}, {"U", 'C', 1}}, rows),
            Joined({Heading("T", 10'000, 3),
                    {"  [a] = 3334", "  [b] = 3333", "  [c] = 3333"},
                    Heading("N", 10'000, 2),
                    {"  [0] = 5000", "  [1] = 5000"},
                    Heading("U", 10'000, 1),
                    {"  [x] = 10000"}}));
  EXPECT_TRUE(Slot->AT.Eof());
}

TEST_F(DistinctReportTest, AClosedTableGivesTheNoticeAndChangesNothing) {
  TSlot closed;
  Memo.Lines = {"kept"};
  std::vector<std::string> notices;
  AnalyzeDistinctPerColumn(
      closed.AT, closed.DataSource1, [&](const std::string& text) { notices.push_back(text); },
      Memo);
  EXPECT_EQ(notices, TLines{"Va rog deschideti un DBF"});
  EXPECT_EQ(Memo.Lines, TLines{"kept"});
  EXPECT_EQ(closed.StateChanges, 0);
}

}  // namespace
}  // namespace lumbra
