#include "provider/provider.h"

#include <sys/stat.h>

#include <algorithm>

#include "base/shortcuts.h"
#include "base/text.h"
#include "dbf/dbf_error.h"
#include "dbf/filter_expression.h"
#include "dbf/pack.h"
#include "dbf/sort_order.h"
#include "provider/connection_string.h"

namespace lumbra {

namespace {

constexpr const char* kAutoIncrementProperty = "ISAUTOINCREMENT";

bool IsVisualFoxPro(const TDbfTable& table) {
  return table.Header().Format == TDbfFormat::VisualFoxPro;
}

TColumn DescribeColumn(const TDbfTable& table, size_t index) {
  const TDbfField& f = table.Fields()[index];
  TColumn c;
  c.Name = table.FieldNames()[index];
  bool fixed = true;
  switch (f.Kind) {
    case TFieldKind::Character:
      c.Type = f.Binary ? adBinary : adChar;
      c.DefinedSize = static_cast<int32_t>(f.Length);
      break;
    case TFieldKind::Varchar:
      c.Type = f.Binary ? adVarBinary : adVarChar;
      c.DefinedSize = static_cast<int32_t>(f.Length);
      fixed = false;
      break;
    case TFieldKind::Numeric:
      c.Type = adNumeric;
      c.DefinedSize = static_cast<int32_t>(f.Length);
      c.Precision = static_cast<uint8_t>(std::min<uint32_t>(f.Length, 255));
      c.NumericScale = f.Decimals;
      break;
    case TFieldKind::Integer:
      c.Type = f.OddWidth ? adBinary : adInteger;
      c.DefinedSize = 4;
      c.Precision = 10;
      break;
    case TFieldKind::Double:
      c.Type = adDouble;
      c.DefinedSize = 8;
      c.Precision = 15;
      break;
    case TFieldKind::Currency:
      c.Type = adCurrency;
      c.DefinedSize = 8;
      c.Precision = 19;
      c.NumericScale = 4;
      break;
    case TFieldKind::Date:
      c.Type = adDBDate;
      break;
    case TFieldKind::DateTime:
      c.Type = adDBTimeStamp;
      break;
    case TFieldKind::Logical:
      c.Type = adBoolean;
      break;
    case TFieldKind::Memo:
      c.Type = f.Binary ? adLongVarBinary : adLongVarChar;
      fixed = false;
      break;
    case TFieldKind::NullFlags:
    case TFieldKind::Unknown:
      // A type this provider does not know: its bytes as they are.
      c.Type = adBinary;
      c.DefinedSize = static_cast<int32_t>(f.Length);
      break;
  }
  const bool autoIncrement = f.AutoIncrement && c.Type == adInteger;
  if (fixed) c.Attributes |= adFldFixed;
  if (f.IsNullable() && IsVisualFoxPro(table)) c.Attributes |= adFldIsNullable | adFldMayBeNull;
  if (!autoIncrement) c.Attributes |= adFldUpdatable;
  c.Properties.push_back({kAutoIncrementProperty, Variant::FromBoolean(autoIncrement)});
  return c;
}

}  // namespace

const TColumnProperty* TColumn::FindProperty(std::string_view name) const {
  for (auto it = Properties.rbegin(); it != Properties.rend(); ++it) {
    if (it->Name == name) return &*it;
  }
  return nullptr;
}

std::vector<TColumn> DescribeColumns(const TDbfTable& table) {
  std::vector<TColumn> columns;
  for (size_t i = 0; i < table.Fields().size(); ++i) {
    if (!table.Fields()[i].IsSystem()) columns.push_back(DescribeColumn(table, i));
  }
  return columns;
}

TProviderRecordset::TProviderRecordset(std::unique_ptr<TDbfTable> table)
    : FTable(std::move(table)), FCursor(*FTable), FColumns(DescribeColumns(*FTable)) {
  for (size_t i = 0; i < FTable->Fields().size(); ++i) {
    if (!FTable->Fields()[i].IsSystem()) FFieldOfColumn.push_back(i);
  }
  MoveFirst();
}

int32_t TProviderRecordset::RecordCount() {
  return static_cast<int32_t>(FCursor.Count());
}

void TProviderRecordset::Land() {
  if (FPosition < 0) FPosition = -1;
  FEof = FPosition < 0 ? !FCursor.Reaches(0) : !FCursor.Reaches(static_cast<uint32_t>(FPosition));
  if (FEof && FPosition >= 0) FPosition = FCursor.Count();
  FBof = FPosition < 0 || !FCursor.Reaches(0);
  ++FStamp;
}

void TProviderRecordset::MoveFirst() {
  FPosition = 0;
  Land();
}

void TProviderRecordset::MoveNext() {
  if (FEof)
    throw EDbfError(TDbfErrorKind::Refused,
                    "Either BOF or EOF is True, or the current record has been deleted.");
  ++FPosition;
  Land();
}

void TProviderRecordset::MovePrevious() {
  if (FBof)
    throw EDbfError(TDbfErrorKind::Refused,
                    "Either BOF or EOF is True, or the current record has been deleted.");
  --FPosition;
  Land();
}

void TProviderRecordset::MoveLast() {
  FPosition = static_cast<int64_t>(FCursor.Count()) - 1;
  Land();
}

int32_t TProviderRecordset::AbsolutePosition() const {
  return FBof || FEof ? 0 : static_cast<int32_t>(FPosition + 1);
}

uint32_t TProviderRecordset::RecordNumber() const {
  if (FBof || FEof) return 0;
  return FCursor.RecordAt(static_cast<uint32_t>(FPosition)) + 1;
}

void TProviderRecordset::SetAbsolutePosition(int32_t position) {
  if (position < 1 || !FCursor.Reaches(static_cast<uint32_t>(position - 1))) {
    throw EDbfError(TDbfErrorKind::Refused, "Record number " + std::to_string(position) +
                                                " is out of range (1 to " +
                                                std::to_string(FCursor.Count()) + ")");
  }
  FPosition = position - 1;
  Land();
}

const uint8_t* TProviderRecordset::CurrentRecord() {
  if (FBof || FEof) {
    throw EDbfError(TDbfErrorKind::Refused,
                    "Either BOF or EOF is True, or the current record has been deleted.");
  }
  // The bytes kept are the current record's while no move has been made and
  // the table's cache has read nothing over them (counting, a sort or a
  // filter read through it).
  if (FRecord == nullptr || FRecordStamp != FStamp || FRecordLoads != FTable->RecordLoads()) {
    FRecord = nullptr;  // none kept if the read throws
    FRecord = FTable->RecordAt(FCursor.RecordAt(static_cast<uint32_t>(FPosition)));
    FRecordStamp = FStamp;
    FRecordLoads = FTable->RecordLoads();
    if (kShortcuts && FCursor.HasOrder()) PrefetchAhead();
  }
  return FRecord;
}

bool TProviderRecordset::IsDeleted() {
  return TDbfTable::IsDeleted(CurrentRecord());
}

void TProviderRecordset::GetValue(size_t column, Variant& out) {
  const uint8_t* record = CurrentRecord();
  if (column >= FFieldOfColumn.size()) {
    throw EDbfError(TDbfErrorKind::Refused, "Column " + std::to_string(column) + " does not exist");
  }
  // The record bytes live in the table's cache; a memo read does not move them.
  FTable->DecodeField(record, FFieldOfColumn[column], out);
}

// In an explicit order the next records are scattered over the file, and
// each would wait on memory: the records a few steps ahead are asked for now,
// and the memos of the ones nearer still, whose record bytes have arrived.
void TProviderRecordset::PrefetchAhead() {
  constexpr uint32_t kRecordsAhead = 16;
  constexpr uint32_t kMemosAhead = 8;
  const auto position = static_cast<uint32_t>(FPosition);
  if (FCursor.Reaches(position + kRecordsAhead)) {
    FTable->Prefetch(FCursor.RecordAt(position + kRecordsAhead), false);
  }
  if (FCursor.Reaches(position + kMemosAhead)) {
    FTable->Prefetch(FCursor.RecordAt(position + kMemosAhead), true);
  }
}

Variant TProviderRecordset::Value(size_t column) {
  Variant v;
  GetValue(column, v);
  return v;
}

void TProviderRecordset::SetSort(const std::string& text) {
  const std::vector<TSortKey> keys = ParseSortText(text, *FTable);
  try {
    // Without a filter, file order needs no list of records.
    if (keys.empty() && FFilter.empty()) {
      FCursor.ClearOrder();
    } else {
      ApplySort(FCursor, keys);
    }
  } catch (...) {
    ShowEveryRecord();
    throw;
  }
  FSort = text;
  MoveFirst();
}

void TProviderRecordset::ShowEveryRecord() {
  FCursor.ClearOrder();
  FSort.clear();
  FFilter.clear();
  MoveFirst();
}

void TProviderRecordset::SetFilter(const std::string& text) {
  std::unique_ptr<TFilterExpression> filter;
  if (!text.empty()) filter = std::make_unique<TFilterExpression>(text, *FTable);
  try {
    // A new filter replaces the one in force: back to the sorted records.
    if (!FFilter.empty()) {
      FCursor.ClearOrder();
      ApplySort(FCursor, ParseSortText(FSort, *FTable));
    }
    if (filter != nullptr) ApplyFilter(FCursor, *filter);
  } catch (...) {
    ShowEveryRecord();
    throw;
  }
  FFilter = text;
  MoveFirst();
}

void TProviderConnection::Open() {
  if (FConnected) return;
  const TConnectionAttributes attributes = ParseConnectionString(FConnectionString);
  const std::string* provider = FindAttribute(attributes, "Provider");
  if (provider != nullptr && !provider->empty() &&
      !EqualsIgnoringAsciiCase(provider->substr(0, 8), "VFPOLEDB")) {
    throw EDbfError(TDbfErrorKind::NotFound,
                    "Provider cannot be found. It may not be properly installed.");
  }
  const std::string* source = FindAttribute(attributes, "Data Source");
  std::string folder = source == nullptr ? std::string() : *source;
  if (!folder.empty()) {
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      throw EDbfError(TDbfErrorKind::NotFound,
                      "Invalid path or file name: folder '" + folder + "' does not exist.");
    }
    if (folder.back() != '/') folder.push_back('/');
  }
  const std::string* exclusive = FindAttribute(attributes, "Exclusive");
  FExclusive = exclusive != nullptr && (EqualsIgnoringAsciiCase(*exclusive, "ON") ||
                                        EqualsIgnoringAsciiCase(*exclusive, "YES") ||
                                        EqualsIgnoringAsciiCase(*exclusive, "TRUE"));
  FFolder = std::move(folder);
  if (FExclusive && !FBoundPath.empty()) {
    try {
      LockTable(FBoundPath);
    } catch (...) {
      FFolder.clear();
      FExclusive = false;
      FLocks.clear();
      throw;
    }
  }
  FConnected = true;
}

