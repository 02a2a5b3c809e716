#include "analysis/line_sink.h"

namespace lumbra {

void TStreamLineSink::Append(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), FStream);
  std::fputc('\n', FStream);
}

void TStreamLineSink::Assign(const TStringList& lines) {
  for (int32_t i = 0; i < lines.Count(); ++i)
    Append(lines.TextAt(i));
}

}  // namespace lumbra
