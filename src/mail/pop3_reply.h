#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bc {

/// A reply fails only when its first four characters are "-ERR", in any letter
/// case; anything else, a reply that does not start with "+OK" included, succeeds.
[[nodiscard]] bool IsErrReply(std::string_view reply);

/// Reads a STAT reply ("+OK 2 320"): at the first blank or tab the message count,
/// at the next the mailbox size. A number the reply lacks keeps its old value.
void ParseStatReply(std::string_view reply, int& messageCount, int64_t& mailboxSize);

/// True when a STAT reply gives a message count at all: "+OK mailbox locked"
/// says nothing about the mailbox and must not read as an empty one.
[[nodiscard]] bool StatReplyHasCount(std::string_view reply);

/// Reads one line of a LIST listing ("3 1024") into its message number and size;
/// nullopt when the line is not a number above 0, blanks, and a size.
[[nodiscard]] std::optional<std::pair<int, int64_t>> ParseListLine(std::string_view line);

/// Reads one UIDL line ("3 XYZ") into its message number and unique id (a view
/// into `line`); nullopt when the line has no id.
[[nodiscard]] std::optional<std::pair<int, std::string_view>> ParseUidlLine(std::string_view line);

}  // namespace bc
