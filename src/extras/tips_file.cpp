#include "extras/tips_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

namespace bc {

TipsFile::TipsFile(const std::string& path) : file_(std::fopen(path.c_str(), "r")) {}

TipsFile::~TipsFile() {
  if (file_) {
    std::fclose(file_);
  }
}

std::string TipsFile::TimeStamp() const {
  if (!file_) {
    return {};
  }
  struct statx info {};
  if (::statx(::fileno(file_), "", AT_EMPTY_PATH, STATX_BTIME | STATX_MTIME, &info) != 0) {
    return {};
  }
  // A replaced file has a new birth time; without one, its new contents have a
  // new modification time.
  const std::time_t when =
      (info.stx_mask & STATX_BTIME) ? info.stx_btime.tv_sec : info.stx_mtime.tv_sec;
  std::tm local{};
  char text[32] = {};  // asctime's fixed form needs 26
  if (!::localtime_r(&when, &local) || !::asctime_r(&local, text)) {
    return {};
  }
  std::string stamp(text);
  while (!stamp.empty() && (stamp.back() == '\n' || stamp.back() == ' ')) {
    stamp.pop_back();
  }
  return stamp;
}

bool TipsFile::Seek(long long offset) {
  return file_ && std::fseek(file_, static_cast<long>(offset), SEEK_SET) == 0;
}

long long TipsFile::Position() const {
  return file_ ? std::ftell(file_) : -1;
}

std::optional<std::string> TipsFile::ReadLine() {
  if (!file_) {
    return std::nullopt;
  }
  std::string line;
  while (static_cast<int>(line.size()) < kTipLineBuffer - 1) {
    int c = std::getc(file_);
    if (c == EOF) {
      break;
    }
    if (c == '\r') {
      const int next = std::getc(file_);
      if (next == '\n') {
        c = '\n';
      } else if (next != EOF) {
        std::ungetc(next, file_);
      }
    }
    line.push_back(static_cast<char>(c));
    if (c == '\n') {
      break;
    }
  }
  if (line.empty()) {
    return std::nullopt;
  }
  return line;
}

std::string TipsFile::ReadTip(int index) {
  std::string tip;
  for (int i = 0; i <= index; ++i) {
    std::optional<std::string> line = ReadLine();
    if (!line) {
      break;
    }
    tip = std::move(*line);
  }
  return tip;
}

}  // namespace bc
