#pragma once

#include "mime/mime_decoder.h"

#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>

namespace bc::test {

// The RETR reply a server sends for message lines: status line, CR LF line ends,
// dot-stuffing, the terminator line.
inline std::string RetrText(std::initializer_list<std::string_view> lines) {
  std::string out = "+OK 1234 octets\r\n";
  for (std::string_view line : lines) {
    if (!line.empty() && line.front() == '.') {
      out += '.';
    }
    out.append(line);
    out += "\r\n";
  }
  out += ".\r\n";
  return out;
}

// The same for a message stored with LF line ends.
inline std::string RetrTextOf(std::string_view message) {
  std::string out = "+OK " + std::to_string(message.size()) + " octets\r\n";
  std::size_t from = 0;
  while (from < message.size()) {
    std::size_t end = message.find('\n', from);
    if (end == std::string_view::npos) {
      end = message.size();
    }
    std::string_view line = message.substr(from, end - from);
    if (!line.empty() && line.front() == '.') {
      out += '.';
    }
    out.append(line);
    out += "\r\n";
    from = end + 1;
  }
  out += ".\r\n";
  return out;
}

inline std::string HeaderValue(const DecodedMessage& message, std::string_view name) {
  for (const std::string_view line : message.headerLines) {
    if (line.size() > name.size() && line.compare(0, name.size(), name) == 0 &&
        line[name.size()] == ':') {
      std::string value(line.substr(name.size() + 1));
      value.erase(0, value.find_first_not_of(" \t"));
      return value;
    }
  }
  return {};
}

inline std::string Joined(const DecodedMessage& message) {
  std::string out;
  for (const std::string_view line : message.bodyLines) {
    out += line;
  }
  return out;
}

}  // namespace bc::test
