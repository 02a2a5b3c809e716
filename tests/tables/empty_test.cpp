// "Goleste Baza": emptying the table of slot 1 through the exclusive
// connection, its checks, the state every failure leaves, the provider's
// command texts, and lumbra-cli empty.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "dbf/dbf_error.h"
#include "tables/slots.h"
#include "tests/dbf/pack_fixture.h"

namespace lumbra {
namespace {

using namespace pack_fixture;

class TRecordingView : public ISlotView {
 public:
  void SetWindowCaption(const std::string& caption) override {
    Calls.push_back("window: " + caption);
  }
  void SetApplicationTitle(const std::string& title) override {
    Calls.push_back("title: " + title);
  }
  void SetTabCaption(int slot, const std::string& caption) override {
    Calls.push_back("tab " + std::to_string(slot) + ": " + caption);
  }
  std::vector<std::string> Calls;
};

std::string Resolved(const std::string& path) {
  char buffer[PATH_MAX];
  return ::realpath(path.c_str(), buffer) != nullptr ? buffer : path;
}

class EmptyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FSlots.DataSource1.OnStateChange = [this] {
      FSwitches.push_back(FSlots.DataSource1.Enabled());
    };
  }
  // Writes the table name.dbf with memo and index and opens it into slot 1.
  std::string Open(const std::string& name) {
    WriteTable(FFolder.Path(), name, FRows);
    const std::string path = FFolder / (name + ".dbf");
    FSlots.DeschideDbf1(path);
    FView.Calls.clear();
    return path;
  }
  std::string Folder() const { return FFolder.Path().string() + "/"; }
  void ExpectError(const std::string& message) {
    try {
      FSlots.GolesteBaza();
      ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), message);
    }
  }
  // A failure after the exclusive connect: slot 1 closed, the grid attached
  // again, the exclusive connection kept, the captions and path untouched.
  void ExpectFailedExecution(const std::string& path) {
    EXPECT_FALSE(FSlots.AT.Active());
    EXPECT_TRUE(FSlots.DataSource1.Enabled());
    EXPECT_EQ(FSwitches, (std::vector<bool>{false, true}));
    EXPECT_TRUE(FSlots.Conn.Connected());
    EXPECT_EQ(FSlots.Conn.ConnectionString(),
              "Provider=VFPOLEDB.1;Data Source=" + Folder() +
                  ";Password=\"\";Collating Sequence=MACHINE;Exclusive=ON;Mode=Share Deny None");
    EXPECT_EQ(FSlots.FFisierDbf1, path);
    EXPECT_TRUE(FView.Calls.empty());
  }

  TTempFolder FFolder;
  std::vector<TRow> FRows = SampleRows(6);
  TRecordingView FView;
  TRegionalSettings FSettings;
  TTableSlots FSlots{FView, FSettings};
  std::vector<bool> FSwitches;  // DataSource1's Enabled at each change
};

TEST_F(EmptyTest, PressedWhileSlotOneIsClosedDoesNothingElse) {
  ExpectError("Deschide tabele si abia apoi lanseaza comanda \"Goleste Baza\"");
  EXPECT_FALSE(FSlots.Conn.Connected());
  EXPECT_EQ(FSlots.Conn.ConnectionString(), "");
  EXPECT_TRUE(FSwitches.empty());
  EXPECT_TRUE(FView.Calls.empty());
}

TEST_F(EmptyTest, PressedAfterAFailedOpenComplainsTheSameWay) {
  const std::string path = Open("t");
  EXPECT_THROW(FSlots.DeschideDbf1(FFolder / "missing.dbf"), Exception);
  ExpectError("Deschide tabele si abia apoi lanseaza comanda \"Goleste Baza\"");
  EXPECT_EQ(VisibleRows(path), Expected(FRows));
}

TEST_F(EmptyTest, SlotOpenWithoutARememberedPathIsNotEmptied) {
  WriteTable(FFolder.Path(), "t", FRows);
  FSlots.Conn.SetConnectionString(NormalConnectionString(Folder()));
  FSlots.AT.TableName = "t";
  FSlots.AT.Open();
  ExpectError("Nu cunosc numele fisierului");
  EXPECT_TRUE(FSlots.AT.Active());
  EXPECT_EQ(VisibleRows(FFolder / "t.dbf"), Expected(FRows));
}

