// What other readers make of the tables Lumbra wrote: Debian's python3-dbfread
// and python3-dbf, run as programs on a table emptied through slot 1 and on
// one packed with records left. Skipped where they are not installed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "dbf/pack.h"
#include "tables/slots.h"
#include "tests/dbf/pack_fixture.h"
#include "tests/support/no_slot_view.h"

namespace lumbra {
namespace {

using namespace pack_fixture;
using test::TNoSlotView;

// Prints the table's field names, then each record that is not deleted as
// its values joined by "|", text without trailing blanks (dbfread gives an
// empty memo as None).
constexpr const char* kReadScript = R"(import sys
which, path = sys.argv[1], sys.argv[2]
if which == 'dbfread':
    import dbfread
    t = dbfread.DBF(path, load=True)
    print('fields ' + ','.join(f.lower() for f in t.field_names))
    for r in t.records:
        print('|'.join('' if v is None else str(v) for v in r.values()))
else:
    import dbf
    t = dbf.Table(path)
    t.open(dbf.READ_ONLY)
    print('fields ' + ','.join(t.field_names))
    for r in t:
        if not dbf.is_deleted(r):
            print('|'.join(str(v).rstrip() if isinstance(v, str) else str(v) for v in r))
    t.close()
)";

// The first interpreter that has both readers; "" when none has.
std::string Python() {
  for (const char* candidate : {"/usr/bin/python3", "python3"}) {
    const std::string command =
        std::string(candidate) + " -c 'import dbf, dbfread' >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0) return candidate;
  }
  return "";
}

// What reader says of the table at path, one line each; exit status in status.
std::vector<std::string> ReadWith(const std::string& python, const std::string& script,
                                  const std::string& reader, const std::string& path, int& status) {
  const std::string command = python + " '" + script + "' " + reader + " '" + path + "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::vector<std::string> lines;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    std::string line = buffer;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    lines.push_back(line);
  }
  status = ::pclose(pipe);
  return lines;
}

class PeersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FPython = Python();
    if (FPython.empty()) GTEST_SKIP() << "python3-dbf and python3-dbfread are not installed";
    FScript = FFolder / "read.py";
    WriteBytes(FScript, kReadScript);
  }
  // Both readers give the same lines, which must be lines.
  void ExpectBothRead(const std::string& path, const std::vector<std::string>& lines) {
    for (const char* reader : {"dbfread", "dbf"}) {
      int status = 0;
      EXPECT_EQ(ReadWith(FPython, FScript, reader, path, status), lines) << reader;
      EXPECT_EQ(status, 0) << reader;
    }
  }
  static std::vector<std::string> Lines(const std::vector<TRow>& rows) {
    std::vector<std::string> lines = {"fields id,name,note"};
    for (const TRow& row : rows) {
      if (!row.Deleted) lines.push_back(std::to_string(row.Id) + "|" + row.Name + "|" + row.Note);
    }
    return lines;
  }

  TTempFolder FFolder;
  std::string FPython;
  std::string FScript;
};

TEST_F(PeersTest, ReadATableEmptiedThroughSlotOne) {
  const std::vector<TRow> rows = SampleRows(8);
  WriteTable(FFolder.Path(), "t", rows);
  ExpectBothRead(FFolder / "t.dbf", Lines(rows));
  TNoSlotView view;
  TRegionalSettings settings;
  TTableSlots slots(view, settings);
  slots.DeschideDbf1(FFolder / "t.dbf");
  slots.GolesteBaza();
  ExpectBothRead(FFolder / "t.dbf", {"fields id,name,note"});
}

TEST_F(PeersTest, ReadThePackedRecordsWithTheirMemos) {
  std::vector<TRow> rows = SampleRows(9);
  rows[0].Deleted = rows[4].Deleted = rows[8].Deleted = true;
  WriteTable(FFolder.Path(), "t", rows, {.Memo = true, .Index = false});
  {
    TTableLock lock(FFolder / "t.dbf");
    PackTable(lock);
  }
  ExpectBothRead(FFolder / "t.dbf", Lines(rows));
}

// A Visual FoxPro table with memo and index from the corpus, copied.
TEST_F(PeersTest, ReadACorpusTableEmptiedThroughSlotOne) {
  const fs::path source =
      fs::path(__FILE__).parent_path().parent_path().parent_path().parent_path() /
      "shared/corpus/xsharp/Runtime/XSharp.VFP/TestData";
  if (!fs::exists(source / "categories.dbf")) GTEST_SKIP() << "no corpus";
  for (const char* name : {"categories.dbf", "categories.fpt", "categories.CDX"}) {
    fs::copy_file(source / name, FFolder.Path() / name);
    fs::permissions(FFolder.Path() / name, fs::perms::owner_write, fs::perm_options::add);
  }
  TNoSlotView view;
  TRegionalSettings settings;
  TTableSlots slots(view, settings);
  slots.DeschideDbf1(FFolder / "categories.dbf");
  slots.GolesteBaza();
  int status = 0;
  const std::string fields = "fields categoryid,categoryna,descriptio,picture";
  EXPECT_EQ(ReadWith(FPython, FScript, "dbf", FFolder / "categories.dbf", status),
            std::vector<std::string>{fields});
  // dbfread lists the hidden _NullFlags column too.
  EXPECT_EQ(ReadWith(FPython, FScript, "dbfread", FFolder / "categories.dbf", status),
            std::vector<std::string>{fields + ",_nullflags"});
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace lumbra
