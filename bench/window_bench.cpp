// lumbra-window-bench: times the window's own commands, offscreen, on a table
// that exists (bench/run gives it the Visual FoxPro table lumbra-bench
// writes). One task a run, so that the process's peak memory is the task's:
//   open      the window started with the table, to its first screen painted;
//   distinct  "Analiza distinct per coloane" through its menu handler;
//   sort      "Sort by.." through Button2Click, the grid laid out again;
//   filter    "Filtreaza" through Button1Click, the grid laid out again.
// Prints "window_<task>_s <seconds> s", "window_<task>_cpu_s <seconds> s" and
// "window_<task>_peak_mb <MB> MB" (the largest resident set the process had),
// and for the commands "window_<task>_max_gap_ms <ms> ms", the longest
// the program went without handling its events (repainting) meanwhile.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "app/application.h"
#include "app/lumbra_main.h"
#include "app/qt_modal_ui.h"
#include "bench/bench_support.h"
#include "winutil/qt_desktop.h"

namespace lumbra {
namespace {

// Boxes would wait for a user: a box means the task failed.
class TFailingUi final : public IModalUi {
 public:
  void PresentInfoBox(const QString&, const QString& text) override { Fail(text); }
  void PresentErrorBox(const QString&, const QString& text) override { Fail(text); }
  bool RunOpenDialog(QFileDialog&) override { return false; }

 private:
  [[noreturn]] static void Fail(const QString& text) {
    std::fprintf(stderr, "lumbra-window-bench: %s\n", text.toUtf8().constData());
    std::exit(1);
  }
};

// The high-water mark of this program's own memory. Not getrusage's
// ru_maxrss: Linux keeps that across exec, so a child of a large parent (the
// bench driver) would report the parent's peak.
double PeakMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

std::unique_ptr<TLumbraMain> StartWindow(TApplication& application,
                                         const TRegionalSettings& settings,
                                         const std::string& table) {
  TStartUpInfo startUp;
  startUp.Desktop = {std::make_shared<TQtMonitors>(), std::make_shared<TLocalClock>()};
  startUp.FirstArgument = table;
  auto window = std::make_unique<TLumbraMain>(application, settings, startUp);
  window->show();
  // The first screen: the grid's rows read and painted.
  window->RzDBGrid1->viewport()->repaint();
  return window;
}

// The longest time the event loop went unserved while a command ran: a timer
// due every few milliseconds notes when its ticks come.
class TGapMeter {
 public:
  TGapMeter() {
    FTimer.setTimerType(Qt::PreciseTimer);
    FTimer.setInterval(5);
    QObject::connect(&FTimer, &QTimer::timeout, [this] { Tick(); });
  }
  void Start() {
    FClock.start();
    FLast = 0;
    FMax = 0;
    FTimer.start();
  }
  double StopMs() {
    Tick();
    FTimer.stop();
    return static_cast<double>(FMax) / 1e6;
  }

 private:
  void Tick() {
    const qint64 now = FClock.nsecsElapsed();
    FMax = std::max(FMax, now - FLast);
    FLast = now;
  }
  QTimer FTimer;
  QElapsedTimer FClock;
  qint64 FLast = 0;
  qint64 FMax = 0;
};

// Presses "Renunta" once the progress window is up, noting when.
void CancelWhenShown(QElapsedTimer& pressed) {
  QTimer::singleShot(0, [&pressed] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->objectName() != "ProgressWindow" || !widget->isVisible()) continue;
      pressed.start();
      widget->findChild<QPushButton*>("ButtonRenunta")->click();
      return;
    }
    CancelWhenShown(pressed);
  });
}

