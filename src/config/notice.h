#pragma once

#include <string>
#include <vector>

namespace bc {

/// A notice for the user: a title (the program's name) and the message under it.
/// How it is laid out is the business of whatever shows it.
///
/// A new-mail notice also says it the way a desktop notification does: a
/// headline (the sender, or how many messages came) and a line under it (the
/// subject, or who sent them). Other notices leave both empty.
struct Notice {
  std::string title;
  std::string body;
  std::string headline = {};
  std::string detail = {};

  bool operator==(const Notice&) const = default;
};

/// The new-mail notice for one message: the program's name over the sentence
/// naming the sender; as a notification, the sender over the subject. The name
/// keeps to one line (its blanks do not break) and is cut past
/// kNoticeNameChars characters.
[[nodiscard]] Notice NewMailNotice(const std::string& from, const std::string& subject = {});

/// The notice for the messages that arrived in one pass, given their notices in
/// order: one message keeps its own; several say how many and who sent them
/// ("3 new messages, from Priya Raman, Jürgen Größ and 1 more"), each sender
/// named once, at most kNoticeNamedSenders of them.
[[nodiscard]] Notice NewMailNotice(const std::vector<Notice>& arrived);

inline constexpr size_t kNoticeNameChars = 24;
inline constexpr size_t kNoticeNamedSenders = 2;

}  // namespace bc
