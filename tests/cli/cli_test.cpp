// lumbra-cli run as a program: its exit codes, its messages on standard error,
// the JSON lines and CSV it writes for a built table, and its manners: help and
// version on every command, a code page override, and output into a pipe that
// closes early or a disk that is full.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <tuple>
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
    return RunInto(args, " >" + Quoted((FFolder.Path() / "stdout").string()));
  }

  // Runs the program with its standard output sent where output says (a
  // redirection, or "| command" of bash); Out is what went to the file
  // "stdout" of the folder, Code the program's own exit code.
  TRun RunInto(const std::vector<std::string>& args, const std::string& output,
               const std::string& before = "") {
    const auto out = FFolder.Path() / "stdout";
    const auto err = FFolder.Path() / "stderr";
    const auto code = FFolder.Path() / "code";
    WriteFile(out, "");
    std::string command = before + "LC_ALL=C " + Quoted(LUMBRA_CLI_PATH);
    for (const std::string& a : args)
      command += " " + Quoted(a);
    command +=
        " 2>" + Quoted(err.string()) + output + "; echo ${PIPESTATUS[0]} >" + Quoted(code.string());
    std::system(("bash -c " + Quoted(command)).c_str());
    TRun run;
    run.Code = std::stoi(ReadFile(code));
    run.Out = ReadFile(out);
    run.Err = ReadFile(err);
    return run;
  }

  // A Visual FoxPro table whose texts need quoting in both output forms.
  std::string WriteSample() {
    TTableShape spec;
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

TEST_F(CliTest, DumpEscapesEveryControlCharacterAndBackslash) {
  TTableShape spec;
  spec.Fields = {{"NOTE", 'M', 4}};
  spec.Rows = {{Memo("a\tb\\c\x01\"d\re\nf")}};
  const std::string table = WriteTable(FFolder.Path(), "escapes", spec).string();
  EXPECT_EQ(Run({"dump", table}).Out, "{\"NOTE\":\"a\\tb\\\\c\\u0001\\\"d\\re\\nf\"}\n");
  EXPECT_EQ(Run({"dump", table, "--values", "string"}).Out, "NOTE\na\\tb\\\\c\x01\"d\\re\\nf\n");
}

// Texts are searched for what to escape several bytes at a time: each
// character to escape is found wherever it stands, and texts of every length
// without one come out as they are.
TEST_F(CliTest, DumpEscapesAtEveryPositionOfAText) {
  TTableShape spec;
  spec.Fields = {{"NOTE", 'M', 4}};
  std::string expected = "NOTE\n";
  for (size_t length = 1; length <= 19; ++length) {
    const std::string plain(length, 'x');
    spec.Rows.push_back({Memo(plain)});
    expected += plain + "\n";
    for (size_t at = 0; at < length; ++at) {
      for (const auto& [c, escaped] : {std::pair<char, const char*>{'\t', "\\t"}, {'\\', "\\\\"}}) {
        std::string text = plain;
        text[at] = c;
        spec.Rows.push_back({Memo(text)});
        expected += plain.substr(0, at) + escaped + plain.substr(at + 1) + "\n";
      }
    }
  }
  const std::string table = WriteTable(FFolder.Path(), "positions", spec).string();
  EXPECT_EQ(Run({"dump", table, "--values", "string"}).Out, expected);
}

// The same search in JSON lines and CSV: what JSON escapes and what makes CSV
// quote a field is found wherever it stands, also in the last bytes.
TEST_F(CliTest, JsonAndCsvFindWhatToEscapeAtEveryPosition) {
  TTableShape spec;
  spec.Fields = {{"NOTE", 'M', 4}};
  std::string json;
  std::string csv = "NOTE\r\n";
  for (size_t length = 1; length <= 19; ++length) {
    const std::string plain(length, 'x');
    spec.Rows.push_back({Memo(plain)});
    json += "{\"NOTE\":\"" + plain + "\"}\n";
    csv += plain + "\r\n";
    for (size_t at = 0; at < length; ++at) {
      for (const auto& [c, escaped, quoted] :
           {std::tuple<char, const char*, const char*>{'"', "\\\"", "\"\""},
            {'\n', "\\n", "\n"},
            {',', ",", ","},
            {'\x01', "\\u0001", nullptr}}) {
        std::string text = plain;
        text[at] = c;
        spec.Rows.push_back({Memo(text)});
        const std::string before = plain.substr(0, at), after = plain.substr(at + 1);
        json += "{\"NOTE\":\"" + before + escaped + after + "\"}\n";
        csv += quoted ? "\"" + before + quoted + after + "\"\r\n" : text + "\r\n";
      }
    }
  }
  const std::string table = WriteTable(FFolder.Path(), "positions", spec).string();
  EXPECT_EQ(Run({"dump", table}).Out, json);
  EXPECT_EQ(Run({"dump", table, "--format", "csv"}).Out, csv);
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

TEST_F(CliTest, HelpAndVersionWorkAloneAndOnEveryCommand) {
  const std::string table = WriteSample();
  const std::regex version("lumbra-cli [0-9]+\\.[0-9]+\\.[0-9]+\n");
  const char* const commands[] = {"columns", "distinct", "dump", "empty", "fields", "structure"};

  const TRun help = Run({"--help"});
  EXPECT_EQ(help.Code, 0);
  EXPECT_EQ(help.Out.rfind("Usage: lumbra-cli COMMAND", 0), 0u) << help.Out;
  EXPECT_EQ(help.Err, "");
  EXPECT_TRUE(std::regex_match(Run({"--version"}).Out, version));
  for (const char* command : commands) {
    // A flag wins over whatever else is on the line: nothing is read, nothing
    // emptied.
    const TRun commandHelp = Run({command, table, "--help"});
    EXPECT_EQ(commandHelp.Code, 0) << command;
    EXPECT_EQ(commandHelp.Out.rfind(std::string("Usage: lumbra-cli ") + command, 0), 0u)
        << commandHelp.Out;
    EXPECT_NE(commandHelp.Out.find("--codepage N"), std::string::npos) << command;
    EXPECT_EQ(commandHelp.Err, "");
    const TRun commandVersion = Run({command, "--version"});
    EXPECT_EQ(commandVersion.Code, 0) << command;
    EXPECT_TRUE(std::regex_match(commandVersion.Out, version)) << commandVersion.Out;
  }
  EXPECT_NE(Run({"dump", "--help"}).Out.find("--format jsonl|csv"), std::string::npos);
  EXPECT_EQ(Run({"columns", "-h"}).Out.find("--format"), std::string::npos);
  EXPECT_EQ(Run({"frobnicate", "--help"}).Code, 2);
  EXPECT_EQ(Run({"dump", table}).Out.substr(0, 9), "{\"NAME\":\"");
}

TEST_F(CliTest, OptionsTakeEqualsAndDoubleDashEndsThem) {
  const std::string table = WriteSample();
  const TRun run = Run({"dump", "--format=csv", "--", table});
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_EQ(run.Out.rfind("NAME,AMOUNT,DAY,OK,NOTE\r\n", 0), 0u);
  EXPECT_EQ(Run({"dump", table, "-x"}).Code, 2);
  EXPECT_EQ(Run({"dump", table, "--format=csv", "--format", "csv"}).Code, 2);
}

// Cyrillic text in DOS code page 866 under a header that says 1252 or nothing.
TEST_F(CliTest, CodePageOptionOverridesTheHeader) {
  const std::string privet = "\x8f\xe0\xa8\xa2\xa5\xe2";
  for (const uint8_t mark : {uint8_t{0x03}, uint8_t{0x00}}) {
    TTableShape spec;
    spec.Version = 0x03;
    spec.CodePageMark = mark;
    spec.Fields = {{"NAME", 'C', 6}};
    // Twice, so the distinct report lists it.
    spec.Rows = {{Text(privet)}, {Text(privet)}};
    const std::string table = WriteTable(FFolder.Path(), "cyr", spec).string();
    const std::string expected = "{\"NAME\":\"Привет\"}\n{\"NAME\":\"Привет\"}\n";
    EXPECT_NE(Run({"dump", table}).Out, expected) << int{mark};
    const TRun run = Run({"dump", table, "--codepage", "866"});
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Out, expected) << int{mark};
    EXPECT_NE(Run({"distinct", table, "--codepage=866"}).Out.find("[Привет] = 2"),
              std::string::npos);
  }
}

TEST_F(CliTest, UnknownCodePageIsAWrongCommandLine) {
  const std::string missing = (FFolder.Path() / "missing.dbf").string();
  for (const char* codePage : {"", "0", "12345", "abc", "866x", "-866", "99999999999"}) {
    const TRun run = Run({"columns", missing, "--codepage", codePage});
    EXPECT_EQ(run.Code, 2) << codePage;
    EXPECT_NE(run.Err.find("unknown code page"), std::string::npos) << run.Err;
  }
}

// More records than a pipe holds, so the program is still writing when the
// reader goes.
TEST_F(CliTest, ReaderThatStopsEarlyEndsTheCommandQuietly) {
  TTableShape spec;
  spec.Fields = {{"NAME", 'C', 40}};
  // Every text twice, so the distinct report is long too.
  for (int i = 0; i < 20000; ++i)
    spec.Rows.push_back({Text(std::to_string(i / 2))});
  const std::string table = WriteTable(FFolder.Path(), "big", spec).string();
  const std::string head = " | head -c 100 >" + Quoted((FFolder.Path() / "stdout").string());
  for (const std::vector<std::string>& args : {std::vector<std::string>{"dump", table},
                                               {"dump", table, "--format", "csv"},
                                               {"dump", table, "--values", "display"},
                                               {"distinct", table}}) {
    const TRun run = RunInto(args, head);
    EXPECT_EQ(run.Code, 0) << testing::PrintToString(args);
    EXPECT_EQ(run.Err, "") << testing::PrintToString(args);
    EXPECT_EQ(run.Out.size(), 100u);
  }
}

TEST_F(CliTest, FullDiskIsAFailureNamedOnStandardError) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const TRun run = RunInto({"dump", WriteSample()}, " >/dev/full");
  EXPECT_EQ(run.Code, 1);
  EXPECT_EQ(run.Err, "lumbra-cli: cannot write to standard output: No space left on device\n");
}

