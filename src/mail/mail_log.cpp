#include "mail/mail_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "config/clock.h"
#include "mail/envelope_fields.h"

namespace bc {

std::string LogSafeText(std::string_view line) {
  std::string text = CutUtf8(line, 89998);
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (c < 0x20 || c == 0x7F) {
      text[i] = ' ';
    } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
      text.replace(i, 2, " ");  // C1 controls, NEL among them
    } else if (c == 0xE2 && next == 0x80 && i + 2 < text.size() &&
               (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
                static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
      text.replace(i, 3, " ");  // U+2028, U+2029
    }
  }
  return text;
}

void AppendLogLine(const std::string& path, std::string_view line) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    return;
  }
  // A file made by an older version, or by hand, may be readable by others.
  struct stat info {};
  if (::fstat(fd, &info) == 0 && (info.st_mode & 0077) != 0) {
    ::fchmod(fd, info.st_mode & 0700);
  }
  const std::string text = LogSafeText(line) + '\n';
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n <= 0) {
      break;
    }
    written += static_cast<size_t>(n);
  }
  ::close(fd);
}

void PrepareLogDir(const std::string& dir) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  std::filesystem::permissions(dir, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::replace, error);
}

CommandTrace::CommandTrace(std::string path, bool enabled, const Clock& clock)
    : path_(std::move(path)), enabled_(enabled), clock_(clock) {
  if (enabled_) {
    PrepareLogDir(std::filesystem::path(path_).parent_path().string());
  }
}

void CommandTrace::Write(std::string_view userName, std::string_view step) const {
  if (!enabled_) {
    return;
  }
  const std::tm now = clock_.LocalNow();
  char stamp[32];
  // A two-digit year, as the trace has always been written.
  std::snprintf(stamp, sizeof stamp, "[%02d/%02d/%02d %02d:%02d:%02d] <", now.tm_mon + 1,
                now.tm_mday, now.tm_year % 100, now.tm_hour, now.tm_min, now.tm_sec);
  std::string line = stamp;
  line += userName;
  line += "> ";
  line += step;
  AppendLogLine(path_, line);
}

std::string DeletedLogPath(const std::string& logDir, std::string_view userName,
                           const std::tm& localDate) {
  std::string name(userName);
  for (char& c : name) {
    if (c == '/' || c == '\0') {
      c = '_';
    }
  }
  name += std::to_string(localDate.tm_year + 1900) + "-" + std::to_string(localDate.tm_mon + 1) +
          "-" + std::to_string(localDate.tm_mday) + ".log";
  return logDir + "/" + name;
}

std::string DeletedLogLine(std::string_view from, std::string_view subject,
                           std::string_view address, std::string_view received,
                           std::string_view size, std::string_view account) {
  std::string line;
  for (std::string_view field : {from, subject, address, received, size}) {
    line += field;
    line += "  ";
  }
  line += account;
  return line;
}

}  // namespace bc
