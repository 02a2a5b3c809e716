#include "cli/output.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/shortcuts.h"
#include "base/text.h"

namespace lumbra {
namespace {

// errno as the failed write left it; a stream that failed without saying why
// is reported as an input/output error.
[[noreturn]] void ThrowWriteError(int error) {
  if (error == 0) error = EIO;
  if (error == EPIPE) throw EOutputClosed("standard output was closed");
  throw Exception(std::string("cannot write to standard output: ") + std::strerror(error));
}

// The escape of c in a tab-separated line, or nullptr when c stands as it is.
const char* EscapeOf(char c) {
  switch (c) {
    case '\t':
      return "\\t";
    case '\r':
      return "\\r";
    case '\n':
      return "\\n";
    case '\\':
      return "\\\\";
    default:
      return nullptr;
  }
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

void EscapeFrom(std::string& out, size_t from) {
  const size_t clean =
      from + (kShortcuts ? LengthBeforeTabEscape(std::string_view(out).substr(from)) : 0);
  if (clean == out.size()) return;
  size_t extra = 0;
  for (size_t i = clean; i < out.size(); ++i)
    extra += EscapeOf(out[i]) != nullptr ? 1 : 0;
  if (extra == 0) return;
  size_t read = out.size();
  out.resize(out.size() + extra);
  size_t write = out.size();
  while (read > clean) {
    const char c = out[--read];
    if (const char* escape = EscapeOf(c)) {
      out[--write] = escape[1];
      out[--write] = '\\';
    } else {
      out[--write] = c;
    }
  }
}

void AppendName(std::string& out, std::string_view name) {
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (const char* escape = EscapeOf(c)) {
      out += escape;
    } else if (byte < 0x20 || byte == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      out += hex;
    } else {
      out.push_back(c);
    }
  }
}

}  // namespace lumbra
