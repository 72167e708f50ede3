#include "antispam/spam_classifier.h"

#include "mime/text_case.h"

#include <string>

namespace bc {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// Walks the entries of a stored list, each followed by ";". The first entry is the
// text before the first ";" (none when there is no ";"); an empty entry ends the
// walk, and so does the last ";". Stops early when visit returns true.
template <typename Visit>
bool AnyEntry(std::string_view list, Visit visit) {
  std::size_t semicolon = list.find(';');
  if (semicolon == npos) {
    return false;
  }
  std::string_view entry = list.substr(0, semicolon);
  std::string_view rest = list.substr(semicolon + 1);
  while (!entry.empty()) {
    if (visit(entry)) {
      return true;
    }
    semicolon = rest.find(';');
    if (semicolon == npos) {
      return false;
    }
    entry = rest.substr(0, semicolon);
    rest = rest.substr(semicolon + 1);
  }
  return false;
}

}  // namespace

bool IsValidAddress(std::string_view address) {
  return !address.empty() && address.find('@') != npos && address.find('.') != npos;
}

bool MatchSenderList(std::string_view list, std::string_view address) {
  std::size_t at = address.find('@');
  if (at == npos) {
    return false;
  }
  std::string upperAddress = ToUpperUtf8(address);
  // Upper-casing can change lengths outside ASCII, so split the upper-case form.
  std::size_t upperAt = upperAddress.find('@');
  std::string_view local = std::string_view(upperAddress).substr(0, upperAt);
  std::string_view domain = std::string_view(upperAddress).substr(upperAt + 1);
  std::string upperList = ToUpperUtf8(list);
  return AnyEntry(upperList, [&](std::string_view entry) {
    std::size_t entryAt = entry.find('@');
    std::string_view entryLocal = entryAt == npos ? std::string_view{} : entry.substr(0, entryAt);
    std::string_view entryDomain = entryAt == npos ? entry : entry.substr(entryAt + 1);
    if (entryLocal.empty() || entryLocal == "*") {
      return domain == entryDomain;
    }
    return domain == entryDomain && local == entryLocal;
  });
}

bool MatchFilterList(std::string_view list, std::string_view text) {
  std::string upperText = ToUpperUtf8(text);
  std::string upperList = ToUpperUtf8(list);
  return AnyEntry(upperList, [&](std::string_view entry) { return upperText.find(entry) != npos; });
}

SpamRule JudgeMessage(const MailAccount& account, std::string_view address,
                      std::string_view subject, std::string_view content) {
  if (account.DeleteInvalidSenders && !IsValidAddress(address)) {
    return SpamRule::InvalidSender;
  }
  if (account.ExclusiveApproved && MatchSenderList(account.ApproveSender, address)) {
    return SpamRule::None;
  }
  if (account.FilterSubject && MatchFilterList(account.Filter, subject)) {
    return SpamRule::FilteredSubject;
  }
  if (account.FilterContent && MatchFilterList(account.Filter, content)) {
    return SpamRule::FilteredContent;
  }
  if (account.DeleteBlocked && MatchSenderList(account.BlockSender, address)) {
    return SpamRule::BlockedSender;
  }
  return SpamRule::None;
}

SpamVerdict ClassifyMessage(const MailAccount& account, std::string_view address,
                            std::string_view subject, std::string_view content) {
  return JudgeMessage(account, address, subject, content) == SpamRule::None ? SpamVerdict::Accepted
                                                                            : SpamVerdict::Spam;
}

const char* SpamRuleText(SpamRule rule) {
  switch (rule) {
    case SpamRule::None:
      return "accepted";
    case SpamRule::InvalidSender:
      return "the sender address is not valid";
    case SpamRule::FilteredSubject:
      return "the subject matches the filter list";
    case SpamRule::FilteredContent:
      return "the message text matches the filter list";
    case SpamRule::BlockedSender:
      return "the sender is on the blocked list";
  }
  return "";
}

}  // namespace bc
