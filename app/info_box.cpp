#include "app/info_box.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace lumbra {

namespace {

constexpr int kTextFlags = Qt::TextWordWrap | Qt::TextExpandTabs;

// Paints the text with the same flags it was measured with, so the wrapping
// on screen is the wrapping the box was sized for.
class TInfoText final : public QWidget {
 public:
  TInfoText(const QString& text, QWidget* parent) : QWidget(parent), FText(text) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.drawText(rect(), kTextFlags, FText);
  }

 private:
  QString FText;
};

// The screen of the program's active window, else the primary screen.
QScreen* BoxScreen() {
  if (const QWidget* active = QApplication::activeWindow()) return active->screen();
  return QGuiApplication::primaryScreen();
}

}  // namespace

QFont TInfoBox::MessageFont() {
  return QApplication::font("QMessageBoxLabel");
}

TInfoBoxMetrics TInfoBox::Measure(const QFont& font, const QString& text, int screenWidth) {
  const QFontMetrics metrics(font);
  const QRect textRect =
      metrics.boundingRect(QRect(0, 0, screenWidth / 2, 0), kTextFlags | Qt::AlignLeft, text);
  TInfoBoxMetrics result;
  result.AverageCharWidth =
      metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 52;
  result.LineHeight = metrics.height();
  result.TextWidth = textRect.width();
  result.TextHeight = textRect.height();
  result.ButtonCaptionWidth = metrics.horizontalAdvance("OK");
  return result;
}

TInfoBox::TInfoBox(const QString& caption, const QString& text, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      FCaption(caption),
      FText(text) {
  setWindowTitle(caption);
  setFont(MessageFont());
  QScreen* screen = BoxScreen();
  // The text wraps at half the primary screen's width wherever the box stands.
  FLayout = LayOutInfoBox(Measure(font(), text, QGuiApplication::primaryScreen()->size().width()));

  auto* label = new TInfoText(text, this);
  label->setGeometry(FLayout.Text.X, FLayout.Text.Y, FLayout.Text.Width, FLayout.Text.Height);
  auto* button = new QPushButton("OK", this);
  button->setGeometry(FLayout.Button.X, FLayout.Button.Y, FLayout.Button.Width,
                      FLayout.Button.Height);
  // OK is the default button; Esc and the close box reject, which is the same.
  button->setDefault(true);
  connect(button, &QPushButton::clicked, this, &QDialog::accept);

  setFixedSize(FLayout.ClientWidth, FLayout.ClientHeight);
  const QRect available = screen->geometry();
  move(available.center() - rect().center());
}

void TInfoBox::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    QApplication::beep();
    QGuiApplication::clipboard()->setText(
        QString::fromStdString(InfoBoxClipboardText(FCaption.toStdString(), FText.toStdString())));
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace lumbra
