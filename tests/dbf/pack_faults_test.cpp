// Emptying a table when the file system fails or the process dies part way:
// every failure leaves the original files or a consistent set, and every
// instant of the replacement leaves files that open and read correctly.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "dbf/cdx.h"
#include "dbf/dbf_error.h"
#include "dbf/pack.h"
#include "tests/dbf/pack_fixture.h"

namespace lumbra {
namespace {

using namespace pack_fixture;

// The real file system, with one of its steps failing, or killing the
// process, when its turn comes.
class TFaultyIo : public PosixPackIo {
 public:
  enum class TFault { Fail, Kill };

  size_t FailAt = 0;       // 1-based step; 0 never
  size_t FailAgainAt = 0;  // a later step that fails too; 0 never
  TFault Fault = TFault::Fail;
  int Error = EIO;
  std::vector<std::string> Steps;

  int CreateTemporary(const std::string& folder, const std::string& prefix,
                      std::string& path) override {
    Step("create " + prefix, folder);
    return PosixPackIo::CreateTemporary(folder, prefix, path);
  }
  void WriteAt(int fd, const std::string& path, uint64_t offset, const void* data,
               size_t length) override {
    Step("write", path);
    PosixPackIo::WriteAt(fd, path, offset, data, length);
  }
  void CopyAttributes(int fd, const std::string& path, const struct stat& original) override {
    Step("attributes", path);
    PosixPackIo::CopyAttributes(fd, path, original);
  }
  void Sync(int fd, const std::string& path) override {
    Step("sync", path);
    PosixPackIo::Sync(fd, path);
  }
  void SyncFolder(const std::string& folder) override {
    Step("sync folder", folder);
    PosixPackIo::SyncFolder(folder);
  }
  void Rename(const std::string& from, const std::string& to) override {
    Step("rename to " + to.substr(to.rfind('/') + 1), from);
    PosixPackIo::Rename(from, to);
  }

 private:
  void Step(const std::string& what, const std::string& path) {
    Steps.push_back(what);
    if (Steps.size() != FailAt && Steps.size() != FailAgainAt) return;
    if (Fault == TFault::Kill) ::raise(SIGKILL);
    throw EDbfError("Cannot " + what + " '" + path + "': " + std::strerror(Error));
  }
};

void EmptyTable(const std::string& path, PackIo& io) {
  TTableLock lock(path);
  DeleteAllRecords(lock, io);
  PackTable(lock, io);
}

// Empties the table in a child process that is killed at step; whether it was.
bool EmptyKilledAt(const std::string& table, size_t step) {
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    TFaultyIo io;
    io.FailAt = step;
    io.Fault = TFaultyIo::TFault::Kill;
    try {
      EmptyTable(table, io);
    } catch (...) {
      ::_exit(1);
    }
    ::_exit(0);
  }
  int status = 0;
  return ::waitpid(pid, &status, 0) == pid && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

using TFiles = std::tuple<std::string, std::string, std::string>;  // table, memo, index

class PackFaultsTest : public ::testing::Test {
 protected:
  // Writes the table, then empties a copy of it step by step to learn every
  // state the files may be seen in: the originals (0), after DELETE FROM (1),
  // and after PACK (2), with the files replaced in the order index, table,
  // memo.
  void SetUp() override {
    WriteTable(FFolder.Path(), "t", FRows);
    TTempFolder dry;
    WriteTable(dry.Path(), "t", FRows);
    const TFiles s0 = Files(dry);
    TFaultyIo io;
    TTableLock lock(dry / "t.dbf");
    DeleteAllRecords(lock, io);
    FDeleteSteps = io.Steps.size();
    const TFiles s1 = Files(dry);
    PackTable(lock, io);
    FSteps = io.Steps;
    const TFiles s2 = Files(dry);
    FBeforeDelete = s0;
    FBeforePack = s1;
    const auto& [t0, m0, c0] = s0;
    const auto& [t1, m1, c1] = s1;
    const auto& [t2, m2, c2] = s2;
    FConsistent = {s0, s1, {t1, m0, c2}, {t2, m0, c2}, s2};
    FFinal = s2;
  }

  static TFiles Files(const TTempFolder& folder) {
    return {ReadBytes(folder / "t.dbf"), ReadBytes(folder / "t.fpt"), ReadBytes(folder / "t.cdx")};
  }