TEST_F(EmptyTest, AFileDeletedOrMovedSinceItWasOpenedIsNamed) {
  for (const bool moved : {false, true}) {
    SCOPED_TRACE(moved ? "moved" : "deleted");
    const std::string path = Open("t");
    if (moved) {
      fs::rename(path, FFolder / "elsewhere.dbf");
    } else {
      fs::remove(path);
    }
    ExpectError("\"" + path + "\" nu exista");
    EXPECT_TRUE(FSlots.AT.Active());
    EXPECT_TRUE(FSwitches.empty());
    EXPECT_EQ(FSlots.Conn.ConnectionString(), NormalConnectionString(Folder()));
  }
}

TEST_F(EmptyTest, EmptiesTheTableAndOpensItAgain) {
  const std::string path = Open("t");
  FSlots.GolesteBaza();
  EXPECT_TRUE(FSlots.AT.Active());
  EXPECT_EQ(FSlots.AT.RecordCount(), 0);
  EXPECT_TRUE(FSlots.DataSource1.Enabled());
  EXPECT_EQ(FSwitches, (std::vector<bool>{false, true}));
  EXPECT_EQ(FView.Calls, (std::vector<std::string>{"window: t - " + path, "title: t", "tab 1: t"}));
  EXPECT_EQ(FSlots.FFisierDbf1, path);
  EXPECT_EQ(FSlots.C1.CommandText, "Pack t");
  EXPECT_EQ(FSlots.Conn.ConnectionString(), NormalConnectionString(Folder()));
  EXPECT_EQ(ReadBytes(path).size(), kHeaderLength(true) + 1);
  EXPECT_EQ(ReadBytes(FFolder / "t.fpt").size(), 512u);
  EXPECT_TRUE(Leftovers(FFolder).empty());
}

// Slot 2 showing the same file goes on reading while slot 1 empties it: the
// records it shows keep the values they had, and no read fails.
TEST_F(EmptyTest, TheSameFileOpenInSlotTwoGoesOnReading) {
  const std::string path = Open("t");
  FSlots.DeschideDbf2(path);
  FSlots.GolesteBaza();
  ASSERT_TRUE(FSlots.AT2.Active());
  std::vector<std::string> names;
  for (FSlots.AT2.First(); !FSlots.AT2.Eof(); FSlots.AT2.Next())
    names.push_back(FSlots.AT2.Fields()[1]->AsString());
  std::vector<std::string> expected;
  for (const TRow& row : FRows)
    expected.push_back(Padded(row.Name, 10));
  EXPECT_EQ(names, expected);
}

// A table name that other files of the folder answer to as well (t for
// t.2023.dbf beside t.dbf, CASE beside case.dbf) still names the file opened:
// the slot shows it and empties it, and the other file is never touched.
TEST_F(EmptyTest, EachSlotShowsAndEmptiesTheFileItOpened) {
  for (const auto& [other, named] : {std::pair{"t", "t.2023"}, std::pair{"case", "CASE"}}) {
    SCOPED_TRACE(named);
    WriteTable(FFolder.Path(), other, SampleRows(3));
    const std::string otherBytes = ReadBytes(FFolder / (std::string(other) + ".dbf"));
    const std::string path = Open(named);
    EXPECT_EQ(FSlots.AT.RecordCount(), static_cast<int32_t>(FRows.size()));
    FSlots.DeschideDbf2(path);
    EXPECT_EQ(FSlots.AT2.RecordCount(), static_cast<int32_t>(FRows.size()));
    EXPECT_EQ(FView.Calls.front(), "window: " + TableNameOfPath(path) + " - " + path);
    FSlots.GolesteBaza();
    EXPECT_EQ(FSlots.AT.RecordCount(), 0);
    EXPECT_TRUE(VisibleRows(path).empty());
    EXPECT_EQ(ReadBytes(FFolder / (std::string(other) + ".dbf")), otherBytes);
  }
}

TEST_F(EmptyTest, TheReopenedSlotKeepsItsSort) {
  Open("t");
  FSlots.SorteazaDupa("NAME");
  FSlots.GolesteBaza();
  EXPECT_TRUE(FSlots.AT.Active());
  EXPECT_EQ(FSlots.AT.IndexFieldNames, "NAME");
  EXPECT_EQ(FSlots.AT.RecordCount(), 0);
}

