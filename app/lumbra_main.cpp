#include "app/lumbra_main.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

#include "analysis/distinct_report.h"
#include "analysis/structure_report.h"
#include "app/progress_window.h"
#include "winutil/qt_desktop.h"

namespace lumbra {

namespace {

const QColor kPageColour(247, 246, 245);
const QColor kTabBorderColour(145, 155, 156);
const QColor kHotTrackColour(255, 199, 60);
const QColor kBitBtnFaceColour(244, 244, 240);
const QColor kBitBtnHighlightColour(106, 141, 244);

// The window font at a pixel size; where MS Sans Serif is missing, Liberation
// Sans stands in for it.
QFont WindowFont(int pixelSize) {
  QFont font;
  font.setFamilies({"MS Sans Serif", "Liberation Sans"});
  font.setPixelSize(pixelSize);
  return font;
}

QFont MemoFont(int pixelSize) {
  QFont font;
  font.setFamilies({"Courier New", "Liberation Mono"});
  font.setBold(true);
  font.setPixelSize(pixelSize);
  return font;
}

void Paint(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, colour);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

// A band docked to its parent's top edge at full width.
QFrame* TopBand(const char* name, int height, QWidget* parent, QVBoxLayout* layout) {
  auto* band = new QFrame(parent);
  band->setObjectName(name);
  band->setFrameShape(QFrame::NoFrame);
  band->setFixedHeight(height);
  layout->addWidget(band);
  return band;
}

QVBoxLayout* DockLayout(QWidget* parent) {
  auto* layout = new QVBoxLayout(parent);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  return layout;
}

// The picture of "Goleste Baza": a red disc with a white cross, in greys when
// the button is disabled.
QIcon DeleteGlyph(int size) {
  auto frame = [size](const QColor& disc, const QColor& cross) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(disc);
    painter.drawEllipse(QRectF(0.5, 0.5, size - 1.0, size - 1.0));
    painter.setPen(QPen(cross, size / 8.0, Qt::SolidLine, Qt::RoundCap));
    const double a = size * 0.32;
    const double b = size - a;
    painter.drawLine(QPointF(a, a), QPointF(b, b));
    painter.drawLine(QPointF(a, b), QPointF(b, a));
    return pixmap;
  };
  QIcon icon;
  icon.addPixmap(frame(QColor(204, 0, 0), Qt::white), QIcon::Normal);
  icon.addPixmap(frame(QColor(150, 150, 150), QColor(230, 230, 230)), QIcon::Disabled);
  return icon;
}

QString Rgb(const QColor& colour) {
  return QString("rgb(%1, %2, %3)").arg(colour.red()).arg(colour.green()).arg(colour.blue());
}

// Flat tabs of a fixed total height: a thin border, and on the active tab and
// the tab under the mouse a coloured bar along the top. Set on the tab bar
// alone: a style sheet on the page control would stop the window's font from
// reaching the pages' controls.
QString TabBarStyle(int tabHeight) {
  constexpr int kBorder = 1;
  constexpr int kBar = 3;
  return QString(
             "QTabBar::tab { background: %2; border: %3px solid %1; border-bottom: none;"
             " padding: %4px 8px 0px 8px; height: %5px; margin-right: 1px; }"
             "QTabBar::tab:selected, QTabBar::tab:hover { border-top: %6px solid %7;"
             " padding-top: 0px; }")
      .arg(Rgb(kTabBorderColour), Rgb(kPageColour))
      .arg(kBorder)
      .arg(kBar - kBorder)
      .arg(tabHeight - kBar)
      .arg(kBar)
      .arg(Rgb(kHotTrackColour));
}

QString BitBtnStyle() {
  return QString(
             "QPushButton#RzBitBtn1 { background: %1; border: 1px solid %2; border-radius: 2px; }"
             "QPushButton#RzBitBtn1:focus { border-color: %3; }"
             "QPushButton#RzBitBtn1:hover { border-color: %4; }"
             "QPushButton#RzBitBtn1:pressed { background: %3; color: white; }")
      .arg(Rgb(kBitBtnFaceColour), Rgb(kTabBorderColour), Rgb(kBitBtnHighlightColour),
           Rgb(kHotTrackColour));
}

// The kind of error when it is the engine's; none otherwise.
std::optional<TDbfErrorKind> KindOf(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const EDbfError& engine) {
    return engine.Kind();
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace

TLumbraMain::TLumbraMain(TApplication& application, const TRegionalSettings& settings,
                         TStartUpInfo startUp)
    : FApplication(application), FStartUp(std::move(startUp)), FSlots(*this, settings) {
  // The layout is designed at 96 pixels per inch, where the window font is 11
  // pixels high; on another setting the font follows the setting and every
  // length follows the font's measured height.
  const QFont font = WindowFont((11 * FStartUp.PixelsPerInch + 48) / 96);
  FTextHeight = QFontMetrics(font).height();
  FDesignTextHeight = QFontMetrics(WindowFont(11)).height();
  setFont(font);

  setWindowTitle("Lumbra");
  setAcceptDrops(true);
  // The designed geometry is the frame's.
  TQtForm form(*this);
  form.SetLeft(224);
  form.SetTop(257);
  form.SetWidth(Scaled(976));
  form.SetHeight(Scaled(526));
  BuildComponents();
  BuildMenu();
  Dispatch(&TLumbraMain::FormCreate, this);
}

int TLumbraMain::Scaled(int designed) const {
  return (designed * FTextHeight + FDesignTextHeight / 2) / FDesignTextHeight;
}

void TLumbraMain::BuildComponents() {
  auto* client = new QWidget(this);
  setCentralWidget(client);
  QVBoxLayout* clientLayout = DockLayout(client);

  Panel1 = TopBand("Panel1", Scaled(57), client, clientLayout);
  auto place = [this](QWidget* widget, const char* name, int x, int y, int width, int height) {
    widget->setObjectName(name);
    widget->setGeometry(Scaled(x), Scaled(y), Scaled(width), Scaled(height));
  };
  Label1 = new QLabel("Filtru:", Panel1);
  place(Label1, "Label1", 8, 8, 25, 13);
  // The label is as wide as its text, which the designed width fits only in
  // MS Sans Serif; a wider stand-in font must not cut the colon off.
  Label1->resize(std::max(Label1->width(), Label1->fontMetrics().horizontalAdvance(Label1->text())),
                 Label1->height());
  Edit1 = new QLineEdit(Panel1);
  place(Edit1, "Edit1", 8, 24, 513, 21);
  Button1 = new QPushButton("Filtreaza", Panel1);
  place(Button1, "Button1", 526, 22, 75, 25);
  Edit2 = new QLineEdit(Panel1);
  place(Edit2, "Edit2", 608, 24, 161, 21);
  Button2 = new QPushButton("Sort by..", Panel1);
  place(Button2, "Button2", 774, 22, 75, 25);

  RzPageControl1 = new QTabWidget(client);
  RzPageControl1->setObjectName("RzPageControl1");
  RzPageControl1->tabBar()->setStyleSheet(TabBarStyle(Scaled(19)));
  Paint(RzPageControl1, kPageColour);
  clientLayout->addWidget(RzPageControl1, 1);

  TabSheet1 = new QWidget(RzPageControl1);
  TabSheet1->setObjectName("TabSheet1");
  Paint(TabSheet1, kPageColour);
  QVBoxLayout* sheet1Layout = DockLayout(TabSheet1);
  Panel2 = TopBand("Panel2", Scaled(42), TabSheet1, sheet1Layout);
  Paint(Panel2, kPageColour);
  RzBitBtn1 = new QPushButton("Goleste Baza", Panel2);
  place(RzBitBtn1, "RzBitBtn1", 8, 8, 105, 25);
  RzBitBtn1->setIcon(DeleteGlyph(Scaled(16)));
  RzBitBtn1->setIconSize(QSize(Scaled(16), Scaled(16)));
  RzBitBtn1->setStyleSheet(BitBtnStyle());
  RzDBGrid1 = BuildGrid("RzDBGrid1", FSlots.DataSource1, TabSheet1);
  sheet1Layout->addWidget(RzDBGrid1, 1);
  RzPageControl1->addTab(TabSheet1, "DBF1");

  TabSheet2 = new QWidget(RzPageControl1);
  TabSheet2->setObjectName("TabSheet2");
  Paint(TabSheet2, kPageColour);
  RzDBGrid2 = BuildGrid("RzDBGrid2", FSlots.DataSource2, TabSheet2);
  DockLayout(TabSheet2)->addWidget(RzDBGrid2, 1);
  RzPageControl1->addTab(TabSheet2, "DBF2");

  TabSheet3 = new QWidget(RzPageControl1);
  TabSheet3->setObjectName("TabSheet3");
  Paint(TabSheet3, kPageColour);
  QVBoxLayout* sheet3Layout = DockLayout(TabSheet3);
  // No fill of its own: it shows the tab's colour.
  RzPanel1 = TopBand("RzPanel1", Scaled(42), TabSheet3, sheet3Layout);
  Button3 = new QPushButton("Compara structura DBF-urilor deschise", RzPanel1);
  place(Button3, "Button3", 8, 8, 201, 25);
  Memo1 = new QPlainTextEdit(TabSheet3);
  Memo1->setObjectName("Memo1");
  Memo1->setFont(MemoFont(Scaled(13)));
  Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Tab moves the focus on, as in every other field of the window.
  Memo1->setTabChangesFocus(true);
  sheet3Layout->addWidget(Memo1, 1);
  FMemoLines = std::make_unique<TMemoLineSink>(*Memo1);
  RzPageControl1->addTab(TabSheet3, "Comparatii si analize");
  RzPageControl1->setCurrentIndex(0);

  // The fields that take dropped text leave a dropped table to the window.
  for (QWidget* field :
       {static_cast<QWidget*>(Edit1), static_cast<QWidget*>(Edit2), Memo1->viewport()})
    field->installEventFilter(this);

  ConnectButton(Button1, &TLumbraMain::Button1Click);
  ConnectButton(Button2, &TLumbraMain::Button2Click);
  ConnectButton(RzBitBtn1, &TLumbraMain::RzBitBtn1Click);
  ConnectButton(Button3, &TLumbraMain::Button3Click);
}

void TLumbraMain::BuildMenu() {
  // No accelerator letters and no shortcut keys.
  MainMenu1 = menuBar();
  MainMenu1->setObjectName("MainMenu1");
  Fisier1 = MainMenu1->addMenu("Fisier");
  Fisier1->setObjectName("Fisier1");
  Deschide1 = Fisier1->addAction("Deschide");
  Deschide1->setObjectName("Deschide1");
  Inchide1 = Fisier1->addAction("Inchide");
  Inchide1->setObjectName("Inchide1");
  Analiza1 = MainMenu1->addMenu("Analiza");
  Analiza1->setObjectName("Analiza1");
  Analizadistinctpercoloane1 = Analiza1->addAction("Analiza distinct per coloane");
  Analizadistinctpercoloane1->setObjectName("Analizadistinctpercoloane1");

  OpenDialog1.Filter = "DBF-uri|*.dbf";

  ConnectAction(Deschide1, &TLumbraMain::Deschide1Click);
  ConnectAction(Inchide1, &TLumbraMain::Inchide1Click);
  ConnectAction(Analizadistinctpercoloane1, &TLumbraMain::Analizadistinctpercoloane1Click);
}

TGridView* TLumbraMain::BuildGrid(const char* name, TDataSource& dataSource, QWidget* parent) {
  // A grid's errors surface outside any command: they go to the one error
  // handler like a command's.
  auto* grid = new TGridView(
      dataSource,
      [this](std::exception_ptr error) {
        if (FCommandError && KindOf(error) == FCommandError) return;
        FApplication.Guard([error] { std::rethrow_exception(error); });
      },
      parent);
  grid->setObjectName(name);
  dataSource.OnStateChange = [grid] { grid->Reset(); };
  dataSource.DataSet().OnStateChange = [grid] { grid->Reset(); };
  return grid;
}

void TLumbraMain::Dispatch(THandler handler, QObject* sender) {
  FCommandError.reset();
  FApplication.Guard([this, handler, sender] {
    try {
      (this->*handler)(sender);
    } catch (const EDbfError& error) {
      FCommandError = error.Kind();
      throw;
    }
  });
}

void TLumbraMain::ConnectButton(QPushButton* button, THandler handler) {
  connect(button, &QPushButton::clicked, this,
          [this, button, handler] { Dispatch(handler, button); });
}

void TLumbraMain::ConnectAction(QAction* action, THandler handler) {
  connect(action, &QAction::triggered, this,
          [this, action, handler] { Dispatch(handler, action); });
}

void TLumbraMain::FormCreate(QObject*) {
  TQtForm form(*this);
  CentreazaSiRedimensioneazaForm(form, FStartUp.Desktop);
  // A folder, a missing path or one that cannot be examined is not a file,
  // and is passed over without a word.
  std::error_code error;
  const std::string& argument = FStartUp.FirstArgument;
  if (!argument.empty() && std::filesystem::is_regular_file(argument, error)) {
    const TLongCommand running(this, "Deschide", ProgressDelay);
    FSlots.DeschideDbf1(argument);
  }
}

void TLumbraMain::Deschide1Click(QObject*) {
  if (!OpenDialog1.Execute(FApplication.Ui(), this)) return;
  DeschideInTabulActiv(OpenDialog1.FileName.toStdString());
}

void TLumbraMain::FormDragDrop(QObject*) {
  DeschideInTabulActiv(FDroppedFile.toStdString());
}

void TLumbraMain::DeschideInTabulActiv(const std::string& path) {
  const TLongCommand running(this, "Deschide", ProgressDelay);
  if (RzPageControl1->currentIndex() == 1) {
    FSlots.DeschideDbf2(path);
  } else {
    FSlots.DeschideDbf1(path);
  }
}

void TLumbraMain::Inchide1Click(QObject*) {
  FApplication.ShowInfoBox("Oare ce-ar trebui sa faca aceasta comanda?????");
}

void TLumbraMain::Button1Click(QObject*) {
  const TLongCommand running(this, "Filtreaza", ProgressDelay);
  // A filter the user stopped needs no box.
  FSlots.Filtreaza(Edit1->text().toStdString(),
                   [this](const Exception& error) { FApplication.HandleException(error); });
}

void TLumbraMain::Button2Click(QObject*) {
  const TLongCommand running(this, "Sort by..", ProgressDelay);
  FSlots.SorteazaDupa(Edit2->text().toStdString());
}

void TLumbraMain::RzBitBtn1Click(QObject*) {
  const TLongCommand running(this, "Goleste Baza", ProgressDelay);
  FSlots.GolesteBaza();
}

void TLumbraMain::Button3Click(QObject*) {
  const TLongCommand running(this, "Compara structura DBF-urilor deschise", ProgressDelay);
  CompareStructure(
      FSlots.AT, FSlots.AT2, [this](const std::string& text) { FApplication.ShowInfoBox(text); },
      *FMemoLines);
}

void TLumbraMain::Analizadistinctpercoloane1Click(QObject*) {
  const TLongCommand running(this, "Analiza distinct per coloane", ProgressDelay);
  AnalyzeDistinctPerColumn(
      FSlots.AT, FSlots.DataSource1,
      [this](const std::string& text) { FApplication.ShowInfoBox(text); }, *FMemoLines);
}

QString TLumbraMain::DroppedTable(const QMimeData* mime) {
  if (mime == nullptr || !mime->hasUrls() || mime->urls().size() != 1) return QString();
  const QUrl url = mime->urls().front();
  if (!url.isLocalFile()) return QString();
  const QString path = url.toLocalFile();
  if (!path.endsWith(".dbf", Qt::CaseInsensitive) || !QFileInfo(path).isFile()) return QString();
  return path;
}

void TLumbraMain::dragEnterEvent(QDragEnterEvent* event) {
  if (DroppedTable(event->mimeData()).isEmpty()) {
    event->ignore();
  } else {
    event->acceptProposedAction();
  }
}

void TLumbraMain::dragMoveEvent(QDragMoveEvent* event) {
  if (DroppedTable(event->mimeData()).isEmpty()) {
    event->ignore();
  } else {
    event->acceptProposedAction();
  }
}

void TLumbraMain::dropEvent(QDropEvent* event) {
  const QString path = DroppedTable(event->mimeData());
  if (path.isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  FDroppedFile = path;
  // The drag source waits for the drop to end: the table opens after it.
  QMetaObject::invokeMethod(
      this, [this] { Dispatch(&TLumbraMain::FormDragDrop, this); }, Qt::QueuedConnection);
}

bool TLumbraMain::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      if (!DroppedTable(static_cast<QDropEvent*>(event)->mimeData()).isEmpty()) {
        if (event->type() == QEvent::Drop) {
          dropEvent(static_cast<QDropEvent*>(event));
        } else {
          static_cast<QDropEvent*>(event)->acceptProposedAction();
        }
        return true;
      }
      break;
    default:
      break;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TLumbraMain::SetWindowCaption(const std::string& caption) {
  // Qt takes "[*]" for its modified-document marker and shows "[*][*]" as
  // "[*]"; a table may well be called a[*]b.
  setWindowTitle(QString::fromStdString(caption).replace("[*]", "[*][*]"));
}

void TLumbraMain::SetApplicationTitle(const std::string& title) {
  FApplication.SetTitle(QString::fromStdString(title));
}

void TLumbraMain::SetTabCaption(int slot, const std::string& caption) {
  RzPageControl1->setTabText(slot - 1, QString::fromStdString(caption));
}

}  // namespace lumbra
