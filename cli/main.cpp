// lumbra-cli: a headless front end over the same core as the window.
#include <signal.h>

#include <algorithm>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "analysis/distinct_report.h"
#include "analysis/line_sink.h"
#include "analysis/structure_report.h"
#include "base/exception.h"
#include "base/progress.h"
#include "base/text.h"
#include "cli/command_line.h"
#include "cli/dump_choice.h"
#include "cli/info.h"
#include "cli/lumbra_version.h"
#include "cli/output.h"
#include "cli/record_dump.h"
#include "cli/value_text.h"
#include "dbf/code_page.h"
#include "fields/field_defs.h"
#include "fields/field_types.h"
#include "fields/regional_settings.h"
#include "tables/data_access.h"
#include "tables/slots.h"

namespace lumbra {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// How a command opens its tables: the first table's sort list and filter, as
// typed into the window's Edit2 and Edit1 ("--sort LIST", "--filter TEXT" of
// the commands that read its records), and "--codepage N", the code page the
// tables are read in whatever their header says (0: as the header says).
struct TOpenSettings {
  std::string Sort;
  std::optional<std::string> Filter;
  int CodePage = 0;
  bool ShowDeleted = false;  // "--deleted": deleted records are shown too
};

const char* const kSortOption = "sort";
const char* const kFilterOption = "filter";
const char* const kCodePageOption = "codepage";
const char* const kThreadsOption = "threads";
const char* const kDeletedOption = "deleted";
const char* const kColumnsOption = "columns";

int CodePageOf(const TCommandLine& line) {
  if (!line.Has(kCodePageOption)) return 0;
  const std::string text = line.Option(kCodePageOption);
  int codePage = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), codePage);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      !IsSupportedCodePage(codePage)) {
    throw EUsageError("unknown code page '" + text + "' (a number such as 437, 852 or 1252)");
  }
  return codePage;
}

TOpenSettings OpenSettingsOf(const TCommandLine& line) {
  TOpenSettings settings;
  settings.Sort = line.Option(kSortOption);
  if (line.Has(kFilterOption)) settings.Filter = line.Option(kFilterOption);
  settings.CodePage = CodePageOf(line);
  settings.ShowDeleted = line.Has(kDeletedOption);
  return settings;
}

// lumbra-cli names a table by its whole file name without its ".dbf"
// extension, so any file can be named; the name is bound to the very file.
std::string CliTableName(const std::string& path) {
  std::string name = path.substr(FolderOf(path).size());
  if (name.size() > 4 && EqualsIgnoringAsciiCase(name.substr(name.size() - 4), ".dbf")) {
    name.resize(name.size() - 4);
  }
  return name;
}

