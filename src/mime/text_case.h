#pragma once

#include <string>
#include <string_view>

namespace bc {

/// True when text is well-formed UTF-8 (no overlong forms, no surrogates, nothing
/// above U+10FFFF).
[[nodiscard]] bool IsValidUtf8(std::string_view text);

/// Upper case of UTF-8 text, Unicode-aware ("ä" becomes "Ä"). Bytes of text that is
/// not valid UTF-8 are kept as they are, except that ASCII letters are upper-cased.
[[nodiscard]] std::string ToUpperUtf8(std::string_view text);

/// ASCII-only case folding, for protocol tokens (header names, boundaries).
/// Inline: the decoder compares every header name and many lines this way.
[[nodiscard]] inline bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
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
/// Position of the first occurrence of needle at or after from, ignoring ASCII case;
/// npos when there is none.
[[nodiscard]] std::size_t FindIgnoreAsciiCase(std::string_view text, std::string_view needle,
                                              std::size_t from = 0);
[[nodiscard]] std::string ToLowerAscii(std::string_view text);

}  // namespace bc
