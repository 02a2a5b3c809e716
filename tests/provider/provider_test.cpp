// The table provider: connection strings, opening tables by name, column
// descriptions by field type, and moving through the records.
#include "provider/provider.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "dbf/dbf_error.h"
#include "provider/connection_string.h"
#include "tests/support/dbf_builder.h"
#include "tests/support/read_back.h"
#include "tests/support/test_files.h"

namespace lumbra::test {
namespace {

constexpr uint32_t kFixed = adFldFixed | adFldUpdatable;
constexpr uint32_t kVariable = adFldUpdatable;
constexpr uint32_t kNullable = adFldIsNullable | adFldMayBeNull;

std::string Joined(const TConnectionAttributes& attributes) {
  std::string out;
  for (const auto& [key, value] : attributes)
    out += "[" + key + "=" + value + "]";
  return out;
}

TEST(ConnectionString, SplitsTrimsAndUnquotes) {
  const std::pair<const char*, const char*> cases[] = {
      {"Provider=VFPOLEDB.1;Data Source=/data/;Password=\"\";Collating Sequence=MACHINE",
       "[Provider=VFPOLEDB.1][Data Source=/data/][Password=][Collating Sequence=MACHINE]"},
      {"  Data Source = /my tables/ ;", "[Data Source=/my tables/]"},
      {"Data Source=\"a;b\";Exclusive=ON", "[Data Source=a;b][Exclusive=ON]"},
      {"Password='it''s';Flag", "[Password=it's][Flag=]"},
      {"Password=\"say \"\"hi\"\"\"", "[Password=say \"hi\"]"},
      {";;", ""},
      {"", ""},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(Joined(ParseConnectionString(text)), expected) << text;
}

TEST(ConnectionString, LastAttributeOfANameWinsIgnoringCase) {
  const TConnectionAttributes attributes =
      ParseConnectionString("data source=/a/;DATA SOURCE=/b/;Other=1");
  ASSERT_NE(FindAttribute(attributes, "Data Source"), nullptr);
  EXPECT_EQ(*FindAttribute(attributes, "Data Source"), "/b/");
  EXPECT_EQ(FindAttribute(attributes, "Exclusive"), nullptr);
}

class ProviderTest : public testing::Test {
 protected:
  TProviderConnection Connect(const std::string& extra = "") {
    TProviderConnection c;
    c.SetConnectionString("Provider=VFPOLEDB.1;Data Source=" + FFolder.Text() + extra);
    c.Open();
    return c;
  }

  // A dBase III table of names, one row per name.
  void WriteNames(const std::string& file, const std::vector<std::string>& names,
                  const std::set<size_t>& deleted = {}) {
    TTableShape spec;
    spec.Version = 0x03;
    spec.Fields = {{"NAME", 'C', 8}};
    for (const std::string& n : names)
      spec.Rows.push_back({Text(n)});
    spec.DeletedRows = deleted;
    WriteFile(FFolder.Path() / file, BuildTableBytes(spec).Table);
  }

  // The first column of every visible record, walked with MoveNext.
  static std::vector<std::string> Walk(TProviderRecordset& rs) {
    std::vector<std::string> out;
    for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext())
      out.push_back(Show(rs.Value(0)));
    return out;
  }

  TTempFolder FFolder;
};

TEST_F(ProviderTest, ConnectsIgnoringUnknownAttributes) {
  TProviderConnection c = Connect(";Password=\"\";Mode=Share Deny None;Collating Sequence=GENERAL");
  EXPECT_TRUE(c.Connected());
  EXPECT_EQ(c.Folder(), FFolder.Text());
  EXPECT_FALSE(c.Exclusive());
  EXPECT_TRUE(Connect(";Exclusive=ON").Exclusive());
}

// Each failure carries its kind, so callers need not read its text.
TEST_F(ProviderTest, ErrorsSayWhatKindOfFailureTheyAre) {
  WriteNames("names.dbf", {"Ana"});
  WriteFile(FFolder.Path() / "broken.dbf", ReadFile(FFolder.Path() / "names.dbf").substr(0, 20));
  WriteFile(FFolder.Path() / "unknown.dbf", std::string(40, 'x'));
  auto kindOf = [](const auto& action) {
    try {
      action();
    } catch (const EDbfError& e) {
      return e.Kind();
    }
    ADD_FAILURE() << "no error";
    return TDbfErrorKind::Io;
  };
  TProviderConnection c = Connect();
  EXPECT_EQ(kindOf([&] { c.OpenTable("missing"); }), TDbfErrorKind::NotFound);
  EXPECT_EQ(kindOf([&] { c.OpenTable("broken"); }), TDbfErrorKind::Corrupt);
  EXPECT_EQ(kindOf([&] { c.OpenTable("unknown"); }), TDbfErrorKind::Unsupported);
  EXPECT_EQ(kindOf([&] { c.OpenTable("names")->SetFilter("NAME = "); }), TDbfErrorKind::Syntax);
  EXPECT_EQ(kindOf([&] { c.Execute("DELETE FROM names"); }), TDbfErrorKind::Refused);
  EXPECT_EQ(kindOf([&] { c.Execute("DROP names"); }), TDbfErrorKind::Syntax);
}

TEST_F(ProviderTest, DataSourceWithoutTrailingSlashGetsOne) {
  TProviderConnection c;
  c.SetConnectionString("Data Source=" + FFolder.Path().string());
  c.Open();
  EXPECT_EQ(c.Folder(), FFolder.Text());
}

TEST_F(ProviderTest, MissingFolderFailsTheConnect) {
  TProviderConnection c;
  const std::string missing = (FFolder.Path() / "nowhere").string();
  c.SetConnectionString("Provider=VFPOLEDB.1;Data Source=" + missing);
  try {
    c.Open();
    FAIL() << "connected to a missing folder";
  } catch (const EDbfError& e) {
    EXPECT_EQ(e.Message(), "Invalid path or file name: folder '" + missing + "' does not exist.");
  }
  EXPECT_FALSE(c.Connected());
}

TEST_F(ProviderTest, OtherProviderIsRefused) {
  TProviderConnection c;
  c.SetConnectionString("Provider=SQLOLEDB;Data Source=" + FFolder.Text());
  EXPECT_THROW(c.Open(), EDbfError);
}

TEST_F(ProviderTest, OpensByNameExactCaseFirstThenIgnoringCase) {
  WriteNames("Data.dbf", {"upper"});
  WriteNames("data.dbf", {"lower", "lower"});
  WriteNames("CLIENTI.DBF", {"client"});
  const TProviderConnection c = Connect();
  EXPECT_EQ(Walk(*c.OpenTable("Data")), std::vector<std::string>{"'upper   '"});
  EXPECT_EQ(c.OpenTable("data")->RecordCount(), 2);
  EXPECT_EQ(Walk(*c.OpenTable("clienti")), std::vector<std::string>{"'client  '"});
  EXPECT_EQ(c.OpenTable("[clienti]")->RecordCount(), 1);
  EXPECT_EQ(c.OpenTable("Clienti.Dbf")->RecordCount(), 1);
}

TEST_F(ProviderTest, MissingTableIsNamedInTheError) {
  const TProviderConnection c = Connect();
  try {
    c.OpenTable("nosuch");
    FAIL() << "opened a missing table";
  } catch (const EDbfError& e) {
    EXPECT_EQ(e.Message(), "File '" + FFolder.Text() + "nosuch.dbf' does not exist.");
  }
}

TEST_F(ProviderTest, OpeningBeforeConnectingFails) {
  WriteNames("t.dbf", {"a"});
  const TProviderConnection c;
  EXPECT_THROW(c.OpenTable("t"), EDbfError);
}

struct TExpectedColumn {
  const char* Name;
  int Type;
  int32_t Size;
  int Precision;
  int Scale;
  uint32_t Attributes;
  bool AutoIncrement;
};

void ExpectColumns(const std::vector<TColumn>& columns,
                   const std::vector<TExpectedColumn>& expected) {
  ASSERT_EQ(columns.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const TColumn& c = columns[i];
    const TExpectedColumn& e = expected[i];
    SCOPED_TRACE(e.Name);
    EXPECT_EQ(c.Name, e.Name);
    EXPECT_EQ(c.Type, e.Type);
    EXPECT_EQ(c.DefinedSize, e.Size);
    EXPECT_EQ(c.Precision, e.Precision);
    EXPECT_EQ(c.NumericScale, e.Scale);
    EXPECT_EQ(c.Attributes, e.Attributes);
    const TColumnProperty* property = c.FindProperty("ISAUTOINCREMENT");
    ASSERT_NE(property, nullptr);
    ASSERT_EQ(property->Value.Type(), TVarType::varBoolean);
    EXPECT_EQ(property->Value.Boolean(), e.AutoIncrement);
  }
}

TEST_F(ProviderTest, DescribesVisualFoxProColumnsAsTheDesignLists) {
  TTableShape spec;
  spec.Version = 0x32;
  spec.Fields = {
      {"NAME", 'C', 10},
      {"CODE", 'C', 4, 0, kFlagBinary},
      {"NOTE", 'V', 20},
      {"VBIN", 'V', 8, 0, kFlagBinary},
      {"QBIN", 'Q', 6},
      {"MEMO", 'M', 4},
      {"MBIN", 'M', 4, 0, kFlagBinary},
      {"OLE", 'G', 4},
      {"BLOB", 'W', 4},
      {"PICT", 'P', 4},
      {"AMOUNT", 'N', 12, 2},
      {"RATE", 'F', 10, 3},
      {"ID", 'I', 4, 0, kFlagAutoIncrement},
      {"QTY", 'I', 4},
      {"RATIO", 'B', 8, 2},
      {"PRICE", 'Y', 8, 4},
      {"DAY", 'D', 8},
      {"STAMP", 'T', 8},
      {"OK", 'L', 1},
      {"MAYBE", 'C', 5, 0, kFlagNullable},
      {"NINT", 'I', 4, 0, kFlagNullable | kFlagBinary},
  };
  WriteTable(FFolder.Path(), "all", spec);
  ExpectColumns(Connect().OpenTable("all")->Columns(),
                {
                    {"NAME", adChar, 10, 0, 0, kFixed, false},
                    {"CODE", adBinary, 4, 0, 0, kFixed, false},
                    {"NOTE", adVarChar, 20, 0, 0, kVariable, false},
                    {"VBIN", adVarBinary, 8, 0, 0, kVariable, false},
                    {"QBIN", adVarBinary, 6, 0, 0, kVariable, false},
                    {"MEMO", adLongVarChar, 0, 0, 0, kVariable, false},
                    {"MBIN", adLongVarBinary, 0, 0, 0, kVariable, false},
                    {"OLE", adLongVarBinary, 0, 0, 0, kVariable, false},
                    {"BLOB", adLongVarBinary, 0, 0, 0, kVariable, false},
                    {"PICT", adLongVarBinary, 0, 0, 0, kVariable, false},
                    {"AMOUNT", adNumeric, 12, 12, 2, kFixed, false},
                    {"RATE", adNumeric, 10, 10, 3, kFixed, false},
                    {"ID", adInteger, 4, 10, 0, adFldFixed, true},
                    {"QTY", adInteger, 4, 10, 0, kFixed, false},
                    {"RATIO", adDouble, 8, 15, 0, kFixed, false},
                    {"PRICE", adCurrency, 8, 19, 4, kFixed, false},
                    {"DAY", adDBDate, 0, 0, 0, kFixed, false},
                    {"STAMP", adDBTimeStamp, 0, 0, 0, kFixed, false},
                    {"OK", adBoolean, 0, 0, 0, kFixed, false},
                    {"MAYBE", adChar, 5, 0, 0, kFixed | kNullable, false},
                    {"NINT", adInteger, 4, 10, 0, kFixed | kNullable, false},
                });
}

TEST_F(ProviderTest, DescribesDBaseColumns) {
  TTableShape level7;
  level7.Version = 0x04;
  level7.Fields = {{"ID", '+', 4}, {"QTY", 'I', 4}, {"RATE", 'O', 8}, {"STAMP", '@', 8}};
  WriteTable(FFolder.Path(), "seven", level7);
  TTableShape level4;
  level4.Version = 0x8B;
  level4.Fields = {{"DATA", 'B', 10}, {"NOTES", 'M', 10}};
  WriteTable(FFolder.Path(), "four", level4);
  const TProviderConnection c = Connect();
  ExpectColumns(c.OpenTable("seven")->Columns(),
                {
                    {"ID", adInteger, 4, 10, 0, adFldFixed, true},
                    {"QTY", adInteger, 4, 10, 0, kFixed, false},
                    {"RATE", adDouble, 8, 15, 0, kFixed, false},
                    {"STAMP", adDBTimeStamp, 0, 0, 0, kFixed, false},
                });
  ExpectColumns(c.OpenTable("four")->Columns(),
                {
                    {"DATA", adLongVarBinary, 0, 0, 0, kVariable, false},
                    {"NOTES", adLongVarChar, 0, 0, 0, kVariable, false},
                });
}

TEST_F(ProviderTest, FieldFlagsOutsideVisualFoxProAreJunk) {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"NAME", 'C', 4}, {"ID", 'I', 4}};
  std::string bytes = BuildTableBytes(spec).Table;
  bytes[32 + 18] = static_cast<char>(kFlagNullable | kFlagBinary);
  bytes[64 + 18] = static_cast<char>(kFlagAutoIncrement);
  WriteFile(FFolder.Path() / "junk.dbf", bytes);
  ExpectColumns(Connect().OpenTable("junk")->Columns(),
                {
                    {"NAME", adChar, 4, 0, 0, kFixed, false},
                    {"ID", adInteger, 4, 10, 0, kFixed, false},
                });
}