// n in decimal with a comma between groups of three digits: 1,000,000.
std::string GroupedDigits(uint64_t n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

// The table of a file, opened the way the window opens one, except that the
// table is named by CliTableName. The settings go on the table as "Sort by.." and "Filtreaza"
// set them before it opens; a filter that fails fails the command instead of
// showing the table unfiltered.
class TOpenFile {
 public:
  TOpenFile(const std::string& path, const TOpenSettings& settings)
      : FPath(path),
        FSettings(TRegionalSettings::FromEnvironment()),
        FTable("AT", FConnection, FSettings) {
    const std::string name = CliTableName(path);
    FConnection.SetConnectionString(NormalConnectionString(FolderOf(path)));
    FConnection.Provider().BindTable(name, path);
    FConnection.Provider().Options().DefaultCodePage = DefaultCodePageFromEnvironment();
    FConnection.Provider().Options().CodePageOverride = settings.CodePage;
    FConnection.Provider().Options().ShowDeleted = settings.ShowDeleted;
    FTable.TableName = name;
    FTable.IndexFieldNames = settings.Sort;
    if (settings.Filter) {
      FTable.Filter = *settings.Filter;
      FTable.Filtered = true;
    }
    FTable.Open();
    const TDbfTable& table = FTable.Recordset()->Table();
    // The texts of a table that names no code page read differently under
    // each locale: the guess is said, so that a wrong one is seen.
    if (table.CodePageSource() == TCodePageSource::Default) {
      std::fprintf(stderr, "lumbra-cli: note: '%s' is read in code page %d, from %s\n",
                   path.c_str(), table.CodePage().Number(), CodePageOrigin(table).c_str());
    }
    if (table.IsMemoMissing()) {
      std::fprintf(stderr,
                   "lumbra-cli: warning: the memo file of '%s' is missing; memo values read as "
                   "Null\n",
                   path.c_str());
    }
    if (!table.LongFieldNamesProblem().empty()) {
      std::fprintf(stderr,
                   "lumbra-cli: warning: '%s' keeps the short field names of its header: %s\n",
                   path.c_str(), table.LongFieldNamesProblem().c_str());
    }
    if (table.IsTruncated()) {
      std::fprintf(stderr,
                   "lumbra-cli: warning: '%s' holds %s of the %s records its header counts\n",
                   path.c_str(), GroupedDigits(table.RecordCount()).c_str(),
                   GroupedDigits(table.Header().RecordCount).c_str());
    }
  }
  // What was read is said once the command is done with the table, errors
  // included: memos are met only as records are read.
  ~TOpenFile() {
    const TDbfTable& table = FTable.Recordset()->Table();
    if (table.MemoReadBeyondEnd()) {
      std::fprintf(stderr,
                   "lumbra-cli: warning: memo values of '%s' point beyond the end of '%s'; they "
                   "read as Null\n",
                   FPath.c_str(), table.MemoPath().c_str());
    }
  }
  TOpenFile(const TOpenFile&) = delete;
  TOpenFile& operator=(const TOpenFile&) = delete;

  TADOTable& Table() { return FTable; }
  TProviderRecordset& Recordset() { return *FTable.Recordset(); }

 private:
  std::string FPath;
  TRegionalSettings FSettings;
  TADOConnection FConnection{"Conn"};
  TADOTable FTable;
};

void ListColumns(TProviderRecordset& rs) {
  std::string out;
  for (const TColumn& c : rs.Columns()) {
    char attributes[16];
    std::snprintf(attributes, sizeof attributes, "0x%x", c.Attributes);
    const TColumnProperty* autoIncrement = c.FindProperty("ISAUTOINCREMENT");
    const bool isAuto = autoIncrement != nullptr && autoIncrement->Value.Boolean();
    AppendName(out, c.Name);
    out += '\t' + std::to_string(c.Type) + '\t' + std::to_string(c.DefinedSize) + '\t' +
           std::to_string(c.Precision) + '\t' + std::to_string(c.NumericScale) + '\t' + attributes +
           '\t' + (isAuto ? "1" : "0") + '\n';
  }
  WriteOut(out);
}

// The names the records' values are written under: the fields' names, which
// are unique ignoring letter case ("Point_ID", "Point_ID_1"), and for a column
// without a field the same rule applied to its own name.
std::vector<std::string> UniqueColumnNames(const TADOTable& table,
                                           const std::vector<TColumn>& columns) {
  std::vector<std::optional<std::string>> named(columns.size());
  const TFieldDefs& defs = table.FieldDefs();
  for (size_t i = 0; i < defs.Count(); ++i) {
    if (defs[i].Column < columns.size()) named[defs[i].Column] = defs[i].Name;
  }
  const auto taken = [&](const std::string& name) {
    return std::any_of(named.begin(), named.end(), [&](const std::optional<std::string>& n) {
      return n && SameNameIgnoringCase(*n, name);
    });
  };
  for (size_t c = 0; c < columns.size(); ++c) {
    if (named[c]) continue;
    std::string name = columns[c].Name;
    for (int counter = 1; name.empty() || taken(name); ++counter)
      name = (columns[c].Name.empty() ? "COLUMN" : columns[c].Name + "_") + std::to_string(counter);
    named[c] = std::move(name);
  }
  std::vector<std::string> names;
  for (std::optional<std::string>& n : named)
    names.push_back(std::move(*n));
  return names;
}

void ListFields(const TADOTable& table) {
  std::string out;
  for (const auto& field : table.Fields()) {
    AppendName(out, field->FieldName());
    out += std::string("\t") + FieldTypeName(field->DataType()) + '\t' +
           std::to_string(field->Size()) + '\t' + field->ClassName() + '\n';
  }
  WriteOut(out);
}

// A value whose text cannot be made (a decimal beyond a BCD field's range)
// is written as its error's class name, as the distinct values report counts
// it, and the dump goes on; a table that cannot be read still ends it. The
// choice works as DumpRecords' does.
void DumpTexts(TADOTable& table, bool display, const TDumpChoice& choice) {
  const TFields& fields = table.Fields();
  std::vector<std::string> names;
  for (const auto& field : fields)
    names.push_back(field->FieldName());
  const std::vector<size_t> chosen = ChosenColumns(choice.Columns, names);
  std::string out;
  if (choice.Deleted) out += kDeletedColumn;
  for (size_t k = 0; k < chosen.size(); ++k) {
    if (k != 0 || choice.Deleted) out.push_back('\t');
    AppendName(out, names[chosen[k]]);
  }
  out.push_back('\n');
  for (table.First(); !table.Eof(); table.Next()) {
    if (choice.Deleted) out += table.Recordset()->IsDeleted() ? "true" : "false";
    for (size_t k = 0; k < chosen.size(); ++k) {
      const size_t f = chosen[k];
      if (k != 0 || choice.Deleted) out.push_back('\t');
      const size_t from = out.size();
      try {
        if (display) {
          out += fields[f]->DisplayText();
        } else {
          fields[f]->AppendString(out);
        }
      } catch (const EDatabaseError& e) {
        out.resize(from);
        out += e.ClassName();
      }
      EscapeFrom(out, from);
    }
    out.push_back('\n');
    if (out.size() > kOutputPiece) WritePiece(out);
  }
  WriteOut(out);
}

int RunColumns(const TCommandLine& line) {
  TOpenFile file(line.Files[0], OpenSettingsOf(line));
  ListColumns(file.Recordset());
  return 0;
}

int RunFields(const TCommandLine& line) {
  TOpenFile file(line.Files[0], OpenSettingsOf(line));
  ListFields(file.Table());
  return 0;
}

int RunInfo(const TCommandLine& line) {
  const std::string format = line.Option("format", "text");
  if (format != "text" && format != "json") {
    throw EUsageError("unknown --format '" + format + "' (text or json)");
  }
  TOpenFile file(line.Files[0], OpenSettingsOf(line));
  WriteOut(TableInfo(file.Recordset().Table(), line.Files[0], format == "json"));
  return 0;
}

int RunDump(const TCommandLine& line) {
  if (line.Has("format") && line.Has("values"))
    throw EUsageError("give one of --format and --values");
  const std::string values = line.Option("values");
  const std::string format = line.Option("format", "jsonl");
  if (!values.empty() && values != "string" && values != "display") {
    throw EUsageError("unknown --values '" + values + "' (string or display)");
  }
  if (format != "jsonl" && format != "csv") {
    throw EUsageError("unknown --format '" + format + "' (jsonl or csv)");
  }
  int threads = DefaultDumpThreads();
  if (line.Has(kThreadsOption)) {
    const std::string text = line.Option(kThreadsOption);
    if (text != "1" && text != "2") {
      throw EUsageError("unknown --threads '" + text + "' (1 or 2)");
    }
    threads = text[0] - '0';
  }
  TDumpChoice choice;
  choice.Deleted = line.Has(kDeletedOption);
  if (line.Has(kColumnsOption)) choice.Columns = ColumnList(line.Option(kColumnsOption));
  TOpenFile file(line.Files[0], OpenSettingsOf(line));
  if (!values.empty()) {
    DumpTexts(file.Table(), values == "display", choice);
  } else {
    TProviderRecordset& rs = file.Recordset();
    const std::vector<std::string> names = UniqueColumnNames(file.Table(), rs.Columns());
    DumpRecords(rs, names, ChosenColumns(choice.Columns, names), choice.Deleted, format == "csv",
                threads);
  }
  return 0;
}

// The reports' notices; they need an open table, and a file that does not
// open has failed before.
void ShowNotice(const std::string& text) {
  std::fprintf(stderr, "lumbra-cli: %s\n", text.c_str());
}

int RunStructure(const TCommandLine& line) {
  const TOpenSettings settings = OpenSettingsOf(line);
  TOpenFile first(line.Files[0], settings);
  TOpenFile second(line.Files[1], settings);
  TStdoutLineSink out;
  CompareStructure(first.Table(), second.Table(), ShowNotice, out);
  return 0;
}

int RunDistinct(const TCommandLine& line) {
  TOpenFile file(line.Files[0], OpenSettingsOf(line));
  TDataSource dataSource1(file.Table());
  TStdoutLineSink out;
  AnalyzeDistinctPerColumn(file.Table(), dataSource1, ShowNotice, out);
  return 0;
}

// Slot captions have no place on a command line.
class TNoView : public ISlotView {
 public:
  void SetWindowCaption(const std::string&) override {}
  void SetApplicationTitle(const std::string&) override {}
  void SetTabCaption(int, const std::string&) override {}
};

// SIGINT, SIGTERM and SIGHUP while a table is emptied: the first one
// received, or 0. The emptying stops at its next step while it can still
// leave the table as it was, and finishes otherwise.
volatile std::sig_atomic_t gStopSignal = 0;

extern "C" void NoteStopSignal(int signal) {
  if (gStopSignal == 0) gStopSignal = signal;
}

class TStopOnSignal : public IProgress {
 public:
  TStopOnSignal() {
    struct sigaction action = {};
    action.sa_handler = NoteStopSignal;
    ::sigemptyset(&action.sa_mask);
    for (const int signal : kSignals)
      ::sigaction(signal, &action, nullptr);
  }
  ~TStopOnSignal() override {
    for (const int signal : kSignals)
      ::signal(signal, SIG_DFL);
  }
  TStopOnSignal(const TStopOnSignal&) = delete;
  TStopOnSignal& operator=(const TStopOnSignal&) = delete;

  void Step(uint64_t, uint64_t) override {
    if (gStopSignal != 0) throw EAbort(SignalName());
  }
  static std::string SignalName() {
    const char* name = ::sigabbrev_np(gStopSignal);
    return name == nullptr ? "a signal" : std::string("SIG") + name;
  }

 private:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
};

int RunEmpty(const TCommandLine& line) {
  const std::string& path = line.Files[0];
  TNoView view;
  const TRegionalSettings settings = TRegionalSettings::FromEnvironment();
  TTableSlots slots(view, settings);
  slots.TableNameOf = CliTableName;
  slots.Conn.Provider().Options().DefaultCodePage = DefaultCodePageFromEnvironment();
  slots.Conn.Provider().Options().CodePageOverride = CodePageOf(line);
  slots.DeschideDbf1(path);
  TStopOnSignal stop;
  const TProgressScope scope(stop);
  try {
    slots.GolesteBaza();
  } catch (const EAbort&) {
    throw Exception("'" + path + "': stopped by " + TStopOnSignal::SignalName() +
                    "; nothing was changed");
  }
  if (gStopSignal != 0) {
    throw Exception("'" + path + "': " + TStopOnSignal::SignalName() +
                    " came when the table was already being put in place; it is emptied");
  }
  return 0;
}

struct TOptionHelp {
  const char* Name;
  const char* Help;  // the option with its value, then what it does
  // The one command this help is for; nullptr for every command taking it.
  const char* Command = nullptr;
};

// Every option a command may take, in the order the help lists them.
const std::vector<TOptionHelp>& OptionHelps() {
  static const std::vector<TOptionHelp> helps = {
      {"format",
       "--format jsonl|csv        dump: JSON lines (the default) or CSV with a header row", "dump"},
      {"format", "--format text|json        info: lines to read (the default) or one JSON object",
       "info"},
      {"values",
       "--values string|display   the fields' texts instead: as strings, or as the grid\n"
       "                            shows them"},
      {kDeletedOption,
       "--deleted                 deleted records too, each record led by a \"_deleted\"\n"
       "                            column, true or false"},
      {kColumnsOption,
       "--columns LIST            only the columns LIST names, in its order: names\n"
       "                            separated by \",\" or \";\", letter case ignored"},
      {kFilterOption,
       "--filter TEXT             only the records TEXT holds for, as the window's\n"
       "                            \"Filtreaza\" does, e.g. \"ORAS = 'Cluj' AND SUMA > 100\""},
      {kSortOption,
       "--sort LIST               the records in the order of LIST, as the window's\n"
       "                            \"Sort by..\" does, e.g. \"ORAS;SUMA DESC\""},
      {kThreadsOption,
       "--threads 1|2             JSON lines and CSV made on one thread or two (the\n"
       "                            default when a second core is free); the same output"},
      {kCodePageOption,
       "--codepage N              read the table's texts in code page N (437, 852, 1250,\n"
       "                            1252, 65001, ...) whatever its header says"},
  };
  return helps;
}

struct TCommand {
  const char* Name;
  size_t FileCount;
  std::vector<std::string> Options;  // --codepage is every command's
  const char* Synopsis;
  const char* Description;
  int (*Run)(const TCommandLine&);
};

const std::vector<TCommand>& Commands() {
  static const std::vector<TCommand> commands = {
      {"columns",
       1,
       {},
       "columns FILE",
       "one line per column: name, column type number, defined size, precision,\n"
       "scale, attributes, 1 or 0 for auto-increment",
       RunColumns},
      {"distinct",
       1,
       {kFilterOption, kSortOption},
       "distinct FILE [--filter TEXT] [--sort LIST]",
       "the distinct values report of the window's \"Analiza distinct per coloane\"",
       RunDistinct},
      {"dump",
       1,
       {"format", "values", kFilterOption, kSortOption, kDeletedOption, kColumnsOption,
        kThreadsOption},
       "dump FILE [--format jsonl|csv] [--values string|display] [--filter TEXT]\n"
       "     [--sort LIST] [--deleted] [--columns LIST] [--threads 1|2]",
       "every visible record: JSON lines or CSV of the values, or with --values a\n"
       "tab-separated line of the fields' texts under a line of field names",
       RunDump},
      {"empty",
       1,
       {},
       "empty FILE",
       "deletes every record of the table and packs its files, as the window's\n"
       "\"Goleste Baza\" does",
       RunEmpty},
      {"fields",
       1,
       {},
       "fields FILE",
       "one line per field: name, field type, size, class",
       RunFields},
      {"info",
       1,
       {"format"},
       "info FILE [--format text|json]",
       "what the table's header says: format and version byte, live and deleted\n"
       "records, last update, code page and where it came from, header and record\n"
       "lengths, memo and index files, and each field's name, type, width, decimals\n"
       "and flags",
       RunInfo},
      {"structure",
       2,
       {},
       "structure FILE1 FILE2",
       "the structure comparison report of the window's \"Compara structura\n"
       "DBF-urilor deschise\"",
       RunStructure},
  };
  return commands;
}

// text with every line after the first indented by indent blanks.
std::string Indented(const std::string& text, const std::string& indent) {
  std::string out;
  for (char c : text) {
    out.push_back(c);
    if (c == '\n') out += indent;
  }
  return out;
}

// The help of the option name that command takes; nullptr for command: every
// help of that name.
void AppendOptionHelp(std::string& text, const char* name, const char* command) {
  for (const TOptionHelp& o : OptionHelps()) {
    if (name == std::string(o.Name) &&
        (command == nullptr || o.Command == nullptr || command == std::string(o.Command))) {
      text += std::string("  ") + o.Help + "\n";
    }
  }
}

const char* const kFlagsHelp =
    "  --help                    show this text and exit\n"
    "  --version                 show the program's version and exit\n";

const char* const kExitCodesHelp =
    "Exit codes: 0 success, 1 the table cannot be read or written (the reason goes\n"
    "to standard error), 2 a wrong command line.\n";

std::string Usage() {
  std::string text =
      "Usage: lumbra-cli COMMAND FILE... [OPTIONS]\n"
      "Reads dBase and FoxPro tables (.dbf with their .fpt/.dbt memo files).\n\nCommands:\n";
  for (const TCommand& c : Commands()) {
    text +=
        "  " + Indented(c.Synopsis, "  ") + "\n      " + Indented(c.Description, "      ") + "\n";
  }
  text += "\nOptions:\n";
  for (const TOptionHelp& o : OptionHelps())
    text += std::string("  ") + o.Help + "\n";
  text += kFlagsHelp;
  text += "\n'lumbra-cli COMMAND --help' shows one command's options.\n";
  text += kExitCodesHelp;
  return text;
}

std::string CommandUsage(const TCommand& command) {
  std::string text = "Usage: lumbra-cli " + Indented(command.Synopsis, "       ") +
                     " [--codepage N]\n\n" + command.Description + "\n\nOptions:\n";
  for (const std::string& name : command.Options)
    AppendOptionHelp(text, name.c_str(), command.Name);
  AppendOptionHelp(text, kCodePageOption, command.Name);
  text += kFlagsHelp;
  text += "\n";
  text += kExitCodesHelp;
  return text;
}

const TCommand& CommandNamed(const std::string& name) {
  for (const TCommand& c : Commands()) {
    if (name == c.Name) return c;
  }
  throw EUsageError("unknown command '" + name + "'");
}

int RunCommandLine(const TCommandLine& line) {
  if (line.Version) {
    WriteOut("lumbra-cli " + std::string(kLumbraVersion) + "\n");
    return 0;
  }
  if (line.Help) {
    WriteOut(line.Command.empty() ? Usage() : CommandUsage(CommandNamed(line.Command)));
    return 0;
  }
  const TCommand& command = CommandNamed(line.Command);
  if (line.Files.size() != command.FileCount) {
    throw EUsageError(line.Command + " takes " + std::to_string(command.FileCount) +
                      (command.FileCount == 1 ? " FILE" : " FILEs"));
  }
  for (const auto& [name, value] : line.Options) {
    if (name != kCodePageOption &&
        std::find(command.Options.begin(), command.Options.end(), name) == command.Options.end()) {
      throw EUsageError("--" + name + " does not belong to " + line.Command);
    }
  }
  // A wrong code page is a wrong command line, found before any file is read.
  CodePageOf(line);
  return command.Run(line);
}

// What a command was doing, for "not enough memory to ...".
std::string DoingOf(const TCommandLine& line) {
  const std::string first = line.Files.empty() ? std::string() : "'" + line.Files[0] + "'";
  if (line.Command == "columns") return "list the columns of " + first;
  if (line.Command == "fields") return "list the fields of " + first;
  if (line.Command == "dump") return "write the records of " + first;
  if (line.Command == "info") return "describe " + first;
  if (line.Command == "distinct") return "count the distinct values of " + first;
  if (line.Command == "structure" && line.Files.size() == 2) {
    return "compare the structures of " + first + " and '" + line.Files[1] + "'";
  }
  if (line.Command == "empty") return "empty " + first;
  return "read the command line";
}

int Run(int argc, char** argv) {
  IgnoreBrokenPipes();
  TCommandLine line;
  try {
    line = ParseCommandLine(argc, argv, {kDeletedOption});
    const int code = RunCommandLine(line);
    FlushOut();
    return code;
  } catch (const std::bad_alloc&) {
    // Whatever was being built is gone by now, so the message has room.
    std::fflush(stdout);
    std::fprintf(stderr, "lumbra-cli: not enough memory to %s\n", DoingOf(line).c_str());
    return kExitFailure;
  } catch (const EOutputClosed&) {
    // The reader took what it wanted ("lumbra-cli dump big.dbf | head -1").
    return 0;
  } catch (const EUsageError& e) {
    std::fprintf(stderr, "lumbra-cli: %s\nTry 'lumbra-cli --help' for the commands.\n",
                 e.Message().c_str());
    return kExitUsage;
  } catch (const Exception& e) {
    // What was written so far goes out before the reason it stops there;
    // a second failure to write it changes nothing.
    std::fflush(stdout);
    std::fprintf(stderr, "lumbra-cli: %s\n", e.Message().c_str());
    return kExitFailure;
  } catch (const std::exception& e) {
    // A failure of the library (a thread that cannot start): still a message
    // and an exit code, never an abort.
    std::fflush(stdout);
    std::fprintf(stderr, "lumbra-cli: %s\n", e.what());
    return kExitFailure;
  }
}

}  // namespace
}  // namespace lumbra

int main(int argc, char** argv) {
  return lumbra::Run(argc, argv);
}
