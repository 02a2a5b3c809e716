// Exclusive use of a table: the locks a packer holds, what they shut out, and
// what they leave alone.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "dbf/dbf_error.h"
#include "dbf/lock.h"
#include "tests/dbf/pack_fixture.h"

namespace lumbra {
namespace {

using namespace pack_fixture;

std::string Resolved(const std::string& path) {
  char buffer[PATH_MAX];
  return ::realpath(path.c_str(), buffer) != nullptr ? buffer : path;
}

// Whether another process could take a write lock on byte 0 of path with a
// classic POSIX lock.
bool AnotherProcessCanLockFirstByte(const std::string& path) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int fd = ::open(path.c_str(), O_RDWR);
    struct flock range = {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_len = 1;
    ::_exit(fd >= 0 && ::fcntl(fd, F_SETLK, &range) == 0 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class TableLockTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteTable(FFolder.Path(), "t", SampleRows(4)); }
  std::string Path(const char* name) const { return FFolder / name; }

  TTempFolder FFolder;
};

TEST_F(TableLockTest, FindsTheMemoAndIndexBesideTheTable) {
  fs::rename(Path("t.fpt"), Path("T.FPT"));
  TTableLock lock(Path("t.dbf"));
  EXPECT_EQ(lock.Files().Table, Resolved(Path("t.dbf")));
  EXPECT_EQ(lock.Files().Memo, Resolved(Path("T.FPT")));
  EXPECT_EQ(lock.Files().MemoFormat, TMemoFormat::Fpt);
  EXPECT_EQ(lock.Files().Index, Resolved(Path("t.cdx")));
  EXPECT_EQ(lock.Files().IndexKind, TIndexKind::Cdx);
  EXPECT_NE(lock.File(TTablePart::Memo), nullptr);
}

TEST_F(TableLockTest, ASecondLockIsRefusedUntilTheFirstIsGone) {
  auto first = std::make_unique<TTableLock>(Path("t.dbf"));
  try {
    TTableLock second(Path("t.dbf"));
    FAIL() << "locked twice";
  } catch (const EDbfError& e) {
    EXPECT_EQ(e.Message(), "File is in use by another program: " + Resolved(Path("t.dbf")));
  }
  first.reset();
  EXPECT_NO_THROW(TTableLock again(Path("t.dbf")));
}

TEST_F(TableLockTest, ReadersOpenTheTableWhileItIsLocked) {
  TTableLock lock(Path("t.dbf"));
  auto one = TDbfTable::Open(Path("t.dbf"));
  auto two = TDbfTable::Open(Path("t.dbf"));
  EXPECT_EQ(one->RecordCount(), 4u);
  EXPECT_EQ(VisibleRows(Path("t.dbf")), Expected(SampleRows(4)));
}

// Opening and closing another descriptor of the table here would drop a
// classic POSIX lock; the lock must survive it.
TEST_F(TableLockTest, SurvivesThisProcessClosingAnotherDescriptorOfTheFile) {
  TTableLock lock(Path("t.dbf"));
  TDbfTable::Open(Path("t.dbf")).reset();
  EXPECT_FALSE(AnotherProcessCanLockFirstByte(Path("t.dbf")));
}

TEST_F(TableLockTest, IsReleasedWithTheLockObject) {
  { TTableLock lock(Path("t.dbf")); }
  EXPECT_TRUE(AnotherProcessCanLockFirstByte(Path("t.dbf")));
  EXPECT_TRUE(AnotherProcessCanLockFirstByte(Path("t.fpt")));
}

// Each lock another program may hold on one of the files refuses the whole
// table, names that file, and leaves none of the others locked.
TEST_F(TableLockTest, RefusesATableAnotherProgramHasLocked) {
  struct TCase {
    const char* File;
    TLockHolder::TKind Kind;
  };
  for (const TCase c :
       {TCase{"t.dbf", TLockHolder::TKind::Flock}, TCase{"t.dbf", TLockHolder::TKind::FlockShared},
        TCase{"t.dbf", TLockHolder::TKind::PosixReadByte},
        TCase{"t.fpt", TLockHolder::TKind::FlockShared},
        TCase{"t.cdx", TLockHolder::TKind::OfdRead}}) {
    SCOPED_TRACE(std::string(c.File) + " kind " + std::to_string(static_cast<int>(c.Kind)));
    TLockHolder holder(Path(c.File), c.Kind);
    try {
      TTableLock lock(Path("t.dbf"));
      ADD_FAILURE() << "locked a table in use";
    } catch (const EDbfError& e) {
      EXPECT_EQ(e.Message(), "File is in use by another program: " + Resolved(Path(c.File)));
    }
    for (const char* other : {"t.dbf", "t.fpt", "t.cdx"}) {
      if (std::string(other) != c.File) {
        EXPECT_TRUE(AnotherProcessCanLockFirstByte(Path(other))) << other;
      }
    }
  }
}

}  // namespace
}  // namespace lumbra
