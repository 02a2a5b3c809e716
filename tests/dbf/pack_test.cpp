// DELETE FROM and PACK on disk: what each leaves in the table, memo and index
// files, and what makes them refuse before changing anything.
#include "dbf/pack.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "dbf/cdx.h"
#include "dbf/dbf_error.h"
#include "tests/dbf/pack_fixture.h"
#include "tests/support/test_files.h"

namespace lumbra {
namespace {

namespace fs = std::filesystem;
using test::CorpusDir;
using namespace pack_fixture;

TDbfHeader HeaderOf(uint8_t version, TDbfFormat format, uint8_t year, uint8_t month, uint8_t day) {
  TDbfHeader h;
  h.Version = version;
  h.Format = format;
  h.UpdateYear = year;
  h.UpdateMonth = month;
  h.UpdateDay = day;
  return h;
}

TEST(EncodeUpdateDate, KeepsTheYearConventionOfTheTable) {
  struct TCase {
    const char* Case;
    TDbfHeader Header;
    uint8_t Year;
  };
  const TCase cases[] = {
      {"dBase III year since 1900", HeaderOf(0x03, TDbfFormat::dBase3, 103, 5, 1), 126},
      {"VFP year of the century", HeaderOf(0x30, TDbfFormat::VisualFoxPro, 22, 5, 1), 26},
      {"dBase file that stored 1995 as 95", HeaderOf(0x83, TDbfFormat::dBase3, 95, 5, 1), 26},
      {"year 2000 in VFP", HeaderOf(0x30, TDbfFormat::VisualFoxPro, 0, 1, 1), 26},
      {"no date in VFP", HeaderOf(0x30, TDbfFormat::VisualFoxPro, 0, 0, 0), 26},
      {"no date in FoxPro 2", HeaderOf(0xF5, TDbfFormat::FoxPro, 0, 0, 0), 26},
      {"no date in dBase III", HeaderOf(0x03, TDbfFormat::dBase3, 0, 0, 0), 126},
      {"no date in dBase 7", HeaderOf(0x8C, TDbfFormat::dBase7, 0, 0, 0), 126},
  };
  for (const TCase& c : cases) {
    const auto date = EncodeUpdateDate(c.Header, 2026, 3, 9);
    EXPECT_EQ(date[0], c.Year) << c.Case;
    EXPECT_EQ(date[1], 3) << c.Case;
    EXPECT_EQ(date[2], 9) << c.Case;
  }
}

// Today in the fixture's Visual FoxPro year convention.
std::string TodayBytes() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return {static_cast<char>(local.tm_year % 100), static_cast<char>(local.tm_mon + 1),
          static_cast<char>(local.tm_mday)};
}

class PackTest : public ::testing::Test {
 protected:
  std::string Table() const { return FFolder / "t.dbf"; }
  std::string Memo() const { return FFolder / "t.fpt"; }
  std::string Cdx() const { return FFolder / "t.cdx"; }
  void Write(const TTableShape& spec = {}) {
    WriteTable(FFolder.Path(), "t", FRows, spec);
    FTable0 = ReadBytes(Table());
    FMemo0 = ReadBytes(Memo());
    FCdx0 = ReadBytes(Cdx());
  }
  void Empty() {
    TTableLock lock(Table());
    DeleteAllRecords(lock);
    PackTable(lock);
  }
  // Nothing on disk differs from what Write() wrote, and nothing was added.
  void ExpectUnchanged() {
    EXPECT_EQ(ReadBytes(Table()), FTable0);
    EXPECT_EQ(ReadBytes(Memo()), FMemo0);
    EXPECT_EQ(ReadBytes(Cdx()), FCdx0);
    EXPECT_TRUE(Leftovers(FFolder).empty());
  }
  void ExpectRefusal(const std::function<void()>& action, const std::string& problem) {
    try {
      action();
      ADD_FAILURE() << "no refusal";
    } catch (const EDbfError& e) {
      EXPECT_NE(e.Message().find(problem), std::string::npos) << e.Message();
      EXPECT_NE(e.Message().find("nothing was changed"), std::string::npos) << e.Message();
    }
    ExpectUnchanged();
  }

