#include "ui/ui_resources.h"

#include <QApplication>
#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <map>
#include <memory>
#include <tuple>
#include <utility>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitIconsResource() {
  Q_INIT_RESOURCE(icons);
}

namespace bc {

namespace {

QString ResourcePath(const QString& name) {
  return QStringLiteral(":/icons/") + name + QStringLiteral(".svg");
}

// `renderer`'s picture drawn at exactly `size`; null when it holds none.
QPixmap Render(QSvgRenderer& renderer, QSize size, qreal devicePixelRatio) {
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

// The sizes a tray, menu or tool button asks for: what the icon offers to
// those that pick from a list (a window's icon, a tray on D-Bus).
constexpr int kIconSides[] = {16, 22, 24, 32, 48, 64};

// Renders the picture at each size when first asked for it, by hand, so the
// icon does not depend on the SVG icon-engine plugin being installed. Drawn
// on demand: a window's dozen icons cost nothing until they are on screen,
// and only at the sizes shown. The picture is read once, when first drawn,
// and shared by the engine's copies: a window's icon is drawn at every size
// it offers.
class EmbeddedIconEngine final : public QIconEngine {
 public:
  explicit EmbeddedIconEngine(QString name) : name_(std::move(name)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, ratio));
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return scaledPixmap(size, mode, state, 1.0);
  }

  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State /*state*/,
                       qreal scale) override {
    const auto key =
        std::make_tuple(size.width(), size.height(), static_cast<int>(mode), qRound(scale * 100));
    if (const auto found = made_.find(key); found != made_.end()) {
      return found->second;
    }
    if (!renderer_) {
      renderer_ = std::make_shared<QSvgRenderer>(ResourcePath(name_));
    }
    QPixmap pixmap = Render(*renderer_, size, scale);
    if (mode != QIcon::Normal && mode != QIcon::Active && !pixmap.isNull()) {
      // Greyed or highlighted as the style does for every icon.
      QStyleOption option;
      option.palette = QGuiApplication::palette();
      pixmap = QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
    }
    made_.emplace(key, pixmap);
    return pixmap;
  }

  QList<QSize> availableSizes(QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
    QList<QSize> sizes;
    for (int side : kIconSides) {
      sizes.append(QSize(side, side));
    }
    return sizes;
  }

  QIconEngine* clone() const override { return new EmbeddedIconEngine(*this); }
  QString key() const override { return QStringLiteral("bc-embedded-svg"); }

 private:
  QString name_;
  std::shared_ptr<QSvgRenderer> renderer_;
  std::map<std::tuple<int, int, int, int>, QPixmap> made_;
};

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
  // Read only when first drawn: the window makes a dozen icons before it shows.
  if (!QFile::exists(ResourcePath(name))) {
    return {};
  }
  return QIcon(new EmbeddedIconEngine(name));
}

QPixmap EmbeddedPixmap(const QString& name, QSize size, qreal devicePixelRatio) {
  InitUiResources();
  QSvgRenderer renderer(ResourcePath(name));
  return Render(renderer, size, devicePixelRatio);
}

}  // namespace bc
