#include "speech/plain_setting.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace bc {
namespace {

// Larger files are left to the settings store, which says what is wrong.
constexpr off_t kMaxPlainFileBytes = 1 << 20;

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && blank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

bool IsPlain(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
         c == '.' || c == '_' || c == '+' || c == '-';
}

}  // namespace

std::optional<std::string> PlainSettingValue(std::string_view text, std::string_view group,
                                             std::string_view key) {
  std::optional<std::string> found;
  std::string_view current;  // the group of the lines being read
  bool continued = false;    // the line before ends in "\": this one is part of it
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = Trimmed(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    const bool partOfTheLineBefore = continued;
    continued = !line.empty() && line.back() == '\\';
    if (line.find(key) == std::string_view::npos) {
      if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
        current = line.substr(1, line.size() - 2);
      }
      continue;
    }
    const size_t equals = line.find('=');
    if (partOfTheLineBefore || found || current != group || equals == std::string_view::npos ||
        Trimmed(line.substr(0, equals)) != key) {
      return std::nullopt;
    }
    const std::string_view value = Trimmed(line.substr(equals + 1));
    if (!std::all_of(value.begin(), value.end(), IsPlain)) {
      return std::nullopt;
    }
    found = std::string(value);
  }
  return found;
}

std::optional<std::string> ReadPlainSetting(const std::string& path, std::string_view group,
                                            std::string_view key) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return std::nullopt;
  }
  struct stat info {};
  std::string text;
  bool whole = false;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxPlainFileBytes) {
    text.resize(static_cast<size_t>(info.st_size));
    size_t got = 0;
    while (got < text.size()) {
      const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n <= 0) {
        break;
      }
      got += static_cast<size_t>(n);
    }
    whole = got == text.size();
  }
  ::close(fd);
  return whole ? PlainSettingValue(text, group, key) : std::nullopt;
}

}  // namespace bc
