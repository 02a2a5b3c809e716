// The file-open dialog component: its settings live between runs, the Qt
// dialog only while it is open.
#pragma once

#include <QString>
#include <QStringList>

#include "app/application.h"

class QWidget;

namespace lumbra {

class TOpenDialog {
 public:
  // Pairs of description and patterns separated by "|", patterns by ";".
  QString Filter;
  // The file chosen last; offered again the next time.
  QString FileName;

  // Runs the dialog over parent through ui. On a choice, FileName becomes its
  // full path and the result is true; a cancelled dialog changes nothing.
  bool Execute(IModalUi& ui, QWidget* parent);

  // Filter as Qt name filters: "DBF-uri|*.dbf" gives "DBF-uri (*.dbf)".
  static QStringList NameFiltersOf(const QString& filter);
};

}  // namespace lumbra