int Run(const std::string& task, const std::string& table, const std::string& sort,
        const std::string& filter, int cancelAfterMs) {
  TFailingUi ui;
  TApplication application("/usr/bin/lumbra", ui);
  const TRegionalSettings settings = TRegionalSettings::FromEnvironment();
  std::unique_ptr<TLumbraMain> window;
  TTiming timing;
  TGapMeter gaps;
  if (task == "start" || task == "open") {
    const std::string argument = task == "open" ? table : "";
    timing = TimeOnce([&] { window = StartWindow(application, settings, argument); });
  } else {
    window = StartWindow(application, settings, table);
    gaps.Start();
    QElapsedTimer pressed;
    if (cancelAfterMs >= 0) {
      QTimer::singleShot(cancelAfterMs, [&pressed] { CancelWhenShown(pressed); });
    }
    if (task == "distinct") {
      // Through the error guard, as a click runs it: a stopped command ends in EAbort.
      timing = TimeOnce(
          [&] { application.Guard([&] { window->Analizadistinctpercoloane1Click(nullptr); }); });
      if (cancelAfterMs < 0 && window->Memo1->document()->isEmpty()) {
        std::fputs("lumbra-window-bench: the report is empty\n", stderr);
        return 1;
      }
    } else if (task == "sort") {
      window->Edit2->setText(QString::fromStdString(sort));
      timing = TimeOnce([&] {
        application.Guard([&] { window->Button2Click(nullptr); });
        window->RzDBGrid1->viewport()->repaint();
      });
      if (cancelAfterMs < 0 && !window->Slots().AT.Active()) {
        std::fputs("lumbra-window-bench: the sort left the table closed\n", stderr);
        return 1;
      }
    } else if (task == "filter") {
      window->Edit1->setText(QString::fromStdString(filter));
      timing = TimeOnce([&] {
        application.Guard([&] { window->Button1Click(nullptr); });
        window->RzDBGrid1->viewport()->repaint();
      });
      if (cancelAfterMs < 0 && !window->Slots().AT.Filtered) {
        std::fputs("lumbra-window-bench: the filter is not in force\n", stderr);
        return 1;
      }
    } else {
      std::fprintf(stderr, "lumbra-window-bench: unknown task '%s'\n", task.c_str());
      return 2;
    }
    if (pressed.isValid()) {
      std::printf("window_%s_cancel_ms %.1f ms\n", task.c_str(),
                  static_cast<double>(pressed.nsecsElapsed()) / 1e6);
    }
  }
  if (task == "distinct" || task == "sort" || task == "filter") {
    std::printf("window_%s_max_gap_ms %.1f ms\n", task.c_str(), gaps.StopMs());
  }
  std::printf("window_%s_s %.6f s\nwindow_%s_cpu_s %.6f s\nwindow_%s_peak_mb %.1f MB\n",
              task.c_str(), timing.Wall, task.c_str(), timing.Cpu, task.c_str(), PeakMegabytes());
  return 0;
}

}  // namespace
}  // namespace lumbra

int main(int argc, char** argv) {
  std::string task, table, sort = "ORAS;SUMA DESC", filter = "ORAS = 'Cluj' AND SUMA > 100";
  int cancelAfterMs = -1;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view arg = argv[i];
    if (arg == "--task") {
      task = argv[i + 1];
    } else if (arg == "--table") {
      table = argv[i + 1];
    } else if (arg == "--cancel-after") {
      cancelAfterMs = std::stoi(argv[i + 1]);
    } else if (arg == "--sort") {
      sort = argv[i + 1];
    } else if (arg == "--filter") {
      filter = argv[i + 1];
    }
  }
  if (task.empty() || table.empty()) {
    std::fputs(
        "Usage: lumbra-window-bench --task start|open|distinct|sort|filter --table FILE\n"
        "                           [--sort LIST] [--filter TEXT] [--cancel-after MS]\n"
        "  runs one of the window's commands offscreen on FILE and prints its time and\n"
        "  the process's peak memory\n",
        stderr);
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication qt(argc, argv);
  return lumbra::Run(task, table, sort, filter, cancelAfterMs);
}
