// A TADOTable builds its field definitions and fields at every open, binds
// them to the record set and destroys them at every close.
#include "tables/data_access.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "dbf/dbf_error.h"
#include "tables/slots.h"

namespace lumbra {
namespace {

namespace fs = std::filesystem;

fs::path CorpusDir() {
  // tests/tables/ -> the project root -> ../shared/corpus beside it.
  return fs::path(__FILE__).parent_path().parent_path().parent_path().parent_path() / "shared" /
         "corpus";
}

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

}  // namespace
}  // namespace lumbra