void TProviderConnection::BindTable(std::string name, std::string path) {
  FBoundName = std::move(name);
  FBoundPath = std::move(path);
}

void TProviderConnection::Close() {
  FConnected = false;
  FFolder.clear();
  FExclusive = false;
  FLocks.clear();
}

std::string TProviderConnection::PathOfTable(std::string_view name) const {
  if (!FConnected)
    throw EDbfError(TDbfErrorKind::Refused, "Operation is not allowed when the object is closed.");
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
    name = name.substr(1, name.size() - 2);
  }
  if (name.empty()) throw EDbfError(TDbfErrorKind::Refused, "Table name is empty.");
  if (!FBoundPath.empty() && name == FBoundName) {
    if (const auto kind = NonRegularKind(FBoundPath)) {
      throw EDbfError(TDbfErrorKind::Unsupported,
                      "File '" + FBoundPath + "' is " + *kind + ", not a table file.");
    }
    struct stat st;
    if (::stat(FBoundPath.c_str(), &st) != 0) {
      throw EDbfError(TDbfErrorKind::NotFound, "File '" + FBoundPath + "' does not exist.");
    }
    return FBoundPath;
  }
  std::optional<std::string> path = FindFileIgnoringCase(FFolder, std::string(name) + ".dbf");
  // A name that carries its own extension names the file itself.
  if (!path && name.find('.') != std::string_view::npos) path = FindFileIgnoringCase(FFolder, name);
  if (!path) {
    // A name that is there but no file says what it is instead.
    std::vector<std::string> candidates = {FFolder + std::string(name) + ".dbf"};
    if (name.find('.') != std::string_view::npos) candidates.push_back(FFolder + std::string(name));
    for (const std::string& candidate : candidates) {
      if (const auto kind = NonRegularKind(candidate)) {
        throw EDbfError(TDbfErrorKind::Unsupported,
                        "File '" + candidate + "' is " + *kind + ", not a table file.");
      }
    }
    throw EDbfError(TDbfErrorKind::NotFound,
                    "File '" + FFolder + std::string(name) + ".dbf' does not exist.");
  }
  return *path;
}

