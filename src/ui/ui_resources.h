#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace bc {

/// Registers the program's embedded pictures (res/icons) with Qt's resource
/// system. bc_ui is a static library, so its resources are not registered until
/// this runs; every loader below calls it, and calling it again does nothing.
void InitUiResources();

/// The embedded SVG picture ":/icons/<name>.svg" as an icon that scales to any
/// size. An unknown name gives a null icon; the picture is read when the icon
/// is first drawn.
[[nodiscard]] QIcon EmbeddedIcon(const QString& name);

/// The embedded SVG picture rendered at exactly `size` device-independent
/// pixels, sharp on high-density screens when `devicePixelRatio` is above 1.
/// Pixels the picture leaves blank are transparent. An unknown name gives a
/// null pixmap.
[[nodiscard]] QPixmap EmbeddedPixmap(const QString& name, QSize size, qreal devicePixelRatio = 1.0);

}  // namespace bc
