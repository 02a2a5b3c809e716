// The modal windows as the user sees them.
#pragma once

#include "app/application.h"

namespace lumbra {

class TQtModalUi final : public IModalUi {
 public:
  void PresentInfoBox(const QString& caption, const QString& text) override;
  void PresentErrorBox(const QString& caption, const QString& text) override;
  bool RunOpenDialog(QFileDialog& dialog) override;
};

}  // namespace lumbra
