#include "config/paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifndef BC_INSTALL_DATADIR
#define BC_INSTALL_DATADIR "/usr/local/share/brindlecast"
#endif
#ifndef BC_DATADIR_FROM_BINDIR
#define BC_DATADIR_FROM_BINDIR "../share/brindlecast"
#endif
#ifndef BC_DESKTOPDIR_FROM_BINDIR
#define BC_DESKTOPDIR_FROM_BINDIR "../libexec/brindlecast"
#endif
#ifndef BC_BINDIR_FROM_DESKTOPDIR
#define BC_BINDIR_FROM_DESKTOPDIR "../../bin"
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

std::string ConfigDir() {
  return XdgDir("XDG_CONFIG_HOME", ".config") + "/Quenmark";
}

std::string SettingsFilePath() {
  return ConfigDir() + "/Brindlecast.conf";
}

std::string TipsProfilePath() {
  return ConfigDir() + "/brindlecast.ini";
}

std::string AutostartEntryPath() {
  return AutostartDir() + "/" + kDesktopEntryId + ".desktop";
}

std::string AutostartDir() {
  return XdgDir("XDG_CONFIG_HOME", ".config") + "/autostart";
}

std::string StateDir() {
  return XdgDir("XDG_STATE_HOME", ".local/state") + "/brindlecast";
}

std::string CommandLogPath() {
  return StateDir() + "/command.log";
}

std::string DeletedLogDir() {
  return StateDir() + "/Log";
}

namespace {

std::filesystem::path RunningExecutable() {
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : path;
}

// `name` in the first of `folders` that holds it; empty when none does.
template <size_t N>
std::string FindIn(const std::filesystem::path (&folders)[N], const char* name) {
  for (const auto& folder : folders) {
    std::error_code error;
    if (std::filesystem::exists(folder / name, error)) {
      return (folder / name).lexically_normal().string();
    }
  }
  return std::string();
}

}  // namespace

std::string ExecutablePath() {
  const std::filesystem::path exe = RunningExecutable();
  if (exe.filename() == kDesktopProgramName || exe.filename() == kCheckProgramName) {
    const std::filesystem::path folders[] = {exe.parent_path(),
                                             exe.parent_path() / BC_BINDIR_FROM_DESKTOPDIR};
    if (std::string program = FindIn(folders, kProgramName); !program.empty()) {
      return program;
    }
  }
  return exe.string();
}

std::string PrivateProgramPath(const char* name) {
  const std::filesystem::path exe = RunningExecutable();
  if (exe.empty()) {
    return std::string();
  }
  const std::filesystem::path folders[] = {exe.parent_path(),
                                           exe.parent_path() / BC_DESKTOPDIR_FROM_BINDIR};
  return FindIn(folders, name);
}

std::string DesktopProgramPath() {
  return PrivateProgramPath(kDesktopProgramName);
}

std::string DataFilePath(const std::string& name) {
  const std::filesystem::path exe = ExecutablePath();
  if (!exe.empty()) {
    // Beside the program in a build tree; then the data folder of the prefix
    // the program is installed under, wherever that was unpacked.
    const std::filesystem::path folders[] = {exe.parent_path(),
                                             exe.parent_path() / BC_DATADIR_FROM_BINDIR};
    if (std::string path = FindIn(folders, name.c_str()); !path.empty()) {
      return path;
    }
  }
  return std::string(BC_INSTALL_DATADIR) + "/" + name;
}

}  // namespace bc
