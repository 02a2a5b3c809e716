// A TADOTable builds its field definitions and fields at every open, binds
// them to the record set and destroys them at every close.
#include "tables/data_access.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "dbf/dbf_error.h"
#include "tables/slots.h"
#include "tests/support/dbf_builder.h"
#include "tests/support/test_files.h"

namespace lumbra {
namespace {

namespace fs = std::filesystem;
using test::CorpusDir;

class TableOverCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(CorpusDir())) GTEST_SKIP() << "no corpus at " << CorpusDir();
  }
  void Connect(const std::string& folder) {
    FConnection.SetConnectionString(NormalConnectionString((CorpusDir() / folder).string() + "/"));
  }

  TRegionalSettings FSettings;
  TADOConnection FConnection{"Conn"};
  TADOTable FTable{"AT", FConnection, FSettings};
};

TEST_F(TableOverCorpus, OpenBuildsFieldsBoundToTheFirstRecord) {
  Connect("DBFFile");
  FTable.TableName = "vfp9_30";
  FTable.Open();
  EXPECT_TRUE(FConnection.Connected());
  ASSERT_TRUE(FTable.Active());
  EXPECT_EQ(FTable.FieldDefs().Count(), 6u);
  ASSERT_EQ(FTable.Fields().size(), 6u);
  EXPECT_EQ(FTable.Fields()[0]->FieldName(), "FIELD1");
  EXPECT_EQ(FTable.Fields()[0]->AsString(), "carlos manuel       ");
  FTable.Next();
  EXPECT_EQ(FTable.Fields()[0]->AsString(), "ricardo enrique     ");
  FTable.Next();
  EXPECT_TRUE(FTable.Eof());
  EXPECT_TRUE(FTable.Fields()[0]->IsNull());
}

TEST_F(TableOverCorpus, CloseDestroysFieldsAndReopenRebuildsThemForTheNewTable) {
  Connect("DBFFile");
  FTable.TableName = "vfp9_30";
  FTable.Open();
  FTable.Close();
  EXPECT_FALSE(FTable.Active());
  EXPECT_TRUE(FTable.Fields().empty());
  EXPECT_EQ(FTable.FieldDefs().Count(), 0u);
  FTable.Close();  // closing a closed table does nothing

  FTable.TableName = "vfp9_memo_bs1";
  FTable.Open();
  ASSERT_EQ(FTable.Fields().size(), 2u);
  EXPECT_EQ(FTable.Fields()[1]->FieldName(), "NOTES");
  EXPECT_EQ(FTable.Fields()[1]->AsString(), "Some notes here\r\n");
}

TEST_F(TableOverCorpus, FailedOpenLeavesTheTableClosedAndTheConnectionConnected) {
  Connect("DBFFile");
  FTable.TableName = "no_such_table";
  EXPECT_THROW(FTable.Open(), EDbfError);
  EXPECT_FALSE(FTable.Active());
  EXPECT_TRUE(FTable.Fields().empty());
  EXPECT_TRUE(FConnection.Connected());
}

TEST_F(TableOverCorpus, EmptyTableNameIsAMissingProperty) {
  Connect("DBFFile");
  try {
    FTable.Open();
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "AT: Missing TableName property");
  }
  EXPECT_FALSE(FTable.Active());
}

TEST(TableOverBuiltFile, ScaleAboveThirtyTwoFailsTheOpenWithInvalidFieldSize) {
  test::TTempFolder folder;
  test::TTableShape spec;
  spec.Fields = {{"A", 'C', 3}, {"N", 'N', 40, 33}};
  spec.Rows = {{test::Text("x"), test::Raw(std::string(39, ' ') + "1")}};
  test::WriteTable(folder.Path(), "wide", spec);
  const TRegionalSettings settings;
  TADOConnection connection("Conn");
  connection.SetConnectionString(NormalConnectionString(folder.Text()));
  TADOTable table("AT", connection, settings);
  table.TableName = "wide";
  try {
    table.Open();
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Invalid field size");
  }
  EXPECT_FALSE(table.Active());
  EXPECT_TRUE(table.Fields().empty());
  EXPECT_EQ(table.FieldDefs().Count(), 0u);

  // The same table object opens a table whose scale fits.
  spec.Fields[1].Decimals = 32;
  test::WriteTable(folder.Path(), "fits", spec);
  table.TableName = "fits";
  table.Open();
  ASSERT_EQ(table.Fields().size(), 2u);
  EXPECT_EQ(table.Fields()[1]->Size(), 32);
}

TEST(TableOverBuiltFile, TableOfZeroColumnsOpensWithNoFields) {
  test::TTempFolder folder;
  test::TTableShape spec;
  spec.Rows = {{}, {}};
  test::WriteTable(folder.Path(), "empty", spec);
  const TRegionalSettings settings;
  TADOConnection connection("Conn");
  connection.SetConnectionString(NormalConnectionString(folder.Text()));
  TADOTable table("AT", connection, settings);
  table.TableName = "empty";
  table.Open();
  EXPECT_TRUE(table.Active());
  EXPECT_EQ(table.FieldDefs().Count(), 0u);
  EXPECT_TRUE(table.Fields().empty());
  EXPECT_EQ(table.RecordCount(), 2);
}

}  // namespace
}  // namespace lumbra
