#include "config/setting_values.h"

#include "config/text_util.h"

namespace bc {
namespace {

// The value of an enum numbered 0 to count-1 whose text is exactly its single
// digit: no blanks, no leading zeros, no sign.
template <class Enum>
std::optional<Enum> ExactDigit(std::string_view text, int count) {
  if (text.size() == 1 && text[0] >= '0' && text[0] < '0' + count) {
    return static_cast<Enum>(text[0] - '0');
  }
  return std::nullopt;
}

}  // namespace

std::optional<Security> ParseSecurity(std::string_view text) {
  return text.empty() ? Security::None : ExactDigit<Security>(text, 3);
}

std::string SecurityValueError(std::string_view text) {
  return "the account's Security value \"" + std::string(text) +
         "\" is not one of \"0\" (none), \"1\" (TLS) or \"2\" (STARTTLS); nothing was sent";
}

std::string SecurityText::Format(Security value) {
  return std::to_string(static_cast<int>(value));
}

std::optional<MailProtocol> ParseProtocol(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  if (upper.empty() || upper == "POP3") {
    return MailProtocol::Pop3;
  }
  if (upper == "IMAP") {
    return MailProtocol::Imap;
  }
  return std::nullopt;
}

std::string ProtocolValueError(std::string_view text) {
  return "the account's Protocol value \"" + std::string(text) +
         "\" is not \"POP3\" or \"IMAP\"; nothing was sent";
}

int DefaultPort(MailProtocol protocol, Security security) {
  const bool tls = security == Security::Tls;
  if (protocol == MailProtocol::Imap) {
    return tls ? 993 : 143;
  }
  return tls ? 995 : 110;
}

std::optional<FreqUnit> ParseFreqUnit(std::string_view text) {
  return ExactDigit<FreqUnit>(text, 3);
}

long long SecondsPer(FreqUnit unit) {
  switch (unit) {
    case FreqUnit::Seconds:
      return 1;
    case FreqUnit::Minutes:
      return 60;
    case FreqUnit::Hours:
      return 3600;
  }
  return 1;
}

std::string FreqUnitText::Format(FreqUnit value) {
  return std::to_string(static_cast<int>(value));
}

int PortText::Parse(std::string_view text) {
  return ParseInt(text);
}

}  // namespace bc
