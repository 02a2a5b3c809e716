#include "app/qt_modal_ui.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "app/info_box.h"

namespace lumbra {

void TQtModalUi::PresentInfoBox(const QString& caption, const QString& text) {
  TInfoBox box(caption, text, QApplication::activeWindow());
  box.exec();
}

void TQtModalUi::PresentErrorBox(const QString& caption, const QString& text) {
  // Parented to the active window, so the box opens on that window's monitor
  // and every window of the program waits for it.
  QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok,
                  QApplication::activeWindow());
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

bool TQtModalUi::RunOpenDialog(QFileDialog& dialog) {
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace lumbra
