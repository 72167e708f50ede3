#include "config/notice.h"

#include <algorithm>
#include <functional>

#include "config/paths.h"
#include "config/text_util.h"

namespace bc {
namespace {

// A sender's name as the notice window shows it: on one line, since a name
// broken over two lines reads as two people, and short enough to fit it.
std::string NoticeName(const std::string& name) {
  const std::string shown = ShownText(name);
  std::string kept;
  size_t chars = 0;
  bool cut = false;
  ForEachCodePoint(shown, [&](char32_t c, std::string_view bytes) {
    if (cut) {
      return;
    }
    if (++chars == kNoticeNameChars && bytes.data() + bytes.size() < shown.data() + shown.size()) {
      kept += "\u2026";
      cut = true;
      return;
    }
    kept += c == U' ' ? std::string_view("\u00A0") : bytes;
  });
  return kept;
}

std::string MessageCount(size_t count) {
  return std::to_string(count) + (count == 1 ? " new message" : " new messages");
}

}  // namespace

Notice NewMailNotice(const std::string& from, const std::string& subject) {
  return {kProgramTitle, "You have received a new email message from '" + NoticeName(from) + "'",
          from, subject};
}

Notice NewMailNotice(const std::vector<Notice>& arrived) {
  if (arrived.size() == 1) {
    return arrived.front();
  }
  std::vector<std::string> senders;
  for (const Notice& notice : arrived) {
    if (!notice.headline.empty() &&
        std::find(senders.begin(), senders.end(), notice.headline) == senders.end()) {
      senders.push_back(notice.headline);
    }
  }
  const size_t named = std::min(senders.size(), kNoticeNamedSenders);
  const size_t more = senders.size() - named;
  // "from A", "from A and B", "from A, B and 3 more".
  const auto list = [&](const char* from,
                        const std::function<std::string(const std::string&)>& name) {
    std::string text;
    for (size_t i = 0; i < named; ++i) {
      const bool last = i + 1 == named && more == 0;
      text += i == 0 ? from : last ? " and " : ", ";
      text += name(senders[i]);
    }
    if (more > 0) {
      text += " and " + std::to_string(more) + " more";
    }
    return text;
  };
  const std::string count = MessageCount(arrived.size());
  Notice notice{kProgramTitle, count, count, {}};
  if (named > 0) {
    notice.body += ", " + list("from ", NoticeName);
    notice.detail = list("From ", [](const std::string& name) { return name; });
  }
  return notice;
}

}  // namespace bc