  // The files form one of the consistent sets, and read correctly: every
  // record with its memo, or none; an index that reads with certainty.
  void ExpectConsistent() {
    EXPECT_TRUE(FConsistent.count(Files(FFolder)) == 1) << "an inconsistent set of files";
    const std::vector<std::string> rows = VisibleRows(FFolder / "t.dbf");
    EXPECT_TRUE(rows.empty() || rows == Expected(FRows)) << rows.size() << " records";
    PosixFileIo index(FFolder / "t.cdx");
    EXPECT_NO_THROW(ReadCdx(index));
  }

  TTempFolder FFolder;
  std::vector<TRow> FRows = SampleRows(9);
  std::set<TFiles> FConsistent;
  TFiles FBeforeDelete;
  TFiles FBeforePack;
  TFiles FFinal;
  std::vector<std::string> FSteps;  // of DELETE FROM then PACK
  size_t FDeleteSteps = 0;
};

TEST_F(PackFaultsTest, EveryFailingStepLeavesAConsistentSetAndCanBeRepeated) {
  ASSERT_GT(FSteps.size(), 20u);
  for (size_t step = 1; step <= FSteps.size(); ++step) {
    SCOPED_TRACE("step " + std::to_string(step) + ": " + FSteps[step - 1]);
    TFaultyIo io;
    io.FailAt = step;
    try {
      EmptyTable(FFolder / "t.dbf", io);
      ADD_FAILURE() << "no failure";
    } catch (const EDbfError& e) {
      EXPECT_NE(e.Message().find(std::strerror(EIO)), std::string::npos) << e.Message();
      // Before its first rename, a command changes nothing.
      const bool renamed = [&] {
        const size_t from = step <= FDeleteSteps ? 0 : FDeleteSteps;
        for (size_t i = from; i + 1 < step; ++i) {
          if (FSteps[i].rfind("rename", 0) == 0) return true;
        }
        return false;
      }();
      if (!renamed) {
        EXPECT_NE(e.Message().find("nothing was changed"), std::string::npos) << e.Message();
        EXPECT_TRUE(Files(FFolder) == (step <= FDeleteSteps ? FBeforeDelete : FBeforePack));
      }
    }
    ExpectConsistent();
    EXPECT_TRUE(Leftovers(FFolder).empty());
    // Whatever was left, emptying again finishes the job.
    TFaultyIo clean;
    EmptyTable(FFolder / "t.dbf", clean);
    EXPECT_TRUE(Files(FFolder) == FFinal);
    WriteTable(FFolder.Path(), "t", FRows);
  }
}

TEST_F(PackFaultsTest, AFailedRenameAfterTheFirstSaysHowFarThePackGot) {
  size_t tableRename = 0;
  for (size_t i = FDeleteSteps; i < FSteps.size(); ++i) {
    if (FSteps[i] == "rename to t.dbf") tableRename = i + 1;
  }
  ASSERT_NE(tableRename, 0u);
  TFaultyIo io;
  io.FailAt = tableRename;
  io.Error = EXDEV;
  try {
    EmptyTable(FFolder / "t.dbf", io);
    FAIL() << "no failure";
  } catch (const EDbfError& e) {
    EXPECT_NE(e.Message().find("PACK stopped part way (its index was emptied; the files still "
                               "read correctly)"),
              std::string::npos)
        << e.Message();
  }
  ExpectConsistent();
  EXPECT_TRUE(VisibleRows(FFolder / "t.dbf").empty());
}

// The process is killed at each step in turn, in a child that empties the
// table; what it leaves must read as all the old records or none.
TEST_F(PackFaultsTest, AProcessKilledAtAnyStepLeavesAllTheRecordsOrNone) {
  std::set<size_t> sawRecords;
  for (size_t step = 1; step <= FSteps.size(); ++step) {
    SCOPED_TRACE("killed at step " + std::to_string(step) + ": " + FSteps[step - 1]);
    ASSERT_TRUE(EmptyKilledAt(FFolder / "t.dbf", step));
    ExpectConsistent();
    sawRecords.insert(VisibleRows(FFolder / "t.dbf").size());
    // The next emptying finishes the job and clears what the killed one left.
    PosixPackIo io;
    EmptyTable(FFolder / "t.dbf", io);
    EXPECT_TRUE(Files(FFolder) == FFinal);
    EXPECT_TRUE(Leftovers(FFolder).empty());
    WriteTable(FFolder.Path(), "t", FRows);
  }
  EXPECT_EQ(sawRecords, (std::set<size_t>{0, FRows.size()}));
}

// A real limit on the file size, as a full disk: PACK fails on its first
// write past the limit and leaves the table as it was.
TEST(PackDiskFull, AFailedWriteLeavesTheOriginalsAndNoTemporaries) {
  TTempFolder folder;
  std::vector<TRow> rows = SampleRows(600);
  for (size_t i = 0; i < rows.size(); i += 2)
    rows[i].Deleted = true;
  WriteTable(folder.Path(), "t", rows, {.Memo = true, .Index = false});
  const std::string table0 = ReadBytes(folder / "t.dbf");
  const std::string memo0 = ReadBytes(folder / "t.fpt");
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit limit = {4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    try {
      TTableLock lock(folder / "t.dbf");
      PackTable(lock);
    } catch (const EDbfError& e) {
      const bool expected = e.Message().find(std::strerror(EFBIG)) != std::string::npos &&
                            e.Message().find("nothing was changed") != std::string::npos;
      ::_exit(expected ? 3 : 4);
    }
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_EQ(ReadBytes(folder / "t.dbf"), table0);
  EXPECT_EQ(ReadBytes(folder / "t.fpt"), memo0);
  EXPECT_TRUE(Leftovers(folder).empty());
}

// DELETE FROM writes nothing past the end of the table, so a disk without a
// free block still lets it mark every record.
TEST(PackDiskFull, DeleteNeedsNoRoomBeyondTheTable) {
  TTempFolder folder;
  WriteTable(folder.Path(), "t", SampleRows(600), {.Memo = true, .Index = false});
  const std::string table0 = ReadBytes(folder / "t.dbf");
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlim_t size = table0.size();
    const struct rlimit limit = {size, size};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    try {
      TTableLock lock(folder / "t.dbf");
      DeleteAllRecords(lock);
    } catch (const EDbfError&) {
      ::_exit(4);
    }
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadBytes(folder / "t.dbf").size(), table0.size());
  EXPECT_TRUE(VisibleRows(folder / "t.dbf").empty());
}

// A table of several runs of records, whose flags DELETE FROM marks in place
// one run after the other.
class PackLargeTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (size_t i = 0; i < 200000; ++i)
      FRows.push_back({static_cast<int>(i % 10000), "row" + std::to_string(i),
                       i % 1000 == 0 ? "note " + std::to_string(i) : ""});
    FRows[1].Deleted = true;
    WriteTable(FFolder.Path(), "t", FRows, {.Memo = true, .Index = false});
    FTable0 = ReadBytes(FFolder / "t.dbf");
    FMemo0 = ReadBytes(FFolder / "t.fpt");
    TTempFolder dry;
    WriteTable(dry.Path(), "t", FRows, {.Memo = true, .Index = false});
    TFaultyIo io;
    TTableLock lock(dry / "t.dbf");
    DeleteAllRecords(lock, io);
    for (size_t i = 0; i < io.Steps.size(); ++i) {
      if (io.Steps[i] == "write") FWrites.push_back(i + 1);
    }
  }