// A date-time only 7 bytes wide holds no date-time: Null in every output,
// and no command fails on it.
TEST_F(CliTest, DamagedValueIsNullAndFailsNoCommand) {
  TTableShape spec;
  spec.Fields = {{"NAME", 'C', 2}, {"T7", 'T', 7}};
  spec.Rows = {{Text("ab"), Raw("\x01\x02\x03\x04\x05\x06\x07")}, {Text("cd"), Raw("1234567")}};
  const std::string table = WriteTable(FFolder.Path(), "damaged", spec).string();
  EXPECT_EQ(Run({"dump", table}).Out,
            "{\"NAME\":\"ab\",\"T7\":null}\n{\"NAME\":\"cd\",\"T7\":null}\n");
  for (const char* values : {"display", "string"}) {
    const TRun run = Run({"dump", table, "--values", values});
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Out, "NAME\tT7\nab\t\ncd\t\n");
  }
  const TRun distinct = Run({"distinct", table});
  EXPECT_EQ(distinct.Code, 0) << distinct.Err;
  EXPECT_NE(distinct.Out.find("  [NULL] = 2\n"), std::string::npos) << distinct.Out;
}

// A decimal beyond a BCD field's range has no string form: the dump writes
// the error's class there and goes on; the distinct report, which reads the
// value first, stops with a message that says where the value stands.
TEST_F(CliTest, ValueWithoutAStringIsItsErrorClassAndTheDumpGoesOn) {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"N", 'N', 21, 4}};
  spec.Rows = {{Raw("               1.5000")},
               {Raw(" 999999999999999.9999")},
               {Raw("               2.0000")}};
  const std::string table = WriteTable(FFolder.Path(), "wide", spec).string();
  const TRun dump = Run({"dump", table, "--values", "string"});
  EXPECT_EQ(dump.Code, 0) << dump.Err;
  EXPECT_EQ(dump.Out, "N\n1.5\nEBcdOverflowError\n2\n");
  EXPECT_EQ(Run({"dump", table, "--values", "display"}).Out, "N\n1.5\nBCD overflow\n2\n");
  const TRun distinct = Run({"distinct", table});
  EXPECT_EQ(distinct.Code, 1);
  EXPECT_EQ(distinct.Err,
            "lumbra-cli: BCD overflow in field 'N' of table '" + table + "', record 2\n");
}

