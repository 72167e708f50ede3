#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bc {

enum class TransferEncoding { Identity, QuotedPrintable, Base64 };

/// The encoding named by a Content-Transfer-Encoding value ("7bit", "8bit",
/// "binary" and anything unknown are Identity).
[[nodiscard]] TransferEncoding ParseTransferEncoding(std::string_view value);

/// Decodes quoted-printable body lines (given without their line breaks). A line
/// ending in "=" continues on the next one; other lines end with "\n". Trailing
/// blanks (transport padding) are dropped; an "=" not followed by two hex digits
/// stays as it is.
[[nodiscard]] std::string DecodeQuotedPrintable(const std::vector<std::string_view>& lines);
/// DecodeQuotedPrintable(lines) appended to out.
void AppendQuotedPrintableLines(std::string& out, std::span<const std::string_view> lines);

/// Decodes the "Q" form of an encoded word: "_" is a space, "=XX" a byte.
[[nodiscard]] std::string DecodeQEncoding(std::string_view text);

/// Decodes base64 text; characters outside the alphabet (line breaks, padding,
/// stray bytes) are skipped, so damaged input gives as much as can be read.
[[nodiscard]] std::string DecodeBase64(std::string_view text);
/// DecodeBase64 of the pieces joined (the lines of a section), appended to out.
void AppendBase64(std::string& out, std::span<const std::string_view> pieces);

}  // namespace bc
