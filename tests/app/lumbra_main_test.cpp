// The main window, found component by component by designer name: its start,
// its layout, its menu, its placement and the commands of the shell.
#include "app/lumbra_main.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QUrl>
#include <QWindow>
#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#include "tests/app/gui_fakes.h"
#include "tests/winutil/fake_desktop.h"

namespace lumbra {
namespace {

using testing::FakeDesktop;
using testing::TFakeMonitor;
using testing::TRecordingUi;
using testing::TShownBox;
using testing::TTempFolder;
using testing::WriteTable;

// A 1920 x 1200 monitor with a 40-pixel task bar: the window keeps its
// designed size and no worker starts.
const TFakeMonitor kLargeMonitor{{0, 0, 1920, 1200}, {0, 0, 1920, 1160}};

class MainWindowTest : public ::testing::Test {
 protected:
  std::unique_ptr<TLumbraMain> Start(std::string firstArgument = "", int pixelsPerInch = 96,
                                     TDesktop desktop = FakeDesktop({kLargeMonitor})) {
    TStartUpInfo startUp;
    startUp.Desktop = std::move(desktop);
    startUp.PixelsPerInch = pixelsPerInch;
    startUp.FirstArgument = std::move(firstArgument);
    return std::make_unique<TLumbraMain>(Application, Settings, startUp);
  }

  template <typename T>
  static T* Find(const QWidget& window, const char* name) {
    T* found = window.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }

  static QStringList TabTexts(const TLumbraMain& window) {
    QStringList texts;
    for (int i = 0; i < window.RzPageControl1->count(); ++i) {
      texts << window.RzPageControl1->tabText(i);
    }
    return texts;
  }

