#pragma once

#include <string>

namespace bc {

/// A notice for the user: a title (the program's name) and the message under it.
/// How it is laid out is the business of whatever shows it.
struct Notice {
  std::string title;
  std::string body;

  bool operator==(const Notice&) const = default;
};

}  // namespace bc
