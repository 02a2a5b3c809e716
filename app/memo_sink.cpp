#include "app/memo_sink.h"

#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTextBlock>
#include <QTextCursor>

#include "base/progress.h"

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
    // The memo is not touched yet: a command stopped here leaves it as it was.
    if (i % kLinesPerBlock == 0) ReportProgress(1, 1);
    text += LineText(lines.TextAt(i));
    text += '\n';
  }
  // A block of its own for every line would cost the document more than the
  // whole report took to make (a large report has hundreds of thousands of
  // lines): the lines go in blocks of kLinesPerBlock, broken inside a block
  // by line separators, which show, wrap and copy as line breaks. The last
  // break stays a block's, so the caret stands on an empty last line.
  int inBlock = 0;
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '\n' && ++inBlock < kLinesPerBlock) {
      text[i] = QChar::LineSeparator;
    } else if (text[i] == '\n') {
      inBlock = 0;
    }
  }
  FMemo.setUpdatesEnabled(false);
  const auto enableUpdates = qScopeGuard([this] { FMemo.setUpdatesEnabled(true); });
  FMemo.setPlainText(text);
}

}  // namespace lumbra
