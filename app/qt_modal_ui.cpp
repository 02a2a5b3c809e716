#include "app/qt_modal_ui.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "app/info_box.h"

namespace lumbra {

namespace {

// A box shown while a command runs takes clicks: the arrow, not the busy
// cursor, stands over it.
class TArrowCursor {
 public:
  TArrowCursor() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
  ~TArrowCursor() { QApplication::restoreOverrideCursor(); }
  TArrowCursor(const TArrowCursor&) = delete;
  TArrowCursor& operator=(const TArrowCursor&) = delete;
};

}  // namespace

void TQtModalUi::PresentInfoBox(const QString& caption, const QString& text) {
  const TArrowCursor arrow;
  TInfoBox box(caption, text, QApplication::activeWindow());
  box.exec();
}

void TQtModalUi::PresentErrorBox(const QString& caption, const QString& text) {
  // Parented to the active window, so the box opens on that window's monitor
  // and every window of the program waits for it.
  const TArrowCursor arrow;
  QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok,
                  QApplication::activeWindow());
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

bool TQtModalUi::RunOpenDialog(QFileDialog& dialog) {
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace lumbra
