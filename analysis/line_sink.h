// Where a report's lines go: the memo of the window or standard output. Both
// reports write through this, so the window and lumbra-cli print the same text.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "analysis/string_list.h"

namespace lumbra {

// Shows a notice to the user and returns when it is dismissed.
using TShowInfoBox = std::function<void(const std::string& text)>;

class ILineSink {
 public:
  virtual ~ILineSink() = default;
  // Removes every line.
  virtual void Clear() = 0;
  // Adds text as one more line. A line break inside text is kept as it is,
  // so the text may show as several lines.
  virtual void Append(const std::string& text) = 0;
  // Replaces every line with the texts of lines, in order, as one update
  // with redrawing suspended; the tags are not carried over.
  virtual void Assign(const TStringList& lines) = 0;
};

// Lines written to a stream, each followed by "\n". Clearing a stream cannot
// take back what was written, so Clear does nothing.
class TStreamLineSink : public ILineSink {
 public:
  // stream must outlive the sink; write errors show in the stream's state.
  explicit TStreamLineSink(std::FILE* stream) : FStream(stream) {}

  void Clear() override {}
  void Append(const std::string& text) override;
  void Assign(const TStringList& lines) override;

 private:
  std::FILE* FStream;
};

}  // namespace lumbra
