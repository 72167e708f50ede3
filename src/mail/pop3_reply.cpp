#include "mail/pop3_reply.h"

#include <cctype>

namespace bc {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Decimal value at `pos`: leading white space skipped, digits up to the first
// non-digit; no digits gives 0.
int64_t DecimalAt(std::string_view text, size_t pos) {
  while (pos < text.size() && (IsBlank(text[pos]) || text[pos] == '\r' || text[pos] == '\n')) {
    ++pos;
  }
  int64_t value = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    if (value < (int64_t{1} << 56)) {
      value = value * 10 + (text[pos] - '0');
    }
  }
  return value;
}

}  // namespace

bool IsErrReply(std::string_view reply) {
  if (reply.size() < 4) {
    return false;
  }
  return reply[0] == '-' && std::toupper(static_cast<unsigned char>(reply[1])) == 'E' &&
         std::toupper(static_cast<unsigned char>(reply[2])) == 'R' &&
         std::toupper(static_cast<unsigned char>(reply[3])) == 'R';
}

void ParseStatReply(std::string_view reply, int& messageCount, int64_t& mailboxSize) {
  size_t pos = 0;
  while (pos < reply.size() && !IsBlank(reply[pos])) {
    ++pos;
  }
  if (pos == reply.size()) {
    return;
  }
  const int64_t count = DecimalAt(reply, pos);
  messageCount = count > INT32_MAX ? INT32_MAX : static_cast<int>(count);
  ++pos;
  while (pos < reply.size() && !IsBlank(reply[pos])) {
    ++pos;
  }
  if (pos == reply.size()) {
    return;
  }
  mailboxSize = DecimalAt(reply, pos);
}

bool StatReplyHasCount(std::string_view reply) {
  size_t pos = reply.find_first_of(" \t");
  if (pos == std::string_view::npos) {
    return false;
  }
  while (pos < reply.size() && IsBlank(reply[pos])) {
    ++pos;
  }
  return pos < reply.size() && reply[pos] >= '0' && reply[pos] <= '9';
}

std::optional<std::pair<int, int64_t>> ParseListLine(std::string_view line) {
  size_t pos = 0;
  while (pos < line.size() && IsBlank(line[pos])) {
    ++pos;
  }
  const size_t numberStart = pos;
  while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') {
    ++pos;
  }
  const size_t numberEnd = pos;
  while (pos < line.size() && IsBlank(line[pos])) {
    ++pos;
  }
  const size_t sizeStart = pos;
  while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') {
    ++pos;
  }
  if (numberEnd == numberStart || numberEnd == sizeStart || pos == sizeStart ||
      numberEnd - numberStart > 10) {
    return std::nullopt;
  }
  const int64_t number = DecimalAt(line, numberStart);
  if (number <= 0 || number > INT32_MAX) {
    return std::nullopt;
  }
  return std::make_pair(static_cast<int>(number), DecimalAt(line, sizeStart));
}

std::optional<std::pair<int, std::string_view>> ParseUidlLine(std::string_view line) {
  size_t pos = 0;
  while (pos < line.size() && IsBlank(line[pos])) {
    ++pos;
  }
  const int64_t number = DecimalAt(line, pos);
  while (pos < line.size() && !IsBlank(line[pos])) {
    ++pos;
  }
  while (pos < line.size() && IsBlank(line[pos])) {
    ++pos;
  }
  size_t end = pos;
  while (end < line.size() && !IsBlank(line[end])) {
    ++end;
  }
  if (number <= 0 || end == pos || number > INT32_MAX) {
    return std::nullopt;
  }
  return std::make_pair(static_cast<int>(number), line.substr(pos, end - pos));
}

}  // namespace bc
