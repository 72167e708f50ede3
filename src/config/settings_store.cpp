#include "config/settings_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSettings>
#include <QStringList>
#include <algorithm>
#include <filesystem>
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

}  // namespace

SettingsStore::SettingsStore(std::string path, Prompt& prompt)
    : path_(std::move(path)),
      prompt_(prompt),
      settings_(std::make_unique<QSettings>(QString::fromStdString(path_), QSettings::IniFormat)) {
  // Atomic replacement is the point: never fall back to writing in place.
  settings_->setAtomicSyncRequired(true);
}

SettingsStore::~SettingsStore() {
  if (dirty_) {
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
  const QString key = SettingsKey(subkey, name);
  const QVariant value = settings_->value(key);
  if (!value.isValid()) {
    // Created for the next save, but a read never reports: a settings folder
    // that cannot be written must not greet the user with an error at start-up.
    settings_->setValue(key, QString());
    dirty_ = true;
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
