// Filter and sort of the first table: the record set's Sort and Filter, the
// settings every open of a table applies, and the two commands of the window
// with their error paths.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/exception.h"
#include "dbf/dbf_error.h"
#include "tables/slots.h"
#include "tests/support/dbf_builder.h"
#include "tests/support/no_slot_view.h"
#include "tests/support/test_files.h"

namespace lumbra {
namespace {

using namespace lumbra::test;

class FilterSortTest : public testing::Test {
 protected:
  void SetUp() override {
    TTableShape towns;
    towns.Fields = {{"ID", 'N', 3}, {"ORAS", 'C', 10}, {"SUMA", 'N', 8, 2}};
    towns.Rows = {{Int(1), Text("Cluj"), Dbl(150)}, {Int(2), Text("Arad"), Dbl(20)},
                  {Int(3), Text("cluj"), Dbl(300)}, {Int(4), Text("Deva"), Dbl(150)},
                  {Int(5), Text("Bacau"), Dbl(-5)}, {Int(6), Text("CLUJ"), Dbl(5)}};
    FTowns = WriteTable(FFolder.Path(), "orase", towns).string();
    TTableShape others;
    others.Fields = {{"ID", 'N', 3}, {"NUME", 'C', 10}};
    others.Rows = {{Int(1), Text("x")}};
    FOthers = WriteTable(FFolder.Path(), "altele", others).string();
  }

  // The IDs of slot 1's records, in order.
  std::vector<int> Ids() {
    std::vector<int> ids;
    for (FSlots.AT.First(); !FSlots.AT.Eof(); FSlots.AT.Next())
      ids.push_back(std::stoi(FSlots.AT.FindField("ID")->AsString()));
    return ids;
  }

  // Runs the filter command, keeping the messages it shows.
  void Filter(const std::string& text) {
    FSlots.Filtreaza(text, [this](const Exception& e) { FShown.push_back(e.Message()); });
  }

  std::string SortError(const std::string& text) {
    try {
      FSlots.SorteazaDupa(text);
    } catch (const Exception& e) {
      return e.Message();
    }
    return "no error";
  }