  // The table differs from the original in deletion flags alone, besides the
  // date of last update, and shows the live records that are left.
  void ExpectOnlyFlagsChanged() {
    const std::string table = ReadBytes(FFolder / "t.dbf");
    ASSERT_EQ(table.size(), FTable0.size());
    const size_t hl = kHeaderLength(true);
    const size_t rl = kRecordLength(true);
    std::vector<TRow> shown;
    for (size_t i = 0; i < table.size(); ++i) {
      const size_t record = (i - hl) / rl;
      if (i >= hl && (i - hl) % rl == 0 && record < FRows.size()) {
        TRow row = FRows[record];
        row.Deleted = table[i] == '*';
        shown.push_back(row);
        if (row.Deleted) continue;
      }
      if ((i < 1 || i > 3) && table[i] != FTable0[i]) {
        ADD_FAILURE() << "byte " << i << " changed";
        return;
      }
    }
    EXPECT_EQ(ReadBytes(FFolder / "t.fpt"), FMemo0);
    EXPECT_EQ(VisibleRows(FFolder / "t.dbf"), Expected(shown));
  }

  TTempFolder FFolder;
  std::vector<TRow> FRows;
  std::string FTable0;
  std::string FMemo0;
  std::vector<size_t> FWrites;  // the steps of DELETE FROM that write
};

