#include "ui/props/sender_list_text.h"

namespace bc {
namespace {

// Start of the first entry equal to `entry`, or npos.
size_t FindEntry(std::string_view listText, std::string_view entry, size_t from = 0) {
  size_t start = from;
  while (start < listText.size()) {
    const size_t end = listText.find(';', start);
    if (end == std::string_view::npos) {
      return std::string_view::npos;
    }
    if (listText.substr(start, end - start) == entry) {
      return start;
    }
    start = end + 1;
  }
  return std::string_view::npos;
}

}  // namespace

std::string CleanEntryText(std::string_view typed) {
  std::string entry;
  for (char c : typed) {
    if (c != ';') {
      entry += c;
    }
  }
  return entry;
}

std::vector<std::string> SplitEntries(std::string_view listText) {
  std::vector<std::string> entries;
  size_t start = 0;
  for (size_t end; (end = listText.find(';', start)) != std::string_view::npos; start = end + 1) {
    entries.emplace_back(listText.substr(start, end - start));
  }
  return entries;
}

bool HasEntry(std::string_view listText, std::string_view entry) {
  return FindEntry(listText, entry) != std::string_view::npos;
}

bool RemoveEntry(std::string& listText, std::string_view entry) {
  bool removed = false;
  for (size_t at = FindEntry(listText, entry); at != std::string::npos;
       at = FindEntry(listText, entry, at)) {
    listText.erase(at, entry.size() + 1);
    removed = true;
  }
  return removed;
}

bool ReplaceEntry(std::string& listText, std::string_view oldEntry, std::string_view newEntry) {
  const size_t at = FindEntry(listText, oldEntry);
  if (at == std::string::npos) {
    return false;
  }
  if (newEntry.empty()) {
    listText.erase(at, oldEntry.size() + 1);
  } else {
    listText.replace(at, oldEntry.size(), newEntry);
  }
  return true;
}

}  // namespace bc
