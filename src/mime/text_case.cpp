#include "mime/text_case.h"

#include <QString>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace bc {
namespace {

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The upper case of text made of ASCII, Latin-1 letters and signs that have
// no case (most file names in mail) without a round trip through QString;
// false when the text holds anything else (out is then unfinished).
bool AppendUpperLatin(std::string& out, std::string_view text) {
  out.reserve(text.size());
  const std::size_t size = text.size();
  for (std::size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += AsciiUpper(text[i]);
      continue;
    }
    if (i + 1 >= size || (static_cast<unsigned char>(text[i + 1]) & 0xC0) != 0x80) {
      return false;
    }
    auto next = static_cast<unsigned char>(text[i + 1]);
    if (c == 0xC2 && next == 0xB5) {  // the micro sign: Greek capital mu
      out += "\xCE\x9C";
      ++i;
    } else if (c == 0xC2) {  // U+0080-U+00BF: no case
      out.append(text.substr(i, 2));
      ++i;
    } else if (c == 0xC3 && next == 0x9F) {  // ß has no capital of one letter
      out += "SS";
      ++i;
    } else if (c == 0xC3 && next == 0xBF) {  // ÿ: Ÿ, outside Latin-1
      out += "\xC5\xB8";
      ++i;
    } else if (c == 0xC3) {                // U+00C0-U+00FF
      if (next >= 0xA0 && next != 0xB7) {  // à-þ but ÷
        next -= 0x20;
      }
      out += text[i];
      out += static_cast<char>(next);
      ++i;
    } else if (c == 0xE2 && i + 2 < size &&
               (static_cast<unsigned char>(text[i + 2]) & 0xC0) == 0x80 &&
               (next == 0x80 ||
                (next == 0x82 && static_cast<unsigned char>(text[i + 2]) >= 0xA0))) {
      out.append(text.substr(i, 3));  // U+2000-U+203F punctuation, U+20A0-U+20BF currency
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    // Skip ASCII eight bytes at a time: most mail text is ASCII.
    while (end - p >= 8) {
      unsigned long long chunk;
      std::memcpy(&chunk, p, 8);
      if (chunk & 0x8080808080808080ULL) {
        break;
      }
      p += 8;
    }
    if (p >= end) {
      break;
    }
    unsigned char c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int extra;
    unsigned int min;
    unsigned int cp;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      min = 0x80;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      min = 0x800;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      min = 0x10000;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (end - p <= extra) {
      return false;
    }
    for (int i = 1; i <= extra; ++i) {
      if ((p[i] & 0xC0) != 0x80) {
        return false;
      }
      cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    p += extra + 1;
  }
  return true;
}

std::string ToUpperUtf8(std::string_view text) {
  bool ascii = std::all_of(text.begin(), text.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!ascii) {
    std::string out;
    if (AppendUpperLatin(out, text)) {
      return out;
    }
  }
  if (ascii || !IsValidUtf8(text)) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), AsciiUpper);
    return out;
  }
  QByteArray upper =
      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUpper().toUtf8();
  return std::string(upper.constData(), static_cast<std::size_t>(upper.size()));
}

std::size_t FindIgnoreAsciiCase(std::string_view text, std::string_view needle, std::size_t from) {
  if (needle.empty()) {
    return from <= text.size() ? from : std::string_view::npos;
  }
  if (from > text.size() || text.size() - from < needle.size()) {
    return std::string_view::npos;
  }
  // Candidates are the bytes equal to the needle's first byte with the 0x20
  // bit set; eight are tested at once, and each candidate is then compared.
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
  const auto folded = static_cast<unsigned char>(needle[0] | 0x20);
  const std::uint64_t wanted = kOnes * folded;
  const std::string_view rest = needle.substr(1);
  const std::size_t last = text.size() - needle.size();  // the last place it may start
  // A candidate's first byte matches when the needle's is a letter; any other
  // byte must be itself (the 0x20 bit also lets its twin through).
  const bool firstIsLetter = folded >= 'a' && folded <= 'z';
  auto matchesAt = [&](std::size_t i) {
    return (firstIsLetter ? (text[i] | 0x20) == static_cast<char>(folded) : text[i] == needle[0]) &&
           EqualsIgnoreAsciiCase(text.substr(i + 1, rest.size()), rest);
  };
  std::size_t i = from;
  for (; std::endian::native == std::endian::little && i + 8 <= last + 1; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    const std::uint64_t x = (word | (kOnes * 0x20)) ^ wanted;  // a zero byte per candidate
    // The high bit of every zero byte (exact: no borrow crosses a byte).
    std::uint64_t zeros = ~(((x & ~kHighs) + ~kHighs) | x | ~kHighs);
    while (zeros != 0) {
      const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(zeros)) / 8;
      if (matchesAt(at)) {
        return at;
      }
      zeros &= zeros - 1;
    }
  }
  for (; i <= last; ++i) {
    if ((static_cast<unsigned char>(text[i]) | 0x20) == folded && matchesAt(i)) {
      return i;
    }
  }
  return std::string_view::npos;
}

std::string ToLowerAscii(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), AsciiLower);
  return out;
}

}  // namespace bc
