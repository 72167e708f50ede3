#include "mail/mail_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>

#include "config/clock.h"
#include "config/paths.h"
#include "config/text_util.h"
#include "mail/envelope_fields.h"
#include "mail/envelope_store.h"

namespace bc {

std::string LogSafeText(std::string_view line) {
  return CutUtf8(ShownText(line), 89998);
}

namespace {

// Says once per path why a log could not be written: the user learns of it
// without a line for every message of every pass.
void ReportOnce(const std::string& path, const std::string& why) {
  static std::mutex mutex;
  static std::set<std::string> reported;
  const std::lock_guard<std::mutex> lock(mutex);
  if (reported.insert(path).second) {
    std::fprintf(stderr, "brindlecast: %s was not written: %s\n", path.c_str(), why.c_str());
  }
}

bool IsLink(const std::filesystem::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// The first folder from `dir` upwards that is a symbolic link: `dir` itself and,
// inside the program's state folder, each folder up to that one. Empty when none.
std::string LinkedFolder(std::filesystem::path dir) {
  const std::string state = StateDir();
  while (!dir.empty()) {
    if (IsLink(dir)) {
      return dir.string();
    }
    const std::string text = dir.string();
    if (text == state || text.rfind(state + "/", 0) != 0) {
      break;
    }
    dir = dir.parent_path();
  }
  return {};
}

}  // namespace

bool AppendLogLine(const std::string& path, std::string_view line) {
  if (const std::string linked = LinkedFolder(std::filesystem::path(path).parent_path());
      !linked.empty()) {
    ReportOnce(path, "its folder " + linked + " is a symbolic link");
    return false;
  }
  // No link is followed, and a FIFO planted in its place cannot block the pass.
  const int fd = ::open(path.c_str(),
                        O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) {
    ReportOnce(path, errno == ELOOP ? std::string("it is a symbolic link") : std::strerror(errno));
    return false;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    ReportOnce(path, "it is not a regular file");
    return false;
  }
  // A file made by an older version, or by hand, may be readable by others.
  if ((info.st_mode & 0077) != 0) {
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
  return written == text.size();
}

bool PrepareLogDir(const std::string& dir) {
  if (const std::string linked = LinkedFolder(dir); !linked.empty()) {
    ReportOnce(dir, linked + " is a symbolic link");
    return false;
  }
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  // Through the folder itself, never through a link put there meanwhile.
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  ::fchmod(fd, 0700);
  ::close(fd);
  return true;
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

bool LogDeletedMessage(const std::string& logDir, std::string_view userName, const Clock& clock,
                       const Envelope& message) {
  PrepareLogDir(logDir);
  return AppendLogLine(DeletedLogPath(logDir, userName, clock.LocalNow()),
                       DeletedLogLine(message.from, message.subject, message.address,
                                      message.received, message.size, message.account));
}

}  // namespace bc
