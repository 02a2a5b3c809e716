#include "app/grid_font_metrics.h"

#include <QString>

namespace lumbra {

int TQtFontMetrics::TextWidth(std::string_view text) const {
  return FMetrics.horizontalAdvance(
      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

int TQtFontMetrics::TextHeight(std::string_view) const {
  return FMetrics.height();
}

}  // namespace lumbra