  TRecordingUi Ui;
  TApplication Application{"/usr/bin/lumbra", Ui};
  TRegionalSettings Settings;
  TTempFolder Folder;
};

TEST_F(MainWindowTest, StartsWithoutArgumentsOnTheFirstTabWithNothingOpen) {
  auto window = Start();
  EXPECT_FALSE(window->isVisible()) << "shown only by start-up";
  EXPECT_EQ(window->windowTitle(), "Lumbra");
  EXPECT_EQ(Application.Title(), "lumbra") << "the program file's name";
  EXPECT_EQ(TabTexts(*window), (QStringList{"DBF1", "DBF2", "Comparatii si analize"}));
  EXPECT_EQ(window->RzPageControl1->currentIndex(), 0);
  EXPECT_EQ(window->RzPageControl1->currentWidget()->objectName(), "TabSheet1");
  EXPECT_FALSE(window->Slots().AT.Active());
  EXPECT_FALSE(window->Slots().AT2.Active());
  EXPECT_TRUE(window->Memo1->toPlainText().isEmpty());
  EXPECT_TRUE(Ui.Boxes.empty());
}

TEST_F(MainWindowTest, HoldsEveryComponentInItsPlace) {
  auto window = Start();
  window->show();
  // Pages are laid out when first shown.
  for (const int tab : {2, 1, 0}) {
    window->RzPageControl1->setCurrentIndex(tab);
    QApplication::processEvents();
  }
  struct TCase {
    const char* Name;
    const char* Parent;
    QRect Geometry;
  };
  const int clientWidth = window->centralWidget()->width();
  const TCase cases[] = {
      {"Panel1", nullptr, QRect(0, 0, clientWidth, 57)},
      {"Label1", "Panel1", QRect(8, 8, 25, 13)},
      {"Edit1", "Panel1", QRect(8, 24, 513, 21)},
      {"Button1", "Panel1", QRect(526, 22, 75, 25)},
      {"Edit2", "Panel1", QRect(608, 24, 161, 21)},
      {"Button2", "Panel1", QRect(774, 22, 75, 25)},
      {"RzPageControl1", nullptr,
       QRect(0, 57, clientWidth, window->centralWidget()->height() - 57)},
      {"Panel2", "TabSheet1", QRect(0, 0, window->TabSheet1->width(), 42)},
      {"RzBitBtn1", "Panel2", QRect(8, 8, 105, 25)},
      {"RzPanel1", "TabSheet3", QRect(0, 0, window->TabSheet3->width(), 42)},
      {"Button3", "RzPanel1", QRect(8, 8, 201, 25)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const QWidget* widget = Find<QWidget>(*window, c.Name);
    ASSERT_NE(widget, nullptr);
    const QWidget* parent = c.Parent ? Find<QWidget>(*window, c.Parent) : window->centralWidget();
    EXPECT_EQ(widget->parentWidget(), parent);
    if (std::string(c.Name) == "Label1") {
      // The label is as wide as its text, at least as wide as designed.
      EXPECT_EQ(widget->pos(), c.Geometry.topLeft());
      EXPECT_EQ(widget->height(), c.Geometry.height());
      EXPECT_GE(widget->width(), c.Geometry.width());
      EXPECT_GE(widget->width(), widget->fontMetrics().horizontalAdvance("Filtru:"));
    } else {
      EXPECT_EQ(widget->geometry(), c.Geometry);
    }
  }
  // The grids and the memo fill what their bands leave.
  EXPECT_EQ(window->RzDBGrid1->parentWidget(), window->TabSheet1);
  EXPECT_EQ(window->RzDBGrid1->geometry(),
            QRect(0, 42, window->TabSheet1->width(), window->TabSheet1->height() - 42));
  EXPECT_EQ(window->RzDBGrid2->parentWidget(), window->TabSheet2);
  EXPECT_EQ(window->Memo1->parentWidget(), window->TabSheet3);
  EXPECT_EQ(window->Memo1->geometry(),
            QRect(0, 42, window->TabSheet3->width(), window->TabSheet3->height() - 42));
  EXPECT_EQ(window->RzPageControl1->indexOf(window->TabSheet1), 0);
  EXPECT_EQ(window->RzPageControl1->indexOf(window->TabSheet2), 1);
  EXPECT_EQ(window->RzPageControl1->indexOf(window->TabSheet3), 2);
}

TEST_F(MainWindowTest, ShowsTheDesignedTextsColoursAndFonts) {
  auto window = Start();
  EXPECT_EQ(window->Label1->text(), "Filtru:");
  EXPECT_EQ(window->Button1->text(), "Filtreaza");
  EXPECT_EQ(window->Button2->text(), "Sort by..");
  EXPECT_EQ(window->RzBitBtn1->text(), "Goleste Baza");
  EXPECT_FALSE(window->RzBitBtn1->icon().isNull());
  EXPECT_EQ(window->Button3->text(), "Compara structura DBF-urilor deschise");
  EXPECT_TRUE(window->Edit1->text().isEmpty());
  EXPECT_TRUE(window->Edit2->text().isEmpty());
  for (const QPushButton* button : window->findChildren<QPushButton*>()) {
    EXPECT_FALSE(button->isDefault()) << "Enter in an edit runs no command";
    EXPECT_FALSE(button->autoDefault());
  }

  const QColor page(247, 246, 245);
  for (const QWidget* sheet : {window->TabSheet1, window->TabSheet2, window->TabSheet3}) {
    EXPECT_EQ(sheet->palette().color(QPalette::Window), page) << sheet->objectName().toStdString();
    EXPECT_TRUE(sheet->autoFillBackground());
  }
  EXPECT_EQ(window->Panel2->palette().color(QPalette::Window), page);
  EXPECT_FALSE(window->RzPanel1->autoFillBackground()) << "shows the tab's colour";
  EXPECT_EQ(window->RzPanel1->palette().color(QPalette::Window), page);

  window->show();
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(window->RzPageControl1->tabBar()->tabRect(i).height(), 19);

  EXPECT_EQ(window->font().pixelSize(), 11);
  EXPECT_EQ(window->font().families().front(), "MS Sans Serif");
  // Every control but the memo writes in the window's font, on the pages too.
  for (const char* name : {"Label1", "Edit1", "Button1", "Edit2", "Button2", "RzBitBtn1",
                           "RzDBGrid1", "RzDBGrid2", "Button3"}) {
    EXPECT_EQ(Find<QWidget>(*window, name)->font(), window->font()) << name;
  }
  EXPECT_EQ(window->RzPageControl1->tabBar()->font(), window->font());
  const QFont memoFont = window->Memo1->font();
  EXPECT_EQ(memoFont.families().front(), "Courier New");
  EXPECT_TRUE(memoFont.bold());
  EXPECT_EQ(memoFont.pixelSize(), 13);
  EXPECT_EQ(window->Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(window->Memo1->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  EXPECT_FALSE(window->Memo1->isReadOnly());
}

TEST_F(MainWindowTest, HasAMenuWithoutShortcutsOrAcceleratorLetters) {
  auto window = Start();
  EXPECT_EQ(window->menuBar()->objectName(), "MainMenu1");
  QStringList titles;
  for (const QAction* action : window->menuBar()->actions())
    titles << action->text();
  EXPECT_EQ(titles, (QStringList{"Fisier", "Analiza"}));

  struct TCase {
    const char* Menu;
    QStringList Names;
    QStringList Texts;
  };
  const TCase cases[] = {
      {"Fisier1", {"Deschide1", "Inchide1"}, {"Deschide", "Inchide"}},
      {"Analiza1", {"Analizadistinctpercoloane1"}, {"Analiza distinct per coloane"}},
  };
  for (const TCase& c : cases) {
    const QMenu* menu = Find<QMenu>(*window, c.Menu);
    ASSERT_NE(menu, nullptr);
    QStringList names;
    QStringList texts;
    for (const QAction* action : menu->actions()) {
      names << action->objectName();
      texts << action->text();
      EXPECT_TRUE(action->shortcut().isEmpty());
      EXPECT_FALSE(action->text().contains('&'));
    }
    EXPECT_EQ(names, c.Names);
    EXPECT_EQ(texts, c.Texts);
  }
}

TEST_F(MainWindowTest, ScalesTheLayoutWithTheScreensSetting) {
  auto window = Start("", 120);
  // 11 pixels at 96 per inch are 13.75, so 14, at 120.
  EXPECT_EQ(window->font().pixelSize(), 14);
  QFont designFont = window->font();
  designFont.setPixelSize(11);
  const int designHeight = QFontMetrics(designFont).height();
  const int height = QFontMetrics(window->font()).height();
  auto scaled = [&](int length) { return (length * height + designHeight / 2) / designHeight; };
  ASSERT_GT(height, designHeight);

  window->show();
  EXPECT_EQ(window->Panel1->height(), scaled(57));
  EXPECT_EQ(window->Edit1->geometry(), QRect(scaled(8), scaled(24), scaled(513), scaled(21)));
  EXPECT_EQ(window->Button3->geometry(), QRect(scaled(8), scaled(8), scaled(201), scaled(25)));
  EXPECT_EQ(window->RzPageControl1->tabBar()->tabRect(0).height(), scaled(19));
  EXPECT_EQ(window->Memo1->font().pixelSize(), scaled(13));
  EXPECT_EQ(window->size(), QSize(scaled(976), scaled(526)));
}

TEST_F(MainWindowTest, IsCentredOnALargeMonitor) {
  auto window = Start();
  EXPECT_EQ(window->geometry(), QRect(472, 317, 976, 526));
}

TEST_F(MainWindowTest, FillsASmallerMonitorAndIsMaximisedWhenShown) {
  auto clock = std::make_shared<testing::TFakeClock>();
  // Each poll takes a real millisecond too, so the worker is still polling
  // when the window is shown.
  clock->OnSleep = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
  auto window = Start("", 96, FakeDesktop({{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}}}, clock));
  EXPECT_EQ(window->geometry(), QRect(15, 15, 1890, 1010));
  // The worker has been polling the hidden window; now it is shown.
  QElapsedTimer timer;
  timer.start();
  while (clock->Sleeps().empty() && timer.elapsed() < 5000)
    QApplication::processEvents();
  EXPECT_FALSE(window->isMaximized());
  window->show();
  timer.restart();
  while (!window->isMaximized() && timer.elapsed() < 5000) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  EXPECT_TRUE(window->isMaximized());
}

TEST_F(MainWindowTest, ShowsPlacementErrorsAndGoesOn) {
  TDesktop noMonitors{std::make_shared<testing::TFakeMonitors>(),
                      std::make_shared<testing::TFakeClock>()};
  auto window = Start("", 96, noMonitors);
  EXPECT_EQ(Ui.Boxes,
            (std::vector<TShownBox>{{"error", "lumbra", "List index out of bounds (0)"}}));
  EXPECT_EQ(window->windowTitle(), "Lumbra");
}

TEST_F(MainWindowTest, OpensAnExistingFileFromTheCommandLineBeforeBeingShown) {
  const std::string path = Folder.File("Clienti.dbf");
  WriteTable(path, {"Ana", "Dan"});
  auto window = Start(path);
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(Ui.Boxes.empty());
  EXPECT_EQ(window->windowTitle().toStdString(), "Clienti - " + path);
  EXPECT_EQ(Application.Title(), "Clienti");
  EXPECT_EQ(TabTexts(*window), (QStringList{"Clienti", "DBF2", "Comparatii si analize"}));
  EXPECT_TRUE(window->Slots().AT.Active());
  EXPECT_EQ(window->Slots().FFisierDbf1, path);
}

TEST_F(MainWindowTest, IgnoresAFirstArgumentThatIsNotAFile) {
  const std::string folderWithDbfName = Folder.File("Dosar.dbf");
  std::filesystem::create_directory(folderWithDbfName);
  for (const std::string& argument : {Folder.File("Lipsa.dbf"), folderWithDbfName}) {
    SCOPED_TRACE(argument);
    auto window = Start(argument);
    EXPECT_EQ(window->windowTitle(), "Lumbra");
    EXPECT_EQ(TabTexts(*window)[0], "DBF1");
    EXPECT_FALSE(window->Slots().AT.Active());
    EXPECT_FALSE(window->Slots().Conn.Connected()) << "nothing was even tried";
  }
  EXPECT_TRUE(Ui.Boxes.empty());
}

TEST_F(MainWindowTest, ShowsAFailedCommandLineOpenAndStartsAnyway) {
  const std::string path = Folder.File("Stricat.dbf");
  std::ofstream(path) << "not a table";
  auto window = Start(path);
  ASSERT_EQ(Ui.Boxes.size(), 1u);
  EXPECT_EQ(Ui.Boxes[0].Kind, "error");
  EXPECT_EQ(Ui.Boxes[0].Caption, "lumbra");
  EXPECT_EQ(window->windowTitle(), "Lumbra");
  EXPECT_FALSE(window->Slots().AT.Active());
  EXPECT_TRUE(window->Slots().FFisierDbf1.empty());
}

TEST_F(MainWindowTest, InchideOnlyShowsItsQuestion) {
  auto window = Start();
  window->Inchide1->trigger();
  EXPECT_EQ(Ui.Boxes, (std::vector<TShownBox>{
                          {"info", "lumbra", "Oare ce-ar trebui sa faca aceasta comanda?????"}}));
  EXPECT_EQ(window->windowTitle(), "Lumbra");
}

TEST_F(MainWindowTest, DeschideRunsTheOpenDialogAndACancelChangesNothing) {
  auto window = Start();
  window->Deschide1->trigger();
  ASSERT_EQ(Ui.DialogRuns.size(), 1u);
  EXPECT_EQ(Ui.DialogRuns[0].ObjectName, "OpenDialog1");
  EXPECT_EQ(Ui.DialogRuns[0].NameFilters, QStringList{"DBF-uri (*.dbf)"});
  EXPECT_EQ(Ui.DialogRuns[0].FileMode, QFileDialog::AnyFile);
  EXPECT_EQ(window->windowTitle(), "Lumbra");
  EXPECT_TRUE(Ui.Boxes.empty());
}

TEST_F(MainWindowTest, DeschideOpensIntoTheSecondSlotOnlyFromTheSecondTab) {
  const std::string first = Folder.File("Clienti.dbf");
  const std::string second = Folder.File("Furnizori.dbf");
  WriteTable(first, {"Ana"});
  WriteTable(second, {"Dan"});
  auto window = Start();

  window->RzPageControl1->setCurrentIndex(1);
  Ui.FileToChoose = QString::fromStdString(second);
  window->Deschide1->trigger();
  EXPECT_EQ(TabTexts(*window), (QStringList{"DBF1", "Furnizori", "Comparatii si analize"}));
  EXPECT_TRUE(window->Slots().AT2.Active());
  EXPECT_FALSE(window->Slots().AT.Active());
  EXPECT_TRUE(window->Slots().FFisierDbf1.empty());
  EXPECT_EQ(window->windowTitle().toStdString(), "Furnizori - " + second);
  EXPECT_EQ(Application.Title(), "Furnizori");
  EXPECT_EQ(window->RzPageControl1->currentIndex(), 1) << "the tab stays";

  for (const int tab : {2, 0}) {
    SCOPED_TRACE(tab);
    window->RzPageControl1->setCurrentIndex(tab);
    Ui.FileToChoose = QString::fromStdString(first);
    window->Deschide1->trigger();
    EXPECT_EQ(TabTexts(*window), (QStringList{"Clienti", "Furnizori", "Comparatii si analize"}));
    EXPECT_EQ(window->Slots().FFisierDbf1, first);
    EXPECT_EQ(window->windowTitle().toStdString(), "Clienti - " + first);
    EXPECT_EQ(window->RzPageControl1->currentIndex(), tab);
  }
  // The file chosen last is offered again.
  ASSERT_EQ(Ui.DialogRuns.size(), 3u);
  EXPECT_EQ(Ui.DialogRuns[2].OfferedFiles, QStringList{QString::fromStdString(first)});
  EXPECT_TRUE(Ui.Boxes.empty());
}

TEST_F(MainWindowTest, OpensADroppedTableAsDeschideWould) {
  const std::string first = Folder.File("Clienti.dbf");
  const std::string second = Folder.File("Furnizori.DBF");
  WriteTable(first, {"Ana"});
  WriteTable(second, {"Dan"});
  const std::string text = Folder.File("note.txt");
  std::ofstream(text) << "x";
  auto window = Start();
  const auto mime = [](const std::vector<std::string>& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const std::string& path : paths)
      urls.push_back(QUrl::fromLocalFile(QString::fromStdString(path)));
    data->setUrls(urls);
    return data;
  };
  EXPECT_TRUE(TLumbraMain::DroppedTable(mime({text}).get()).isEmpty());
  EXPECT_TRUE(TLumbraMain::DroppedTable(mime({first, second}).get()).isEmpty()) << "one at a time";
  EXPECT_TRUE(TLumbraMain::DroppedTable(mime({Folder.File("gone.dbf")}).get()).isEmpty());

  const auto drop = [&](QWidget* target, const std::string& path) {
    const auto data = mime({path});
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
    QApplication::processEvents();
    return dropped.isAccepted();
  };
  EXPECT_FALSE(drop(window.get(), text)) << "refused";
  window->RzPageControl1->setCurrentIndex(1);
  EXPECT_TRUE(drop(window.get(), second));
  EXPECT_TRUE(window->Slots().AT2.Active());
  EXPECT_FALSE(window->Slots().AT.Active());
  window->RzPageControl1->setCurrentIndex(2);
  EXPECT_TRUE(drop(window->Memo1->viewport(), first)) << "the memo leaves it to the window";
  EXPECT_EQ(window->Slots().FFisierDbf1, first);
  EXPECT_EQ(window->Memo1->toPlainText(), "") << "not taken as text";
  EXPECT_TRUE(Ui.Boxes.empty());
}

TEST_F(MainWindowTest, ShowsAFailedOpenUnderTheCurrentTitle) {
  const std::string good = Folder.File("Clienti.dbf");
  WriteTable(good, {"Ana"});
  auto window = Start(good);
  Ui.FileToChoose = QString::fromStdString(Folder.File("faraextensie"));
  window->Deschide1->trigger();
  EXPECT_EQ(Ui.Boxes,
            (std::vector<TShownBox>{{"error", "Clienti", "AT: Missing TableName property."}}));
  // The captions of the last good open stay.
  EXPECT_EQ(window->windowTitle().toStdString(), "Clienti - " + good);
  EXPECT_EQ(window->Slots().FFisierDbf1, good);
}

TEST_F(MainWindowTest, ShowsCaptionsLiterally) {
  auto window = Start();
  window->SetWindowCaption("a[*]b - /date/a[*]b.dbf");
  window->show();
  EXPECT_EQ(window->windowHandle()->title().toStdString(), "a[*]b - /date/a[*]b.dbf");
}

}  // namespace
}  // namespace lumbra
