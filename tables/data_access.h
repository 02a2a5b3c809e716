// The data-access objects a window holds: a connection, a table over it with
// its fields, a data source that links the table to a grid, and a command.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fields/field_defs.h"
#include "fields/fields.h"
#include "fields/grid_model.h"
#include "fields/regional_settings.h"
#include "provider/provider.h"

namespace lumbra {

class TADOConnection {
 public:
  explicit TADOConnection(std::string name) : FName(std::move(name)) {}

  const std::string& Name() const { return FName; }
  // Handed to the provider only when it differs from the current one; a
  // different text disconnects first.
  void SetConnectionString(const std::string& text);
  const std::string& ConnectionString() const { return FProvider.ConnectionString(); }
  // Throws what the provider throws; the connection then stays disconnected.
  void Open();
  void Close() { FProvider.Close(); }
  bool Connected() const { return FProvider.Connected(); }
  TProviderConnection& Provider() { return FProvider; }

 private:
  std::string FName;
  TProviderConnection FProvider;
};

class TADOTable {
 public:
  TADOTable(std::string name, TADOConnection& connection, const TRegionalSettings& settings)
      : FName(std::move(name)), FConnection(connection), FSettings(settings) {}

  const std::string& Name() const { return FName; }
  TADOConnection& Connection() { return FConnection; }

  // Settings kept across closing and reopening.
  std::string TableName;
  std::string Filter;
  bool Filtered = false;
  std::string IndexFieldNames;

  // Connects the connection when it is not connected, opens the table by
  // name, builds its field definitions and fields, sets the sort (";" read
  // as ",") and then, when Filtered is on, a non-empty Filter on the record
  // set, and stands on the first record. Doing nothing when open. Throws
  // EDatabaseError "<Name>: Field '<name>' not found" when a column of the
  // sort, as the record set gives the sort back with " DESC", " ASC", "[" and
  // "]" taken out, is no field; otherwise what the provider throws. On
  // failure the table stays closed.
  void Open();
  // Destroys the fields and releases the record set. Nothing when closed.
  void Close();
  bool Active() const { return FRecordset != nullptr; }

  // Navigation and state; each requires Active().
  void First();
  void Next();
  void Last();
  bool Eof() const;
  bool Bof() const;
  int32_t RecordCount();
  // 1-based number of the current record, 0 when there is none.
  int32_t RecNo() const;
  void SetRecNo(int32_t recNo);

  const TFieldDefs& FieldDefs() const { return FFieldDefs; }
  const TFields& Fields() const { return FFields; }
  // The field named name ignoring letter case, or nullptr.
  TField* FindField(std::string_view name) const;
  // Moves the field at from to position to in the field list.
  void MoveField(size_t from, size_t to);
  TProviderRecordset* Recordset() { return FRecordset.get(); }

  // Called after every open and close, so views can rebuild.
  std::function<void()> OnStateChange;

 private:
  void RequireActive() const;
  std::string NameForProvider() const;

  std::string FName;
  TADOConnection& FConnection;
  const TRegionalSettings& FSettings;
  std::unique_ptr<TProviderRecordset> FRecordset;
  TFieldDefs FFieldDefs;
  TFields FFields;
  bool FNestedView = false;
};

// A command on a connection: its text is executed as a plain text command
// without parameters, and what the execution returns is not used.
class TADOCommand {
 public:
  TADOCommand(std::string name, TADOConnection& connection)
      : FName(std::move(name)), FConnection(connection) {}

  const std::string& Name() const { return FName; }
  TADOConnection& Connection() { return FConnection; }

  std::string CommandText;

  // Executes CommandText on the connection. Throws what the provider throws
  // (a connection that is not connected included).
  void Execute() { FConnection.Provider().Execute(CommandText); }

 private:
  std::string FName;
  TADOConnection& FConnection;
};

// The switch between a table and its grid: while disabled the grid is detached.
class TDataSource : public IGridDataLink {
 public:
  explicit TDataSource(TADOTable& dataSet) : FDataSet(dataSet) {}

  TADOTable& DataSet() { return FDataSet; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled);

  // Called when Enabled changes.
  std::function<void()> OnStateChange;

  bool LinkActive() const override { return FEnabled && FDataSet.Active(); }
  const TFields& LinkFields() const override { return FDataSet.Fields(); }
  int32_t LinkRecordCount() override { return FDataSet.RecordCount(); }
  // Past the last record the current record is still the last one: after a
  // walk to the end the grid shows its arrow there.
  int32_t LinkRecNo() const override {
    return FDataSet.Eof() && !FDataSet.Bof() ? FDataSet.RecordCount() : FDataSet.RecNo();
  }
  void LinkSetRecNo(int32_t recNo) override { FDataSet.SetRecNo(recNo); }
  bool LinkFiltered() const override { return FDataSet.Filtered; }
  void LinkMoveField(size_t from, size_t to) override { FDataSet.MoveField(from, to); }

 private:
  TADOTable& FDataSet;
  bool FEnabled = true;
};

}  // namespace lumbra
