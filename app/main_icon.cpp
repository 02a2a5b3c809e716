#include "app/main_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace lumbra {

QImage RenderMainIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QSvgRenderer renderer(QStringLiteral(":/lumbra/lumbra.svg"));
  QPainter painter(&image);
  renderer.render(&painter);
  return image;
}

QIcon MainIcon() {
  QIcon icon;
  for (const int size : kMainIconSizes)
    icon.addPixmap(QPixmap::fromImage(RenderMainIcon(size)));
  return icon;
}

}  // namespace lumbra
