#include "mail/envelope_fields.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

#include "config/text_util.h"

namespace bc {
namespace {

bool IsSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsSpace(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') {
    text.remove_prefix(1);
  }
  while (!text.empty() && text.back() == ' ') {
    text.remove_suffix(1);
  }
  return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// Splits off the next blank-separated token from the front of `text`, trimmed.
std::string_view NextToken(std::string_view& text) {
  text = Trim(text);
  size_t end = 0;
  while (end < text.size() && !IsSpace(text[end])) {
    ++end;
  }
  std::string_view token = text.substr(0, end);
  text.remove_prefix(end);
  return token;
}

}  // namespace

std::string HeaderValue(const TextLines& headerLines, std::string_view name) {
  std::string value;
  for (const std::string_view line : headerLines) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) {
      continue;
    }
    if (EqualsNoCase(Trim(std::string_view(line).substr(0, colon)), name)) {
      value = Trim(std::string_view(line).substr(colon + 1));
    }
  }
  return value;
}

namespace {

// Where `c` first occurs outside quoted strings and encoded words, or npos.
size_t FindOutsideWords(std::string_view text, char c) {
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char here = text[i];
    if (quoted) {
      if (here == '\\') {
        ++i;
      } else if (here == '"') {
        quoted = false;
      }
    } else if (here == '"') {
      quoted = true;
    } else if (here == '=' && i + 1 < text.size() && text[i + 1] == '?') {
      // "=?charset?E?text?=": skip to its end when it is whole.
      const size_t charsetEnd = text.find('?', i + 2);
      const size_t textStart = charsetEnd == std::string_view::npos ? charsetEnd : charsetEnd + 3;
      if (textStart < text.size() && text[textStart - 1] == '?') {
        if (const size_t end = text.find("?=", textStart); end != std::string_view::npos) {
          i = end + 1;
        }
      }
    } else if (here == c) {
      return i;
    }
  }
  return std::string_view::npos;
}

}  // namespace

std::string_view FromNamePart(std::string_view rawFromValue) {
  return rawFromValue.substr(0, FindOutsideWords(rawFromValue, '<'));
}

std::string QuotedNameText(std::string_view name) {
  std::string_view text = Trim(name);
  if (!text.empty() && text.front() == '"') {
    text = text.size() >= 2 ? text.substr(1, text.size() - 2) : std::string_view();
  }
  return std::string(text);
}

std::string FromDisplayText(std::string_view rawFromValue) {
  return QuotedNameText(FromNamePart(rawFromValue));
}

std::string SenderAddress(std::string_view rawFromValue) {
  const size_t lt = FindOutsideWords(rawFromValue, '<');
  const size_t gt = FindOutsideWords(rawFromValue, '>');
  if (lt != std::string_view::npos && gt != std::string_view::npos) {
    return std::string(
        TrimBlanks(gt > lt ? rawFromValue.substr(lt + 1, gt - lt - 1) : std::string_view()));
  }
  return std::string(TrimBlanks(rawFromValue));
}

std::string JudgedSenderAddress(std::string_view rawFromValue) {
  std::string address = SenderAddress(rawFromValue);
  if (address.find('@') != std::string::npos) {
    return address;
  }
  auto delimiter = [](char c) {
    return IsSpace(c) || c == '<' || c == '>' || c == '(' || c == ')' || c == ',' || c == ';';
  };
  std::string_view rest = rawFromValue;
  while (!rest.empty()) {
    // Quoted strings and encoded words are names: step over them whole.
    const size_t quote = rest.find('"');
    const size_t word = rest.find("=?");
    const size_t stop = std::min({quote, word, rest.size()});
    std::string_view plain = rest.substr(0, stop);
    size_t i = 0;
    while (i < plain.size()) {
      size_t end = i;
      while (end < plain.size() && !delimiter(plain[end])) {
        ++end;
      }
      const std::string_view token = plain.substr(i, end - i);
      const size_t at = token.find('@');
      if (at != std::string_view::npos && at > 0 && token.find('.', at) != std::string_view::npos) {
        return std::string(token);
      }
      i = end + 1;
    }
    if (stop == rest.size()) {
      break;
    }
    // Past the quoted string (to its closing quote) or the encoded word.
    size_t close = std::string_view::npos;
    if (stop == quote) {
      for (size_t k = stop + 1; k < rest.size() && close == std::string_view::npos; ++k) {
        if (rest[k] == '\\') {
          ++k;
        } else if (rest[k] == '"') {
          close = k + 1;
        }
      }
    } else if (const size_t end = rest.find("?=", stop + 2); end != std::string_view::npos) {
      close = end + 2;
    }
    rest = close == std::string_view::npos ? std::string_view() : rest.substr(close);
  }
  return address;
}

