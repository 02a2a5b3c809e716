// lumbra: the window program.
#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstring>
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
  // Not for users: "--screenshot FILE" after the file to open saves the
  // settled window's picture to FILE and ends the program (scripts/screenshot
  // makes the README's picture so).
  std::string screenshotFile;
  for (int i = 2; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshot") == 0) screenshotFile = argv[i + 1];
  }
  QApplication qtApplication(argc, argv);
  TQtModalUi modalUi;
  TApplication application(QApplication::applicationFilePath(), modalUi);
  QApplication::setWindowIcon(MainIcon());
  const TRegionalSettings settings = TRegionalSettings::FromEnvironment();

  TStartUpInfo startUp;
  startUp.Desktop = {std::make_shared<TQtMonitors>(), std::make_shared<TLocalClock>()};
  startUp.PixelsPerInch = qRound(QApplication::primaryScreen()->logicalDotsPerInchY());
  startUp.FirstArgument = firstArgument;
  return RunLumbra(application, [&] {
    auto window = std::make_unique<TLumbraMain>(application, settings, startUp);
    if (!screenshotFile.empty()) {
      // Long enough for the window to be shown, maximised and painted.
      QTimer::singleShot(3000, window.get(), [window = window.get(), screenshotFile] {
        const bool saved = window->grab().save(QString::fromStdString(screenshotFile));
        if (!saved) std::fprintf(stderr, "lumbra: cannot write %s\n", screenshotFile.c_str());
        QApplication::exit(saved ? 0 : 1);
      });
    }
    return window;
  });
}
