// The message box of ShowInfoBox: a fixed-size modal dialog with the text and
// one OK button, laid out by LayOutInfoBox, that copies itself on Ctrl+C.
#pragma once

#include <QDialog>
#include <QFont>
#include <QString>

#include "app/boxes.h"

class QPushButton;

namespace lumbra {

class TInfoBox final : public QDialog {
  Q_OBJECT

 public:
  TInfoBox(const QString& caption, const QString& text, QWidget* parent = nullptr);

  const TInfoBoxLayout& Layout() const { return FLayout; }
  // The font of the text and the button: the system's message font.
  static QFont MessageFont();
  // The measurements LayOutInfoBox needs for text in font, wrapped at half
  // of screenWidth.
  static TInfoBoxMetrics Measure(const QFont& font, const QString& text, int screenWidth);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QString FCaption;
  QString FText;
  TInfoBoxLayout FLayout;
};

}  // namespace lumbra
