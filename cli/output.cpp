#include "cli/output.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace lumbra {
namespace {

// errno as the failed write left it; a stream that failed without saying why
// is reported as an input/output error.
[[noreturn]] void ThrowWriteError(int error) {
  if (error == 0) error = EIO;
  if (error == EPIPE) throw EOutputClosed("standard output was closed");
  throw Exception(std::string("cannot write to standard output: ") + std::strerror(error));
}

}  // namespace

void IgnoreBrokenPipes() {
  std::signal(SIGPIPE, SIG_IGN);
}

void WriteOut(std::string_view text) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) ThrowWriteError(errno);
}

void WritePiece(std::string& out) {
  WriteOut(out);
  out.clear();
  if (out.capacity() > 4 * kOutputPiece) std::string().swap(out);
}

void FlushOut() {
  errno = 0;
  if (std::fflush(stdout) != 0) ThrowWriteError(errno);
}

void TStdoutLineSink::Append(const std::string& text) {
  WriteOut(text);
  WriteOut("\n");
}

void TStdoutLineSink::Assign(const TStringList& lines) {
  for (int32_t i = 0; i < lines.Count(); ++i)
    Append(lines.TextAt(i));
}

}  // namespace lumbra
