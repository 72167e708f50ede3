#pragma once

#include <QProxyStyle>

namespace bc {

/// The desktop's own style, except that the arrow of a menu or tool bar too
/// narrow for its entries is drawn with the style's arrow rather than read
/// from an image file: reading that image loads every image-format plugin
/// (and the JPEG library), and every window with a menu bar makes the arrow
/// before it shows.
class DrawnArrowStyle final : public QProxyStyle {
 public:
  DrawnArrowStyle() = default;

  QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption* option = nullptr,
                     const QWidget* widget = nullptr) const override;
};

}  // namespace bc
