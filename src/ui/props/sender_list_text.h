#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace bc {

/// Sender and filter lists are kept as one text: every entry followed by ";".
/// These rules compare whole entries, exact case, so "b.com" and "ab.com" are
/// different entries.

/// The most characters "Add" lets a list text reach, its last ";" included.
inline constexpr size_t kMaxListText = 1999;

/// A typed entry made fit for a list: ";" separates entries, so it cannot be
/// part of one and is dropped.
[[nodiscard]] std::string CleanEntryText(std::string_view typed);

/// The entries of a list text, in stored order: the text before each ";". Text
/// after the last ";" is no entry.
[[nodiscard]] std::vector<std::string> SplitEntries(std::string_view listText);

/// Whether the list holds an entry equal to `entry`.
[[nodiscard]] bool HasEntry(std::string_view listText, std::string_view entry);

/// Removes every entry equal to `entry`, with its ";". Returns whether one was removed.
bool RemoveEntry(std::string& listText, std::string_view entry);

/// Replaces the first entry equal to `oldEntry` by `newEntry`; an empty
/// `newEntry` removes that entry instead, since an empty entry would end every
/// scan of the list there. Returns whether an entry was found.
bool ReplaceEntry(std::string& listText, std::string_view oldEntry, std::string_view newEntry);

}  // namespace bc
