#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace bc {

/// Decodes the RFC 2047 encoded words ("=?charset?B|Q?text?=") of a raw header
/// value to UTF-8. White space between two encoded words is dropped; adjacent words
/// of one charset are joined before conversion, so a character split across them
/// survives; words of a stateful charset (ISO-2022-JP, UTF-7, UTF-16) are
/// converted one by one, as each carries its own escapes or byte order mark. Text outside encoded
/// words that is not valid UTF-8 is read as Windows-1252. A malformed encoded word stays as it is.
/// Line breaks are removed.
[[nodiscard]] std::string DecodeHeaderText(std::string_view rawValue);

/// The value of one parameter of a structured header value such as
/// 'application/pdf; name="a b.pdf"', decoded to UTF-8: quoted strings unquoted,
/// RFC 2231 forms ('name*=utf-8''%E2%82%AC.pdf', 'name*0*=...; name*1=...') joined
/// and converted, RFC 2047 words inside the value decoded. The parameter name is
/// matched as a whole name without regard to case. Nothing when it is absent.
[[nodiscard]] std::optional<std::string> FindHeaderParameter(std::string_view value,
                                                             std::string_view parameter);

/// The media type of a Content-Type value ("text/plain"), lower case, or empty.
[[nodiscard]] std::string MediaTypeOf(std::string_view contentTypeValue);

}  // namespace bc
