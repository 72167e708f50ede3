#include "ui/ui_resources.h"

#include <QPainter>
#include <QSvgRenderer>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitIconsResource() {
  Q_INIT_RESOURCE(icons);
}

namespace bc {

namespace {

QString ResourcePath(const QString& name) {
  return QStringLiteral(":/icons/") + name + QStringLiteral(".svg");
}

}  // namespace

void InitUiResources() {
  static const bool done = [] {
    InitIconsResource();
    return true;
  }();
  (void)done;
}

QIcon EmbeddedIcon(const QString& name) {
  InitUiResources();
  QSvgRenderer renderer(ResourcePath(name));
  if (!renderer.isValid()) {
    return {};
  }
  // Rendered by hand at the sizes a tray, menu or tool button asks for, so the
  // icon does not depend on the SVG icon-engine plugin being installed.
  QIcon icon;
  for (int side : {16, 22, 24, 32, 48, 64}) {
    icon.addPixmap(EmbeddedPixmap(name, QSize(side, side)));
  }
  return icon;
}

QPixmap EmbeddedPixmap(const QString& name, QSize size, qreal devicePixelRatio) {
  InitUiResources();
  QSvgRenderer renderer(ResourcePath(name));
  if (!renderer.isValid() || size.isEmpty()) {
    return {};
  }
  QPixmap pixmap(size * devicePixelRatio);
  pixmap.setDevicePixelRatio(devicePixelRatio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
  return pixmap;
}

}  // namespace bc