  TTempFolder FFolder;
  std::string FTowns;
  std::string FOthers;
  TNoSlotView FView;
  TRegionalSettings FSettings;
  TTableSlots FSlots{FView, FSettings};
  std::vector<std::string> FShown;
};

TEST_F(FilterSortTest, RecordsetGivesTheSortBackExactlyAsSet) {
  FSlots.DeschideDbf1(FTowns);
  TProviderRecordset& recordset = *FSlots.AT.Recordset();
  recordset.SetSort(" oras desc ,Id");
  EXPECT_EQ(recordset.Sort(), " oras desc ,Id");
  EXPECT_EQ(recordset.AbsolutePosition(), 1);
}

TEST_F(FilterSortTest, RecordsetFilterReplacesTheFilterInForceAndKeepsTheSort) {
  FSlots.DeschideDbf1(FTowns);
  TProviderRecordset& recordset = *FSlots.AT.Recordset();
  recordset.SetSort("SUMA DESC");
  recordset.SetFilter("ORAS = 'cluj'");
  EXPECT_EQ(Ids(), (std::vector<int>{3, 1, 6}));
  recordset.SetFilter("SUMA = 150");
  EXPECT_EQ(Ids(), (std::vector<int>{1, 4}));
  EXPECT_EQ(recordset.Filter(), "SUMA = 150");
  recordset.SetSort("");
  EXPECT_EQ(Ids(), (std::vector<int>{1, 4}));
  recordset.SetSort("ORAS DESC");
  EXPECT_EQ(Ids(), (std::vector<int>{4, 1}));
  recordset.SetFilter("");
  EXPECT_EQ(Ids(), (std::vector<int>{4, 1, 3, 6, 5, 2}));
  EXPECT_EQ(recordset.RecordCount(), 6);
}

TEST_F(FilterSortTest, RecordsetRefusingATextStaysAsItWas) {
  FSlots.DeschideDbf1(FTowns);
  TProviderRecordset& recordset = *FSlots.AT.Recordset();
  recordset.SetSort("ID DESC");
  recordset.SetFilter("SUMA > 10");
  EXPECT_THROW(recordset.SetFilter("SUMA > 'x'"), EDbfError);
  EXPECT_THROW(recordset.SetSort("NIMIC"), EDbfError);
  EXPECT_EQ(recordset.Sort(), "ID DESC");
  EXPECT_EQ(recordset.Filter(), "SUMA > 10");
  EXPECT_EQ(Ids(), (std::vector<int>{4, 3, 2, 1}));
}

TEST_F(FilterSortTest, SortListReachesTheRecordsetWithCommasForSemicolons) {
  FSlots.DeschideDbf1(FTowns);
  FSlots.SorteazaDupa("ORAS;SUMA DESC");
  EXPECT_EQ(FSlots.AT.Recordset()->Sort(), "ORAS,SUMA DESC");
  EXPECT_EQ(Ids(), (std::vector<int>{2, 5, 3, 1, 6, 4}));
  FSlots.SorteazaDupa("ORAS,ID DESC");
  EXPECT_EQ(FSlots.AT.Recordset()->Sort(), "ORAS,ID DESC");
  EXPECT_EQ(Ids(), (std::vector<int>{2, 5, 6, 3, 1, 4}));
}

TEST_F(FilterSortTest, SortListAcceptsColumnsInOtherLetterCaseAndBrackets) {
  FSlots.DeschideDbf1(FTowns);
  FSlots.SorteazaDupa("suma");
  EXPECT_EQ(Ids(), (std::vector<int>{5, 6, 2, 1, 4, 3}));
  FSlots.SorteazaDupa("[SUMA] DESC; [ID] ASC");
  EXPECT_EQ(Ids(), (std::vector<int>{3, 1, 4, 2, 6, 5}));
}

TEST_F(FilterSortTest, EmptySortListRestoresTheNaturalOrder) {
  FSlots.DeschideDbf1(FTowns);
  FSlots.SorteazaDupa("ID DESC");
  FSlots.SorteazaDupa("");
  EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

// The record set takes "a desc" as a descending sort, but the lookup strips
// the keyword only in capitals and so looks for a column "a desc".
TEST_F(FilterSortTest, KeywordInLowerCaseFailsTheLookupAndTheSortListStays) {
  FSlots.DeschideDbf1(FTowns);
  EXPECT_EQ(SortError("id desc"), "AT: Field 'id desc' not found");
  EXPECT_FALSE(FSlots.AT.Active());
  EXPECT_EQ(FSlots.AT.IndexFieldNames, "id desc");
  // Every later open of slot 1 fails the same way, until a sort list that works.
  EXPECT_THROW(Filter("ID > 1"), EDatabaseError);
  EXPECT_EQ(FShown, std::vector<std::string>{"AT: Field 'id desc' not found"});
  EXPECT_THROW(FSlots.DeschideDbf1(FTowns), EDatabaseError);
  FSlots.SorteazaDupa("ID DESC");
  EXPECT_EQ(Ids(), (std::vector<int>{6, 5, 4, 3, 2, 1}));
}

TEST_F(FilterSortTest, SortListOfAnUnknownColumnIsTheProvidersError) {
  FSlots.DeschideDbf1(FTowns);
  EXPECT_EQ(SortError("ORSA"), "Sort error at position 1: unknown column 'ORSA'");
  EXPECT_FALSE(FSlots.AT.Active());
}

TEST_F(FilterSortTest, KeptSortFailsTheOpenOfATableWithoutItsColumn) {
  FSlots.DeschideDbf1(FTowns);
  FSlots.SorteazaDupa("ID;ORAS");
  EXPECT_THROW(
      {
        try {
          FSlots.DeschideDbf1(FOthers);
        } catch (const Exception& e) {
          EXPECT_EQ(e.Message(), "Sort error at position 4: unknown column 'ORAS'");
          throw;
        }
      },
      EDbfError);
  EXPECT_FALSE(FSlots.AT.Active());
  EXPECT_EQ(FSlots.FFisierDbf1, FTowns);
}

TEST_F(FilterSortTest, KeptFilterAppliesToTheNextFileOpened) {
  FSlots.DeschideDbf1(FTowns);
  Filter("ID >= 1");
  FSlots.DeschideDbf1(FOthers);
  EXPECT_EQ(Ids(), std::vector<int>{1});
  Filter("ORAS = 'Cluj'");
  EXPECT_EQ(FShown, std::vector<std::string>{"Filter error at position 1: unknown column 'ORAS'"});
  EXPECT_TRUE(FSlots.AT.Active());
  EXPECT_FALSE(FSlots.AT.Filtered);
}

TEST_F(FilterSortTest, EmptyFilterRemovesAPreviousOneAndLeavesFilteredOn) {
  FSlots.DeschideDbf1(FTowns);
  Filter("ORAS = 'CLUJ'");
  EXPECT_EQ(Ids(), (std::vector<int>{1, 3, 6}));
  Filter("");
  EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_TRUE(FSlots.AT.Filtered);
  EXPECT_EQ(FSlots.AT.Recordset()->Filter(), "");
  EXPECT_TRUE(FShown.empty());
}

TEST_F(FilterSortTest, RejectedFilterIsShownAndTheTableComesBackUnfiltered) {
  FSlots.DeschideDbf1(FTowns);
  Filter("ID > 3");
  Filter("ORAS = 5");
  EXPECT_EQ(FShown, std::vector<std::string>{
                        "Filter error at position 8: column 'ORAS' holds text: compare it with a "
                        "'text' in quotes, not '5'"});
  EXPECT_TRUE(FSlots.AT.Active());
  EXPECT_EQ(FSlots.AT.Filter, "");
  EXPECT_FALSE(FSlots.AT.Filtered);
  EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST_F(FilterSortTest, FilterAndSortTogetherShowTheFilteredRecordsSorted) {
  FSlots.DeschideDbf1(FTowns);
  Filter("SUMA >= 20");
  FSlots.SorteazaDupa("ORAS DESC;ID");
  EXPECT_EQ(FSlots.AT.RecNo(), 1);
  EXPECT_EQ(FSlots.AT.Recordset()->Sort(), "ORAS DESC,ID");
  EXPECT_EQ(FSlots.AT.Recordset()->Filter(), "SUMA >= 20");
  EXPECT_EQ(Ids(), (std::vector<int>{4, 1, 3, 2}));
  EXPECT_EQ(FSlots.AT.RecordCount(), 4);
}

TEST_F(FilterSortTest, CommandsBeforeAnyFileTryTheEmptySlot) {
  EXPECT_THROW(
      {
        try {
          Filter("ID = 1");
        } catch (const Exception& e) {
          EXPECT_EQ(e.Message(), "AT: Missing TableName property");
          throw;
        }
      },
      EDatabaseError);
  // The first of the two error boxes; the second is the error thrown.
  EXPECT_EQ(FShown, std::vector<std::string>{"AT: Missing TableName property"});
  EXPECT_EQ(SortError("ID"), "AT: Missing TableName property");
  EXPECT_EQ(FSlots.AT.IndexFieldNames, "ID");
}

TEST_F(FilterSortTest, RejectedFilterUnderABadSortListGivesTwoErrors) {
  FSlots.DeschideDbf1(FTowns);
  EXPECT_EQ(SortError("id desc"), "AT: Field 'id desc' not found");
  EXPECT_THROW(Filter("ID = 1"), EDatabaseError);
  EXPECT_EQ(FShown, std::vector<std::string>{"AT: Field 'id desc' not found"});
  EXPECT_FALSE(FSlots.AT.Active());
  EXPECT_FALSE(FSlots.AT.Filtered);
}

struct TRun {
  int Code = -1;
  std::string Out;
  std::string Err;
};

// lumbra-cli with args, its output and errors caught in folder.
TRun RunCli(const TTempFolder& folder, const std::vector<std::string>& args) {
  const auto quoted = [](const std::string& text) {
    std::string out = "'";
    for (char c : text)
      out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
  };
  const auto out = folder.Path() / "stdout";
  const auto err = folder.Path() / "stderr";
  std::string command = "LC_ALL=C " + quoted(LUMBRA_CLI_PATH);
  for (const std::string& a : args)
    command += " " + quoted(a);
  command += " >" + quoted(out.string()) + " 2>" + quoted(err.string());
  const int status = std::system(command.c_str());
  TRun run;
  if (WIFEXITED(status)) run.Code = WEXITSTATUS(status);
  run.Out = ReadFile(out);
  run.Err = ReadFile(err);
  return run;
}

TEST_F(FilterSortTest, CliDumpTakesTheWindowsSortListAndFilter) {
  const TRun run = RunCli(FFolder, {"dump", FTowns, "--values", "string", "--sort",
                                    "ORAS DESC;SUMA", "--filter", "SUMA >= 5"});
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_EQ(run.Out,
            "ID\tORAS\tSUMA\n"
            "4\tDeva      \t150\n"
            "6\tCLUJ      \t5\n"
            "1\tCluj      \t150\n"
            "3\tcluj      \t300\n"
            "2\tArad      \t20\n");
}

TEST_F(FilterSortTest, CliFailsWhereTheWindowWouldShowAnError) {
  TRun run = RunCli(FFolder, {"dump", FTowns, "--sort", "id desc"});
  EXPECT_EQ(run.Code, 1);
  EXPECT_EQ(run.Err, "lumbra-cli: AT: Field 'id desc' not found\n");
  run = RunCli(FFolder, {"distinct", FTowns, "--filter", "ORSA = 1"});
  EXPECT_EQ(run.Code, 1);
  EXPECT_EQ(run.Err, "lumbra-cli: Filter error at position 1: unknown column 'ORSA'\n");
  EXPECT_EQ(run.Out, "");
}

}  // namespace
}  // namespace lumbra
