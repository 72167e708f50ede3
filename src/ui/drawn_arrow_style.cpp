#include "ui/drawn_arrow_style.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QStyleOption>

namespace bc {
namespace {

// Draws one of the style's arrows at whatever size is asked for.
class ArrowIconEngine final : public QIconEngine {
 public:
  ArrowIconEngine(const QStyle& style, QStyle::PrimitiveElement arrow)
      : style_(style), arrow_(arrow) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
             QIcon::State /*state*/) override {
    QStyleOption option;
    option.rect = rect;
    option.palette = QGuiApplication::palette();
    option.state = mode == QIcon::Disabled ? QStyle::State_None : QStyle::State_Enabled;
    style_.drawPrimitive(arrow_, &option, painter);
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    return pixmap;
  }

  QIconEngine* clone() const override { return new ArrowIconEngine(*this); }

 private:
  const QStyle& style_;
  QStyle::PrimitiveElement arrow_;
};

}  // namespace

QIcon DrawnArrowStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption* option,
                                    const QWidget* widget) const {
  const bool rightToLeft = option ? option->direction == Qt::RightToLeft
                                  : widget && widget->layoutDirection() == Qt::RightToLeft;
  switch (standardIcon) {
    case SP_ToolBarHorizontalExtensionButton:
      return QIcon(
          new ArrowIconEngine(*this, rightToLeft ? PE_IndicatorArrowLeft : PE_IndicatorArrowRight));
    case SP_ToolBarVerticalExtensionButton:
      return QIcon(new ArrowIconEngine(*this, PE_IndicatorArrowDown));
    default:
      return QProxyStyle::standardIcon(standardIcon, option, widget);
  }
}

}  // namespace bc
