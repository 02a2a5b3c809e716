#include "analysis/structure_report.h"

#include <gtest/gtest.h>

#include "tests/analysis/report_tables.h"
#include "tests/support/dbf_builder.h"
#include "tests/support/test_files.h"

namespace lumbra {
namespace {

using test::TFieldShape;
using test::TMemoLines;
using test::TSlot;
using test::TTableShape;
using test::TTempFolder;

using TLines = std::vector<std::string>;

const char* const kOnlyIn1 = "Urmatoarele campuri apar in DBF1 si NU apar in DBF2";
const char* const kOnlyIn2 = "Urmatoarele campuri apar in DBF2 si NU apar in DBF1";
const char* const kInBoth = "Urmatoarele campuri apar in ambele baze de date";
const char* const kOutOfOrder = "Urmatoarele campuri apar ordonate aiurea";

std::string Pair(const std::string& a, const std::string& b) {
  return "   DBF1=" + a + "   <-->   DBF2=" + b;
}

TEST(FieldDescriptorTest, UpperCasesNameTypeAndSizeInAsciiOnly) {
  const TRegionalSettings settings;
  TField field(TFieldClass::String, settings);
  field.SetFieldName("nume");
  field.SetDataType(ftString);
  field.SetSize(30);
  EXPECT_EQ(FieldDescriptor(field), "NUME FTSTRING(30)");
  field.SetFieldName("mărime_ș");
  EXPECT_EQ(FieldDescriptor(field), "MăRIME_ș FTSTRING(30)");
  field.SetDataType(static_cast<TFieldType>(kFieldTypeCount));
  field.SetSize(0);
  EXPECT_EQ(FieldDescriptor(field), "MăRIME_ș ALTCEVA(0)");
}

// Compares two tables written in one folder, as slot 1 and slot 2.
class StructureTest : public ::testing::Test {
 protected:
  void Write(const std::string& name, const std::vector<TFieldShape>& fields) {
    TTableShape spec;
    spec.CodePageMark = 0xC8;  // 1250
    spec.Fields = fields;
    test::WriteTable(FFolder.Path(), name, spec);
  }

  TLines Compare(const std::vector<TFieldShape>& dbf1, const std::vector<TFieldShape>& dbf2) {
    Write("t1", dbf1);
    Write("t2", dbf2);
    TSlot slot1(FFolder.Path(), "t1");
    TSlot slot2(FFolder.Path(), "t2");
    Memo.Lines = {"the previous report"};
    CompareStructure(
        slot1.AT, slot2.AT, [](const std::string& text) { FAIL() << text; }, Memo);
    return Memo.Lines;
  }