  TTempFolder FFolder;
  std::vector<TRow> FRows = SampleRows(7);
  std::string FTable0;
  std::string FMemo0;
  std::string FCdx0;
};

TEST_F(PackTest, DeleteFlagsEveryRecordAndStampsTodayLeavingAllElse) {
  FRows[3].Deleted = true;
  Write();
  {
    TTableLock lock(Table());
    DeleteAllRecords(lock);
  }
  std::string expected = FTable0;
  expected.replace(1, 3, TodayBytes());
  for (size_t i = 0; i < FRows.size(); ++i)
    expected[kHeaderLength(true) + i * kRecordLength(true)] = '*';
  EXPECT_EQ(ReadBytes(Table()), expected);
  EXPECT_EQ(ReadBytes(Memo()), FMemo0);
  EXPECT_EQ(ReadBytes(Cdx()), FCdx0);
  EXPECT_TRUE(VisibleRows(Table()).empty());
  EXPECT_TRUE(Leftovers(FFolder).empty());
}

TEST_F(PackTest, DeleteOfATableWithoutLiveRecordsTouchesNothing) {
  for (TRow& row : FRows)
    row.Deleted = true;
  Write();
  struct stat before;
  ::stat(Table().c_str(), &before);
  {
    TTableLock lock(Table());
    DeleteAllRecords(lock);
  }
  struct stat after;
  ::stat(Table().c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino);
  ExpectUnchanged();
}

TEST_F(PackTest, PackKeepsLiveRecordsInOrderAndTheMemoFileAsItIs) {
  FRows[1].Deleted = true;
  FRows[4].Deleted = true;
  Write({.Memo = true, .Index = false});
  TPackResult result;
  {
    TTableLock lock(Table());
    result = PackTable(lock);
  }
  EXPECT_EQ(result.Kept, 5u);
  EXPECT_EQ(result.Removed, 2u);
  EXPECT_FALSE(result.MemoCompacted);
  EXPECT_FALSE(result.IndexEmptied);
  const std::string table = ReadBytes(Table());
  const uint32_t hl = kHeaderLength(true);
  const uint32_t rl = kRecordLength(true);
  ASSERT_EQ(table.size(), hl + 5 * rl + 1);
  EXPECT_EQ(table.back(), '\x1A');
  EXPECT_EQ(table[0], FTable0[0]);
  EXPECT_EQ(table.substr(1, 3), TodayBytes());
  EXPECT_EQ(table.substr(4, 4), std::string("\x05\x00\x00\x00", 4));
  EXPECT_EQ(table.substr(8, hl - 8), FTable0.substr(8, hl - 8));
  std::string kept;
  for (size_t i = 0; i < FRows.size(); ++i) {
    if (!FRows[i].Deleted) kept += FTable0.substr(hl + i * rl, rl);
  }
  EXPECT_EQ(table.substr(hl, 5 * rl), kept);
  EXPECT_EQ(ReadBytes(Memo()), FMemo0);
  EXPECT_EQ(VisibleRows(Table()), Expected(FRows));
  EXPECT_TRUE(Leftovers(FFolder).empty());
}

TEST_F(PackTest, PackRefusesToMoveRecordsAnIndexPointsAt) {
  FRows[2].Deleted = true;
  Write();
  ExpectRefusal(
      [&] {
        TTableLock lock(Table());
        PackTable(lock);
      },
      "would point at the wrong records");
}

TEST_F(PackTest, PackWithNothingToRemoveKeepsTheIndex) {
  Write();
  // A table whose writer left no end-of-file marker.
  FTable0.pop_back();
  WriteBytes(Table(), FTable0);
  {
    TTableLock lock(Table());
    const TPackResult result = PackTable(lock);
    EXPECT_EQ(result.Kept, 7u);
    EXPECT_FALSE(result.IndexEmptied);
  }
  const std::string table = ReadBytes(Table());
  EXPECT_EQ(table.size(), FTable0.size() + 1);
  EXPECT_EQ(table.back(), '\x1A');
  EXPECT_EQ(ReadBytes(Cdx()), FCdx0);
  EXPECT_EQ(ReadBytes(Memo()), FMemo0);
  EXPECT_EQ(VisibleRows(Table()), Expected(FRows));
}

TEST_F(PackTest, EmptyingLeavesHeaderAloneInEachFile) {
  Write();
  TPackResult result;
  {
    TTableLock lock(Table());
    DeleteAllRecords(lock);
    result = PackTable(lock);
  }
  EXPECT_EQ(result.Kept, 0u);
  EXPECT_EQ(result.Removed, 7u);
  EXPECT_TRUE(result.MemoCompacted);
  EXPECT_TRUE(result.IndexEmptied);

  const std::string table = ReadBytes(Table());
  const uint32_t hl = kHeaderLength(true);
  ASSERT_EQ(table.size(), hl + 1);
  EXPECT_EQ(table.back(), '\x1A');
  EXPECT_EQ(table.substr(4, 4), std::string(4, '\0'));
  EXPECT_EQ(table[0], FTable0[0]);
  EXPECT_EQ(table.substr(8, hl - 8), FTable0.substr(8, hl - 8));
  EXPECT_TRUE(VisibleRows(Table()).empty());

  // The memo: its 512-byte header, the next free block back at 512 / 64.
  const std::string memo = ReadBytes(Memo());
  ASSERT_EQ(memo.size(), 512u);
  EXPECT_EQ(memo.substr(0, 4), std::string("\0\0\0\x08", 4));
  EXPECT_EQ(memo.substr(4), FMemo0.substr(4, 508));

  // The index: each tag's root is an empty leaf, its free list 0; no other
  // byte changes.
  const std::string cdx = ReadBytes(Cdx());
  ASSERT_EQ(cdx.size(), FCdx0.size());
  MemoryFileIo file("t.cdx", cdx);
  const TCdxIndex index = ReadCdx(file);
  MemoryFileIo oldFile("t.cdx", FCdx0);
  const TCdxIndex old = ReadCdx(oldFile);
  ASSERT_EQ(index.Tags.size(), old.Tags.size());
  std::string expected = FCdx0;
  for (size_t i = 0; i < index.Tags.size(); ++i) {
    const TCdxTag& tag = index.Tags[i];
    EXPECT_EQ(tag.Name, old.Tags[i].Name);
    EXPECT_EQ(tag.KeyExpression, old.Tags[i].KeyExpression);
    EXPECT_EQ(tag.ForExpression, old.Tags[i].ForExpression);
    EXPECT_EQ(tag.Options, old.Tags[i].Options);
    EXPECT_EQ(tag.RootKeyCount, 0);
    const auto leaf = EmptyCdxRootLeaf(tag.KeyLength);
    expected.replace(tag.RootOffset, leaf.size(), reinterpret_cast<const char*>(leaf.data()),
                     leaf.size());
  }
  EXPECT_EQ(cdx, expected);
  EXPECT_TRUE(Leftovers(FFolder).empty());
}

TEST_F(PackTest, EmptyingKeepsPermissionBitsAndOwner) {
  Write();
  ::chmod(Table().c_str(), 0640);
  ::chmod(Memo().c_str(), 0604);
  ::chmod(Cdx().c_str(), 0600);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(Table().c_str(), 4321, 4322), 0);
    ASSERT_EQ(::chown(Memo().c_str(), 4321, 4322), 0);
  }
  Empty();
  struct stat st;
  ::stat(Table().c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
  }
  ::stat(Memo().c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  if (root) {
    EXPECT_EQ(st.st_uid, 4321u);
  }
  ::stat(Cdx().c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(PackTest, EmptiesTheFilesBehindSymbolicLinksAndKeepsTheLinks) {
  Write();
  TTempFolder links;
  for (const char* name : {"t.dbf", "t.fpt", "t.cdx"})
    fs::create_symlink(FFolder.Path() / name, links.Path() / name);
  {
    TTableLock lock(links / "t.dbf");
    DeleteAllRecords(lock);
    PackTable(lock);
  }
  for (const char* name : {"t.dbf", "t.fpt", "t.cdx"})
    EXPECT_TRUE(fs::is_symlink(links.Path() / name)) << name;
  EXPECT_EQ(ReadBytes(Table()).size(), kHeaderLength(true) + 1);
  EXPECT_EQ(ReadBytes(Memo()).size(), 512u);
  EXPECT_TRUE(VisibleRows(links / "t.dbf").empty());
  EXPECT_TRUE(Leftovers(FFolder).empty());
  EXPECT_TRUE(Leftovers(links).empty());
}

TEST_F(PackTest, RefusesAFileWithOtherHardLinks) {
  Write();
  fs::create_hard_link(Memo(), FFolder / "other.fpt");
  ExpectRefusal(
      [&] {
        TTableLock lock(Table());
        DeleteAllRecords(lock);
      },
      "has other hard links");
}

TEST_F(PackTest, RefusesAnIndexItCannotReadWithCertaintyBeforeDeletingAnything) {
  Write();
  FCdx0[15] = 2;  // the signature
  WriteBytes(Cdx(), FCdx0);
  ExpectRefusal(
      [&] {
        TTableLock lock(Table());
        DeleteAllRecords(lock);
      },
      "its index cannot be read with certainty: Index '");
}

TEST_F(PackTest, RefusesADBaseProductionIndex) {
  Write({.Memo = true, .Index = false, .Version = 0x8B});
  WriteBytes(FFolder / "t.mdx", std::string(2048, '\0'));
  FTable0[28] = 0x01;
  WriteBytes(Table(), FTable0);
  ExpectRefusal(
      [&] {
        TTableLock lock(Table());
        DeleteAllRecords(lock);
      },
      "its dBase production index");
}

TEST_F(PackTest, RefusesAMemoFileWhoseHeaderIsUnusable) {
  Write();
  FMemo0[6] = FMemo0[7] = 0;  // block size 0
  WriteBytes(Memo(), FMemo0);
  ExpectRefusal(
      [&] {
        TTableLock lock(Table());
        DeleteAllRecords(lock);
      },
      "its block size is 0");
}

TEST_F(PackTest, EmptiesATableWhoseMemoBlocksAreGarbage) {
  Write();
  std::string memo = FMemo0;
  for (size_t i = 512; i < memo.size(); ++i)
    memo[i] = '\xFF';
  WriteBytes(Memo(), memo);
  Empty();
  EXPECT_TRUE(VisibleRows(Table()).empty());
  EXPECT_EQ(ReadBytes(Memo()).size(), 512u);
}

TEST_F(PackTest, EmptiesATableWhoseMemoOrIndexFileIsMissing) {
  Write();
  fs::remove(Memo());
  fs::remove(Cdx());
  Empty();
  EXPECT_TRUE(VisibleRows(Table()).empty());
  EXPECT_FALSE(fs::exists(Memo()));
  EXPECT_FALSE(fs::exists(Cdx()));
  // The header still says what the table had.
  EXPECT_EQ(ReadBytes(Table())[28], '\x03');
}

TEST_F(PackTest, PacksTheCompleteRecordsOfATruncatedTable) {
  FRows[0].Deleted = true;
  Write({.Memo = true, .Index = false});
  // Two records and a half are gone.
  const size_t cut = kHeaderLength(true) + 4 * kRecordLength(true) + 5;
  WriteBytes(Table(), FTable0.substr(0, cut));
  {
    TTableLock lock(Table());
    EXPECT_EQ(PackTable(lock).Kept, 3u);
  }
  std::vector<TRow> present(FRows.begin(), FRows.begin() + 4);
  EXPECT_EQ(VisibleRows(Table()), Expected(present));
  EXPECT_EQ(ReadBytes(Table()).size(), kHeaderLength(true) + 3 * kRecordLength(true) + 1);
}

TEST(PackCorpus, RefusesADBaseIITable) {
  const fs::path source = CorpusDir() / "ruby-dbf/dbase_02.dbf";
  if (!fs::exists(source)) GTEST_SKIP() << "no corpus at " << CorpusDir();
  TTempFolder folder;
  fs::copy_file(source, folder.Path() / "t.dbf");
  fs::permissions(folder.Path() / "t.dbf", fs::perms::owner_write, fs::perm_options::add);
  TTableLock lock(folder / "t.dbf");
  EXPECT_THROW(PackTable(lock), EDbfError);
}

// Copies the table at source with its memo and index files (any letter case)
// into folder, writable.
std::string CopyTable(const fs::path& source, const TTempFolder& folder) {
  const std::string stem = source.stem().string();
  for (const auto& entry : fs::directory_iterator(source.parent_path())) {
    const std::string name = entry.path().filename().string();
    if (entry.path().stem().string() != stem || name.find(".oracle.") != std::string::npos) {
      continue;
    }
    fs::copy_file(entry.path(), folder.Path() / name);
    fs::permissions(folder.Path() / name, fs::perms::owner_write, fs::perm_options::add);
  }
  return folder / source.filename().string();
}

// Every corpus table with a .cdx beside it empties, and keeps every tag.
TEST(PackCorpus, EmptiesEveryTableWithAnIndex) {
  if (!fs::is_directory(CorpusDir())) GTEST_SKIP() << "no corpus at " << CorpusDir();
  size_t emptied = 0;
  for (const auto& entry : fs::recursive_directory_iterator(CorpusDir())) {
    std::string extension = entry.path().extension().string();
    if (extension != ".cdx" && extension != ".CDX") continue;
    fs::path table;
    for (const char* ext : {".dbf", ".DBF"}) {
      if (fs::exists(fs::path(entry.path()).replace_extension(ext)))
        table = fs::path(entry.path()).replace_extension(ext);
    }
    if (table.empty()) continue;
    SCOPED_TRACE(table.string());
    TTempFolder folder;
    const std::string path = CopyTable(table, folder);
    const std::string cdx = folder / entry.path().filename().string();
    MemoryFileIo before("before", ReadBytes(cdx));
    const size_t tags = ReadCdx(before).Tags.size();
    {
      TTableLock lock(path);
      DeleteAllRecords(lock);
      EXPECT_TRUE(PackTable(lock).IndexEmptied);
    }
    EXPECT_TRUE(VisibleRows(path).empty());
    PosixFileIo after(cdx);
    const TCdxIndex index = ReadCdx(after);
    EXPECT_EQ(index.Tags.size(), tags);
    for (const TCdxTag& tag : index.Tags)
      EXPECT_EQ(tag.RootKeyCount, 0) << tag.Name;
    ++emptied;
  }
  EXPECT_GE(emptied, 20u);
}

// For a table that Visual FoxPro left empty, emptying again changes no byte of
// the index, and the memo file keeps the header it had.
TEST(PackCorpus, AnIndexVisualFoxProEmptiedStaysAsItWas) {
  const fs::path dir = CorpusDir() / "xsharp/Runtime/XSharp.VFP/TestData";
  if (!fs::exists(dir / "customerdemographics.dbf")) GTEST_SKIP() << "no corpus";
  for (const char* name : {"customercustomerdemo.dbf", "customerdemographics.dbf"}) {
    SCOPED_TRACE(name);
    TTempFolder folder;
    const std::string path = CopyTable(dir / name, folder);
    const std::string cdx = fs::path(path).replace_extension(".cdx").string();
    const std::string fpt = fs::path(path).replace_extension(".fpt").string();
    const std::string cdx0 = ReadBytes(cdx);
    const std::string fpt0 = fs::exists(fpt) ? ReadBytes(fpt) : "";
    {
      TTableLock lock(path);
      PackTable(lock);
    }
    EXPECT_EQ(ReadBytes(cdx), cdx0);
    if (!fpt0.empty()) {
      EXPECT_EQ(ReadBytes(fpt), fpt0);
    }
  }
}

// dBase memo files: III style cut to 512 bytes, IV style to one block of its
// own size, each with the next free block 1 and the rest of its header kept.
TEST(PackCorpus, CutsDBaseMemoFilesToTheirHeader) {
  struct TCase {
    const char* Table;
    const char* Memo;
  };
  for (const TCase c : {TCase{"ruby-dbf/dbase_83.dbf", "dbase_83.dbt"},
                        TCase{"ruby-dbf/dbase_8b.dbf", "dbase_8b.dbt"}}) {
    const fs::path source = CorpusDir() / c.Table;
    if (!fs::exists(source)) GTEST_SKIP() << "no corpus at " << CorpusDir();
    SCOPED_TRACE(c.Table);
    TTempFolder folder;
    const std::string path = CopyTable(source, folder);
    const std::string memo0 = ReadBytes(folder / c.Memo);
    {
      TTableLock lock(path);
      DeleteAllRecords(lock);
      PackTable(lock);
    }
    const std::string memo = ReadBytes(folder / c.Memo);
    const bool level4 = std::string(c.Memo) == "dbase_8b.dbt";
    const size_t blockSize =
        level4 ? static_cast<uint8_t>(memo0[20]) | static_cast<uint8_t>(memo0[21]) << 8 : 512;
    ASSERT_EQ(memo.size(), blockSize);
    EXPECT_EQ(memo.substr(0, 4), std::string("\x01\0\0\0", 4));
    EXPECT_EQ(memo.substr(4), memo0.substr(4, blockSize - 4));
    EXPECT_TRUE(VisibleRows(path).empty());
  }
}

}  // namespace
}  // namespace lumbra
