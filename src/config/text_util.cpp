#include "config/text_util.h"

#include <climits>
#include <cstdint>

namespace bc {

int ParseInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > int64_t{INT_MAX} + 1) {
      value = int64_t{INT_MAX} + 1;
    }
  }
  if (negative) {
    value = -value;
  }
  if (value > INT_MAX) {
    return INT_MAX;
  }
  if (value < INT_MIN) {
    return INT_MIN;
  }
  return static_cast<int>(value);
}

std::string FlagText(bool on) {
  return on ? "1" : "0";
}

std::string CutUtf8(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) {
    return std::string(text);
  }
  size_t end = maxBytes;
  // Step back over continuation bytes to the start of the cut character.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
    --end;
  }
  return std::string(text.substr(0, end));
}

namespace text_util_detail {

std::pair<char32_t, size_t> DecodeAt(std::string_view text, size_t i) {
  constexpr std::pair<char32_t, size_t> kInvalid = {0xFFFD, 1};
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) {
    return {lead, 1};
  }
  size_t length = 0;
  char32_t c = 0;
  char32_t least = 0;  // the smallest code point of that length (no overlong forms)
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07, least = 0x10000;
  } else {
    return kInvalid;
  }
  if (i + length > text.size()) {
    return kInvalid;
  }
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) {
      return kInvalid;
    }
    c = (c << 6) | (next & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    return kInvalid;
  }
  return {c, length};
}

}  // namespace text_util_detail

bool IsUnsafeToShow(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool IsUtf8Text(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
      continue;
    }
    const auto [c, length] = text_util_detail::DecodeAt(text, i);
    if (c == 0xFFFD && length == 1) {
      return false;
    }
    i += length;
  }
  return true;
}

std::string ShownText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  ForEachCodePoint(text, [&out](char32_t c, std::string_view bytes) {
    if (IsUnsafeToShow(c)) {
      out += ' ';
    } else if (c == 0xFFFD && bytes.size() == 1) {
      out += "\xEF\xBF\xBD";
    } else {
      out.append(bytes);
    }
  });
  return out;
}

}  // namespace bc