TEST_F(EmptyTest, ANameWithABlankGoesIntoBothCommandsUnbracketed) {
  const std::string path = Open("expense details");
  {
    // Held by another program, the exclusive connect fails: no command runs
    // and the grid stays attached.
    TLockHolder holder(path, TLockHolder::TKind::Flock);
    try {
      FSlots.GolesteBaza();
      ADD_FAILURE() << "no error";
    } catch (const EDbfError& e) {
      EXPECT_EQ(e.Message(), "File is in use by another program: " + Resolved(path));
      EXPECT_EQ(e.Kind(), TDbfErrorKind::InUse);
    }
    EXPECT_EQ(FSlots.C1.CommandText, "");
    EXPECT_FALSE(FSlots.Conn.Connected());
    EXPECT_TRUE(FSwitches.empty());
    EXPECT_EQ(VisibleRows(path), Expected(FRows));
  }
  FSlots.DeschideDbf1(path);
  FSlots.GolesteBaza();
  EXPECT_EQ(FSlots.C1.CommandText, "Pack expense details");
  EXPECT_EQ(FSlots.AT.RecordCount(), 0);
}

TEST_F(EmptyTest, ARefusedCommandLeavesTheTableAndTheExclusiveConnection) {
  const std::string path = Open("t");
  std::string cdx = ReadBytes(FFolder / "t.cdx");
  cdx[15] = 7;  // not an index signature
  WriteBytes(FFolder / "t.cdx", cdx);
  try {
    FSlots.GolesteBaza();
    ADD_FAILURE() << "no error";
  } catch (const EDbfError& e) {
    EXPECT_NE(e.Message().find("nothing was changed"), std::string::npos) << e.Message();
  }
  ExpectFailedExecution(path);
  EXPECT_EQ(VisibleRows(path), Expected(FRows));
  // The exclusive connection stays until the next open into slot 1; a sort
  // meanwhile opens the table through it.
  FSlots.SorteazaDupa("ID");
  EXPECT_TRUE(FSlots.AT.Active());
  EXPECT_NE(FSlots.Conn.ConnectionString().find("Exclusive=ON"), std::string::npos);
}

class ExecuteTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteTable(FFolder.Path(), "t", SampleRows(4)); }
  void Connect(bool exclusive) {
    const std::string folder = FFolder.Path().string() + "/";
    FConnection.SetConnectionString(exclusive ? ExclusiveConnectionString(folder)
                                              : NormalConnectionString(folder));
    FConnection.Open();
  }
  void ExpectError(const std::string& text, const std::string& message) {
    try {
      FConnection.Provider().Execute(text);
      ADD_FAILURE() << "no error for " << text;
    } catch (const EDbfError& e) {
      EXPECT_EQ(e.Message(), message) << text;
    }
  }

  TTempFolder FFolder;
  TADOConnection FConnection{"Conn"};
};

TEST_F(ExecuteTest, CommandsNeedAConnectedExclusiveConnection) {
  ExpectError("PACK t", "Operation is not allowed when the object is closed.");
  Connect(false);
  ExpectError("DELETE FROM t", "File must be opened exclusively.");
  ExpectError("PACK t", "File must be opened exclusively.");
  EXPECT_EQ(VisibleRows(FFolder / "t.dbf").size(), 4u);
}

TEST_F(ExecuteTest, KeywordsIgnoreLetterCaseAndOtherTextsAreRefused) {
  Connect(true);
  ExpectError("SELECT * FROM t", "Unrecognized command verb.");
  ExpectError("DELETE t", "Command contains unrecognized phrase/keyword.");
  ExpectError("pack missing", "File '" + FFolder.Path().string() + "/missing.dbf' does not exist.");
  FConnection.Provider().Execute("  delete   From t ");
  EXPECT_TRUE(VisibleRows(FFolder / "t.dbf").empty());
  FConnection.Provider().Execute("pAcK [t]");
  EXPECT_EQ(ReadBytes(FFolder / "t.dbf").size(), kHeaderLength(true) + 1);
}

TEST_F(ExecuteTest, TheExclusiveConnectionHoldsItsLockUntilItDisconnects) {
  Connect(true);
  FConnection.Provider().Execute("DELETE FROM t");
  EXPECT_THROW(TTableLock(FFolder / "t.dbf"), EDbfError);
  FConnection.Close();
  EXPECT_NO_THROW(TTableLock(FFolder / "t.dbf"));
}