  TTempFolder FFolder;
  TMemoLines Memo;
};

const TFieldShape kNume{"nume", 'V', 30};
const TFieldShape kPrenume{"prenume", 'V', 20};
const TFieldShape kVarsta{"VARSTA", 'N', 3};
const TFieldShape kData{"Data", 'D', 8};

TEST_F(StructureTest, IdenticalStructuresListEveryFieldAsShared) {
  Write("t", {kNume, kVarsta, kData});
  TSlot slot1(FFolder.Path(), "t");
  TSlot slot2(FFolder.Path(), "t");
  CompareStructure(
      slot1.AT, slot2.AT, [](const std::string& text) { FAIL() << text; }, Memo);
  EXPECT_EQ(Memo.Lines, (TLines{" ", kInBoth, "   NUME FTSTRING(30)", "   VARSTA FTINTEGER(0)",
                                "   DATA FTDATE(0)"}));
  // One line at a time, after emptying the memo.
  EXPECT_EQ(Memo.Clears, 1);
  EXPECT_EQ(Memo.Appends, 5);
  EXPECT_EQ(Memo.Assigns, 0);
}

TEST_F(StructureTest, ColumnsInAnotherOrder) {
  EXPECT_EQ(Compare({kNume, kPrenume}, {kPrenume, kNume}),
            (TLines{" ", kInBoth, "   PRENUME FTSTRING(20)", "   NUME FTSTRING(30)", " ",
                    kOutOfOrder, Pair("NUME FTSTRING(30)", "PRENUME FTSTRING(20)"),
                    Pair("PRENUME FTSTRING(20)", "NUME FTSTRING(30)")}));
}

TEST_F(StructureTest, AChangedSizeIsOnlyInEachTableAndSkipsTheOrder) {
  const TFieldShape shorter{"nume", 'V', 25};
  EXPECT_EQ(Compare({kNume, kVarsta}, {shorter, kVarsta}),
            (TLines{" ", kOnlyIn1, "   NUME FTSTRING(30)", " ", kOnlyIn2, "   NUME FTSTRING(25)",
                    " ", kInBoth, "   VARSTA FTINTEGER(0)"}));
}

TEST_F(StructureTest, ExtraColumnsAfterAreListedAndTheOrderHoldsNoDifference) {
  EXPECT_EQ(Compare({kNume, kVarsta}, {kNume, kVarsta, kData, kPrenume}),
            (TLines{" ", kOnlyIn2, "   DATA FTDATE(0)", "   PRENUME FTSTRING(20)", " ", kInBoth,
                    "   NUME FTSTRING(30)", "   VARSTA FTINTEGER(0)"}));
}

TEST_F(StructureTest, AnExtraColumnBeforeShiftsEveryPosition) {
  EXPECT_EQ(Compare({kNume, kVarsta}, {kData, kNume, kVarsta}),
            (TLines{" ", kOnlyIn2, "   DATA FTDATE(0)", " ", kInBoth, "   NUME FTSTRING(30)",
                    "   VARSTA FTINTEGER(0)", " ", kOutOfOrder,
                    Pair("NUME FTSTRING(30)", "DATA FTDATE(0)"),
                    Pair("VARSTA FTINTEGER(0)", "NUME FTSTRING(30)")}));
}

TEST_F(StructureTest, NamesDifferingInAsciiCaseAreTheSameColumn) {
  const TFieldShape upper{"NUME", 'V', 30};
  EXPECT_EQ(Compare({kNume}, {upper}), (TLines{" ", kInBoth, "   NUME FTSTRING(30)"}));
}

TEST_F(StructureTest, NamesDifferingInNonAsciiCaseMatchButStandOutOfOrder) {
  // ă and Ă in code page 1250: a case pair for the collation, left alone by
  // the ASCII upper-casing.
  const TFieldShape lower{"m\xE3r", 'N', 3};
  const TFieldShape upper{"M\xC3R", 'N', 3};
  EXPECT_EQ(Compare({lower}, {upper}),
            (TLines{" ", kInBoth, "   MĂR FTINTEGER(0)", " ", kOutOfOrder,
                    Pair("MăR FTINTEGER(0)", "MĂR FTINTEGER(0)")}));
}

TEST_F(StructureTest, TablesWithoutFieldsLeaveTheMemoEmpty) {
  EXPECT_EQ(Compare({}, {}), TLines{});
  EXPECT_EQ(Memo.Clears, 1);
}

TEST_F(StructureTest, ClosedTablesGiveTheirNoticeAndKeepTheMemo) {
  Write("t", {kNume});
  TSlot closed;
  TSlot open(FFolder.Path(), "t");
  Memo.Lines = {"kept"};
  std::vector<std::string> notices;
  const auto notice = [&](const std::string& text) { notices.push_back(text); };
  CompareStructure(closed.AT, closed.AT, notice, Memo);
  CompareStructure(open.AT, closed.AT, notice, Memo);
  CompareStructure(closed.AT, open.AT, notice, Memo);
  EXPECT_EQ(notices, (TLines{"Nu ai deschis primul DBF", "Nu ai deschis al doilea DBF",
                             "Nu ai deschis primul DBF"}));
  EXPECT_EQ(Memo.Lines, TLines{"kept"});
  EXPECT_EQ(Memo.Clears, 0);
}

}  // namespace
}  // namespace lumbra
