// The two table slots of the main window and opening a file into one.
#pragma once

#include <functional>
#include <string>

#include "base/exception.h"
#include "base/text.h"
#include "fields/regional_settings.h"
#include "tables/data_access.h"

namespace lumbra {

// What a window shows of the slots: its caption, the application title and
// the slots' tab captions.
class ISlotView {
 public:
  virtual ~ISlotView() = default;
  virtual void SetWindowCaption(const std::string& caption) = 0;
  virtual void SetApplicationTitle(const std::string& title) = 0;
  // slot is 1 or 2.
  virtual void SetTabCaption(int slot, const std::string& caption) = 0;
};

// The table name of a path: its file name up to its first "."; "" when the
// file name has no ".".
std::string TableNameOfPath(const std::string& path);
// The connection string of a slot opened normally on folder.
std::string NormalConnectionString(const std::string& folder);
// The connection string for emptying a table in folder: the normal one with
// exclusive use asked for.
std::string ExclusiveConnectionString(const std::string& folder);

class TTableSlots {
 public:
  // view and settings must outlive the slots.
  TTableSlots(ISlotView& view, const TRegionalSettings& settings);

  TADOConnection Conn{"Conn"};
  TADOConnection Conn2{"Conn2"};
  TADOTable AT;
  TADOTable AT2;
  TDataSource DataSource1{AT};
  TDataSource DataSource2{AT2};
  TADOCommand C1{"C1", Conn};
  // The path last opened successfully into slot 1.
  std::string FFisierDbf1;
  // How a path's table name is worked out: the window's rule unless
  // replaced (lumbra-cli names a table by its whole file name).
  std::string (*TableNameOf)(const std::string& path) = TableNameOfPath;

  // Closes the slot, connects to the file's folder and opens the file's table
  // in it, then sets the captions (and, for slot 1, FFisierDbf1). The table
  // name is bound to path, so the slot reads that very file, not another one
  // of the folder that the name would find (a.b.dbf beside a.dbf, CASE.DBF
  // beside case.dbf). Throws on the first failing step, leaving the later
  // ones undone.
  void DeschideDbf1(const std::string& path);
  void DeschideDbf2(const std::string& path);

  // "Filtreaza": closes AT, sets its Filter to text with Filtered on, and
  // opens it again. When that open fails, whatever the reason, the error is
  // handed to showError, and AT is closed and opened once more with Filter
  // empty and Filtered off; an error of that open is thrown.
  void Filtreaza(const std::string& text, const std::function<void(const Exception&)>& showError);
  // "Sort by..": closes AT, sets its IndexFieldNames to text and opens it
  // again. Throws what the open throws; the sort list stays in force and AT
  // stays closed then.
  void SorteazaDupa(const std::string& text);

  // "Goleste Baza": deletes every record of the table last opened into slot 1
  // and packs it through Conn switched to the exclusive connection string,
  // with DataSource1 off meanwhile (on again whatever happens), then opens
  // the file into slot 1 again. The commands act on the file FFisierDbf1
  // names, locked from the exclusive connect until the emptying ends, across
  // the reconnect between the two commands. Throws Exception when slot 1 is not open,
  // when FFisierDbf1 is empty, or when no file is at FFisierDbf1 (nothing
  // changes then); afterwards throws what the connection, the commands or the
  // reopening throw, leaving slot 1 closed.
  void GolesteBaza();

 private:
  void OpenInto(TADOConnection& connection, TADOTable& table, const std::string& path);

  ISlotView& FView;
};

}  // namespace lumbra
