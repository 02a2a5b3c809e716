// lumbra-cli: a headless front end over the same core as the window.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "base/exception.h"
#include "base/text.h"
#include "cli/value_text.h"
#include "dbf/code_page.h"
#include "tables/provider/provider.h"

namespace lumbra {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "Usage: lumbra-cli COMMAND FILE [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  columns FILE                      one line per column: name, type number, defined\n"
    "                                    size, precision, scale, attributes, autoincrement\n"
    "  dump FILE [--format jsonl|csv]    every visible record in file order\n"
    "\n"
    "Options:\n"
    "  --help                            show this text\n";

class TUsageError : public Exception {
 public:
  using Exception::Exception;
};

struct TCommandLine {
  std::string Command;
  std::string File;
  std::string Format = "jsonl";
};

TCommandLine ParseCommandLine(int argc, char** argv) {
  TCommandLine line;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--format") {
      if (i + 1 >= argc) throw TUsageError("--format needs a value (jsonl or csv)");
      line.Format = argv[++i];
      if (line.Format != "jsonl" && line.Format != "csv") {
        throw TUsageError("unknown format '" + line.Format + "' (jsonl or csv)");
      }
    } else if (arg.rfind("--", 0) == 0) {
      throw TUsageError("unknown option '" + arg + "'");
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.empty()) throw TUsageError("no command given");
  line.Command = positional[0];
  if (line.Command != "columns" && line.Command != "dump") {
    throw TUsageError("unknown command '" + line.Command + "'");
  }
  if (line.Command == "columns" && line.Format != "jsonl") {
    throw TUsageError("--format belongs to dump");
  }
  if (positional.size() != 2) throw TUsageError(line.Command + " takes exactly one FILE");
  line.File = positional[1];
  return line;
}

// Opens the file through the provider: its folder is the data source and its
// name without the ".dbf" extension the table name.
std::unique_ptr<TProviderRecordset> OpenFile(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string name = path.substr(folder.size());
  if (name.size() > 4 && EqualsIgnoringAsciiCase(name.substr(name.size() - 4), ".dbf")) {
    name.resize(name.size() - 4);
  }
  TProviderConnection connection;
  connection.SetConnectionString("Provider=VFPOLEDB.1;Data Source=" + folder +
                                 ";Password=\"\";Collating Sequence=MACHINE");
  connection.Options().DefaultCodePage = DefaultCodePageFromEnvironment();
  connection.Open();
  auto recordset = connection.OpenTable(name);
  if (recordset->Table().IsMemoMissing()) {
    std::fprintf(
        stderr, "lumbra-cli: warning: the memo file of '%s' is missing; memo values read as Null\n",
        path.c_str());
  }
  return recordset;
}

void WriteOut(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void ListColumns(TProviderRecordset& rs) {
  std::string out;
  for (const TColumn& c : rs.Columns()) {
    char attributes[16];
    std::snprintf(attributes, sizeof attributes, "0x%x", c.Attributes);
    const TColumnProperty* autoIncrement = c.FindProperty("ISAUTOINCREMENT");
    const bool isAuto = autoIncrement != nullptr && autoIncrement->Value.Boolean();
    out += c.Name + '\t' + std::to_string(c.Type) + '\t' + std::to_string(c.DefinedSize) + '\t' +
           std::to_string(c.Precision) + '\t' + std::to_string(c.NumericScale) + '\t' + attributes +
           '\t' + (isAuto ? "1" : "0") + '\n';
  }
  WriteOut(out);
}

void Dump(TProviderRecordset& rs, bool csv) {
  const std::vector<TColumn>& columns = rs.Columns();
  std::string out;
  if (csv) {
    for (size_t c = 0; c < columns.size(); ++c) {
      if (c != 0) out.push_back(',');
      AppendCsvField(out, Variant::FromString(columns[c].Name), adVarChar);
    }
    out += "\r\n";
  }
  Variant value;
  for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
    if (!csv) out.push_back('{');
    for (size_t c = 0; c < columns.size(); ++c) {
      rs.GetValue(c, value);
      if (csv) {
        if (c != 0) out.push_back(',');
        AppendCsvField(out, value, columns[c].Type);
      } else {
        if (c != 0) out.push_back(',');
        AppendJsonString(out, columns[c].Name);
        out.push_back(':');
        AppendJsonValue(out, value, columns[c].Type);
      }
    }
    out += csv ? "\r\n" : "}\n";
    if (out.size() > 1 << 16) {
      WriteOut(out);
      out.clear();
    }
  }
  WriteOut(out);
}

int Run(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  TCommandLine line;
  try {
    line = ParseCommandLine(argc, argv);
  } catch (const TUsageError& e) {
    std::fprintf(stderr, "lumbra-cli: %s\n%s", e.Message().c_str(), kUsage);
    return kExitUsage;
  }
  try {
    auto recordset = OpenFile(line.File);
    if (line.Command == "columns") {
      ListColumns(*recordset);
    } else {
      Dump(*recordset, line.Format == "csv");
    }
  } catch (const Exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "lumbra-cli: %s\n", e.Message().c_str());
    return kExitFailure;
  }
  return std::fflush(stdout) == 0 ? 0 : kExitFailure;
}

}  // namespace
}  // namespace lumbra

int main(int argc, char** argv) {
  return lumbra::Run(argc, argv);
}
