#pragma once

#include <string>
#include <string_view>

namespace bc {

/// Turns joined body text into text to show and speak, in this order:
///  - comments and the style, script and head elements are removed with their
///    contents (each counts as one tag below);
///  - the text from the first "-----" (a quoted reply or signature) is cut off when
///    it is not at the very start, together with the character before it; the same
///    for "<hr";
///  - every "&nbsp;" is removed (not replaced by a space);
///  - tags are removed; a tag that follows text leaves one space; a "<" that no ">"
///    follows leaves the rest unchanged; a ">" before any "<" is text;
///  - character entities ("&amp;", "&eacute;", "&#8364;", "&#x20AC;") are decoded.
/// White space is not collapsed. Input and result are UTF-8.
[[nodiscard]] std::string StripHtml(std::string_view text);

/// StripHtml on a text the caller owns, copying it only where something changes:
/// a large body is not held twice.
void StripHtmlInPlace(std::string& text);

/// Decodes HTML character entities; unknown or unterminated ones stay as they are.
[[nodiscard]] std::string DecodeHtmlEntities(std::string_view text);

}  // namespace bc
