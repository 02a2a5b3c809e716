#include "app/start_up.h"

#include <QApplication>

#include "app/dm_ado.h"

namespace lumbra {

int RunLumbra(TApplication& application,
              const std::function<std::unique_ptr<TLumbraMain>()>& createMainWindow) {
  std::unique_ptr<TLumbraMain> mainWindow;
  std::unique_ptr<TDmAdo> dmAdo;
  try {
    mainWindow = createMainWindow();
    dmAdo = std::make_unique<TDmAdo>();
  } catch (const std::exception& error) {
    application.ShowApplicationError(error);
    return 1;
  }
  mainWindow->show();
  // Closing the main window ends the loop; nothing is asked and nothing saved.
  return QApplication::exec();
}

}  // namespace lumbra
