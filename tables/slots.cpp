#include "tables/slots.h"

#include <sys/stat.h>

#include "base/exception.h"

namespace lumbra {

std::string TableNameOfPath(const std::string& path) {
  const std::string fileName = path.substr(FolderOf(path).size());
  const size_t dot = fileName.find('.');
  return dot == std::string::npos ? std::string() : fileName.substr(0, dot);
}

std::string NormalConnectionString(const std::string& folder) {
  return "Provider=VFPOLEDB.1;Data Source=" + folder + ";Password=\"\";Collating Sequence=MACHINE";
}

std::string ExclusiveConnectionString(const std::string& folder) {
  return NormalConnectionString(folder) + ";Exclusive=ON;Mode=Share Deny None";
}

TTableSlots::TTableSlots(ISlotView& view, const TRegionalSettings& settings)
    : AT("AT", Conn, settings), AT2("AT2", Conn2, settings), FView(view) {}

void TTableSlots::OpenInto(TADOConnection& connection, TADOTable& table, const std::string& path) {
  table.Close();
  connection.Close();
  connection.SetConnectionString(NormalConnectionString(FolderOf(path)));
  connection.Open();
  table.TableName = TableNameOf(path);
  connection.Provider().BindTable(table.TableName, path);
  table.Open();
}

void TTableSlots::DeschideDbf1(const std::string& path) {
  OpenInto(Conn, AT, path);
  FView.SetWindowCaption(AT.TableName + " - " + path);
  FView.SetApplicationTitle(AT.TableName);
  FView.SetTabCaption(1, AT.TableName);
  FFisierDbf1 = path;
}

void TTableSlots::DeschideDbf2(const std::string& path) {
  OpenInto(Conn2, AT2, path);
  FView.SetWindowCaption(AT2.TableName + " - " + path);
  FView.SetApplicationTitle(AT2.TableName);
  FView.SetTabCaption(2, AT2.TableName);
}

void TTableSlots::Filtreaza(const std::string& text,
                            const std::function<void(const Exception&)>& showError) {
  AT.Close();
  AT.Filter = text;
  AT.Filtered = true;
  try {
    AT.Open();
  } catch (const Exception& e) {
    showError(e);
    AT.Close();
    AT.Filter.clear();
    AT.Filtered = false;
    AT.Open();
  }
}

void TTableSlots::SorteazaDupa(const std::string& text) {
  AT.Close();
  AT.IndexFieldNames = text;
  AT.Open();
}

void TTableSlots::GolesteBaza() {
  const std::string path = FFisierDbf1;
  if (!AT.Active()) {
    throw Exception("Deschide tabele si abia apoi lanseaza comanda \"Goleste Baza\"");
  }
  if (path.empty()) throw Exception("Nu cunosc numele fisierului");
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
    throw Exception("\"" + path + "\" nu exista");
  }
  AT.Close();
  Conn.Close();
  Conn.SetConnectionString(ExclusiveConnectionString(FolderOf(path)));
  // Never bracketed, even with a blank in it.
  const std::string name = TableNameOf(path);
  Conn.Provider().BindTable(name, path);
  Conn.Open();
  // Kept until the emptying ends, so nothing can take the table between
  // the two commands while Conn reconnects.
  const std::vector<std::shared_ptr<TTableLock>> locks = Conn.Provider().Locks();
  DataSource1.SetEnabled(false);
  try {
    C1.CommandText = "DELETE FROM " + name;
    C1.Execute();
    Conn.Close();
    Conn.Open();
    C1.CommandText = "Pack " + name;
    C1.Execute();
  } catch (...) {
    DataSource1.SetEnabled(true);
    throw;
  }
  DataSource1.SetEnabled(true);
  DeschideDbf1(FFisierDbf1);
}

}  // namespace lumbra
