#include "app/boxes.h"

#include <algorithm>

namespace lumbra {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kHyphens = "---------------------------";  // 27

// value × numerator / denominator rounded to the nearest integer, halves up.
// Requires non-negative arguments and a positive denominator.
int MulDiv(int value, int numerator, int denominator) {
  return (value * numerator + denominator / 2) / denominator;
}

}  // namespace

std::string ErrorBoxText(std::string_view message) {
  std::string text(message);
  // Compared as unsigned bytes: the last byte of a UTF-8 sequence is 0x80 or
  // above, so every non-ASCII ending gets its full stop too.
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

std::string InfoBoxClipboardText(std::string_view caption, std::string_view text) {
  std::string result;
  for (const std::string_view line :
       {kHyphens, caption, kHyphens, text, kHyphens, std::string_view("OK   "), kHyphens}) {
    result += line;
    result += kCrLf;
  }
  return result;
}

std::string ApplicationErrorText(std::string_view className, std::string_view moduleName,
                                 std::string_view message) {
  std::string text = "Exception ";
  text += className;
  text += " in module ";
  text += moduleName;
  text += " at 0000000000000000.\r\n";
  text += message;
  if (!message.empty() && message.back() != '.') text += '.';
  text += kCrLf;
  return text;
}

TInfoBoxLayout LayOutInfoBox(const TInfoBoxMetrics& m) {
  const int horizontalMargin = MulDiv(8, m.AverageCharWidth, 4);
  const int verticalMargin = MulDiv(8, m.LineHeight, 8);
  const int gap = MulDiv(10, m.LineHeight, 8);
  const int buttonHeight = MulDiv(14, m.LineHeight, 8);
  const int buttonWidth = std::max(MulDiv(50, m.AverageCharWidth, 4), m.ButtonCaptionWidth + 8);

  TInfoBoxLayout layout;
  layout.ClientWidth = std::max(m.TextWidth, buttonWidth) + 2 * horizontalMargin;
  layout.ClientHeight = m.TextHeight + buttonHeight + gap + 2 * verticalMargin;
  layout.Text = {horizontalMargin, verticalMargin, m.TextWidth, m.TextHeight};
  layout.Button = {(layout.ClientWidth - buttonWidth) / 2, m.TextHeight + verticalMargin + gap,
                   buttonWidth, buttonHeight};
  return layout;
}

}  // namespace lumbra