TEST_F(CliTest, TableShorterThanItsCountIsReadAsFarAsItGoesWithAWarning) {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"NAME", 'C', 2}};
  spec.Rows = {{Text("ab")}, {Text("cd")}, {Text("ef")}};
  TBuiltTable built = BuildTableBytes(spec);
  PutLe32(built.Table, 4, 1000000);
  const std::string table = (FFolder.Path() / "short.dbf").string();
  WriteFile(table, built.Table);
  for (const char* command : {"dump", "distinct"}) {
    const TRun run = Run({command, table});
    EXPECT_EQ(run.Code, 0) << command;
    EXPECT_EQ(run.Err, "lumbra-cli: warning: '" + table +
                           "' holds 3 of the 1,000,000 records its header counts\n")
        << command;
  }
  EXPECT_EQ(Run({"dump", table, "--format", "csv"}).Out, "NAME\r\nab\r\ncd\r\nef\r\n");
}

TEST_F(CliTest, MemosBeyondTheEndOfTheMemoFileAreAWarning) {
  TTableShape spec;
  spec.Fields = {{"NOTE", 'M', 4}};
  spec.Rows = {{Memo("first")}, {Memo(std::string(300, 'x'))}, {Memo("third")}};
  const std::string table = WriteTable(FFolder.Path(), "notes", spec).string();
  const auto memo = FFolder.Path() / "notes.fpt";
  // The second memo loses its end, the third is gone.
  std::filesystem::resize_file(memo, 512 + 64 + 8 + 100);
  const TRun run = Run({"dump", table});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Out, "{\"NOTE\":\"first\"}\n{\"NOTE\":null}\n{\"NOTE\":null}\n");
  EXPECT_EQ(run.Err, "lumbra-cli: warning: memo values of '" + table +
                         "' point beyond the end of '" + memo.string() + "'; they read as Null\n");
}

