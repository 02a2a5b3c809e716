// lumbra: the window program.
#include <QApplication>
#include <QScreen>
#include <memory>
#include <string>

#include "app/application.h"
#include "app/lumbra_main.h"
#include "app/main_icon.h"
#include "app/qt_modal_ui.h"
#include "app/start_up.h"
#include "fields/regional_settings.h"
#include "winutil/qt_desktop.h"

int main(int argc, char* argv[]) {
  using namespace lumbra;
  // Taken before Qt removes its own options from the command line: only the
  // program's first argument counts, whatever it is.
  const std::string firstArgument = argc > 1 ? argv[1] : "";
  QApplication qtApplication(argc, argv);
  TQtModalUi modalUi;
  TApplication application(QApplication::applicationFilePath(), modalUi);
  QApplication::setWindowIcon(MainIcon());
  const TRegionalSettings settings = TRegionalSettings::FromEnvironment();

  TStartUpInfo startUp;
  startUp.Desktop = {std::make_shared<TQtMonitors>(), std::make_shared<TLocalClock>()};
  startUp.PixelsPerInch = qRound(QApplication::primaryScreen()->logicalDotsPerInchY());
  startUp.FirstArgument = firstArgument;
  return RunLumbra(application,
                   [&] { return std::make_unique<TLumbraMain>(application, settings, startUp); });
}