// lumbra-cli empty FILE, exit code and files.
int RunCli(const std::string& arguments, std::string* output = nullptr) {
  FILE* pipe = ::popen((std::string(LUMBRA_CLI_PATH) + " " + arguments + " 2>&1").c_str(), "r");
  char buffer[4096];
  std::string out;
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
    out.append(buffer, n);
  const int status = ::pclose(pipe);
  if (output != nullptr) *output = out;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CliEmpty, EmptiesTheFileAndSaysWhyWhenItCannot) {
  TTempFolder folder;
  WriteTable(folder.Path(), "t", SampleRows(5));
  WriteTable(folder.Path(), "a", SampleRows(3));
  WriteTable(folder.Path(), "a.b", SampleRows(4));
  const std::string a0 = ReadBytes(folder / "a.dbf");
  std::string output;
  // The table name "a" of a.b.dbf names a.dbf too; the file named is emptied.
  EXPECT_EQ(RunCli("empty '" + (folder / "a.b.dbf") + "'", &output), 0) << output;
  EXPECT_EQ(ReadBytes(folder / "a.dbf"), a0);
  EXPECT_TRUE(VisibleRows(folder / "a.b.dbf").empty());
  {
    TLockHolder holder(folder / "t.dbf", TLockHolder::TKind::FlockShared);
    EXPECT_EQ(RunCli("empty '" + (folder / "t.dbf") + "'", &output), 1);
    EXPECT_NE(output.find("File is in use by another program"), std::string::npos) << output;
  }
  EXPECT_EQ(VisibleRows(folder / "t.dbf").size(), 5u);
  EXPECT_EQ(RunCli("empty '" + (folder / "t.dbf") + "'", &output), 0) << output;
  EXPECT_TRUE(VisibleRows(folder / "t.dbf").empty());
  // Letter case names another file on Linux.
  WriteTable(folder.Path(), "CASE", SampleRows(2));
  WriteTable(folder.Path(), "case", SampleRows(4));
  EXPECT_EQ(RunCli("dump '" + (folder / "CASE.dbf") + "' --format csv", &output), 0) << output;
  EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 3) << output;
}

// lumbra-cli empty on a table of 200,000 records, stopped at moments spread
// over its run by SIGKILL, SIGTERM, SIGINT and SIGHUP: the files read as
// before or as emptied, and a caught signal removes the temporaries and ends
// the command with a message and exit code 1.
TEST(CliEmpty, StoppedAtAnyMomentLeavesOldOrNew) {
  TTempFolder folder;
  std::vector<TRow> rows;
  for (size_t i = 0; i < 200000; ++i)
    rows.push_back({static_cast<int>(i % 10000), "row" + std::to_string(i),
                    i % 10 == 0 ? "note " + std::to_string(i) : ""});
  WriteTable(folder.Path(), "t", rows, {.Memo = true, .Index = false});
  WriteBytes(folder / "t.cdx", Index(std::vector<TRow>(rows.begin(), rows.begin() + 20)));
  const TTableBytes before = ReadTableBytes(folder.Path());
  TTempFolder dry;
  WriteTableBytes(dry.Path(), before);
  ASSERT_EQ(RunCli("empty '" + (dry / "t.dbf") + "'"), 0);
  const TTableBytes after = ReadTableBytes(dry.Path());
  // How long a whole run takes, to spread the signals over it.
  WriteTableBytes(dry.Path(), before);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(RunCli("empty '" + (dry / "t.dbf") + "'"), 0);
  const auto run = std::chrono::steady_clock::now() - start;
  const int signals[] = {SIGKILL, SIGTERM, SIGINT, SIGHUP};
  std::set<bool> emptied;
  for (int i = 0; i < 24; ++i) {
    const int signal = signals[i % 4];
    SCOPED_TRACE("signal " + std::to_string(signal) + ", run " + std::to_string(i));
    int err[2];
    ASSERT_EQ(::pipe(err), 0);
    const std::string table = folder / "t.dbf";
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::dup2(err[1], 2);
      ::execl(LUMBRA_CLI_PATH, "lumbra-cli", "empty", table.c_str(), nullptr);
      ::_exit(127);
    }
    ::close(err[1]);
    std::this_thread::sleep_for(run * (i + 1) / 12);
    ::kill(pid, signal);
    std::string message;
    char buffer[512];
    for (ssize_t n; (n = ::read(err[0], buffer, sizeof buffer)) > 0;)
      message.append(buffer, static_cast<size_t>(n));
    ::close(err[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(AllOldOrAllNew(folder.Path(), before, after));
    // Only a kill -9 may leave a temporary, which the next emptying removes.
    EXPECT_TRUE(signal == SIGKILL || Leftovers(folder).empty());
    const bool untouched = ReadTableBytes(folder.Path()) == before;
    emptied.insert(!untouched);
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
      EXPECT_EQ(WEXITSTATUS(status), 1);
      EXPECT_NE(message.find(untouched ? "; nothing was changed" : "it is emptied"),
                std::string::npos)
          << message;
    }
    WriteTableBytes(folder.Path(), before);
  }
  EXPECT_EQ(emptied.size(), 2u) << "the signals all came before, or all after, the change";
}

}  // namespace
}  // namespace lumbra