// A shapefile's table may name a column twice: every output keeps both, under
// the fields' unique names.
TEST_F(CliTest, RepeatedColumnNamesStayApartInEveryOutput) {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"Point_ID", 'N', 2}, {"POINT_ID", 'N', 2}};
  spec.Rows = {{Int(1), Int(2)}};
  const std::string table = WriteTable(FFolder.Path(), "points", spec).string();
  EXPECT_EQ(Run({"dump", table}).Out, "{\"Point_ID\":1,\"POINT_ID_1\":2}\n");
  EXPECT_EQ(Run({"dump", table, "--format", "csv"}).Out, "Point_ID,POINT_ID_1\r\n1,2\r\n");
  EXPECT_EQ(Run({"fields", table}).Out,
            "Point_ID\tftInteger\t0\tTIntegerField\nPOINT_ID_1\tftInteger\t0\tTIntegerField\n");
}

TEST_F(CliTest, ControlBytesOfFieldNamesAreEscapedInTabSeparatedOutput) {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"A\x1b[31m", 'C', 1}, {"B\nC\\", 'C', 1}};
  spec.Rows = {{Text("x"), Text("y")}};
  const std::string table = WriteTable(FFolder.Path(), "names", spec).string();
  const TRun fields = Run({"fields", table});
  EXPECT_EQ(fields.Out,
            "A\\x1b[31m\tftFixedChar\t1\tTStringField\nB\\nC\\\\\tftFixedChar\t1\tTStringField\n");
  EXPECT_EQ(Run({"columns", table}).Out.substr(0, 11), "A\\x1b[31m\t1");
  EXPECT_EQ(Run({"dump", table, "--values", "string"}).Out, "A\\x1b[31m\tB\\nC\\\\\nx\ty\n");
}

