#pragma once

#include <string>

namespace bc {

/// Where the program keeps its files, following the XDG base directories.
/// Every function reads the environment afresh, so tests can point
/// XDG_CONFIG_HOME and XDG_STATE_HOME at temporary folders.

/// $XDG_CONFIG_HOME/Quenmark (default ~/.config/Quenmark).
[[nodiscard]] std::string ConfigDir();
/// The settings file: every option and account of the user.
[[nodiscard]] std::string SettingsFilePath();
/// The tips profile file.
[[nodiscard]] std::string TipsProfilePath();
/// The id of the program's desktop entry (reverse DNS): the installed entry is
/// share/applications/<id>.desktop, and its icon and metainfo carry the same name.
inline constexpr const char* kDesktopEntryId = BC_APP_ID;

/// $XDG_CONFIG_HOME/autostart/<kDesktopEntryId>.desktop: the autostart entry has
/// the installed desktop entry's name, so the desktop shows them as one program.
[[nodiscard]] std::string AutostartEntryPath();
/// $XDG_CONFIG_HOME/autostart.
[[nodiscard]] std::string AutostartDir();

/// $XDG_STATE_HOME/brindlecast (default ~/.local/state/brindlecast).
[[nodiscard]] std::string StateDir();
/// The command trace of the check pass.
[[nodiscard]] std::string CommandLogPath();
/// The folder of the daily deleted-mail logs.
[[nodiscard]] std::string DeletedLogDir();

/// A read-only data file of the program (tips, help pages, icons): beside the
/// executable when it is there (a build tree), else in the data folder of the
/// prefix the executable lies in (<prefix>/bin -> <prefix>/share/brindlecast),
/// else under the data folder the build was configured for.
[[nodiscard]] std::string DataFilePath(const std::string& name);

/// The command-line program, which starts the desktop program (a second
/// executable, so that the commands load no Gui or Widgets libraries).
inline constexpr const char* kProgramName = "brindlecast";
/// The program's name as people read it: the main window's title when idle, the
/// title of its notices and the name it gives the notification server.
inline constexpr const char* kProgramTitle = "Brindlecast";
inline constexpr const char* kDesktopProgramName = "brindlecast-desktop";
/// The check command's program, which the command-line program starts for
/// `check`: the network, keyring and D-Bus libraries it needs would slow down
/// the start of every other command (`say` above all).
inline constexpr const char* kCheckProgramName = "brindlecast-check";

/// Full path of the program the user runs: the running executable, or for a
/// private program the command-line program that starts it.
[[nodiscard]] std::string ExecutablePath();

/// Full path of one of the package's private programs (kDesktopProgramName,
/// kCheckProgramName): beside the running executable (build tree), else in the
/// package's private folder; empty when it is in neither.
[[nodiscard]] std::string PrivateProgramPath(const char* name);

/// Full path of the desktop program (see PrivateProgramPath).
[[nodiscard]] std::string DesktopProgramPath();

}  // namespace bc
