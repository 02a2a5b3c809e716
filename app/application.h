// The application object: its title, the message and error boxes captioned
// with it, and the one error handler every command's errors reach.
#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <string>

#include "base/exception.h"

class QFileDialog;

namespace lumbra {

// Everything modal the window layer shows. The real one opens windows and
// waits; tests record what would have been shown.
class IModalUi {
 public:
  virtual ~IModalUi() = default;
  // The message box: text and one OK button, no icon.
  virtual void PresentInfoBox(const QString& caption, const QString& text) = 0;
  // A box with the stop icon and one OK button.
  virtual void PresentErrorBox(const QString& caption, const QString& text) = 0;
  // Runs the file-open dialog; true when the user chose a file.
  virtual bool RunOpenDialog(QFileDialog& dialog) = 0;
};

class TApplication {
 public:
  // The title comes from the program file's name; ui must outlive the object.
  TApplication(const QString& programFilePath, IModalUi& ui);

  // The program file's name up to its first ".", its first character as it
  // stands and the rest in lower case: TABLOU.APP.EXE gives "Tablou".
  static QString TitleOfProgram(const QString& programFilePath);

  const QString& Title() const { return FTitle; }
  // Keeps at most 255 characters, as much as the title has room for.
  void SetTitle(const QString& title);
  // The program file's name without its folder.
  const QString& ModuleName() const { return FModuleName; }
  IModalUi& Ui() { return FUi; }

  // Shows text in the message box under the title, unchanged.
  void ShowInfoBox(const std::string& text);
  // Shows the error's message in the error box under the title, with the
  // full-stop rule of ErrorBoxText.
  void ShowErrorBox(const Exception& error);
  // The "Application Error" box for an error that stops the program.
  void ShowApplicationError(const std::exception& error);

  // The one error handler: releases any mouse grab, drops EAbort silently and
  // shows every other error in the error box.
  void HandleException(const std::exception& error);
  // Runs a command; whatever it throws goes to HandleException, so no error
  // crosses Qt's event loop.
  void Guard(const std::function<void()>& command);

 private:
  QString FTitle;
  QString FModuleName;
  IModalUi& FUi;
};

}  // namespace lumbra