std::string FormatReceived(std::string_view dateValue) {
  std::string_view text = dateValue;
  // Keep up to two characters after the last ":" so a trailing time zone goes.
  const size_t lastColon = text.rfind(':');
  text = text.substr(0, lastColon == std::string_view::npos ? 2 : lastColon + 3);
  // Drop the weekday, its comma and the blank after it.
  if (const size_t comma = text.find(','); comma != std::string_view::npos) {
    text.remove_prefix(std::min(text.size(), comma + 2));
  }
  const std::string_view day = NextToken(text);
  std::string_view month = NextToken(text);
  const std::string_view year = NextToken(text);
  const std::string_view time = Trim(text);

  static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  static constexpr std::array<const char*, 12> kNumbers = {"01", "02", "03", "04", "05", "06",
                                                           "07", "08", "09", "10", "11", "12"};
  for (size_t i = 0; i < kMonths.size(); ++i) {
    if (month == kMonths[i]) {
      month = kNumbers[i];
      break;
    }
  }
  auto padded = [](std::string_view part, size_t width) {
    std::string out;
    if (part.size() < width) {
      out.assign(width - part.size(), ' ');
    }
    out += part;
    return out;
  };
  std::string result =
      padded(year, 4) + "/" + padded(month, 2) + "/" + padded(day, 2) + "," + std::string(time);
  for (char& c : result) {
    if (c == ' ') {
      c = '0';
    } else if (c == ',') {
      c = ' ';
    }
  }
  return result;
}

std::string SizeText(int64_t octets) {
  // As "%.3f" prints octets / 1024, which is exact in binary, so integers can
  // round it the same way (to nearest, a tie to even) at a fraction of the cost:
  // a pass formats one size per message.
  constexpr int64_t kExactBelow = int64_t{1} << 50;
  if (octets >= 0 && octets < kExactBelow) {
    const int64_t scaled = octets * 125;  // thousandths of a KB, times 128
    int64_t thousandths = scaled / 128;
    const int64_t rest = scaled % 128;
    if (rest > 64 || (rest == 64 && thousandths % 2 == 1)) {
      ++thousandths;
    }
    const auto fraction = static_cast<int>(thousandths % 1000);
    std::string text = std::to_string(thousandths / 1000);
    text += '.';
    text += static_cast<char>('0' + fraction / 100);
    text += static_cast<char>('0' + fraction / 10 % 10);
    text += static_cast<char>('0' + fraction % 10);
    text += " KB";
    return text;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.3f KB", static_cast<double>(octets) / 1024.0);
  return text;
}

std::string MessageKey(std::string_view messageIdHeader, std::string_view received,
                       std::string_view from) {
  if (!messageIdHeader.empty()) {
    return std::string(messageIdHeader);
  }
  return std::string(received) + std::string(from);
}

std::string ContentLines(const TextLines& bodyLines, int checkLines, std::string_view comboLines) {
  if (checkLines == 0) {
    return {};
  }
  size_t count = bodyLines.size();
  if (comboLines != "All") {
    const int k = ParseInt(comboLines);
    count = k <= 0 ? 0 : std::min(count, static_cast<size_t>(k));
  }
  // Sized once: a large body is not copied while the text grows.
  size_t total = count;
  for (size_t i = 0; i < count; ++i) {
    total += bodyLines[i].size();
  }
  std::string content;
  content.reserve(total);
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) {
      content += ' ';
    }
    content += bodyLines[i];
  }
  return content;
}

}  // namespace bc
