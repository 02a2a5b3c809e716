// The report memo as a line sink: the reports write their lines into it.
#pragma once

#include "analysis/line_sink.h"

class QPlainTextEdit;

namespace lumbra {

// Every line the sink writes ends with a line break, so the caret stands on
// an empty last line and an empty first line is kept. A CR LF inside a text
// breaks the line.
class TMemoLineSink final : public ILineSink {
 public:
  // memo must outlive the sink.
  explicit TMemoLineSink(QPlainTextEdit& memo) : FMemo(memo) {}

  void Clear() override;
  // Starts a new line first when the memo's last line has text the user typed.
  void Append(const std::string& text) override;
  // The memo shows what it showed until every line is in, and keeps it when
  // the command stops on the way. Lines are kept a kLinesPerBlock to a text
  // block; the memo's plain text and what is copied from it have a line feed
  // after every line.
  void Assign(const TStringList& lines) override;
  static constexpr int kLinesPerBlock = 64;

 private:
  QPlainTextEdit& FMemo;
};

}  // namespace lumbra