TEST_F(PackLargeTableTest, AFailedWriteMarksTheRecordsBack) {
  ASSERT_GE(FWrites.size(), 3u);
  TFaultyIo io;
  io.FailAt = FWrites[2];
  try {
    TTableLock lock(FFolder / "t.dbf");
    DeleteAllRecords(lock, io);
    FAIL() << "no failure";
  } catch (const EDbfError& e) {
    EXPECT_NE(e.Message().find("DELETE failed, nothing was changed"), std::string::npos)
        << e.Message();
  }
  EXPECT_EQ(ReadBytes(FFolder / "t.dbf"), FTable0);
}

TEST_F(PackLargeTableTest, WhenMarkingBackFailsTooTheMessageSaysSoAndNoDataIsLost) {
  ASSERT_GE(FWrites.size(), 3u);
  TFaultyIo io;
  io.FailAt = FWrites[2];
  io.FailAgainAt = FWrites[2] + 1;  // the first write that marks records back
  try {
    TTableLock lock(FFolder / "t.dbf");
    DeleteAllRecords(lock, io);
    FAIL() << "no failure";
  } catch (const EDbfError& e) {
    EXPECT_NE(e.Message().find("DELETE failed part way and its records could not all be marked "
                               "back"),
              std::string::npos)
        << e.Message();
  }
  ExpectOnlyFlagsChanged();
  EXPECT_NE(ReadBytes(FFolder / "t.dbf"), FTable0);
  PosixPackIo clean;
  EmptyTable(FFolder / "t.dbf", clean);
  EXPECT_TRUE(VisibleRows(FFolder / "t.dbf").empty());
}

// A crash between two runs leaves the first records deleted and the rest as
// they were, every byte of their data kept; emptying again finishes the job.
TEST_F(PackLargeTableTest, AProcessKilledBetweenRunsLosesNoData) {
  ASSERT_GE(FWrites.size(), 3u);
  ASSERT_TRUE(EmptyKilledAt(FFolder / "t.dbf", FWrites[2]));
  ExpectOnlyFlagsChanged();
  const size_t shown = VisibleRows(FFolder / "t.dbf").size();
  EXPECT_GT(shown, 0u);
  EXPECT_LT(shown, FRows.size() - 1);
  PosixPackIo clean;
  EmptyTable(FFolder / "t.dbf", clean);
  EXPECT_TRUE(VisibleRows(FFolder / "t.dbf").empty());
  EXPECT_TRUE(Leftovers(FFolder).empty());
}

TEST(PackReadOnlyFolder, NothingIsCreatedOrChanged) {
  TTempFolder folder;
  WriteTable(folder.Path(), "t", SampleRows(5));
  const std::string table0 = ReadBytes(folder / "t.dbf");
  // A read-only file system, as the system reports it.
  TFaultyIo io;
  io.FailAt = 1;
  io.Error = EROFS;
  try {
    EmptyTable(folder / "t.dbf", io);
    FAIL() << "no failure";
  } catch (const EDbfError& e) {
    EXPECT_NE(e.Message().find(std::strerror(EROFS)), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find("nothing was changed"), std::string::npos) << e.Message();
  }
  EXPECT_EQ(ReadBytes(folder / "t.dbf"), table0);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"t.cdx", "t.dbf", "t.fpt"}));
}

TEST(PackReadOnlyFolder, RefusedByTheFileSystemWhenNotPrivileged) {
  if (::geteuid() == 0) {
    GTEST_SKIP() << "running as root, which writes into a read-only folder anyway; the injected "
                    "failure of the test above covers it";
  }
  TTempFolder folder;
  WriteTable(folder.Path(), "t", SampleRows(5));
  const std::string table0 = ReadBytes(folder / "t.dbf");
  fs::permissions(folder.Path(), fs::perms::owner_read | fs::perms::owner_exec);
  PosixPackIo io;
  EXPECT_THROW(EmptyTable(folder / "t.dbf", io), EDbfError);
  fs::permissions(folder.Path(), fs::perms::owner_all);
  EXPECT_EQ(ReadBytes(folder / "t.dbf"), table0);
  EXPECT_TRUE(Leftovers(folder).empty());
}

}  // namespace
}  // namespace lumbra
