#include "extras/tips_profile.h"

#include <cstdlib>

namespace bc {
namespace {

constexpr const char* kSection = "BrindlecastDayTip/";

QString Key(const char* name) {
  return QString::fromLatin1(kSection) + QString::fromLatin1(name);
}

}  // namespace

TipsProfile::TipsProfile(const std::string& path)
    : settings_(QString::fromStdString(path), QSettings::IniFormat) {}

long long TipsProfile::Integer(const char* key) const {
  // Leading blanks skipped, reading stops at the first non-digit: "12ab" is 12.
  const std::string text = settings_.value(Key(key)).toString().toStdString();
  return std::strtoll(text.c_str(), nullptr, 10);
}

void TipsProfile::Write(const char* key, const QString& value) {
  settings_.setValue(Key(key), value);
  settings_.sync();
}

int TipsProfile::StartUp() const {
  return static_cast<int>(Integer("BrindlecastStartUp"));
}

void TipsProfile::SetStartUp(int value) {
  Write("BrindlecastStartUp", QString::number(value));
}

long long TipsProfile::FilePosition() const {
  return Integer("BrindlecastFilePosition");
}

void TipsProfile::SetFilePosition(long long value) {
  Write("BrindlecastFilePosition", QString::number(value));
}

std::string TipsProfile::TimeStamp() const {
  return settings_.value(Key("BrindlecastTimeStamp")).toString().toStdString();
}

void TipsProfile::SetTimeStamp(const std::string& value) {
  Write("BrindlecastTimeStamp", QString::fromStdString(value));
}

}  // namespace bc
