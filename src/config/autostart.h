#pragma once

#include <string>

namespace bc {

/// The desktop session's autostart entry for the program: an XDG .desktop file
/// (by default at AutostartEntryPath(), named like the installed desktop entry)
/// whose Exec line starts the program by its full path, with no arguments.

/// The text of the entry for the program at `executable`. The path goes into Exec
/// quoted and escaped as the Desktop Entry rules require when it holds blanks,
/// quotes, "%" or other reserved characters, and bare otherwise.
[[nodiscard]] std::string AutostartEntryText(const std::string& executable);

/// Writes the entry (`on`) or removes it (`!on`). Writing replaces the file
/// atomically and creates its folder; removing a missing file succeeds. Fails
/// (returns false, touching nothing) when `on` and `executable` is empty or
/// relative, or when the file cannot be written or removed. Callers that follow
/// the program's rules ignore the result: a failed autostart change is not
/// reported to the user.
bool SetAutostart(bool on, const std::string& entryPath, const std::string& executable);

/// SetAutostart with the real entry path and this program's executable; also
/// removes the entry earlier builds wrote under the executable's name.
bool SetAutostart(bool on);

}  // namespace bc
