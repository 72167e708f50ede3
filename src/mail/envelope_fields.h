#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mime/text_lines.h"

namespace bc {

/// The value of the last header line called `name` (compared without regard to
/// case) in unfolded header lines: the text after the first ":", white space
/// trimmed. Empty when there is none.
[[nodiscard]] std::string HeaderValue(const TextLines& headerLines, std::string_view name);

/// The name part of a raw From value: the text before its first "<" (all of it
/// without "<"). Brackets are those of the header as sent: a "<" inside a quoted
/// string or an encoded word is part of the name, so a name that decodes to
/// "friend <friend@example.com>" cannot pass for the address.
[[nodiscard]] std::string_view FromNamePart(std::string_view rawFromValue);

/// A name as shown: trimmed, with surrounding double quotes removed.
[[nodiscard]] std::string QuotedNameText(std::string_view name);

/// QuotedNameText of FromNamePart: the display text of an undecoded From value.
[[nodiscard]] std::string FromDisplayText(std::string_view rawFromValue);

/// The sender's address of a raw From value (never decode it first): between its
/// first "<" and first ">" when both are there (empty when ">" comes first), else
/// the whole value; blanks trimmed. Brackets as in FromNamePart.
[[nodiscard]] std::string SenderAddress(std::string_view rawFromValue);

/// The address a sender is judged by: SenderAddress when it holds an "@", else
/// the first word of the From value outside quoted strings and encoded words
/// (delimited by blanks, brackets, parentheses, commas and semicolons) that holds
/// an "@" and a ".", else SenderAddress. A damaged From ("Carol <> carol@x.org")
/// that still names an address is judged by it, not deleted for lacking one.
[[nodiscard]] std::string JudgedSenderAddress(std::string_view rawFromValue);

/// A Date header value as the list shows it, "YYYY/MM/DD HH:MM:SS":
/// "Tue, 7 Dec 2004 10:11:12 +0800" gives "2004/12/07 10:11:12"; an empty date
/// gives "0000/00/00 ". Never empty.
[[nodiscard]] std::string FormatReceived(std::string_view dateValue);

/// A LIST size as "%.3f KB".
[[nodiscard]] std::string SizeText(int64_t octets);

/// The identity of a message across checks: its Message-ID, or the received
/// text followed by the from text.
[[nodiscard]] std::string MessageKey(std::string_view messageIdHeader, std::string_view received,
                                     std::string_view from);

/// The body lines the content is made of: none when `checkLines` is 0, all of
/// them for "All", else the first `comboLines` lines (0 or less, or not a
/// number, gives none). The lines are joined with a blank so words at line ends
/// stay apart when spoken.
[[nodiscard]] std::string ContentLines(const TextLines& bodyLines, int checkLines,
                                       std::string_view comboLines);

}  // namespace bc