TTableLock& TProviderConnection::LockTable(const std::string& path) const {
  std::shared_ptr<TTableLock> lock = TTableLock::Share(path);
  if (std::find(FLocks.begin(), FLocks.end(), lock) == FLocks.end()) FLocks.push_back(lock);
  return *lock;
}

std::unique_ptr<TProviderRecordset> TProviderConnection::OpenTable(std::string_view name) const {
  const std::string path = PathOfTable(name);
  if (FExclusive) LockTable(path);
  return std::make_unique<TProviderRecordset>(TDbfTable::Open(path, FOptions));
}

void TProviderConnection::Execute(std::string_view text) {
  // Splits off the first word, ignoring blanks around it.
  auto word = [](std::string_view& rest) {
    const size_t start = rest.find_first_not_of(" \t\r\n");
    rest.remove_prefix(start == std::string_view::npos ? rest.size() : start);
    const size_t end = std::min(rest.find_first_of(" \t\r\n"), rest.size());
    const std::string_view first = rest.substr(0, end);
    rest.remove_prefix(end);
    return first;
  };
  std::string_view rest = text;
  const std::string_view verb = word(rest);
  const bool isDelete = EqualsIgnoringAsciiCase(verb, "DELETE");
  if (isDelete && !EqualsIgnoringAsciiCase(word(rest), "FROM")) {
    throw EDbfError(TDbfErrorKind::Syntax, "Command contains unrecognized phrase/keyword.");
  }
  if (!isDelete && !EqualsIgnoringAsciiCase(verb, "PACK")) {
    throw EDbfError(TDbfErrorKind::Syntax, "Unrecognized command verb.");
  }
  const size_t start = rest.find_first_not_of(" \t\r\n");
  const size_t end = rest.find_last_not_of(" \t\r\n");
  const std::string_view name =
      start == std::string_view::npos ? std::string_view() : rest.substr(start, end - start + 1);
  const std::string path = PathOfTable(name);
  if (!FExclusive) throw EDbfError(TDbfErrorKind::Refused, "File must be opened exclusively.");
  TTableLock& lock = LockTable(path);
  if (isDelete) {
    FFileSystem != nullptr ? DeleteAllRecords(lock, *FFileSystem) : DeleteAllRecords(lock);
  } else if (FFileSystem != nullptr) {
    PackTable(lock, *FFileSystem);
  } else {
    PackTable(lock);
  }
}

}  // namespace lumbra