TEST_F(CliTest, PathThatIsNoFileSaysWhatItIs) {
  const auto folder = FFolder.Path();
  ASSERT_EQ(::mkfifo((folder / "pipe.dbf").c_str(), 0600), 0);
  std::filesystem::create_directory(folder / "folder.dbf");
  std::filesystem::create_symlink("/dev/zero", folder / "zero.dbf");
  const std::pair<const char*, const char*> cases[] = {
      {"pipe.dbf", "a named pipe (FIFO)"},
      {"folder.dbf", "a folder"},
      {"zero.dbf", "a character device"},
  };
  for (const auto& [name, kind] : cases) {
    const std::string path = (folder / name).string();
    const TRun run = Run({"dump", path});
    EXPECT_EQ(run.Code, 1) << name;
    EXPECT_EQ(run.Err, "lumbra-cli: File '" + path + "' is " + kind + ", not a table file.\n");
  }
}

// A memo that claims (and, sparsely, has) 400 MB cannot be held under a
// 200 MB limit: a message and exit code 1, never an abort.
TEST_F(CliTest, AllocationFailureIsAMessageAndExitOne) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more than the limit";
#endif
  TTableShape spec;
  spec.Fields = {{"NOTE", 'M', 4}};
  spec.Rows = {{Memo("small")}};
  const std::string table = WriteTable(FFolder.Path(), "huge", spec).string();
  const auto memo = FFolder.Path() / "huge.fpt";
  constexpr uint32_t kLength = 400u << 20;
  {
    std::fstream file(memo, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(512 + 4);  // the first memo's length, big-endian
    const char length[4] = {static_cast<char>(kLength >> 24), static_cast<char>(kLength >> 16),
                            static_cast<char>(kLength >> 8), static_cast<char>(kLength)};
    file.write(length, 4);
  }
  std::filesystem::resize_file(memo, 512 + 8 + kLength);
  const TRun run = RunInto({"dump", table}, " >/dev/null", "ulimit -v 200000; ");
  EXPECT_EQ(run.Code, 1);
  EXPECT_EQ(run.Err, "lumbra-cli: not enough memory to write the records of '" + table + "'\n");
}

TEST_F(CliTest, InfoDescribesTheHeaderAsTextAndAsJson) {
  const std::string table = WriteSample();
  const TRun text = Run({"info", table});
  EXPECT_EQ(text.Code, 0) << text.Err;
  EXPECT_EQ(text.Err, "");
  for (const char* line : {"format          Visual FoxPro (version byte 0x30)\n",
                           "records         3 live, 1 deleted\n", "last update     2024-01-15\n",
                           "code page       1252, from the header's code page byte 0x03\n",
                           "-byte blocks\n", "index file      none\n", "fields          6\n",
                           "  NOTE        M         4         0  0x02 nullable\n",
                           "  _NullFlags  0         1         0  0x05 system binary\n"}) {
    EXPECT_NE(text.Out.find(line), std::string::npos) << line << text.Out;
  }
  // One JSON object, whose facts a script reads.
  const TRun json = RunInto(
      {"info", table, "--format", "json"},
      " | python3 -c 'import json,sys; d=json.load(sys.stdin); print(d[\"version\"], "
      "d[\"live_records\"], d[\"deleted_records\"], d[\"code_page_source\"], "
      "d[\"memo_file\"][\"block_size\"], d[\"fields\"][4][\"name\"], d[\"fields\"][4][\"flags\"])' "
      ">" +
          Quoted((FFolder.Path() / "stdout").string()));
  EXPECT_EQ(json.Code, 0) << json.Err;
  EXPECT_EQ(json.Out, "0x30 3 1 header 64 NOTE 2\n");
  EXPECT_EQ(Run({"info", table, "--format", "csv"}).Code, 2);
}

