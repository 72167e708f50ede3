#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace bc {

/// True when text is well-formed UTF-8 (no overlong forms, no surrogates, nothing
/// above U+10FFFF).
[[nodiscard]] bool IsValidUtf8(std::string_view text);

/// True when every byte of text is ASCII. Inline and eight bytes at a time:
/// the decoder tests each body line, and nearly all of them are.
[[nodiscard]] inline bool IsAscii(std::string_view text) {
  constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
  std::uint64_t seen = 0;
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    seen |= word;
  }
  for (; i < text.size(); ++i) {
    seen |= static_cast<unsigned char>(text[i]);
  }
  return (seen & kHighs) == 0;
}

/// Upper case of UTF-8 text, Unicode-aware ("ä" becomes "Ä"). Bytes of text that is
/// not valid UTF-8 are kept as they are, except that ASCII letters are upper-cased.
[[nodiscard]] std::string ToUpperUtf8(std::string_view text);

/// ASCII-only case folding, for protocol tokens (header names, boundaries).
/// Inline: the decoder compares every header name and many lines this way.
/// Eight bytes at a time, each word with its capitals made small.
[[nodiscard]] inline bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
    // The word with A-Z made a-z: a byte below 0x80 whose low seven bits,
    // plus 0x80 - 'A', reach the high bit, and plus 0x80 - 'Z' - 1 do not.
    auto lower = [](std::uint64_t w) {
      const std::uint64_t low7 = w & ~kHighs;
      const std::uint64_t fromA = low7 + kOnes * (0x80 - 'A');
      const std::uint64_t pastZ = low7 + kOnes * (0x80 - 'Z' - 1);
      const std::uint64_t capitals = fromA & ~pastZ & ~w & kHighs;
      return w | (capitals >> 2);
    };
    for (; i + 8 <= a.size(); i += 8) {
      std::uint64_t x;
      std::uint64_t y;
      std::memcpy(&x, a.data() + i, sizeof x);
      std::memcpy(&y, b.data() + i, sizeof y);
      if (x != y && lower(x) != lower(y)) {
        return false;
      }
    }
  }
  for (; i < a.size(); ++i) {
    const char x = a[i];
    const char y = b[i];
    if (x != y && ((x | 0x20) != (y | 0x20) || (x | 0x20) < 'a' || (x | 0x20) > 'z')) {
      return false;
    }
  }
  return true;
}
[[nodiscard]] inline bool StartsWithIgnoreAsciiCase(std::string_view text,
                                                    std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualsIgnoreAsciiCase(text.substr(0, prefix.size()), prefix);
}
/// Position of the first byte c in text; npos when there is none. Inline and
/// eight bytes at a time: the decoder searches hundreds of short lines and
/// values per message, where a call to memchr cost more than the search.
[[nodiscard]] inline std::size_t FindByte(std::string_view text, char c) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kLow7 = 0x7f7f7f7f7f7f7f7fULL;
  const std::uint64_t wanted = kOnes * static_cast<unsigned char>(c);
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 8 <= text.size(); i += 8) {
      std::uint64_t word;
      std::memcpy(&word, text.data() + i, sizeof word);
      const std::uint64_t x = word ^ wanted;  // a zero byte where c is
      // The high bit of every zero byte (exact: no borrow crosses a byte).
      const std::uint64_t zeros = ~(((x & kLow7) + kLow7) | x | kLow7);
      if (zeros != 0) {
        return i + static_cast<std::size_t>(std::countr_zero(zeros)) / 8;
      }
    }
  }
  for (; i < text.size(); ++i) {
    if (text[i] == c) {
      return i;
    }
  }
  return std::string_view::npos;
}

/// Position of the first occurrence of needle at or after from, ignoring ASCII case;
/// npos when there is none.
[[nodiscard]] std::size_t FindIgnoreAsciiCase(std::string_view text, std::string_view needle,
                                              std::size_t from = 0);
[[nodiscard]] std::string ToLowerAscii(std::string_view text);

}  // namespace bc
