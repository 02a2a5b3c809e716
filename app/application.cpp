#include "app/application.h"

#include <QFileInfo>
#include <QWidget>
#include <new>

#include "app/boxes.h"

namespace lumbra {

namespace {

constexpr qsizetype kMaxTitleLength = 255;

const char* ClassNameOf(const std::exception& error) {
  const auto* ours = dynamic_cast<const Exception*>(&error);
  return ours != nullptr ? ours->ClassName() : "Exception";
}

}  // namespace

TApplication::TApplication(const QString& programFilePath, IModalUi& ui)
    : FModuleName(QFileInfo(programFilePath).fileName()), FUi(ui) {
  SetTitle(TitleOfProgram(programFilePath));
}

QString TApplication::TitleOfProgram(const QString& programFilePath) {
  const QString fileName = QFileInfo(programFilePath).fileName();
  const QString name = fileName.left(fileName.indexOf('.'));
  return name.left(1) + name.mid(1).toLower();
}

void TApplication::SetTitle(const QString& title) {
  FTitle = title.left(kMaxTitleLength);
  // Never keep half of a surrogate pair.
  if (!FTitle.isEmpty() && FTitle.back().isHighSurrogate()) FTitle.chop(1);
}

void TApplication::ShowInfoBox(const std::string& text) {
  FUi.PresentInfoBox(FTitle, QString::fromStdString(text));
}

void TApplication::ShowErrorBox(const Exception& error) {
  FUi.PresentErrorBox(FTitle, QString::fromStdString(ErrorBoxText(error.Message())));
}

void TApplication::ShowApplicationError(const std::exception& error) {
  FUi.PresentErrorBox("Application Error",
                      QString::fromStdString(ApplicationErrorText(
                          ClassNameOf(error), FModuleName.toStdString(), error.what())));
}

void TApplication::HandleException(const std::exception& error) {
  if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
  if (dynamic_cast<const EAbort*>(&error) != nullptr) return;
  if (const auto* ours = dynamic_cast<const Exception*>(&error)) {
    ShowErrorBox(*ours);
  } else if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
    // The command's memory is let go by now; what the library calls the
    // failure ("std::bad_alloc") tells the user nothing.
    ShowErrorBox(Exception("Nu este destula memorie pentru aceasta comanda"));
  } else {
    ShowErrorBox(Exception(error.what()));
  }
}

void TApplication::Guard(const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& error) {
    HandleException(error);
  }
}

}  // namespace lumbra