TEST_F(CliTest, InfoOfATableCutShortCountsWhatItHolds) {
  TTableShape spec;
  spec.Version = 0x03;
  spec.Fields = {{"NAME", 'C', 2}};
  spec.Rows = {{Text("ab")}, {Text("cd")}, {Text("ef")}};
  spec.DeletedRows = {1};
  TBuiltTable built = BuildTableBytes(spec);
  PutLe32(built.Table, 4, 1000000);
  const std::string table = (FFolder.Path() / "short.dbf").string();
  WriteFile(table, built.Table);
  const TRun run = Run({"info", table});
  EXPECT_EQ(run.Code, 0);
  EXPECT_NE(run.Out.find("records         2 live, 1 deleted; the header counts 1000000, the file "
                         "holds only these\n"),
            std::string::npos)
      << run.Out;
  EXPECT_EQ(run.Err, "lumbra-cli: warning: '" + table +
                         "' holds 3 of the 1,000,000 records its header counts\n");
}

// The deleted record "gone" comes in its place, marked, in every form of
// dump, and a filter and a sort see it too.
TEST_F(CliTest, DumpDeletedAndColumnsWorkInEveryForm) {
  const std::string table = WriteSample();
  const std::vector<std::string> choice = {"--deleted", "--columns", " ok ;name"};
  const auto dump = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"dump", table});
    args.insert(args.end(), choice.begin(), choice.end());
    const TRun run = Run(args);
    EXPECT_EQ(run.Code, 0) << run.Err;
    return run.Out;
  };
  EXPECT_EQ(dump({}),
            "{\"_deleted\":false,\"OK\":true,\"NAME\":\"a,b\\\"c \"}\n"
            "{\"_deleted\":false,\"OK\":null,\"NAME\":\"plain \"}\n"
            "{\"_deleted\":true,\"OK\":false,\"NAME\":\"gone  \"}\n"
            "{\"_deleted\":false,\"OK\":false,\"NAME\":\"x     \"}\n");
  EXPECT_EQ(dump({"--format", "csv"}),
            "_deleted,OK,NAME\r\nfalse,true,\"a,b\"\"c \"\r\nfalse,,plain \r\n"
            "true,false,gone  \r\nfalse,false,x     \r\n");
  EXPECT_EQ(dump({"--values", "string"}),
            "_deleted\tOK\tNAME\nfalse\tTrue\ta,b\"c \nfalse\t\tplain \ntrue\tFalse\tgone  \n"
            "false\tFalse\tx     \n");
  EXPECT_EQ(dump({"--values", "display", "--filter", "NAME = 'gone'"}),
            "_deleted\tOK\tNAME\ntrue\tFalse\tgone  \n");
  EXPECT_EQ(dump({"--format", "csv", "--sort", "NAME DESC"}),
            "_deleted,OK,NAME\r\nfalse,false,x     \r\nfalse,,plain \r\ntrue,false,gone  \r\n"
            "false,true,\"a,b\"\"c \"\r\n");
  // Each option alone.
  EXPECT_EQ(Run({"dump", table, "--columns", "[day]"}).Out,
            "{\"DAY\":\"2024-03-05\"}\n{\"DAY\":null}\n{\"DAY\":\"1999-12-31\"}\n");
  EXPECT_EQ(Run({"dump", table, "--deleted", "--format", "csv"}).Out.substr(0, 34),
            "_deleted,NAME,AMOUNT,DAY,OK,NOTE\r\n");
}

