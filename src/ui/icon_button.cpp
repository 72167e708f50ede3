#include "ui/icon_button.h"

#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <algorithm>

namespace bc {

CIconButton::CIconButton(QWidget* parent) : QToolButton(parent) {
  setAutoRaise(true);
  UpdateStyle();
}

void CIconButton::AssignIcons(const QIcon& in, const QIcon& out, int width, int height) {
  iconIn_ = in;
  iconOut_ = out.isNull() ? in : out;
  // The sizes are kept in one byte each.
  setIconSize(QSize(std::clamp(width, 0, 255), std::clamp(height, 0, 255)));
  setIcon(iconOut_);
  update();
}

void CIconButton::SetShowText(bool show) {
  showText_ = show;
  UpdateStyle();
}

void CIconButton::SetDrawBorder(bool draw) {
  drawBorder_ = draw;
  update();
}

QIcon CIconButton::currentIcon() const {
  return (hover_ || isDown()) ? iconIn_ : iconOut_;
}

void CIconButton::UpdateStyle() {
  if (!showText_) {
    setToolButtonStyle(Qt::ToolButtonIconOnly);
  } else {
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  }
  update();
}

void CIconButton::enterEvent(QEnterEvent* event) {
  hover_ = true;
  update();
  QToolButton::enterEvent(event);
}

void CIconButton::leaveEvent(QEvent* event) {
  hover_ = false;
  update();
  QToolButton::leaveEvent(event);
}

void CIconButton::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionToolButton option;
  initStyleOption(&option);
  option.icon = currentIcon();
  if (!showText_) {
    option.text.clear();
  }
  if (autoRaise()) {
    if (!drawBorder_) {
      // Without the hover and pressed states the style draws no panel at all.
      option.state &= ~(QStyle::State_MouseOver | QStyle::State_Sunken | QStyle::State_On |
                        QStyle::State_Raised);
    }
    option.state &= ~QStyle::State_HasFocus;
  }
  painter.drawComplexControl(QStyle::CC_ToolButton, option);
}

}  // namespace bc
