#include "config/autostart.h"

#include <QByteArray>
#include <QSaveFile>
#include <filesystem>
#include <system_error>

#include "config/paths.h"

namespace bc {
namespace {

// Characters that make the Desktop Entry rules require a quoted argument.
bool NeedsQuotes(const std::string& arg) {
  return arg.empty() || arg.find_first_of(" \t\n\r\"'\\><~|&;$*?#()`") != std::string::npos;
}

// One Exec argument: inside quotes, '"', '`', '$' and '\' take a backslash.
std::string ExecArgument(const std::string& arg) {
  if (!NeedsQuotes(arg)) {
    return arg;
  }
  std::string quoted = "\"";
  for (char c : arg) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') {
      quoted += '\\';
    }
    quoted += c;
  }
  return quoted + '"';
}

// The value level of a .desktop file: backslashes and control characters are
// escaped, and a literal "%" in Exec is written "%%" (field codes start with it).
std::string ExecValue(const std::string& argument) {
  std::string value;
  for (char c : argument) {
    switch (c) {
      case '\\':
        value += "\\\\";
        break;
      case '\n':
        value += "\\n";
        break;
      case '\t':
        value += "\\t";
        break;
      case '\r':
        value += "\\r";
        break;
      case '%':
        value += "%%";
        break;
      default:
        value += c;
    }
  }
  return value;
}

}  // namespace

std::string AutostartEntryText(const std::string& executable) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Brindlecast\n"
         "Comment=Checks your mailboxes and announces new mail\n"
         "Exec=" +
         ExecValue(ExecArgument(executable)) +
         "\n"
         "Icon=" +
         std::string(kDesktopEntryId) +
         "\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

bool SetAutostart(bool on, const std::string& entryPath, const std::string& executable) {
  std::error_code error;
  if (!on) {
    std::filesystem::remove(entryPath, error);
    return !error;
  }
  if (executable.empty() || executable.front() != '/') {
    return false;
  }
  std::filesystem::create_directories(std::filesystem::path(entryPath).parent_path(), error);
  if (error) {
    return false;
  }
  QSaveFile file(QString::fromStdString(entryPath));
  if (!file.open(QIODevice::WriteOnly)) {
    return false;
  }
  const QByteArray text = QByteArray::fromStdString(AutostartEntryText(executable));
  return file.write(text) == text.size() && file.commit();
}

bool SetAutostart(bool on) {
  // Earlier builds named the entry after the executable; left beside the new
  // one it would start the program twice.
  std::error_code ignored;
  std::filesystem::remove(AutostartDir() + "/brindlecast.desktop", ignored);
  return SetAutostart(on, AutostartEntryPath(), ExecutablePath());
}

}  // namespace bc