TEST_F(CliTest, WrongColumnListOrDeletedWithAValueIsAWrongCommandLine) {
  const std::string table = WriteSample();
  for (const auto& [list, message] : std::vector<std::pair<std::string, std::string>>{
           {"NAME,SALARY", "--columns: the table has no column 'SALARY'"},
           {"", "--columns names no column"},
           {" ", "--columns names no column"},
           {"NAME,,OK", "--columns 'NAME,,OK': a column name is missing"},
           {"name;NAME", "--columns names the column 'NAME' twice"}}) {
    const TRun run = Run({"dump", table, "--columns", list, "--values", "string"});
    EXPECT_EQ(run.Code, 2) << list;
    EXPECT_EQ(run.Out, "") << list;
    EXPECT_EQ(run.Err.substr(0, run.Err.find('\n')), "lumbra-cli: " + message);
  }
  EXPECT_EQ(Run({"dump", table, "--deleted=yes"}).Code, 2);
  EXPECT_EQ(Run({"info", table, "--deleted"}).Code, 2);
}

// Under LC_ALL=C a table whose header names no code page is read in 1252,
// and each table says so once; a code page given says nothing.
TEST_F(CliTest, GuessedCodePageIsSaidOncePerTable) {
  TTableShape spec;
  spec.Version = 0x03;
  spec.CodePageMark = 0x00;
  spec.Fields = {{"NAME", 'C', 2}};
  spec.Rows = {{Text("ab")}, {Text("cd")}};
  const std::string table = WriteTable(FFolder.Path(), "nopage", spec).string();
  const std::string note = "lumbra-cli: note: '" + table +
                           "' is read in code page 1252, from the locale C, as the header's code "
                           "page byte 0x00 names none\n";
  EXPECT_EQ(Run({"dump", table}).Err, note);
  EXPECT_EQ(Run({"structure", table, table}).Err, note + note);
  const TRun info = Run({"info", table});
  EXPECT_EQ(info.Err, note);
  EXPECT_NE(info.Out.find("code page       1252, from the locale C, as"), std::string::npos);
  EXPECT_EQ(Run({"dump", table, "--codepage", "1252"}).Err, "");
}

// Every real table: info's header facts are the independent readers', its
// live and deleted records are those dump --deleted writes, and --columns
// picks a column of each. A table the engine refuses is refused the same
// way by both commands.
TEST_F(CliTest, InfoAndDumpAgreeOnEveryCorpusTable) {
  if (!std::filesystem::is_directory(CorpusDir())) GTEST_SKIP() << "no corpus at " << CorpusDir();
  const std::regex counts(
      "\"version\":\"(0x[0-9A-F]+)\",\"live_records\":([0-9]+),\"deleted_records\":([0-9]+),"
      "\"header_record_count\":([0-9]+)");
  // The first field that is no system field, when its name needs no escape.
  const std::regex field("\\{\"name\":\"([^\"\\\\,;\\[\\]]+)\",[^}]*\"flag_names\":\"(?!system)");
  const std::regex oracleHeader(
      "\"version_byte\": \"(0x[0-9A-Fa-f]+)\"[^}]*?\"record_count\": ([0-9]+)");
  for (const std::filesystem::path& path : TablesUnder(CorpusDir())) {
    const TRun info = Run({"info", path.string(), "--format", "json"});
    std::vector<std::string> args = {"dump", path.string(), "--deleted", "--values", "string"};
    std::smatch chosen;
    if (std::regex_search(info.Out, chosen, field)) {
      args.insert(args.end(), {"--columns", "[" + chosen[1].str() + "]"});
    }
    const TRun dump = Run(args);
    ASSERT_EQ(info.Code, dump.Code) << path << info.Err << dump.Err;
    if (info.Code != 0) {
      EXPECT_EQ(info.Err, dump.Err) << path;
      continue;
    }
    std::smatch facts;
    ASSERT_TRUE(std::regex_search(info.Out, facts, counts)) << path << info.Out;
    const size_t records = std::stoul(facts[2]) + std::stoul(facts[3]);
    // The tab-separated dump: a line of names, then a line per record.
    EXPECT_EQ(static_cast<size_t>(std::count(dump.Out.begin(), dump.Out.end(), '\n')), records + 1)
        << path;
    if (!chosen.empty()) {
      EXPECT_EQ(dump.Out.substr(0, dump.Out.find('\n')), "_deleted\t" + chosen[1].str()) << path;
    }
    std::filesystem::path oracle = path;
    oracle.replace_extension(".oracle.json");
    std::smatch expected;
    const std::string oracleText =
        std::filesystem::exists(oracle) ? ReadFile(oracle) : std::string();
    if (std::regex_search(oracleText, expected, oracleHeader)) {
      std::string version = expected[1];
      std::transform(version.begin() + 2, version.end(), version.begin() + 2,
                     [](char c) { return static_cast<char>(std::toupper(c)); });
      EXPECT_EQ(version, facts[1].str()) << path;
      EXPECT_EQ(expected[2], facts[4].str()) << path;
    }
  }
}

