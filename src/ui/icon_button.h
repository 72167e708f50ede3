#pragma once

#include <QColor>
#include <QIcon>
#include <QToolButton>

namespace bc {

/// A flat tool button showing an icon and optional text, with a thin raised
/// border while the mouse is over it and a sunken one while it is pressed: the
/// main window's tool buttons. QToolButton's auto-raise draws those borders;
/// this class adds what it lacks: a second icon shown while hovering or pressed,
/// the choice of icon left of or above the text, switching the text and the
/// border off, and separate colours for the hovering and the resting state.
class CIconButton : public QToolButton {
  Q_OBJECT

 public:
  enum class IconAlign { Left = 0, Above = 1 };

  explicit CIconButton(QWidget* parent = nullptr);

  /// Sets the icon drawn while hovering or pressed (`in`) and otherwise (`out`).
  /// A null `out` makes `in` serve for both. `width` and `height` (0 to 255) are
  /// the size the icon is drawn at.
  void AssignIcons(const QIcon& in, const QIcon& out, int width, int height);

  void SetIconAlign(IconAlign align);
  /// Off: the button's text is not drawn, only the icon.
  void SetShowText(bool show);
  /// Off: no border in flat style, not even while hovering or pressed.
  void SetDrawBorder(bool draw);
  /// Off: the full raised 3-D button at all times.
  void SetFlat(bool flat);
  /// In flat style, whether keyboard focus is shown with a focus rectangle.
  void SetFocusRect(bool show);
  /// Background and text colours while resting (`out`) and while hovering or
  /// pressed (`in`). Until set, the style's button colours are used.
  void SetColors(const QColor& backgroundOut, const QColor& textOut, const QColor& backgroundIn,
                 const QColor& textIn);

  [[nodiscard]] IconAlign iconAlign() const { return align_; }
  [[nodiscard]] bool showsText() const { return showText_; }
  [[nodiscard]] bool drawsBorder() const { return drawBorder_; }
  [[nodiscard]] bool isFlat() const { return autoRaise(); }
  [[nodiscard]] bool isHovering() const { return hover_; }
  /// The icon the button draws now: `in` while hovering or pressed, else `out`.
  [[nodiscard]] QIcon currentIcon() const;

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void UpdateStyle();

  IconAlign align_ = IconAlign::Left;
  bool showText_ = true;
  bool drawBorder_ = true;
  bool hover_ = false;
  bool focusRect_ = false;
  QIcon iconIn_;
  QIcon iconOut_;
  bool customColors_ = false;
  QColor backgroundOut_, textOut_, backgroundIn_, textIn_;
};

}  // namespace bc