TEST_F(ProviderTest, DeletedRecordsAreNeverShown) {
  WriteNames("t.dbf", {"a", "b", "c", "d", "e"}, {0, 1, 3});
  const auto rs = Connect().OpenTable("t");
  EXPECT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(Walk(*rs), (std::vector<std::string>{"'c       '", "'e       '"}));
  rs->SetAbsolutePosition(2);
  EXPECT_EQ(Show(rs->Value(0)), "'e       '");
}

TEST_F(ProviderTest, PositionsSkipDeletedRecordsAnywhereInALargeTable) {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"ID", 'N', 5}, {"FILL", 'C', 200}};
  std::vector<std::string> visible;
  for (int i = 0; i < 2000; ++i) {
    spec.Rows.push_back({Int(i), Text("")});
    if (i % 3 == 0 || i % 7 == 0 || (i > 500 && i < 900)) {
      spec.DeletedRows.insert(static_cast<size_t>(i));
    } else {
      visible.push_back("decimal " + std::to_string(i));
    }
  }
  WriteTable(FFolder.Path(), "holes", spec);
  const TProviderConnection c = Connect();
  // Jumping ahead before anything has been counted, then back.
  const auto rs = c.OpenTable("holes");
  for (const size_t position : {700u, 3u, 1u, 250u, 699u}) {
    rs->SetAbsolutePosition(static_cast<int32_t>(position));
    EXPECT_EQ(Show(rs->Value(0)), visible[position - 1]) << position;
  }
  EXPECT_EQ(rs->RecordCount(), static_cast<int32_t>(visible.size()));
  rs->MoveLast();
  EXPECT_EQ(Show(rs->Value(0)), visible.back());
  std::vector<std::string> walked;
  for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext())
    walked.push_back(Show(rs->Value(0)));
  EXPECT_EQ(walked, visible);
}

