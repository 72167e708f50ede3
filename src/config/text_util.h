#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace bc {

/// Decimal conversion as the settings use it: leading white space skipped, an
/// optional sign, digits up to the first non-digit; empty or non-numeric text
/// gives 0. Values beyond the int range saturate instead of overflowing.
[[nodiscard]] int ParseInt(std::string_view text);

/// "1" or "0".
[[nodiscard]] std::string FlagText(bool on);

/// Cuts UTF-8 text to at most `maxBytes` bytes without splitting a character.
[[nodiscard]] std::string CutUtf8(std::string_view text, size_t maxBytes);
/// Whether a character must never reach a terminal or a window as it is: C0
/// controls, DEL, C1 controls (U+0080-U+009F, the 8-bit CSI among them), the
/// line and paragraph separators, and the bidirectional embeddings, overrides
/// and isolates (U+202A-U+202E, U+2066-U+2069), which reorder the text around them.
[[nodiscard]] bool IsUnsafeToShow(char32_t c);

/// Text from outside (a server, a message, a hand-edited file) as it may be
/// shown: every character IsUnsafeToShow names becomes a blank, and bytes that
/// are not UTF-8 become U+FFFD, so a stray 0x9B byte cannot act as CSI either.
[[nodiscard]] std::string ShownText(std::string_view text);

/// Whether text is well-formed UTF-8.
[[nodiscard]] bool IsUtf8Text(std::string_view text);

/// Calls visit(code point, bytes) for each character of UTF-8 text; a byte that
/// starts no valid sequence comes as U+FFFD with that one byte.
template <class Visit>
void ForEachCodePoint(std::string_view text, Visit visit);

namespace text_util_detail {
// The code point at text[i] and its length in bytes (U+FFFD and 1 when invalid).
std::pair<char32_t, size_t> DecodeAt(std::string_view text, size_t i);
}  // namespace text_util_detail

template <class Visit>
void ForEachCodePoint(std::string_view text, Visit visit) {
  for (size_t i = 0; i < text.size();) {
    const auto [c, length] = text_util_detail::DecodeAt(text, i);
    visit(c, text.substr(i, length));
    i += length;
  }
}

}  // namespace bc
