// lumbra-cli run as a program: its exit codes, its messages on standard error
// and the JSON lines and CSV it writes for a built table.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/dbf_builder.h"
#include "tests/support/test_files.h"

namespace lumbra::test {
namespace {

struct TRun {
  int Code = -1;
  std::string Out;
  std::string Err;
};

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text)
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

class CliTest : public testing::Test {
 protected:
  TRun Run(const std::vector<std::string>& args) {
    const auto out = FFolder.Path() / "stdout";
    const auto err = FFolder.Path() / "stderr";
    std::string command = "LC_ALL=C " + Quoted(LUMBRA_CLI_PATH);
    for (const std::string& a : args)
      command += " " + Quoted(a);
    command += " >" + Quoted(out.string()) + " 2>" + Quoted(err.string());
    const int status = std::system(command.c_str());
    TRun run;
    if (WIFEXITED(status)) run.Code = WEXITSTATUS(status);
    run.Out = ReadFile(out);
    run.Err = ReadFile(err);
    return run;
  }

  // A Visual FoxPro table whose texts need quoting in both output forms.
  std::string WriteSample() {
    TTableSpec spec;
    spec.Fields = {{"NAME", 'C', 6},
                   {"AMOUNT", 'N', 8, 2},
                   {"DAY", 'D', 8},
                   {"OK", 'L', 1},
                   {"NOTE", 'M', 4, 0, kFlagNullable}};
    spec.Rows = {
        {Text("a,b\"c"), Dbl(12.5), Date(2024, 3, 5), Logical(true), Memo("line1\nline2")},
        {Text("plain"), Null(), Null(), Raw("?"), Null()},
        {Text("gone"), Int(1), Date(2000, 1, 1), Logical(false), Memo("")},
        {Text("x"), Dbl(-0.25), Date(1999, 12, 31), Logical(false), Memo("")},
    };
    spec.DeletedRows = {2};
    return WriteTable(FFolder.Path(), "sample", spec).string();
  }

  TTempFolder FFolder;
};

TEST_F(CliTest, DumpWritesJsonLinesOfTheVisibleRecords) {
  const TRun run = Run({"dump", WriteSample()});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Err, "");
  EXPECT_EQ(run.Out,
            "{\"NAME\":\"a,b\\\"c \",\"AMOUNT\":12.50,\"DAY\":\"2024-03-05\",\"OK\":true,"
            "\"NOTE\":\"line1\\nline2\"}\n"
            "{\"NAME\":\"plain \",\"AMOUNT\":null,\"DAY\":null,\"OK\":null,\"NOTE\":null}\n"
            "{\"NAME\":\"x     \",\"AMOUNT\":-0.25,\"DAY\":\"1999-12-31\",\"OK\":false,"
            "\"NOTE\":\"\"}\n");
}

TEST_F(CliTest, DumpWritesCsvWithAHeaderLine) {
  const TRun run = Run({"dump", WriteSample(), "--format", "csv"});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Out,
            "NAME,AMOUNT,DAY,OK,NOTE\r\n"
            "\"a,b\"\"c \",12.50,2024-03-05,true,\"line1\nline2\"\r\n"
            "plain ,,,,\r\n"
            "x     ,-0.25,1999-12-31,false,\"\"\r\n");
}

TEST_F(CliTest, MissingMemoFileIsAWarningNotAFailure) {
  const std::string table = WriteSample();
  std::filesystem::remove(FFolder.Path() / "sample.fpt");
  const TRun run = Run({"dump", table, "--format", "csv"});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Err, "lumbra-cli: warning: the memo file of '" + table +
                         "' is missing; memo values read as Null\n");
  EXPECT_EQ(run.Out.substr(run.Out.rfind("\r\n", run.Out.size() - 3) + 2),
            "x     ,-0.25,1999-12-31,false,\r\n");
}

TEST_F(CliTest, FailureExitsWithOneAndAOneLineMessage) {
  WriteFile(FFolder.Path() / "empty.dbf", "");
  const std::pair<std::string, std::string> cases[] = {
      {(FFolder.Path() / "missing.dbf").string(), "missing.dbf"},
      {(FFolder.Path() / "empty.dbf").string(), "not a table: the file is empty"},
  };
  for (const auto& [file, mentions] : cases) {
    const TRun run = Run({"dump", file});
    EXPECT_EQ(run.Code, 1) << file;
    EXPECT_EQ(run.Out, "") << file;
    EXPECT_EQ(run.Err.rfind("lumbra-cli: ", 0), 0u) << run.Err;
    EXPECT_NE(run.Err.find(mentions), std::string::npos) << run.Err;
    EXPECT_EQ(run.Err.find('\n'), run.Err.size() - 1) << run.Err;
  }
}

TEST_F(CliTest, WrongCommandLineExitsWithTwo) {
  const std::string table = WriteSample();
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate", table},
      {"dump"},
      {"dump", table, table},
      {"dump", table, "--format", "xml"},
      {"dump", table, "--format"},
      {"columns", table, "--format", "csv"},
  };
  for (const auto& args : cases) {
    const TRun run = Run(args);
    EXPECT_EQ(run.Code, 2) << testing::PrintToString(args);
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(run.Err.rfind("lumbra-cli: ", 0), 0u) << run.Err;
  }
}

TEST_F(CliTest, HelpIsNoError) {
  const TRun run = Run({"--help"});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Out.rfind("Usage: lumbra-cli", 0), 0u);
}

}  // namespace
}  // namespace lumbra::test