TEST_F(ProviderTest, MovesThroughTheRecords) {
  WriteNames("t.dbf", {"a", "b", "c"});
  const auto rs = Connect().OpenTable("t");
  EXPECT_FALSE(rs->Bof());
  EXPECT_FALSE(rs->Eof());
  EXPECT_EQ(rs->AbsolutePosition(), 1);
  EXPECT_EQ(rs->RecordCount(), 3);
  rs->MoveNext();
  EXPECT_EQ(rs->AbsolutePosition(), 2);
  EXPECT_EQ(Show(rs->Value(0)), "'b       '");
  rs->MoveLast();
  EXPECT_EQ(Show(rs->Value(0)), "'c       '");
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(rs->AbsolutePosition(), 0);
  EXPECT_THROW(rs->MoveNext(), EDbfError);
  EXPECT_THROW(rs->Value(0), EDbfError);
  rs->MovePrevious();
  EXPECT_EQ(Show(rs->Value(0)), "'c       '");
  rs->SetAbsolutePosition(1);
  EXPECT_EQ(Show(rs->Value(0)), "'a       '");
  rs->MovePrevious();
  EXPECT_TRUE(rs->Bof());
  EXPECT_THROW(rs->MovePrevious(), EDbfError);
}

TEST_F(ProviderTest, AbsolutePositionOutsideTheRecordsIsRefused) {
  WriteNames("t.dbf", {"a", "b", "c"});
  const auto rs = Connect().OpenTable("t");
  rs->SetAbsolutePosition(2);
  for (const int32_t position : {0, 4, -1}) {
    try {
      rs->SetAbsolutePosition(position);
      ADD_FAILURE() << "moved to " << position;
    } catch (const EDbfError& e) {
      EXPECT_EQ(e.Message(),
                "Record number " + std::to_string(position) + " is out of range (1 to 3)");
    }
  }
  EXPECT_EQ(rs->AbsolutePosition(), 2) << "a refused move stays put";
}

