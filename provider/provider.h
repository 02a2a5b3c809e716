// The table provider: connections to a folder of tables, tables opened by name
// as read-only record sets with typed columns, over the dbf/ engine. Every
// failure throws EDbfError with the provider's own description.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/variant.h"
#include "dbf/cursor.h"
#include "dbf/lock.h"
#include "dbf/pack_io.h"
#include "dbf/table.h"
#include "provider/ado_types.h"

namespace lumbra {

struct TColumnProperty {
  std::string Name;
  Variant Value;
};

struct TColumn {
  std::string Name;
  int Type = adEmpty;  // a TDataType number
  int32_t DefinedSize = 0;
  uint8_t Precision = 0;
  uint8_t NumericScale = 0;
  uint32_t Attributes = 0;  // TColumnAttribute bits
  std::vector<TColumnProperty> Properties;

  // The property named name (letter case significant), searched from the
  // last property to the first; nullptr when there is none.
  const TColumnProperty* FindProperty(std::string_view name) const;
};

// Describes the table's visible columns (every field but system ones), in
// field order, as the provider reports them.
std::vector<TColumn> DescribeColumns(const TDbfTable& table);

class TProviderRecordset {
 public:
  // Takes the table; the record set fixes its visible records on first use.
  explicit TProviderRecordset(std::unique_ptr<TDbfTable> table);

  const std::vector<TColumn>& Columns() const { return FColumns; }
  TDbfTable& Table() { return *FTable; }

  int32_t RecordCount();
  bool Bof() const { return FBof; }
  bool Eof() const { return FEof; }
  void MoveFirst();
  void MoveNext();
  void MovePrevious();
  void MoveLast();
  // 1-based number of the current record; 0 when there is none (Bof or Eof).
  int32_t AbsolutePosition() const;
  // 1-based number of the current record in the table's file, whatever the
  // sort and filter; 0 when there is none (Bof or Eof).
  uint32_t RecordNumber() const;
  // Moves to the 1-based record number. Throws EDbfError outside 1..RecordCount().
  void SetAbsolutePosition(int32_t position);

  // Changes whenever the current record does, so readers can keep a value
  // until the record moves.
  uint64_t RecordStamp() const { return FStamp; }

  // The current record's value of column. Requires a current record.
  void GetValue(size_t column, Variant& out);
  // Whether the current record is marked deleted, which only a table opened
  // to show deleted records shows. Requires a current record.
  bool IsDeleted();
  Variant Value(size_t column);

  // The sort text exactly as last set; "" at first. Setting it orders the
  // records by the columns it names (dbf/sort_order.h), "" giving file order;
  // the filter in force stays in force. Moves to the first record. Throws
  // EDbfError for a text that does not fit the table, which changes nothing.
  const std::string& Sort() const { return FSort; }
  void SetSort(const std::string& text);
  // The filter text exactly as last set; "" at first. Setting it keeps only
  // the records the condition holds for (dbf/filter_expression.h), in the
  // sort's order, instead of those of the filter in force; "" removes the
  // filter. Moves to the first record. Throws EDbfError for a text that does
  // not parse or fit the table, which changes nothing.
  // Either setter throws EDbfError as well when the file cannot be read; the
  // record set then shows every record in file order, with no sort and no
  // filter.
  const std::string& Filter() const { return FFilter; }
  void SetFilter(const std::string& text);

 private:
  void Land();  // sets Bof/Eof after a move
  // After a failed sort or filter: every record in file order, no sort, no filter.
  void ShowEveryRecord();
  void PrefetchAhead();
  // The current record's bytes. Requires a current record.
  const uint8_t* CurrentRecord();

  std::unique_ptr<TDbfTable> FTable;
  TDbfCursor FCursor;
  std::vector<TColumn> FColumns;
  std::vector<size_t> FFieldOfColumn;  // index into the table's fields
  int64_t FPosition = 0;               // 0-based; -1 before the first, Count at the end
  bool FBof = true;
  bool FEof = true;
  // The current record's bytes as the table lent them, with the record stamp
  // and the table's record generation they were read under.
  const uint8_t* FRecord = nullptr;
  uint64_t FRecordStamp = 0;
  uint64_t FRecordLoads = 0;
  uint64_t FStamp = 0;
  std::string FSort;
  std::string FFilter;
};

class TProviderConnection {
 public:
  // Stored as given; parsed when connecting.
  void SetConnectionString(std::string text) { FConnectionString = std::move(text); }
  const std::string& ConnectionString() const { return FConnectionString; }

  // Connects with the connection string: "Data Source" names the folder of
  // the tables ("" is the current folder); "Exclusive=ON" asks for exclusive
  // use, and locks the bound table (see BindTable) with its memo file and
  // index at once; other attributes are ignored. Throws EDbfError when the
  // folder does not exist or the bound table cannot be locked ("File is in
  // use by another program: <file>"); the connection stays disconnected then.
  // Connecting when connected does nothing.
  void Open();
  void Close();
  bool Connected() const { return FConnected; }
  // The folder tables are looked up in, "" or ending with "/".
  const std::string& Folder() const { return FFolder; }
  bool Exclusive() const { return FExclusive; }

  // From now on the table named name (exactly; "[name]" is unbracketed) is
  // the file at path, whatever other files of the folder the name would
  // find, until another binding replaces this one. Kept across Close().
  void BindTable(std::string name, std::string path);

  // Opens the table named name ("[name]" is unbracketed): the bound file
  // when name is the bound name, otherwise the file <name>.dbf in the folder,
  // matching letter case exactly first and then ignoring it. On an exclusive
  // connection the table is locked first (see Execute). Requires Connected().
  // Throws EDbfError.
  std::unique_ptr<TProviderRecordset> OpenTable(std::string_view name) const;

  // Executes a command text; nothing is returned. "DELETE FROM name" marks
  // every record of the table deleted, "PACK name" removes the deleted records
  // and compacts the table's files (dbf/pack.h). Keywords ignore letter case;
  // the name is the rest of the text, found as OpenTable finds it. Both need an
  // exclusive connection, which locks the table with its memo file and index
  // the first time a command or an open names it, and keeps them locked until
  // Close(), or, for a holder of Locks(), until the holder lets go as well.
  // Requires Connected(). Throws EDbfError, among them "File is in use by
  // another program: <file>".
  void Execute(std::string_view text);

  // The locks this connection holds. A caller that keeps them keeps the
  // tables locked across Close() and a new Open(), which takes the same locks.
  const std::vector<std::shared_ptr<TTableLock>>& Locks() const { return FLocks; }

  TDbfOpenOptions& Options() { return FOptions; }
  // The file system DELETE FROM and PACK write through; the real one unless
  // one is given here (it must outlive the connection's commands).
  void SetFileSystem(IPackIo* io) { FFileSystem = io; }

 private:
  std::string PathOfTable(std::string_view name) const;
  TTableLock& LockTable(const std::string& path) const;

  std::string FConnectionString;
  bool FConnected = false;
  std::string FFolder;
  bool FExclusive = false;
  TDbfOpenOptions FOptions;
  std::string FBoundName;
  std::string FBoundPath;
  IPackIo* FFileSystem = nullptr;
  // The exclusive connection's locks, one per table it has named.
  mutable std::vector<std::shared_ptr<TTableLock>> FLocks;
};

}  // namespace lumbra
