#include "cli/info.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "base/exception.h"
#include "cli/output.h"
#include "cli/value_text.h"
#include "dbf/cdx.h"
#include "dbf/code_page.h"
#include "dbf/file_io.h"
#include "dbf/mdx.h"
#include "dbf/table_files.h"

namespace lumbra {

namespace {

std::string Hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

const char* FormatName(TDbfFormat format) {
  switch (format) {
    case TDbfFormat::dBase2:
      return "dBase II";
    case TDbfFormat::dBase3:
      return "dBase III";
    case TDbfFormat::dBase4:
      return "dBase IV";
    case TDbfFormat::dBase7:
      return "dBase 7";
    case TDbfFormat::FoxPro:
      return "FoxPro 2.x";
    case TDbfFormat::VisualFoxPro:
      return "Visual FoxPro";
  }
  return "dBase";
}

// The words of a field's flags, blank-separated; "" for none.
std::string FlagWords(const TDbfField& field) {
  std::string words;
  const auto add = [&](bool has, const char* word) {
    if (!has) return;
    if (!words.empty()) words += ' ';
    words += word;
  };
  add(field.IsSystem(), "system");
  add(field.IsNullable(), "nullable");
  // The flag itself: _NullFlags carries it too, and reads as bytes either way.
  add((field.Flags & 0x04) != 0, "binary");
  add(field.IsAutoIncrement(), "autoincrement");
  return words;
}

// A name as a terminal shows it safely, as the tab-separated outputs write it.
std::string Printable(const std::string& name) {
  std::string out;
  AppendName(out, name);
  return out;
}

// Characters of UTF-8 text, for lining up names.
size_t Width(const std::string& text) {
  size_t width = 0;
  for (const char c : text)
    width += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  return width;
}

struct TIndexInfo {
  std::string Path;
  const char* Kind = "";
  std::vector<std::string> Tags;
  std::string Problem;  // why the tags are not listed; "" when they are
};

std::optional<TIndexInfo> IndexOf(const TDbfTable& table) {
  const TTableFiles files = LocateTableFiles(table.Path(), table.Header());
  if (files.IndexKind == TIndexKind::None) return std::nullopt;
  TIndexInfo index;
  index.Path = files.Index;
  index.Kind = files.IndexKind == TIndexKind::Mdx ? "mdx" : "cdx";
  // A damaged index is described, never a reason not to describe the table.
  try {
    PosixFileIo file(files.Index);
    if (files.IndexKind == TIndexKind::Mdx) {
      index.Tags = ReadMdxTagNames(file);
    } else {
      for (const TCdxTag& tag : ReadCdx(file).Tags)
        index.Tags.push_back(tag.Name);
    }
  } catch (const Exception& e) {
    index.Problem = e.Message();
  }
  return index;
}

struct TCounts {
  uint32_t Live = 0;
  uint32_t Deleted = 0;
};

TCounts CountRecords(TDbfTable& table) {
  TCounts counts;
  for (uint32_t i = 0; i < table.RecordCount(); ++i) {
    if (TDbfTable::IsDeleted(table.RecordAt(i))) {
      ++counts.Deleted;
    } else {
      ++counts.Live;
    }
  }
  return counts;
}

std::string DateText(const TDbfHeader& header) {
  const std::optional<TUpdateDate> date = UpdateDateOf(header);
  if (!date) return "";
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", date->Year, date->Month, date->Day);
  return text;
}

const char* SourceWord(TCodePageSource source) {
  switch (source) {
    case TCodePageSource::Override:
      return "--codepage";
    case TCodePageSource::Mark:
    case TCodePageSource::LanguageDriver:
      return "header";
    case TCodePageSource::Default:
      return "locale";
  }
  return "header";
}

void AppendJsonKey(std::string& out, const char* key) {
  if (out.back() != '{') out += ',';
  AppendJsonString(out, key);
  out += ':';
}

void AppendJsonText(std::string& out, const char* key, const std::string& text) {
  AppendJsonKey(out, key);
  AppendJsonString(out, text);
}

void AppendJsonNumber(std::string& out, const char* key, uint64_t number) {
  AppendJsonKey(out, key);
  out += std::to_string(number);
}

std::string JsonInfo(TDbfTable& table, const std::string& path, const TCounts& counts,
                     const std::optional<TIndexInfo>& index) {
  const TDbfHeader& header = table.Header();
  std::string out = "{";
  AppendJsonText(out, "file", path);
  AppendJsonText(out, "format", FormatName(header.Format));
  AppendJsonText(out, "version", Hex(header.Version));
  AppendJsonNumber(out, "live_records", counts.Live);
  AppendJsonNumber(out, "deleted_records", counts.Deleted);
  AppendJsonNumber(out, "header_record_count", header.RecordCount);
  const std::string date = DateText(header);
  AppendJsonKey(out, "last_update");
  if (date.empty()) {
    out += "null";
  } else {
    AppendJsonString(out, date);
  }
  AppendJsonNumber(out, "code_page", static_cast<uint64_t>(table.CodePage().Number()));
  AppendJsonText(out, "code_page_source", SourceWord(table.CodePageSource()));
  AppendJsonText(out, "code_page_origin", CodePageOrigin(table));
  AppendJsonText(out, "code_page_byte", Hex(header.CodePageMark));
  if (header.Format == TDbfFormat::dBase7)
    AppendJsonText(out, "language_driver", header.LanguageDriver);
  AppendJsonText(out, "table_flags", Hex(header.TableFlags));
  if (!header.Backlink.empty()) AppendJsonText(out, "database", header.Backlink);
  AppendJsonNumber(out, "header_length", header.HeaderLength);
  AppendJsonNumber(out, "record_length", header.RecordLength);
  AppendJsonKey(out, "memo_file");
  if (!header.HasMemoFields()) {
    out += "null";
  } else {
    out += '{';
    if (table.IsMemoMissing()) {
      AppendJsonKey(out, "path");
      out += "null";
      AppendJsonKey(out, "missing");
      out += "true";
    } else {
      AppendJsonText(out, "path", table.MemoPath());
      AppendJsonNumber(out, "block_size", table.MemoBlockSize());
      AppendJsonKey(out, "missing");
      out += "false";
    }
    out += '}';
  }
  AppendJsonKey(out, "index_file");
  if (!index) {
    out += "null";
  } else {
    out += '{';
    AppendJsonText(out, "path", index->Path);
    AppendJsonText(out, "kind", index->Kind);
    AppendJsonKey(out, "tags");
    out += '[';
    for (size_t t = 0; t < index->Tags.size(); ++t) {
      if (t != 0) out += ',';
      AppendJsonString(out, index->Tags[t]);
    }
    out += ']';
    if (!index->Problem.empty()) AppendJsonText(out, "problem", index->Problem);
    out += '}';
  }
  AppendJsonKey(out, "fields");
  out += '[';
  for (size_t f = 0; f < header.Fields.size(); ++f) {
    const TDbfField& field = header.Fields[f];
    if (f != 0) out += ',';
    out += '{';
    AppendJsonText(out, "name", table.FieldNames()[f]);
    AppendJsonText(out, "type", std::string(1, field.Type));
    AppendJsonNumber(out, "width", field.Length);
    AppendJsonNumber(out, "decimals", field.Decimals);
    AppendJsonNumber(out, "flags", field.Flags);
    AppendJsonText(out, "flag_names", FlagWords(field));
    out += '}';
  }
  out += "]}\n";
  return out;
}

std::string TextInfo(TDbfTable& table, const std::string& path, const TCounts& counts,
                     const std::optional<TIndexInfo>& index) {
  const TDbfHeader& header = table.Header();
  std::string out;
  const auto line = [&](const char* label, const std::string& text) {
    out += label;
    out.append(16 - std::string(label).size(), ' ');
    out += text + '\n';
  };
  line("file", Printable(path));
  line("format",
       std::string(FormatName(header.Format)) + " (version byte " + Hex(header.Version) + ")");
  std::string records =
      std::to_string(counts.Live) + " live, " + std::to_string(counts.Deleted) + " deleted";
  if (table.IsTruncated()) {
    records +=
        "; the header counts " + std::to_string(header.RecordCount) + ", the file holds only these";
  }
  line("records", records);
  const std::string date = DateText(header);
  line("last update", date.empty() ? "none (the header holds no date)" : date);
  line("code page", std::to_string(table.CodePage().Number()) + ", from " + CodePageOrigin(table));
  line("table flags", Hex(header.TableFlags));
  if (!header.Backlink.empty()) line("database", Printable(header.Backlink));
  line("header length", std::to_string(header.HeaderLength) + " bytes");
  line("record length", std::to_string(header.RecordLength) + " bytes");
  if (!header.HasMemoFields()) {
    line("memo file", "none");
  } else if (table.IsMemoMissing()) {
    line("memo file", "missing: memo values read as Null");
  } else {
    const uint32_t block = table.MemoBlockSize();
    line("memo file", Printable(table.MemoPath()) + ", " +
                          (block == 0 ? std::string("no usable block size")
                                      : std::to_string(block) + "-byte blocks"));
  }
  if (!index) {
    line("index file", "none");
  } else {
    std::string tags;
    for (const std::string& tag : index->Tags)
      tags += (tags.empty() ? "" : ", ") + Printable(tag);
    line("index file", Printable(index->Path) + ", tags: " +
                           (index->Problem.empty() ? (tags.empty() ? "none" : tags)
                                                   : "not listed (" + index->Problem + ")"));
  }
  line("fields", std::to_string(header.Fields.size()));
  std::vector<std::string> names;
  size_t width = 4;
  for (const std::string& name : table.FieldNames()) {
    names.push_back(Printable(name));
    width = std::max(width, Width(names.back()));
  }
  const auto field = [&](const std::string& name, const std::string& type,
                         const std::string& length, const std::string& decimals,
                         const std::string& flags) {
    std::string row = "  " + name + std::string(width - Width(name) + 2, ' ') + type;
    row += std::string(6 - type.size(), ' ') +
           std::string(5 - std::min<size_t>(5, length.size()), ' ') + length +
           std::string(10 - std::min<size_t>(10, decimals.size()), ' ') + decimals;
    if (!flags.empty()) row += "  " + flags;
    out += row + '\n';
  };
  field("name", "type", "width", "decimals", "flags");
  for (size_t f = 0; f < header.Fields.size(); ++f) {
    const TDbfField& d = header.Fields[f];
    std::string flags;
    if (d.Flags != 0) flags = Hex(d.Flags) + (FlagWords(d).empty() ? "" : " " + FlagWords(d));
    field(names[f], Printable(std::string(1, d.Type)), std::to_string(d.Length),
          std::to_string(d.Decimals), flags);
  }
  return out;
}

}  // namespace

std::string CodePageOrigin(const TDbfTable& table) {
  const TDbfHeader& header = table.Header();
  switch (table.CodePageSource()) {
    case TCodePageSource::Override:
      return "--codepage";
    case TCodePageSource::Mark:
      return "the header's code page byte " + Hex(header.CodePageMark);
    case TCodePageSource::LanguageDriver:
      return "the language driver " + Printable(header.LanguageDriver);
    case TCodePageSource::Default:
      break;
  }
  const std::string locale = LocaleNameFromEnvironment();
  return "the locale" + (locale.empty() ? std::string(" (none set)") : " " + Printable(locale)) +
         ", as the header's code page byte " + Hex(header.CodePageMark) + " names none";
}

std::string TableInfo(TDbfTable& table, const std::string& path, bool json) {
  const TCounts counts = CountRecords(table);
  const std::optional<TIndexInfo> index = IndexOf(table);
  return json ? JsonInfo(table, path, counts, index) : TextInfo(table, path, counts, index);
}

}  // namespace lumbra
