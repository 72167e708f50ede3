#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace bc {

/// The value of `key` in the group `[group]` of a settings file's text, when
/// the file gives it on one plain line ("key=value", blanks allowed around
/// "=", the value made of letters, digits and "/._+-", possibly empty) and no
/// other line mentions the key: the settings store reads the same value then.
/// Anything else (a quoted, escaped, continued or repeated value, the key in
/// another group or missing) gives nullopt: only the settings store can say.
/// For a program that reads one value and must not pay for the store.
[[nodiscard]] std::optional<std::string> PlainSettingValue(std::string_view text,
                                                           std::string_view group,
                                                           std::string_view key);

/// PlainSettingValue of the settings file at `path`; nullopt too when it is
/// missing (the store creates it), not a regular file or cannot be read.
[[nodiscard]] std::optional<std::string> ReadPlainSetting(const std::string& path,
                                                          std::string_view group,
                                                          std::string_view key);

}  // namespace bc
