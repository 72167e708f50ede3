#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/stored_value.h"

namespace bc {

/// How a connection is protected: the account value `Security`.
enum class Security {
  None,      // "0": plain text
  Tls,       // "1": TLS from the first byte (POP3S)
  StartTls,  // "2": plain connect, then STLS; a refused STLS fails the connection
};

/// "" and "0" to None, "1" to Tls, "2" to StartTls; anything else (" 2", "02",
/// "STARTTLS") is nullopt: a mistyped value must never fall back to plain text.
[[nodiscard]] std::optional<Security> ParseSecurity(std::string_view text);

/// Why an account with this `Security` text is not contacted, for people.
[[nodiscard]] std::string SecurityValueError(std::string_view text);

/// Which protocol an account speaks: the account value `Protocol`.
enum class MailProtocol { Pop3, Imap };

/// "" and "POP3" to Pop3, "IMAP" to Imap (in any case); anything else is
/// nullopt, and the account is not contacted.
[[nodiscard]] std::optional<MailProtocol> ParseProtocol(std::string_view text);

/// Why an account with this `Protocol` text is not contacted, for people.
[[nodiscard]] std::string ProtocolValueError(std::string_view text);

/// The usual port of a protocol with a security choice: 110 and 995 for POP3,
/// 143 and 993 for IMAP (STARTTLS uses the plain port).
[[nodiscard]] int DefaultPort(MailProtocol protocol, Security security);

/// The unit of the check period `Freq`: the option value `FreqUnit`.
enum class FreqUnit {
  Seconds,  // "0"
  Minutes,  // "1"
  Hours,    // "2"
};

/// "0", "1" and "2" only; anything else ("", "02", "9") names no unit, and the
/// period stays what it was.
[[nodiscard]] std::optional<FreqUnit> ParseFreqUnit(std::string_view text);

/// 1, 60 or 3600.
[[nodiscard]] long long SecondsPer(FreqUnit unit);

/// The stored forms of the typed values (see Stored).
struct SecurityText {
  using Value = Security;
  static std::optional<Security> Parse(std::string_view text) { return ParseSecurity(text); }
  static std::string Format(Security value);
};

struct FreqUnitText {
  using Value = FreqUnit;
  static std::optional<FreqUnit> Parse(std::string_view text) { return ParseFreqUnit(text); }
  static std::string Format(FreqUnit value);
};

/// A port as the settings read it: ParseInt's decimal prefix, so "0110" and
/// " 110" are 110, and empty text is 0 (no port a connection can use).
struct PortText {
  using Value = int;
  static int Parse(std::string_view text);
  static std::string Format(int value) { return std::to_string(value); }
};

using StoredSecurity = Stored<SecurityText>;
using StoredFreqUnit = Stored<FreqUnitText>;
using StoredPort = Stored<PortText>;

}  // namespace bc
