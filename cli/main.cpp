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
#include "fields/field_types.h"
#include "fields/regional_settings.h"
#include "tables/data_access.h"
#include "tables/slots.h"

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
    "  dump FILE --values string|display every visible record as a tab-separated line of\n"
    "                                    the fields' texts, under a line of field names\n"
    "  fields FILE                       one line per field: name, type, size, class\n"
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
  std::string Format;  // jsonl, csv, string or display
};

TCommandLine ParseCommandLine(int argc, char** argv) {
  TCommandLine line;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--format" || arg == "--values") {
      const bool values = arg == "--values";
      const char* choices = values ? "string or display" : "jsonl or csv";
      if (i + 1 >= argc) throw TUsageError(arg + " needs a value (" + choices + ")");
      if (!line.Format.empty()) throw TUsageError("give one of --format and --values");
      line.Format = argv[++i];
      const bool known = values ? line.Format == "string" || line.Format == "display"
                                : line.Format == "jsonl" || line.Format == "csv";
      if (!known)
        throw TUsageError("unknown " + arg.substr(2) + " '" + line.Format + "' (" + choices + ")");
    } else if (arg.rfind("--", 0) == 0) {
      throw TUsageError("unknown option '" + arg + "'");
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.empty()) throw TUsageError("no command given");
  line.Command = positional[0];
  if (line.Command != "columns" && line.Command != "dump" && line.Command != "fields") {
    throw TUsageError("unknown command '" + line.Command + "'");
  }
  if (line.Command != "dump" && !line.Format.empty()) {
    throw TUsageError("--format and --values belong to dump");
  }
  if (line.Format.empty()) line.Format = "jsonl";
  if (positional.size() != 2) throw TUsageError(line.Command + " takes exactly one FILE");
  line.File = positional[1];
  return line;
}

// The table of a file, opened the way the window opens one, except that the
// table name is the whole file name without its ".dbf" extension, so any file
// can be named.
class TOpenFile {
 public:
  explicit TOpenFile(const std::string& path)
      : FSettings(TRegionalSettings::FromEnvironment()), FTable("AT", FConnection, FSettings) {
    const std::string folder = FolderOfPath(path);
    std::string name = path.substr(folder.size());
    if (name.size() > 4 && EqualsIgnoringAsciiCase(name.substr(name.size() - 4), ".dbf")) {
      name.resize(name.size() - 4);
    }
    FConnection.SetConnectionString(NormalConnectionString(folder));
    FConnection.Provider().Options().DefaultCodePage = DefaultCodePageFromEnvironment();
    FTable.TableName = name;
    FTable.Open();
    if (FTable.Recordset()->Table().IsMemoMissing()) {
      std::fprintf(stderr,
                   "lumbra-cli: warning: the memo file of '%s' is missing; memo values read as "
                   "Null\n",
                   path.c_str());
    }
  }

  TADOTable& Table() { return FTable; }
  TProviderRecordset& Recordset() { return *FTable.Recordset(); }

 private:
  TRegionalSettings FSettings;
  TADOConnection FConnection{"Conn"};
  TADOTable FTable;
};

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

void ListFields(const TADOTable& table) {
  std::string out;
  for (const auto& field : table.Fields()) {
    out += field->FieldName() + '\t' + FieldTypeName(field->DataType()) + '\t' +
           std::to_string(field->Size()) + '\t' + field->ClassName() + '\n';
  }
  WriteOut(out);
}

// A text on one line: tab, CR, LF and backslash written as \t, \r, \n and \\.
void AppendEscaped(std::string& out, const std::string& text) {
  for (char c : text) {
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out.push_back(c);
    }
  }
}

void DumpTexts(TADOTable& table, bool display) {
  const TFields& fields = table.Fields();
  std::string out;
  for (size_t f = 0; f < fields.size(); ++f) {
    if (f != 0) out.push_back('\t');
    AppendEscaped(out, fields[f]->FieldName());
  }
  out.push_back('\n');
  for (table.First(); !table.Eof(); table.Next()) {
    for (size_t f = 0; f < fields.size(); ++f) {
      if (f != 0) out.push_back('\t');
      AppendEscaped(out, display ? fields[f]->DisplayText() : fields[f]->AsString());
    }
    out.push_back('\n');
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
    TOpenFile file(line.File);
    if (line.Command == "columns") {
      ListColumns(file.Recordset());
    } else if (line.Command == "fields") {
      ListFields(file.Table());
    } else if (line.Format == "string" || line.Format == "display") {
      DumpTexts(file.Table(), line.Format == "display");
    } else {
      Dump(file.Recordset(), line.Format == "csv");
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
