// The rules behind the message box and the error box that do not need a
// screen: the texts they show or copy, and the message box's layout.
#pragma once

#include <string>
#include <string_view>

namespace lumbra {

// The error box's text: the message, with "." appended when its last
// character's code is above that of "." (a letter, a digit, ":", "?", any
// non-ASCII character), so "!" or ")" endings are left alone.
std::string ErrorBoxText(std::string_view message);

// What Ctrl+C in the message box puts on the clipboard: the caption, the text
// and the "OK" button between rows of hyphens, each line ending in CR LF.
std::string InfoBoxClipboardText(std::string_view caption, std::string_view text);

// The text of the box shown when the program cannot build its main window.
// The code address is never known here, so it reads as zero.
std::string ApplicationErrorText(std::string_view className, std::string_view moduleName,
                                 std::string_view message);

struct TBoxRect {
  int X = 0;
  int Y = 0;
  int Width = 0;
  int Height = 0;

  bool operator==(const TBoxRect&) const = default;
};

// Font measurements the message box is laid out from.
struct TInfoBoxMetrics {
  int AverageCharWidth = 0;  // width of "A".."Z" "a".."z" / 52, rounded down
  int LineHeight = 0;        // the font's line height
  int TextWidth = 0;         // the text, word-wrapped at half the screen width
  int TextHeight = 0;
  int ButtonCaptionWidth = 0;  // "OK"
};

struct TInfoBoxLayout {
  int ClientWidth = 0;
  int ClientHeight = 0;
  TBoxRect Text;
  TBoxRect Button;
};

// Margins of two average characters across and one line down, a gap of 10/8
// lines above the button, a button 14/8 lines high and at least 12.5
// characters wide; every fraction rounded to the nearest pixel.
TInfoBoxLayout LayOutInfoBox(const TInfoBoxMetrics& metrics);

}  // namespace lumbra
