#pragma once

#include <cstdlib>

namespace bc {

/// Whether the desktop program has a display to show its window on. Plain C
/// library calls: the launcher, which links nothing else, asks it too.
inline bool HaveDisplay() {
  auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

}  // namespace bc
