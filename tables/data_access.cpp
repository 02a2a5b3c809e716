#include "tables/data_access.h"

#include <algorithm>

#include "base/exception.h"

namespace lumbra {

namespace {

void RemoveAll(std::string& text, std::string_view part) {
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at))
    text.erase(at, part.size());
}

// The table's sort, then its filter, set on its freshly opened record set.
void ApplySortAndFilter(TADOTable& table) {
  TProviderRecordset& recordset = *table.Recordset();
  if (!table.IndexFieldNames.empty()) {
    std::string sort = table.IndexFieldNames;
    std::replace(sort.begin(), sort.end(), ';', ',');
    recordset.SetSort(sort);
    // The sort's columns are looked up as the record set gives its sort back,
    // with the keywords taken out only in capitals: "a desc" stays one name
    // and is not found.
    std::string columns = recordset.Sort();
    std::replace(columns.begin(), columns.end(), ',', ';');
    for (const char* noise : {" DESC", " ASC", "[", "]"})
      RemoveAll(columns, noise);
    size_t start = 0;
    for (;;) {
      const size_t end = std::min(columns.find(';', start), columns.size());
      size_t first = start, last = end;
      while (first < last && static_cast<unsigned char>(columns[first]) < 33)
        ++first;
      while (last > first && static_cast<unsigned char>(columns[last - 1]) < 33)
        --last;
      const std::string name = columns.substr(first, last - first);
      if (table.FindField(name) == nullptr) {
        throw EDatabaseError(table.Name() + ": Field '" + name + "' not found");
      }
      if (end == columns.size()) break;
      start = end + 1;
    }
  }
  if (table.Filtered && !table.Filter.empty()) recordset.SetFilter(table.Filter);
}

}  // namespace

void TADOConnection::SetConnectionString(const std::string& text) {
  if (text == FProvider.ConnectionString()) return;
  FProvider.Close();
  FProvider.SetConnectionString(text);
}

void TADOConnection::Open() {
  try {
    FProvider.Open();
  } catch (...) {
    FProvider.Close();
    throw;
  }
}

std::string TADOTable::NameForProvider() const {
  // A name with a blank is bracketed; a ";" in it closes the bracket early.
  if (TableName.find(' ') == std::string::npos || TableName.rfind('[', 0) == 0) return TableName;
  const size_t semicolon = TableName.find(';');
  if (semicolon == std::string::npos) return "[" + TableName + "]";
  return "[" + TableName.substr(0, semicolon) + "]" + TableName.substr(semicolon);
}

void TADOTable::Open() {
  if (Active()) return;
  if (TableName.empty()) throw EDatabaseError(FName + ": Missing TableName property");
  try {
    if (!FConnection.Connected()) FConnection.Open();
    FRecordset = FConnection.Provider().OpenTable(NameForProvider());
    BuildFieldDefs(FRecordset->Columns(), true, FFieldDefs, FNestedView);
    FFields = CreateFieldsFromDefs(FFieldDefs, FNestedView, FRecordset.get(), FSettings);
    ApplySortAndFilter(*this);
    FRecordset->MoveFirst();
  } catch (...) {
    FFields.clear();
    FFieldDefs.Clear();
    FRecordset.reset();
    throw;
  }
  if (OnStateChange) OnStateChange();
}

void TADOTable::Close() {
  if (!Active()) return;
  FFields.clear();
  FFieldDefs.Clear();
  FRecordset.reset();
  if (OnStateChange) OnStateChange();
}

void TADOTable::RequireActive() const {
  if (!Active())
    throw EDatabaseError(FName + ": Cannot perform this operation on a closed dataset");
}

void TADOTable::First() {
  RequireActive();
  FRecordset->MoveFirst();
}

void TADOTable::Next() {
  RequireActive();
  if (!FRecordset->Eof()) FRecordset->MoveNext();
}

void TADOTable::Last() {
  RequireActive();
  FRecordset->MoveLast();
}

bool TADOTable::Eof() const {
  RequireActive();
  return FRecordset->Eof();
}

bool TADOTable::Bof() const {
  RequireActive();
  return FRecordset->Bof();
}

int32_t TADOTable::RecordCount() {
  RequireActive();
  return FRecordset->RecordCount();
}

int32_t TADOTable::RecNo() const {
  RequireActive();
  return FRecordset->AbsolutePosition();
}

void TADOTable::SetRecNo(int32_t recNo) {
  RequireActive();
  FRecordset->SetAbsolutePosition(recNo);
}

TField* TADOTable::FindField(std::string_view name) const {
  for (const auto& field : FFields) {
    if (SameNameIgnoringCase(field->FieldName(), name)) return field.get();
  }
  return nullptr;
}

void TADOTable::MoveField(size_t from, size_t to) {
  if (from >= FFields.size() || to >= FFields.size() || from == to) return;
  auto field = std::move(FFields[from]);
  FFields.erase(FFields.begin() + static_cast<std::ptrdiff_t>(from));
  FFields.insert(FFields.begin() + static_cast<std::ptrdiff_t>(to), std::move(field));
}

void TDataSource::SetEnabled(bool enabled) {
  if (enabled == FEnabled) return;
  FEnabled = enabled;
  if (OnStateChange) OnStateChange();
}

}  // namespace lumbra
