#include "config/paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifndef BC_INSTALL_DATADIR
#define BC_INSTALL_DATADIR "/usr/local/share/brindlecast"
#endif

namespace bc {
namespace {

std::string HomeDir() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : "/tmp";
}

// An XDG variable counts only when set to an absolute path.
std::string XdgDir(const char* variable, const char* fallbackBelowHome) {
  const char* value = std::getenv(variable);
  if (value && value[0] == '/') {
    return value;
  }
  return HomeDir() + "/" + fallbackBelowHome;
}

}  // namespace

std::string ConfigDir() { return XdgDir("XDG_CONFIG_HOME", ".config") + "/Quenmark"; }

std::string SettingsFilePath() { return ConfigDir() + "/Brindlecast.conf"; }

std::string TipsProfilePath() { return ConfigDir() + "/brindlecast.ini"; }

std::string AutostartEntryPath() {
  return XdgDir("XDG_CONFIG_HOME", ".config") + "/autostart/brindlecast.desktop";
}

std::string StateDir() { return XdgDir("XDG_STATE_HOME", ".local/state") + "/brindlecast"; }

std::string CommandLogPath() { return StateDir() + "/command.log"; }

std::string DeletedLogDir() { return StateDir() + "/Log"; }

std::string ExecutablePath() {
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

std::string DataFilePath(const std::string& name) {
  std::filesystem::path exe = ExecutablePath();
  if (!exe.empty()) {
    std::error_code error;
    auto beside = exe.parent_path() / name;
    if (std::filesystem::exists(beside, error)) {
      return beside.string();
    }
  }
  return std::string(BC_INSTALL_DATADIR) + "/" + name;
}

}  // namespace bc
