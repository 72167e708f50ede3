#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace bc {

/// A line of the tips file is read with room for this many bytes, its end
/// included: a longer line is split, and its remainder counts as the next line.
inline constexpr int kTipLineBuffer = 300;

/// The tips file, open for reading from construction to destruction. Plain
/// 8-bit text, one tip per line; a CR LF line end reads as one "\n", and the
/// line end stays part of the tip.
class TipsFile {
 public:
  /// Opens `path` read-only; isOpen() says whether that worked.
  explicit TipsFile(const std::string& path);
  ~TipsFile();

  TipsFile(const TipsFile&) = delete;
  TipsFile& operator=(const TipsFile&) = delete;

  [[nodiscard]] bool isOpen() const { return file_ != nullptr; }

  /// The file's time stamp as the C library's ctime text ("Wed Jun 30 21:49:08
  /// 1993") without the line end: its birth time where the file system records
  /// one, else its last modification. Empty when it cannot be read.
  [[nodiscard]] std::string TimeStamp() const;

  /// Moves to byte `offset`; false when that is impossible.
  bool Seek(long long offset);
  /// The byte offset of the next read.
  [[nodiscard]] long long Position() const;

  /// The next line: up to and including its "\n", at most kTipLineBuffer - 1
  /// characters. Nothing at the end of the file.
  [[nodiscard]] std::optional<std::string> ReadLine();

  /// Reads `index` + 1 lines from where the file stands and returns the last
  /// line read (when the file has fewer, the last one it has; none: empty).
  [[nodiscard]] std::string ReadTip(int index);

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace bc
