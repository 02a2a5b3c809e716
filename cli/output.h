// Standard output with every write checked: a reader that stops early ends
// the command at once and quietly, any other write failure is an error.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "analysis/line_sink.h"
#include "base/exception.h"

namespace lumbra {

// Standard output was closed by its reader (a pipe into "head"); not a
// failure of the command, so nothing is said and the exit code is 0.
LUMBRA_DECLARE_EXCEPTION(EOutputClosed, Exception);

// Makes a closed pipe a write error (EPIPE) instead of a signal that kills the
// program, whatever disposition it inherited. Call once, first.
void IgnoreBrokenPipes();

// Writes text to standard output. Throws EOutputClosed when the reader has
// gone, Exception "cannot write to standard output: <reason>" on any other
// failure (a full disk).
void WriteOut(std::string_view text);
// Output goes out in pieces of about this size; a long value is written a
// slice at a time.
inline constexpr size_t kOutputPiece = 1 << 16;
// Writes out and empties it, giving back the room a long value grew it to.
void WritePiece(std::string& out);
// Flushes standard output; throws as WriteOut.
void FlushOut();

// Puts what out holds from `from` on on one line: tab, CR, LF and backslash
// become \t, \r, \n and \\. Texts are appended to the output first and
// escaped where they stand, from the back, so a long text is never copied.
void EscapeFrom(std::string& out, size_t from);
// Appends name, a column's or a field's, for a tab-separated line: escaped as
// EscapeFrom escapes, and every other control byte as \xHH, so that no name
// can split a line or reach a terminal as a control sequence.
void AppendName(std::string& out, std::string_view name);

// A report's lines written to standard output through WriteOut.
class TStdoutLineSink : public ILineSink {
 public:
  // Standard output cannot take back what was written.
  void Clear() override {}
  void Append(const std::string& text) override;
  void Assign(const TStringList& lines) override;
};

}  // namespace lumbra
