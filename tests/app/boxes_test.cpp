// The message box and the error box: the full-stop rule, the message box's
// layout and its Ctrl+C text, and the dialog built from them.
#include "app/boxes.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPushButton>

#include "app/info_box.h"

namespace lumbra {
namespace {

TEST(ErrorBoxText, AddsAFullStopAfterCharactersAboveTheFullStop) {
  struct TCase {
    const char* Message;
    const char* Shown;
  };
  const TCase cases[] = {
      {"Nu cunosc numele fisierului", "Nu cunosc numele fisierului."},
      {"AT: Missing TableName property", "AT: Missing TableName property."},
      {"Ce?", "Ce?."},
      {"Field 'X' not found:", "Field 'X' not found:."},
      {"Error 42", "Error 42."},
      {"Fi\xC8\x99ier", "Fi\xC8\x99ier."},  // ends in "ș"
      {"", ""},
      {"Already ended.", "Already ended."},
      {"Stop!", "Stop!"},
      {"Text \"quoted\"", "Text \"quoted\""},
      {"(in brackets)", "(in brackets)"},
      {"one,", "one,"},
      {"dash-", "dash-"},
      {"trailing blank ", "trailing blank "},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(ErrorBoxText(c.Message), c.Shown) << "message: " << c.Message;
  }
}

TEST(InfoBoxClipboardText, FramesCaptionTextAndButtonWithHyphens) {
  const std::string hyphens = "---------------------------\r\n";
  EXPECT_EQ(InfoBoxClipboardText("Lumbra", "Oare ce-ar trebui sa faca aceasta comanda?????"),
            hyphens + "Lumbra\r\n" + hyphens +
                "Oare ce-ar trebui sa faca aceasta comanda?????\r\n" + hyphens + "OK   \r\n" +
                hyphens);
}

TEST(ApplicationErrorText, NamesTheClassAndModuleAndEndsTheMessageWithAFullStop) {
  EXPECT_EQ(ApplicationErrorText("EDatabaseError", "lumbra", "Cannot create Conn"),
            "Exception EDatabaseError in module lumbra at 0000000000000000.\r\n"
            "Cannot create Conn.\r\n");
  // Unlike the error box, every ending but "." gets one.
  EXPECT_EQ(ApplicationErrorText("Exception", "lumbra", "Done!"),
            "Exception Exception in module lumbra at 0000000000000000.\r\nDone!.\r\n");
  EXPECT_EQ(ApplicationErrorText("Exception", "lumbra", "Ended."),
            "Exception Exception in module lumbra at 0000000000000000.\r\nEnded.\r\n");
  EXPECT_EQ(ApplicationErrorText("Exception", "lumbra", ""),
            "Exception Exception in module lumbra at 0000000000000000.\r\n\r\n");
}

TEST(LayOutInfoBox, PlacesTextAndButtonFromTheFontsMeasurements) {
  struct TCase {
    const char* Name;
    TInfoBoxMetrics Metrics;
    TInfoBoxLayout Layout;
  };
  const TCase cases[] = {
      // Margins 12 and 13, gap 16.25 -> 16, button 22.75 -> 23 high and 75 wide.
      {"text wider than the button",
       {6, 13, 300, 26, 14},
       {324, 91, {12, 13, 300, 26}, {124, 55, 75, 23}}},
      // Margin 14, button 87.5 -> 88 wide; gap 15, button 21 high.
      {"button wider than the text",
       {7, 12, 40, 12, 14},
       {116, 72, {14, 12, 40, 12}, {14, 39, 88, 21}}},
      {"button fits a long caption",
       {4, 10, 20, 10, 60},
       {84, 61, {8, 10, 20, 10}, {8, 33, 68, 18}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TInfoBoxLayout layout = LayOutInfoBox(c.Metrics);
    EXPECT_EQ(layout.ClientWidth, c.Layout.ClientWidth);
    EXPECT_EQ(layout.ClientHeight, c.Layout.ClientHeight);
    EXPECT_EQ(layout.Text, c.Layout.Text);
    EXPECT_EQ(layout.Button, c.Layout.Button);
  }
}

TEST(InfoBox, IsLaidOutFromItsOwnFont) {
  const QString text = "Oare ce-ar trebui sa faca aceasta comanda?????";
  TInfoBox box("Lumbra", text);
  const TInfoBoxLayout expected = LayOutInfoBox(TInfoBox::Measure(
      TInfoBox::MessageFont(), text, QGuiApplication::primaryScreen()->size().width()));
  EXPECT_EQ(box.windowTitle(), "Lumbra");
  EXPECT_EQ(box.size(), QSize(expected.ClientWidth, expected.ClientHeight));
  EXPECT_EQ(box.minimumSize(), box.maximumSize()) << "fixed size";

  const QList<QPushButton*> buttons = box.findChildren<QPushButton*>();
  ASSERT_EQ(buttons.size(), 1);
  EXPECT_EQ(buttons[0]->text(), "OK");
  EXPECT_TRUE(buttons[0]->isDefault());
  EXPECT_EQ(buttons[0]->geometry(), QRect(expected.Button.X, expected.Button.Y,
                                          expected.Button.Width, expected.Button.Height));
}

TEST(InfoBox, WrapsLongTextAtHalfTheScreenWidth) {
  const int screenWidth = QGuiApplication::primaryScreen()->size().width();
  const TInfoBoxMetrics oneLine = TInfoBox::Measure(TInfoBox::MessageFont(), "cuvant", screenWidth);
  const TInfoBoxMetrics wrapped =
      TInfoBox::Measure(TInfoBox::MessageFont(), QString("cuvant ").repeated(200), screenWidth);
  EXPECT_LE(wrapped.TextWidth, screenWidth / 2);
  EXPECT_GT(wrapped.TextHeight, 3 * oneLine.TextHeight);
  EXPECT_EQ(oneLine.TextHeight, oneLine.LineHeight);
}

TEST(InfoBox, CopiesItselfOnCtrlC) {
  TInfoBox box("Tablou", "Gata");
  QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
  QApplication::sendEvent(&box, &copy);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
            InfoBoxClipboardText("Tablou", "Gata"));
}

TEST(InfoBox, EnterAcceptsAndEscapeCloses) {
  TInfoBox box("Lumbra", "Gata");
  box.show();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&box, &escape);
  EXPECT_FALSE(box.isVisible());
  EXPECT_EQ(box.result(), QDialog::Rejected);

  box.show();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(&box, &enter);
  EXPECT_FALSE(box.isVisible());
  EXPECT_EQ(box.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace lumbra
