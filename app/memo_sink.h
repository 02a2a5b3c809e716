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
  // The memo is not redrawn until every line is in.
  void Assign(const TStringList& lines) override;

 private:
  QPlainTextEdit& FMemo;
};

}  // namespace lumbra