TEST_F(CliTest, InfoListsTheTagsOfTheIndex) {
  const std::filesystem::path table = CorpusDir() / "ruby-dbf/foxprodb/contacts.dbf";
  if (!std::filesystem::exists(table)) GTEST_SKIP() << "no corpus at " << CorpusDir();
  const TRun run = Run({"info", table.string()});
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Out.find("contacts.CDX, tags: CONTACT_ID, TYPE_ID\n"), std::string::npos)
      << run.Out;
  EXPECT_NE(run.Out.find("contacts.FPT, 64-byte blocks\n"), std::string::npos) << run.Out;
}

TEST_F(CliTest, InfoListsTheTagsOfAProductionIndex) {
  TTableShape spec;
  spec.Version = 0x8B;
  spec.Fields = {{"NAME", 'C', 4}};
  spec.Rows = {{Text("a")}};
  const std::string table = WriteTable(FFolder.Path(), "people", spec).string();
  std::string bytes = ReadFile(table);
  bytes[28] = 1;  // a production index exists
  WriteFile(table, bytes);
  // The tag table: room for 48 entries of 32 bytes, two in use.
  std::string mdx(544 + 2 * 32, '\0');
  mdx[25] = 48;
  mdx[26] = 32;
  mdx[28] = 2;
  mdx.replace(544 + 4, 4, "NAME");
  mdx.replace(576 + 4, 8, "UPPERNAM");
  WriteFile(FFolder.Path() / "PEOPLE.MDX", mdx);
  const TRun run = Run({"info", table});
  EXPECT_NE(run.Out.find("PEOPLE.MDX, tags: NAME, UPPERNAM\n"), std::string::npos) << run.Out;
  WriteFile(FFolder.Path() / "PEOPLE.MDX", mdx.substr(0, 560));
  EXPECT_NE(Run({"info", table}).Out.find("its tag table runs past the end of the file"),
            std::string::npos);
}

TEST_F(CliTest, TablesOfADatabaseShowItsLongNamesOrSayOnceWhyNot) {
  TTableShape spec;
  spec.Backlink = "shop.dbc";
  spec.Fields = {{"CUSTOMERNA", 'C', 4}, {"CITY", 'C', 4}};
  spec.Rows = {{Text("Ana"), Text("Cluj")}, {Text("Dan"), Text("Iasi")}};
  const std::string table = WriteTable(FFolder.Path(), "customers", spec).string();
  const TRun alone = Run({"dump", table, "--format", "csv"});
  EXPECT_EQ(alone.Err, "lumbra-cli: warning: '" + table +
                           "' keeps the short field names of its header: its database "
                           "container 'shop.dbc' is not beside it\n");
  WriteContainer(FFolder.Path(), "SHOP.DBC", "Customers", {"customername", "city"});
  const TRun run =
      Run({"dump", table, "--format", "csv", "--filter", "customername = 'Dan'", "--sort", "city"});
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_EQ(run.Err, "");
  EXPECT_EQ(run.Out, "customername,city\r\nDan ,Iasi\r\n");
}

}  // namespace
}  // namespace lumbra::test
