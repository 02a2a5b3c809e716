// The grid model's text measurement in a Qt font.
#pragma once

#include <QFont>
#include <QFontMetrics>

#include "fields/grid_model.h"

namespace lumbra {

class TQtFontMetrics final : public IFontMetrics {
 public:
  explicit TQtFontMetrics(const QFont& font) : FMetrics(font) {}

  void SetFont(const QFont& font) { FMetrics = QFontMetrics(font); }

  // The advance of text (UTF-8) on the baseline.
  int TextWidth(std::string_view text) const override;
  // The font's line height, whatever the text: a grid row fits every glyph.
  int TextHeight(std::string_view text) const override;

 private:
  QFontMetrics FMetrics;
};

}  // namespace lumbra