// Counting reads every deletion flag, through more records than the table's
// read cache holds; the current record must still read as itself.
TEST_F(ProviderTest, CountingKeepsTheCurrentRecord) {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"ID", 'N', 5}, {"FILL", 'C', 250}, {"MORE", 'C', 250}, {"REST", 'C', 250}};
  for (int i = 0; i < 1000; ++i)
    spec.Rows.push_back({Int(i), Text(""), Text(""), Text("")});
  WriteTable(FFolder.Path(), "big", spec);
  const auto rs = Connect().OpenTable("big");
  EXPECT_EQ(Show(rs->Value(0)), "decimal 0");
  EXPECT_EQ(rs->RecordCount(), 1000);
  EXPECT_EQ(Show(rs->Value(0)), "decimal 0");
  rs->SetAbsolutePosition(2);
  EXPECT_EQ(Show(rs->Value(0)), "decimal 1");
  EXPECT_THROW(rs->SetAbsolutePosition(5000), EDbfError);
  EXPECT_EQ(Show(rs->Value(0)), "decimal 1");
}

TEST_F(ProviderTest, TableWithoutVisibleRecordsIsAtBofAndEof) {
  WriteNames("empty.dbf", {});
  WriteNames("gone.dbf", {"a", "b"}, {0, 1});
  const TProviderConnection c = Connect();
  for (const char* name : {"empty", "gone"}) {
    const auto rs = c.OpenTable(name);
    EXPECT_TRUE(rs->Bof()) << name;
    EXPECT_TRUE(rs->Eof()) << name;
    EXPECT_EQ(rs->RecordCount(), 0) << name;
    EXPECT_THROW(rs->Value(0), EDbfError) << name;
  }
}

TEST_F(ProviderTest, ReadsTheCommittedSample) {
  TProviderConnection c;
  c.SetConnectionString("Provider=VFPOLEDB.1;Data Source=" LUMBRA_SOURCE_DIR "/samples");
  c.Open();
  const auto rs = c.OpenTable("CLIENTI.DBF");
  EXPECT_EQ(rs->RecordCount(), 20);
  rs->SetAbsolutePosition(2);
  EXPECT_EQ(Show(rs->Value(1)), "'Braşov              '");
  EXPECT_EQ(Show(rs->Value(6)), "null");
  EXPECT_EQ(rs->Columns().size(), 8u);
}

}  // namespace
}  // namespace lumbra::test
