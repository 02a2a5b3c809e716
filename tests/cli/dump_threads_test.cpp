// lumbra-cli dump on two threads against the same dump on one: the same
// bytes on standard output and on standard error, and the same exit code,
// for real tables and for a built one that takes many batches and a memo
// written a slice at a time; and a reader that goes, or a full disk, ends the
// two threads as it ends one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/dbf_builder.h"
#include "tests/support/test_files.h"

namespace lumbra::test {
namespace {

namespace fs = std::filesystem;

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text)
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

class DumpThreadsTest : public testing::Test {
 protected:
  struct TRun {
    std::string Code;
    std::string Out;
    std::string Err;
  };

  // The shell words of lumbra-cli dump TABLE ARGS... --threads THREADS, its
  // standard error into the file errName of the folder.
  std::string DumpCommand(const fs::path& table, const std::vector<std::string>& args, int threads,
                          const std::string& errName) {
    std::string command = "LC_ALL=C " + Quoted(LUMBRA_CLI_PATH) + " dump " + Quoted(table.string());
    for (const std::string& a : args)
      command += " " + Quoted(a);
    return command + " --threads " + std::to_string(threads) + " 2>" +
           Quoted((FFolder.Path() / errName).string());
  }

  // The dump with its output sent where output says (a redirection, or
  // "| command" whose output goes to the file "out").
  TRun Dump(const fs::path& table, const std::vector<std::string>& args, int threads,
            const std::string& output) {
    WriteFile(FFolder.Path() / "out", "");
    const std::string command = DumpCommand(table, args, threads, "err") + output +
                                "; echo ${PIPESTATUS[0]} >" +
                                Quoted((FFolder.Path() / "code").string());
    std::system(("bash -c " + Quoted(command)).c_str());
    return {ReadFile(FFolder.Path() / "code"), ReadFile(FFolder.Path() / "out"),
            ReadFile(FFolder.Path() / "err")};
  }

  // Both output forms of table, on one thread and on two, run by one shell.
  void ExpectSameOnTwoThreads(const fs::path& table) {
    const std::vector<std::string> runs = {"jsonl1", "jsonl2", "csv1", "csv2"};
    std::string script;
    for (const std::string& run : runs) {
      const std::string format = run.substr(0, run.size() - 1);
      const std::string name = (FFolder.Path() / run).string();
      script += DumpCommand(table, {"--format", format}, run.back() - '0', run + ".err") + " >" +
                Quoted(name + ".out") + "; echo $? >" + Quoted(name + ".code") + "; ";
    }
    std::system(("bash -c " + Quoted(script)).c_str());
    for (size_t i = 0; i < runs.size(); i += 2) {
      const fs::path one = FFolder.Path() / runs[i];
      const fs::path two = FFolder.Path() / runs[i + 1];
      EXPECT_EQ(ReadFile(two.string() + ".code"), ReadFile(one.string() + ".code")) << table;
      EXPECT_TRUE(ReadFile(two.string() + ".out") == ReadFile(one.string() + ".out"))
          << table << " " << runs[i] << ": the records differ";
      EXPECT_EQ(ReadFile(two.string() + ".err"), ReadFile(one.string() + ".err")) << table;
    }
  }

  TTempFolder FFolder;
};

TEST_F(DumpThreadsTest, SameOutputOnEveryCorpusTable) {
  const std::vector<fs::path> tables = TablesUnder(CorpusDir());
  if (tables.empty()) GTEST_SKIP() << "no corpus at " << CorpusDir();
  for (const fs::path& table : tables)
    ExpectSameOnTwoThreads(table);
}

// Enough records for many batches, texts that need quoting or escaping, Nulls,
// and memos longer than a slice of output and than the room a batch keeps,
// close enough to hold up the reading until those before them are written.
TEST_F(DumpThreadsTest, SameOutputOverManyBatchesAndLongMemos) {
  TTableShape spec;
  spec.Fields = {{"ID", 'I', 4},
                 {"NAME", 'C', 12, 0, kFlagNullable},
                 {"AMOUNT", 'N', 10, 2},
                 {"AT", 'T', 8},
                 {"NOTE", 'M', 4, 0, kFlagNullable}};
  for (int i = 0; i < 30000; ++i) {
    const std::string memo = i % 400 == 7 ? std::string(250000 + i, 'm') + "\"\n"
                                          : "n" + std::to_string(i) + (i % 7 == 0 ? ",\t\\" : "");
    spec.Rows.push_back({Int(i), i % 11 == 0 ? Null() : Text(i % 2 ? "a,\"b\"" : "plain"),
                         Dbl(i * 0.25), DateTime(2024, 1 + i % 12, 1 + i % 28, i % 24, 0, 0),
                         i % 3 == 0 ? Null() : Memo(memo)});
  }
  ExpectSameOnTwoThreads(WriteTable(FFolder.Path(), "big", spec));
}

// The reader stops while both threads are busy; then a disk that takes
// nothing. Each ends the command with what one thread says, and ends it.
TEST_F(DumpThreadsTest, ClosedPipeAndFullDiskEndBothThreads) {
  TTableShape spec;
  spec.Fields = {{"NAME", 'C', 40}};
  for (int i = 0; i < 50000; ++i)
    spec.Rows.push_back({Text(std::to_string(i))});
  const fs::path table = WriteTable(FFolder.Path(), "many", spec);
  const std::string head = " | head -c 100 >" + Quoted((FFolder.Path() / "out").string());
  for (const char* format : {"jsonl", "csv"}) {
    const TRun run = Dump(table, {"--format", format}, 2, head);
    EXPECT_EQ(run.Code, "0\n") << format;
    EXPECT_EQ(run.Err, "") << format;
    EXPECT_EQ(run.Out.size(), 100u) << format;
  }
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const TRun full = Dump(table, {}, 2, " >/dev/full");
  EXPECT_EQ(full.Code, "1\n");
  EXPECT_EQ(full.Err, "lumbra-cli: cannot write to standard output: No space left on device\n");
}

}  // namespace
}  // namespace lumbra::test
