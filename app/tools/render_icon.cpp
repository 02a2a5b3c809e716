// Writes the program icon's renderings as FOLDER/<n>x<n>/apps/lumbra.png, the
// layout of a desktop icon theme.
#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "app/main_icon.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: lumbra_render_icon FOLDER\n");
    return 2;
  }
  // No screen is needed to draw into an image.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  const QGuiApplication application(argc, argv);
  for (const int size : lumbra::kMainIconSizes) {
    const QString folder = QString("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
    if (!QDir().mkpath(folder) || !lumbra::RenderMainIcon(size).save(folder + "/lumbra.png")) {
      std::fprintf(stderr, "lumbra_render_icon: cannot write %s\n", qPrintable(folder));
      return 1;
    }
  }
  return 0;
}
