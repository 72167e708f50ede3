#include "config/settings_store.h"

#include "config/text_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSettings>
#include <QStringList>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace bc {
namespace {

QString SettingsKey(std::string_view subkey, std::string_view name) {
  QString key = QString::fromUtf8(subkey.data(), static_cast<qsizetype>(subkey.size()));
  key.replace(QLatin1Char('\\'), QLatin1Char('/'));
  while (key.endsWith(QLatin1Char('/'))) {
    key.chop(1);
  }
  if (!key.isEmpty()) {
    key += QLatin1Char('/');
  }
  return key + QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// The whole file, or nothing when it cannot be read.
std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

SettingsStore::SettingsStore(std::string path, Prompt& prompt)
    : path_(std::move(path)), prompt_(prompt) {
  struct stat info {};
  fileExisted_ = ::stat(path_.c_str(), &info) == 0;
  if (fileExisted_ && S_ISDIR(info.st_mode)) {
    problem_ = path_ + " is a directory, not the settings file; nothing was read or changed.";
  } else if (fileExisted_ && !S_ISREG(info.st_mode)) {
    problem_ = path_ + " is not a regular file; nothing was read or changed.";
  } else if (fileExisted_ && info.st_size > kMaxFileBytes) {
    problem_ = "The settings file " + path_ + " holds " + std::to_string(info.st_size) +
               " bytes, more than any settings file can (" + std::to_string(kMaxFileBytes) +
               "); it was neither read nor changed.";
  }
  if (!problem_.empty()) {
    prompt_.ShowMessage(problem_);
    return;
  }
  if (fileExisted_) {
    FindRawValues(ReadBytes(path_));
  }
  settings_ = std::make_unique<QSettings>(QString::fromStdString(path_), QSettings::IniFormat);
  // Atomic replacement is the point: never fall back to writing in place.
  settings_->setAtomicSyncRequired(true);
}

void SettingsStore::FindRawValues(std::string_view bytes) {
  if (IsUtf8Text(bytes)) {
    return;
  }
  // The file's lines as the INI form has them: "[Group]" and "key=value", a
  // key below the group with "\" for "/". Only the values that are not UTF-8
  // are kept, as the bytes between "=" and the line end (blanks and one pair
  // of quotes removed): what the user wrote, where a text reader would have
  // replaced those bytes.
  std::string group;
  while (!bytes.empty()) {
    const size_t end = std::min(bytes.find('\n'), bytes.size());
    const std::string_view line = TrimBlanks(bytes.substr(0, end));
    bytes.remove_prefix(std::min(end + 1, bytes.size()));
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      group = line.substr(1, line.size() - 2);
      if (group == "General") {
        group.clear();
      }
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      continue;
    }
    std::string_view value = TrimBlanks(line.substr(equals + 1));
    if (IsUtf8Text(value)) {
      continue;
    }
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    std::string key(TrimBlanks(line.substr(0, equals)));
    std::replace(key.begin(), key.end(), '\\', '/');
    key = group.empty() ? key : group + "/" + key;
    if (firstRawLabel_.empty()) {
      const size_t slash = key.rfind('/');
      firstRawLabel_ = slash == std::string::npos
                           ? ValueLabel("", key)
                           : ValueLabel(key.substr(0, slash), key.substr(slash + 1));
    }
    rawValues_.emplace(std::move(key), std::string(value));
  }
}

SettingsStore::~SettingsStore() {
  if (dirty_ && settings_) {
    Commit();
  }
}

std::string SettingsStore::ValueLabel(std::string_view subkey, std::string_view name) {
  std::string section(subkey);
  std::replace(section.begin(), section.end(), '\\', '/');
  while (!section.empty() && section.back() == '/') {
    section.pop_back();
  }
  return "\"" + std::string(name) + "\" in section [" + (section.empty() ? "General" : section) +
         "]";
}

std::string SettingsStore::ReadValue(std::string_view subkey, std::string_view name) {
  if (!settings_) {
    return {};
  }
  const QString key = SettingsKey(subkey, name);
  if (const auto raw = rawValues_.find(key.toStdString()); raw != rawValues_.end()) {
    return raw->second;  // the user's bytes, not a text reader's replacement
  }
  const QVariant value = settings_->value(key);
  if (!value.isValid()) {
    // A fresh installation gets every value, empty, with its first save. An
    // existing file is the user's: filling in what it lacks is no reason to
    // rewrite it, so a value the user never set is written only with a save.
    if (!fileExisted_) {
      settings_->setValue(key, QString());
      dirty_ = true;
    }
    return {};
  }
  // A hand-edited value with unquoted commas comes back as a list; keep its text.
  if (value.typeId() == QMetaType::QStringList) {
    return value.toStringList().join(QLatin1Char(',')).toStdString();
  }
  return value.toString().toStdString();
}

void SettingsStore::WriteValue(std::string_view subkey, std::string_view name,
                               std::string_view text) {
  if (!settings_ || !rawValues_.empty()) {
    // No file to write to, or any rewrite of it would replace the bytes
    // that are not UTF-8.
    if (refusedWrite_.empty()) {
      refusedWrite_ = ValueLabel(subkey, name);
    }
    return;
  }
  settings_->setValue(SettingsKey(subkey, name),
                      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  written_.push_back(ValueLabel(subkey, name));
  dirty_ = true;
}

void SettingsStore::PrepareFile() {
  std::error_code error;
  const std::filesystem::path file(path_);
  if (file.has_parent_path() && !std::filesystem::exists(file.parent_path(), error)) {
    std::filesystem::create_directories(file.parent_path(), error);
    ::chmod(file.parent_path().c_str(), 0700);
  }
  // Create the file 0600 before the first save: the atomic save keeps the
  // permissions of the file it replaces, so the passwords are never readable by others.
  const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ::close(fd);
  }
}

bool SettingsStore::Commit() {
  if (!settings_) {
    if (!refusedWrite_.empty()) {
      prompt_.ShowMessage(problem_);  // the user's changes are not saved: say why again
      refusedWrite_.clear();
    }
    return false;
  }
  if (!refusedWrite_.empty()) {
    prompt_.ShowMessage("The settings file " + path_ + " holds text that is not UTF-8 (the value " +
                        firstRawLabel_ + "), so it was left as it is and the value " +
                        refusedWrite_ + " was not saved. Correct that value in the file, then " +
                        "save again.");
    refusedWrite_.clear();
    return false;
  }
  if (!dirty_) {
    return true;  // nothing changed: the file stays as it is, bytes and mode
  }
  PrepareFile();
  settings_->sync();
  const bool ok = settings_->status() == QSettings::NoError;
  ::chmod(path_.c_str(), 0600);
  if (!ok && !written_.empty()) {
    prompt_.ShowMessage("The value " + written_.front() +
                        " could not be saved to the settings file " + path_ + ".");
  }
  written_.clear();
  dirty_ = false;
  return ok;
}

}  // namespace bc
