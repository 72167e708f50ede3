#pragma once

#include "config/settings.h"

#include <string_view>

namespace bc {

/// Whether the sender address is acceptable (not empty, contains "@" and "."
/// anywhere). Applies whatever the account's anti-spam settings.
[[nodiscard]] bool IsValidAddress(std::string_view address);

/// Whether address matches an entry of the sender list.
/// The list is entries each followed by ";": 'local@domain' for one address;
/// '@domain', '*@domain' or 'domain' for every address of the domain. Letter case is
/// ignored (Unicode-aware); a subdomain does not match its parent. Entries are read
/// in order up to the last ";" (text after it is never read, and a list without any
/// ";" matches nothing); an empty entry (";;") ends the list.
[[nodiscard]] bool MatchSenderList(std::string_view list, std::string_view address);

/// Whether some entry of the filter list (same entry rules as MatchSenderList)
/// occurs in text as a plain substring, ignoring letter case.
[[nodiscard]] bool MatchFilterList(std::string_view list, std::string_view text);

enum class SpamVerdict { Accepted, Spam };

/// Which rule found a message to be spam (None: accepted).
enum class SpamRule { None, InvalidSender, FilteredSubject, FilteredContent, BlockedSender };

/// Judges one message by the settings and lists of the account it came from; the
/// first rule that applies decides:
///  1. DeleteInvalidSenders (on by default) and an unacceptable sender address:
///     spam;
///  2. ExclusiveApproved and the sender in ApproveSender: accepted;
///  3. FilterSubject and a Filter entry in the subject: spam;
///  4. FilterContent and a Filter entry in the content text: spam;
///  5. DeleteBlocked and the sender in BlockSender: spam;
///  6. otherwise accepted.
/// address is the bare sender address, subject the decoded Subject, content the
/// stripped body text (empty when message lines are not read). All UTF-8.
[[nodiscard]] SpamRule JudgeMessage(const MailAccount& account, std::string_view address,
                                    std::string_view subject, std::string_view content);

/// JudgeMessage as a verdict.
[[nodiscard]] SpamVerdict ClassifyMessage(const MailAccount& account, std::string_view address,
                                          std::string_view subject, std::string_view content);

/// Why a rule deleted a message, as the command trace says it:
/// "the sender address is not valid", "the subject matches the filter list", ...
[[nodiscard]] const char* SpamRuleText(SpamRule rule);

}  // namespace bc
