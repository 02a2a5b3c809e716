#include "tables/slots.h"

namespace lumbra {

std::string FolderOfPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string TableNameOfPath(const std::string& path) {
  const std::string fileName = path.substr(FolderOfPath(path).size());
  const size_t dot = fileName.find('.');
  return dot == std::string::npos ? std::string() : fileName.substr(0, dot);
}

std::string NormalConnectionString(const std::string& folder) {
  return "Provider=VFPOLEDB.1;Data Source=" + folder + ";Password=\"\";Collating Sequence=MACHINE";
}

TTableSlots::TTableSlots(ISlotView& view, const TRegionalSettings& settings)
    : AT("AT", Conn, settings), AT2("AT2", Conn2, settings), FView(view) {}

void TTableSlots::OpenInto(TADOConnection& connection, TADOTable& table, const std::string& path) {
  table.Close();
  connection.Close();
  connection.SetConnectionString(NormalConnectionString(FolderOfPath(path)));
  connection.Open();
  table.TableName = TableNameOfPath(path);
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

}  // namespace lumbra
