// The main window: the filter and sort fields, the three tabs with the two
// table grids and the report memo, the menu, and the handlers of every
// command. Each component keeps its designer name as its object name.
#pragma once

#include <QMainWindow>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "app/application.h"
#include "app/grid_view.h"
#include "app/memo_sink.h"
#include "app/open_dialog.h"
#include "app/progress_window.h"
#include "dbf/dbf_error.h"
#include "fields/regional_settings.h"
#include "tables/slots.h"
#include "winutil/win_util.h"

class QAction;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace lumbra {

// What the main window is started with.
struct TStartUpInfo {
  TDesktop Desktop;
  // The screen's logical setting; the layout is designed for 96.
  int PixelsPerInch = 96;
  // The program's first command-line argument, or empty.
  std::string FirstArgument;
};

class TLumbraMain final : public QMainWindow, public ISlotView {
  Q_OBJECT

 public:
  // Builds every component hidden, then runs FormCreate, whose errors go to
  // the error box. Errors while building propagate. application and
  // settings must outlive the window.
  TLumbraMain(TApplication& application, const TRegionalSettings& settings, TStartUpInfo startUp);

  QFrame* Panel1 = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QPushButton* Button1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QPushButton* Button2 = nullptr;
  QTabWidget* RzPageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;
  QFrame* Panel2 = nullptr;
  QPushButton* RzBitBtn1 = nullptr;
  TGridView* RzDBGrid1 = nullptr;
  QWidget* TabSheet2 = nullptr;
  TGridView* RzDBGrid2 = nullptr;
  QWidget* TabSheet3 = nullptr;
  QFrame* RzPanel1 = nullptr;
  QPushButton* Button3 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QMenuBar* MainMenu1 = nullptr;
  QMenu* Fisier1 = nullptr;
  QAction* Deschide1 = nullptr;
  QAction* Inchide1 = nullptr;
  QMenu* Analiza1 = nullptr;
  QAction* Analizadistinctpercoloane1 = nullptr;
  TOpenDialog OpenDialog1;

  TTableSlots& Slots() { return FSlots; }

  // How long a long command runs before its progress window shows.
  std::chrono::milliseconds ProgressDelay = kProgressWindowDelay;

  // Handlers: each takes the component that fired and ignores it.
  void FormCreate(QObject* sender);
  void Deschide1Click(QObject* sender);
  void Inchide1Click(QObject* sender);
  void Button1Click(QObject* sender);
  void Button2Click(QObject* sender);
  void RzBitBtn1Click(QObject* sender);
  void Button3Click(QObject* sender);
  void Analizadistinctpercoloane1Click(QObject* sender);
  // A .dbf file dropped on the window: opened as "Deschide" opens the file
  // chosen in its dialog.
  void FormDragDrop(QObject* sender);

  // The one local .dbf file that mime data carries, or "" when it carries
  // anything else.
  static QString DroppedTable(const QMimeData* mime);

  // ISlotView
  void SetWindowCaption(const std::string& caption) override;
  void SetApplicationTitle(const std::string& title) override;
  void SetTabCaption(int slot, const std::string& caption) override;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  using THandler = void (TLumbraMain::*)(QObject*);

  // A designed length at this screen's setting.
  int Scaled(int designed) const;
  void BuildComponents();
  void BuildMenu();
  // Opens path into slot 2 when the tab "DBF2" is active, else into slot 1.
  void DeschideInTabulActiv(const std::string& path);
  // Runs handler for sender inside the application's error guard.
  void Dispatch(THandler handler, QObject* sender);
  void ConnectButton(QPushButton* button, THandler handler);
  void ConnectAction(QAction* action, THandler handler);
  // A grid over a slot's data source, laid out again whenever the table opens
  // or closes or the data source is switched.
  TGridView* BuildGrid(const char* name, TDataSource& dataSource, QWidget* parent);

  TApplication& FApplication;
  TStartUpInfo FStartUp;
  // Text heights of the window font at this setting and at 96 pixels per inch.
  int FTextHeight = 13;
  int FDesignTextHeight = 13;
  TTableSlots FSlots;
  // The kind of the engine error the last command ended with; none when it
  // ended well or with another error. A failed report leaves the table on the
  // record it could not read; the grid repainting there meets the same
  // failure, which is in a box already.
  std::optional<TDbfErrorKind> FCommandError;
  // Built with Memo1.
  std::unique_ptr<TMemoLineSink> FMemoLines;
  // The file of the drop FormDragDrop opens.
  QString FDroppedFile;
};

}  // namespace lumbra
