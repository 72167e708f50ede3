#pragma once

#include <QIcon>
#include <QToolButton>

namespace bc {

/// A flat tool button showing an icon and optional text, with a thin raised
/// border while the mouse is over it and a sunken one while it is pressed: the
/// main window's tool buttons. QToolButton's auto-raise draws those borders;
/// this class adds what it lacks: a second icon shown while hovering or pressed,
/// and switching the text and the border off. The icon stands left of the
/// text, and keyboard focus draws no focus rectangle.
class CIconButton : public QToolButton {
  Q_OBJECT

 public:
  explicit CIconButton(QWidget* parent = nullptr);

  /// Sets the icon drawn while hovering or pressed (`in`) and otherwise (`out`).
  /// A null `out` makes `in` serve for both. `width` and `height` (0 to 255) are
  /// the size the icon is drawn at.
  void AssignIcons(const QIcon& in, const QIcon& out, int width, int height);

  /// Off: the button's text is not drawn, only the icon.
  void SetShowText(bool show);
  /// Off: no border in flat style, not even while hovering or pressed.
  void SetDrawBorder(bool draw);

  [[nodiscard]] bool isHovering() const { return hover_; }
  /// The icon the button draws now: `in` while hovering or pressed, else `out`.
  [[nodiscard]] QIcon currentIcon() const;

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void UpdateStyle();

  bool showText_ = true;
  bool drawBorder_ = true;
  bool hover_ = false;
  QIcon iconIn_;
  QIcon iconOut_;
};

}  // namespace bc
