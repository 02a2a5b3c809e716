#include "app/open_dialog.h"

#include <QFileDialog>

namespace lumbra {

QStringList TOpenDialog::NameFiltersOf(const QString& filter) {
  const QStringList parts = filter.split('|');
  QStringList result;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    result << parts[i] + " (" + parts[i + 1].split(';').join(' ') + ")";
  }
  return result;
}

bool TOpenDialog::Execute(IModalUi& ui, QWidget* parent) {
  QFileDialog dialog(parent);
  dialog.setObjectName("OpenDialog1");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // One file, which need not exist: a name typed by hand goes to the table
  // provider, which reports what is wrong with it.
  dialog.setFileMode(QFileDialog::AnyFile);
  // Qt's own dialog, because it matches name filters ignoring letter case on
  // every platform, so "*.dbf" also shows CLIENTI.DBF.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilters(NameFiltersOf(Filter));
  if (!FileName.isEmpty()) dialog.selectFile(FileName);
  if (!ui.RunOpenDialog(dialog)) return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return false;
  FileName = chosen.front();
  return true;
}

}  // namespace lumbra
