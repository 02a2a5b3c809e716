#include "app/memo_sink.h"

#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTextBlock>
#include <QTextCursor>

namespace lumbra {

namespace {

QString LineText(const std::string& text) {
  return QString::fromStdString(text).replace("\r\n", "\n");
}

}  // namespace

void TMemoLineSink::Clear() {
  FMemo.clear();
}

void TMemoLineSink::Append(const std::string& text) {
  QTextCursor cursor(FMemo.document());
  cursor.movePosition(QTextCursor::End);
  cursor.beginEditBlock();
  if (!cursor.block().text().isEmpty()) cursor.insertBlock();
  cursor.insertText(LineText(text));
  cursor.insertBlock();
  cursor.endEditBlock();
}

void TMemoLineSink::Assign(const TStringList& lines) {
  QString text;
  for (int32_t i = 0; i < lines.Count(); ++i) {
    text += LineText(lines.TextAt(i));
    text += '\n';
  }
  FMemo.setUpdatesEnabled(false);
  const auto enableUpdates = qScopeGuard([this] { FMemo.setUpdatesEnabled(true); });
  FMemo.setPlainText(text);
}

}  // namespace lumbra
