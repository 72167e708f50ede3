#pragma once

#include <string>
#include <string_view>

namespace bc {

/// Windows-1252 bytes as UTF-8. Never fails: the five bytes the code page leaves
/// undefined become the C1 control characters of the same value.
[[nodiscard]] std::string Windows1252ToUtf8(std::string_view bytes);

/// The text itself when it is valid UTF-8, otherwise its bytes read as Windows-1252
/// (what unlabelled 8-bit mail text almost always is).
[[nodiscard]] std::string Utf8OrWindows1252(std::string_view bytes);
/// Utf8OrWindows1252(bytes) appended to out.
void AppendUtf8OrWindows1252(std::string& out, std::string_view bytes);

/// Converts bytes in the named charset (a MIME charset name, any case, quotes
/// allowed) to UTF-8. An empty, unknown or wrong charset (the bytes are not valid
/// in it) falls back to Utf8OrWindows1252, so no text is ever dropped.
[[nodiscard]] std::string CharsetToUtf8(std::string_view bytes, std::string_view charset);
/// CharsetToUtf8(bytes, charset) appended to out.
void AppendCharsetToUtf8(std::string& out, std::string_view bytes, std::string_view charset);

/// True for charsets whose bytes cannot simply be joined: escape-based ones
/// (ISO-2022-*, HZ, UTF-7), which end each encoded word in a state of their own,
/// and the UTF-16 and UTF-32 forms, whose words may each open with a byte order
/// mark. Encoded words in them are decoded one by one.
[[nodiscard]] bool IsStatefulCharset(std::string_view charset);

/// True when CharsetToUtf8 would give the text back as it is for every valid UTF-8
/// input: no charset, UTF-8 or US-ASCII.
[[nodiscard]] bool IsUtf8Charset(std::string_view charset);

}  // namespace bc
