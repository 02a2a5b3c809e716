#include "app/memo_sink.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <memory>

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
  // The report is written into a document of its own, saying how far between
  // its blocks, so the window repaints and the user may stop it; only the
  // finished document takes the memo's place, which leaves the memo as it
  // was when the command stops on the way. A block of its own for every line
  // would cost the document more than the whole report took to make (a
  // large report has a million lines): the lines go in blocks of
  // kLinesPerBlock, broken inside a block by line separators, which show,
  // wrap and copy as line breaks. The last break stays a block's, so the
  // caret stands on an empty last line.
  const QPointer<QTextDocument> shown = FMemo.document();
  auto document = std::make_unique<QTextDocument>();
  document->setDefaultFont(shown->defaultFont());
  document->setDefaultTextOption(shown->defaultTextOption());
  document->setDocumentMargin(shown->documentMargin());
  document->setUndoRedoEnabled(false);
  QTextCursor cursor(document.get());
  QString block;
  for (int32_t i = 0; i < lines.Count(); ++i) {
    QString line = LineText(lines.TextAt(i));
    line.replace('\n', QChar::LineSeparator);
    block += line;
    if ((i + 1) % kLinesPerBlock != 0 && i + 1 < lines.Count()) {
      block += QChar::LineSeparator;
      continue;
    }
    cursor.insertText(block);
    cursor.insertBlock();
    block.clear();
    ReportProgress(1, 1);
  }
  document->setDocumentLayout(new QPlainTextDocumentLayout(document.get()));
  document->setParent(&FMemo);
  FMemo.setDocument(document.release());
  // The memo's first document is its own; the reports' are the memo's
  // children, let go when the next one comes.
  if (shown != nullptr && shown->parent() == &FMemo) {
    delete shown.data();
  } else if (shown != nullptr) {
    shown->clear();
  }
}

}  // namespace lumbra
