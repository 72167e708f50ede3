#include "mail/mail_log.h"

#include <cstdio>
#include <filesystem>

#include "config/clock.h"
#include "mail/envelope_fields.h"

namespace bc {

void AppendLogLine(const std::string& path, std::string_view line) {
  std::FILE* file = std::fopen(path.c_str(), "a");
  if (!file) {
    return;
  }
  const std::string cut = CutUtf8(line, 89998);
  std::fwrite(cut.data(), 1, cut.size(), file);
  std::fputc('\n', file);
  std::fclose(file);
}

CommandTrace::CommandTrace(std::string path, bool enabled, const Clock& clock)
    : path_(std::move(path)), enabled_(enabled), clock_(clock) {
  if (enabled_) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), error);
  }
}

void CommandTrace::Write(std::string_view userName, std::string_view step) const {
  if (!enabled_) {
    return;
  }
  const std::tm now = clock_.LocalNow();
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "[%m/%d/%y %H:%M:%S] <", &now);
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
