// Emptying a table through slot 1 when the file system fails, the process
// dies or the power goes part way: every outcome reads as the table before or
// as the emptied table, every message says what was left, and every refusal
// leaves every byte as it was.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "dbf/dbf_error.h"
#include "dbf/pack.h"
#include "tables/slots.h"
#include "tests/dbf/pack_fixture.h"
#include "tests/support/no_slot_view.h"

namespace lumbra {
namespace {

using namespace pack_fixture;

// The real file system, with one of its steps failing, or killing the
// process, when its turn comes.
class TFaultyIo : public PosixPackIo {
 public:
  enum class TFault { Fail, Kill };

  size_t FailAt = 0;  // 1-based step; 0 never
  TFault Fault = TFault::Fail;
  int Error = EIO;
  uint64_t Free = std::numeric_limits<uint64_t>::max();  // FreeSpace reports at most this
  std::function<void(size_t)> BeforeStep;                // called with each step's number
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
  void CopyAttributes(int fd, const std::string& path, int originalFd,
                      const std::string& originalPath) override {
    Step("attributes", path);
    PosixPackIo::CopyAttributes(fd, path, originalFd, originalPath);
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
  uint64_t FreeSpace(const std::string& folder) override {
    return std::min(Free, PosixPackIo::FreeSpace(folder));
  }

 private:
  void Step(const std::string& what, const std::string& path) {
    Steps.push_back(what);
    if (BeforeStep) BeforeStep(Steps.size());
    if (Steps.size() != FailAt) return;
    if (Fault == TFault::Kill) ::raise(SIGKILL);
    throw EDbfError(TDbfErrorKind::Io,
                    "Cannot " + what + " '" + path + "': " + std::strerror(Error));
  }
};

// Empties the table at path as "Goleste Baza" does, through slot 1, with io
// under the two commands.
void EmptyThroughSlots(const std::string& path, IPackIo& io) {
  test::TNoSlotView view;
  const TRegionalSettings settings;
  TTableSlots slots(view, settings);
  slots.Conn.Provider().SetFileSystem(&io);
  slots.DeschideDbf1(path);
  slots.GolesteBaza();
}

// The message of what EmptyThroughSlots throws; "" when it succeeds.
std::string EmptyingError(const std::string& path, IPackIo& io) {
  try {
    EmptyThroughSlots(path, io);
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

// Runs body in a child process, as the user nobody when this one is root;
// the child's exit code.
int AsUnprivilegedUser(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
         ::setresuid(65534, 65534, 65534) != 0)) {
      ::_exit(90);
    }
    ::_exit(body());
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// A table of the given number of records with memo and index, its bytes, and
// the bytes a finished emptying leaves, learned on a copy along with every
// step the emptying takes.
class EmptyingFaultsTest : public ::testing::Test {
 protected:
  void Build(size_t records) {
    std::vector<TRow> rows;
    for (size_t i = 0; i < records; ++i)
      rows.push_back({static_cast<int>(i % 10000), "row" + std::to_string(i % 1000000),
                      i % 10 == 0 ? "note " + std::to_string(i) : ""});
    rows[1].Deleted = true;
    WriteTable(FFolder.Path(), "t", rows, {.Memo = true, .Index = false});
    // An index over the first records: its keys are never read.
    WriteBytes(FFolder / "t.cdx", Index(std::vector<TRow>(
                                      rows.begin(), rows.begin() + std::min<size_t>(records, 20))));
    FBefore = ReadTableBytes(FFolder.Path());
    TTempFolder dry;
    WriteTableBytes(dry.Path(), FBefore);
    TFaultyIo io;
    EmptyThroughSlots(dry / "t.dbf", io);
    FSteps = io.Steps;
    FAfter = ReadTableBytes(dry.Path());
    for (size_t i = 0; i < FSteps.size() && FCommit == 0; ++i) {
      if (FSteps[i] == "rename to t.dbf") FCommit = i + 1;
    }
    ASSERT_NE(FCommit, 0u);
  }
  void Restore() { WriteTableBytes(FFolder.Path(), FBefore); }
  std::string Table() const { return FFolder / "t.dbf"; }

  TTempFolder FFolder;
  TTableBytes FBefore;
  TTableBytes FAfter;
  std::vector<std::string> FSteps;
  size_t FCommit = 0;  // the step whose rename puts DELETE FROM's table in place
};

TEST_F(EmptyingFaultsTest, EveryFailingStepLeavesOldOrNewAndSaysWhich) {
  Build(9);
  ASSERT_GT(FSteps.size(), 20u);
  for (size_t step = 1; step <= FSteps.size(); ++step) {
    SCOPED_TRACE("step " + std::to_string(step) + ": " + FSteps[step - 1]);
    TFaultyIo io;
    io.FailAt = step;
    const std::string message = EmptyingError(Table(), io);
    EXPECT_NE(message.find(std::strerror(EIO)), std::string::npos) << message;
    if (step <= FCommit) {
      EXPECT_NE(message.find("nothing was changed"), std::string::npos) << message;
      EXPECT_TRUE(ReadTableBytes(FFolder.Path()) == FBefore);
    } else {
      EXPECT_EQ(message.find("nothing was changed"), std::string::npos) << message;
      EXPECT_NE(message.find("every record is marked deleted"), std::string::npos) << message;
      EXPECT_TRUE(VisibleRows(Table()).empty());
    }
    EXPECT_TRUE(AllOldOrAllNew(FFolder.Path(), FBefore, FAfter));
    EXPECT_TRUE(Leftovers(FFolder).empty());
    // Whatever was left, emptying again finishes the job.
    PosixPackIo clean;
    EmptyThroughSlots(Table(), clean);
    EXPECT_TRUE(ReadTableBytes(FFolder.Path()) == FAfter);
    Restore();
  }
}

TEST_F(EmptyingFaultsTest, AProcessKilledAtAnyStepOfALargeTableLeavesOldOrNew) {
  Build(200000);
  ASSERT_GT(FSteps.size(), 30u);
  for (size_t step = 1; step <= FSteps.size(); ++step) {
    SCOPED_TRACE("killed at step " + std::to_string(step) + ": " + FSteps[step - 1]);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      TFaultyIo io;
      io.FailAt = step;
      io.Fault = TFaultyIo::TFault::Kill;
      EmptyingError(Table(), io);
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(AllOldOrAllNew(FFolder.Path(), FBefore, FAfter));
    if (step <= FCommit) {
      EXPECT_TRUE(ReadTableBytes(FFolder.Path()) == FBefore);
    }
    // The next emptying clears what the killed one left and finishes the job.
    PosixPackIo clean;
    EmptyThroughSlots(Table(), clean);
    EXPECT_TRUE(ReadTableBytes(FFolder.Path()) == FAfter);
    EXPECT_TRUE(Leftovers(FFolder).empty());
    Restore();
  }
}

// The power goes at a step: every write not yet flushed is lost, and so may
// be every rename since the folder was last flushed.
class TPowerCutIo : public TFaultyIo {
 public:
  struct TCut {};

  explicit TPowerCutIo(fs::path folder) : FFolder(std::move(folder)) {}

  // The files as the disk holds them after the cut, with the renames not
  // yet flushed kept and lost.
  TTableBytes Kept;
  TTableBytes Lost;
  size_t CutAt = 0;

  int CreateTemporary(const std::string& folder, const std::string& prefix,
                      std::string& path) override {
    Check();
    const int fd = TFaultyIo::CreateTemporary(folder, prefix, path);
    // A new file may take the number of one removed before.
    FDirty.erase(InodeOf(fd));
    FFlushed.erase(InodeOf(fd));
    return fd;
  }
  void WriteAt(int fd, const std::string& path, uint64_t offset, const void* data,
               size_t length) override {
    Check();
    FDirty[InodeOf(fd)] = true;
    TFaultyIo::WriteAt(fd, path, offset, data, length);
  }
  void CopyAttributes(int fd, const std::string& path, int originalFd,
                      const std::string& originalPath) override {
    Check();
    TFaultyIo::CopyAttributes(fd, path, originalFd, originalPath);
  }
  void Sync(int fd, const std::string& path) override {
    Check();
    TFaultyIo::Sync(fd, path);
    FDirty[InodeOf(fd)] = false;
    FFlushed[InodeOf(fd)] = ReadBytes(path);
  }
  void SyncFolder(const std::string& folder) override {
    Check();
    TFaultyIo::SyncFolder(folder);
    FPending.clear();
  }
  void Rename(const std::string& from, const std::string& to) override {
    Check();
    FPending.emplace_back(to, ReadBytes(to));
    TFaultyIo::Rename(from, to);
  }

 private:
  static ino_t InodeOf(int fd) {
    struct stat st;
    return ::fstat(fd, &st) == 0 ? st.st_ino : 0;
  }
  // What the disk holds under name after the cut: a file with writes not yet
  // flushed holds what it held at its last flush.
  std::string OnDisk(const std::string& name) {
    const std::string path = (FFolder / name).string();
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return "";
    if (!FDirty[st.st_ino]) return ReadBytes(path);
    return FFlushed[st.st_ino];
  }
  void Check() {
    if (++FStep != CutAt) return;
    Kept = {OnDisk("t.dbf"), OnDisk("t.fpt"), OnDisk("t.cdx")};
    Lost = Kept;
    for (auto it = FPending.rbegin(); it != FPending.rend(); ++it) {
      const std::string name = it->first.substr(it->first.rfind('/') + 1);
      (name == "t.dbf" ? Lost.Table : name == "t.fpt" ? Lost.Memo : Lost.Index) = it->second;
    }
    throw TCut();
  }

  fs::path FFolder;
  size_t FStep = 0;
  std::map<ino_t, bool> FDirty;
  std::map<ino_t, std::string> FFlushed;
  std::vector<std::pair<std::string, std::string>> FPending;  // renamed-over path, old bytes
};

TEST_F(EmptyingFaultsTest, APowerCutAtAnyStepLeavesOldOrNew) {
  Build(120000);  // DELETE FROM's copy takes several writes
  for (size_t step = 1; step <= FSteps.size(); ++step) {
    SCOPED_TRACE("power cut at step " + std::to_string(step) + ": " + FSteps[step - 1]);
    TPowerCutIo io(FFolder.Path());
    io.CutAt = step;
    EXPECT_THROW(EmptyThroughSlots(Table(), io), TPowerCutIo::TCut);
    for (const TTableBytes* disk : {&io.Kept, &io.Lost}) {
      TTempFolder after;
      WriteTableBytes(after.Path(), *disk);
      EXPECT_TRUE(AllOldOrAllNew(after.Path(), FBefore, FAfter));
    }
    Restore();
  }
}

// Between DELETE FROM and PACK the connection reconnects; no other program
// may take the table, its memo or its index meanwhile.
TEST_F(EmptyingFaultsTest, NoOtherProcessGetsALockBetweenTheTwoCommands) {
  Build(9);
  TFaultyIo io;
  int taken = -1;
  io.BeforeStep = [&](size_t step) {
    if (step != FCommit + 2) return;  // PACK's first step, after the reconnect
    const pid_t pid = ::fork();
    if (pid == 0) {
      int got = 0;
      for (const char* name : {"t.dbf", "t.fpt", "t.cdx"}) {
        const int fd = ::open((FFolder / name).c_str(), O_RDWR);
        struct flock range = {};
        range.l_type = F_WRLCK;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ++got;
        if (::fcntl(fd, F_OFD_SETLK, &range) == 0) ++got;
      }
      ::_exit(got);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    taken = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EmptyThroughSlots(Table(), io);
  EXPECT_EQ(FSteps[FCommit + 1].rfind("create", 0), 0u) << FSteps[FCommit + 1];
  EXPECT_EQ(taken, 0);
  EXPECT_TRUE(ReadTableBytes(FFolder.Path()) == FAfter);
}

// Each refusal says why and that nothing was changed, and nothing was.
class EmptyingRefusalsTest : public EmptyingFaultsTest {
 protected:
  void SetUp() override { Build(600); }
  void ExpectRefused(const std::string& message, const std::string& why) {
    EXPECT_NE(message.find(why), std::string::npos) << message;
    EXPECT_NE(message.find("nothing was changed"), std::string::npos) << message;
    EXPECT_TRUE(ReadTableBytes(FFolder.Path()) == FBefore);
    EXPECT_TRUE(Leftovers(FFolder).empty());
  }
};

TEST_F(EmptyingRefusalsTest, ADiskWithoutRoomForTheCopy) {
  TFaultyIo io;
  io.Free = FBefore.Table.size() / 2;
  ExpectRefused(EmptyingError(Table(), io), "not enough room on the disk");
  // A disk that fills up while the copy is written, as a limit on file sizes.
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit limit = {4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    PosixPackIo real;
    const std::string message = EmptyingError(Table(), real);
    ::_exit(message.find("DELETE failed, nothing was changed") != std::string::npos &&
                    message.find(std::strerror(EFBIG)) != std::string::npos
                ? 3
                : 4);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3);
  ExpectRefused("nothing was changed", "");
}

TEST_F(EmptyingRefusalsTest, AFolderTheUserMayNotWriteIn) {
  fs::permissions(FFolder.Path(), fs::perms::all, fs::perm_options::add);
  if (::geteuid() == 0) {
    for (const char* name : {"", "t.dbf", "t.fpt", "t.cdx"})
      ASSERT_EQ(::chown((FFolder / name).c_str(), 65534, 65534), 0);
  }
  fs::permissions(FFolder.Path(), fs::perms::owner_read | fs::perms::owner_exec);
  const std::string table = Table();
  const int code = AsUnprivilegedUser([&] {
    PosixPackIo io;
    const std::string message = EmptyingError(table, io);
    return message.find("Permission denied") != std::string::npos &&
                   message.find("nothing was changed") != std::string::npos
               ? 0
               : 1;
  });
  fs::permissions(FFolder.Path(), fs::perms::owner_all);
  EXPECT_EQ(code, 0);
  ExpectRefused("nothing was changed", "");
}

// Files of another user that anyone may write: a replaced file would become
// the caller's, so the emptying is refused.
TEST_F(EmptyingRefusalsTest, FilesOfAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "making files of another user needs root";
  fs::permissions(FFolder.Path(), fs::perms::all);
  for (const char* name : {"t.dbf", "t.fpt", "t.cdx"}) {
    ASSERT_EQ(::chown((FFolder / name).c_str(), 1, 1), 0);
    fs::permissions(FFolder / name, fs::perms::all & ~fs::perms::owner_exec &
                                        ~fs::perms::group_exec & ~fs::perms::others_exec);
  }
  const std::string table = Table();
  const int code = AsUnprivilegedUser([&] {
    PosixPackIo io;
    const std::string message = EmptyingError(table, io);
    return message.find("belongs to user 1") != std::string::npos &&
                   message.find("nothing was changed") != std::string::npos
               ? 0
               : 1;
  });
  EXPECT_EQ(code, 0);
  ExpectRefused("nothing was changed", "");
  // In a sticky folder another user's file may not even be renamed over.
  fs::permissions(FFolder.Path(), fs::perms::all | fs::perms::sticky_bit);
  ASSERT_EQ(::chown(FFolder.Path().c_str(), 1, 1), 0);
  const int sticky = AsUnprivilegedUser([&] {
    PosixPackIo io;
    return EmptyingError(table, io).find("lets only the owner") != std::string::npos ? 0 : 1;
  });
  EXPECT_EQ(sticky, 0);
  ExpectRefused("nothing was changed", "");
}

TEST_F(EmptyingRefusalsTest, AnotherNameForTheMemoFile) {
  ASSERT_EQ(::link((FFolder / "t.fpt").c_str(), (FFolder / "other.fpt").c_str()), 0);
  PosixPackIo io;
  ExpectRefused(EmptyingError(Table(), io), "has other hard links");
}

// The replaced files keep their mode, an ACL entry and an extended
// attribute.
TEST_F(EmptyingFaultsTest, TheNewFilesKeepModeAclAndAttributes) {
  Build(9);
  // A user entry for user 1 with read access, as setfacl writes it.
  std::string acl;
  auto entry = [&](uint16_t tag, uint16_t perm, uint32_t id) {
    for (int i = 0; i < 2; ++i)
      acl.push_back(static_cast<char>(tag >> (8 * i)));
    for (int i = 0; i < 2; ++i)
      acl.push_back(static_cast<char>(perm >> (8 * i)));
    for (int i = 0; i < 4; ++i)
      acl.push_back(static_cast<char>(id >> (8 * i)));
  };
  acl.assign("\x02\x00\x00\x00", 4);
  entry(0x01, 6, 0xFFFFFFFF);  // owner rw
  entry(0x02, 4, 1);           // user 1 r
  entry(0x04, 4, 0xFFFFFFFF);  // group r
  entry(0x10, 4, 0xFFFFFFFF);  // mask r
  entry(0x20, 0, 0xFFFFFFFF);  // others none
  const std::string table = Table();
  if (::setxattr(table.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0 ||
      ::setxattr(table.c_str(), "user.origin", "survey", 6, 0) != 0) {
    GTEST_SKIP() << "this file system keeps no ACLs or user attributes: " << std::strerror(errno);
  }
  struct stat before;
  ASSERT_EQ(::stat(table.c_str(), &before), 0);
  char value[256];
  const ssize_t kept = ::getxattr(table.c_str(), "system.posix_acl_access", value, sizeof value);
  ASSERT_GT(kept, 0);
  acl.assign(value, static_cast<size_t>(kept));  // as the file system keeps it
  PosixPackIo io;
  EmptyThroughSlots(table, io);
  EXPECT_TRUE(VisibleRows(table).empty());
  struct stat after;
  ASSERT_EQ(::stat(table.c_str(), &after), 0);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  const ssize_t n = ::getxattr(table.c_str(), "system.posix_acl_access", value, sizeof value);
  EXPECT_EQ(std::string(value, static_cast<size_t>(std::max<ssize_t>(n, 0))), acl);
  const ssize_t m = ::getxattr(table.c_str(), "user.origin", value, sizeof value);
  EXPECT_EQ(std::string(value, static_cast<size_t>(std::max<ssize_t>(m, 0))), "survey");
}

// A table reached through a link in another folder is emptied where it
// really is, with the memo file and index beside it; the link stays.
TEST_F(EmptyingFaultsTest, ATableBehindASymbolicLink) {
  Build(9);
  TTempFolder elsewhere;
  const std::string link = elsewhere / "view.dbf";
  ASSERT_EQ(::symlink(Table().c_str(), link.c_str()), 0);
  EXPECT_EQ(VisibleRows(link), VisibleRows(Table()));  // memos read beside the real file
  PosixPackIo io;
  EmptyThroughSlots(link, io);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(ReadTableBytes(FFolder.Path()) == FAfter);
  EXPECT_EQ(elsewhere.Names(), std::vector<std::string>{"view.dbf"});
}

}  // namespace
}  // namespace lumbra
