#pragma once

#include <QSettings>
#include <string>

namespace bc {

/// The tips' own profile: section BrindlecastDayTip of an INI file
/// ($XDG_CONFIG_HOME/Quenmark/brindlecast.ini in the program). Missing or
/// non-numeric entries read as 0 or empty; every write reaches the file at once.
class TipsProfile {
 public:
  explicit TipsProfile(const std::string& path);

  /// BrindlecastStartUp: 0 shows tips at start-up, 1 does not.
  [[nodiscard]] int StartUp() const;
  void SetStartUp(int value);
  /// BrindlecastFilePosition: the offset in the tips file after the last tip read.
  [[nodiscard]] long long FilePosition() const;
  void SetFilePosition(long long value);
  /// BrindlecastTimeStamp: the tips file's time stamp when it was last seen.
  [[nodiscard]] std::string TimeStamp() const;
  void SetTimeStamp(const std::string& value);

 private:
  [[nodiscard]] long long Integer(const char* key) const;
  void Write(const char* key, const QString& value);

  mutable QSettings settings_;
};

}  // namespace bc
