#include "mail/message_envelope.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

#include "mail/envelope_fields.h"
#include "mime/mime_decoder.h"

namespace bc {
namespace {

struct SenderFields {
  std::string from;
  std::string address;
};

SenderFields SenderOf(const DecodedMessage& message) {
  // The address is read from the header as sent; only the name is decoded, so an
  // encoded word cannot smuggle in an address of its choosing.
  const std::string raw = HeaderValue(message.headerLines, "from");
  return {QuotedNameText(DecodeHeaderText(FromNamePart(raw))), JudgedSenderAddress(raw)};
}

}  // namespace

Envelope BuildEnvelope(DecodedMessage& message, int64_t listSize, const AppOptions& options,
                       const MailAccount& account, int accountIndex, int messageIndex) {
  Envelope e;
  SenderFields sender = SenderOf(message);
  e.from = std::move(sender.from);
  e.address = std::move(sender.address);
  e.subject = DecodeHeaderText(HeaderValue(message.headerLines, "subject"));
  e.received = FormatReceived(HeaderValue(message.headerLines, "Date"));
  e.size = SizeText(listSize);
  e.account = account.UserName;
  e.attachment = std::to_string(message.attachmentNames.size());
  e.messageId = std::to_string(MakeMessageId(messageIndex, accountIndex));
  std::string lines = ContentLines(message.bodyLines, options.CheckLines, options.ComboLines);
  message.bodyLines = TextLines();
  StripHtmlInPlace(lines);
  e.content = std::move(lines);
  e.messageKey = MessageKey(HeaderValue(message.headerLines, "Message-ID"), e.received, e.from);
  return e;
}

std::string MessageKeyOfHeaders(const DecodedMessage& message) {
  const SenderFields sender = SenderOf(message);
  return MessageKey(HeaderValue(message.headerLines, "Message-ID"),
                    FormatReceived(HeaderValue(message.headerLines, "Date")), sender.from);
}

}  // namespace bc

namespace bc {

namespace {

// Fields a server or delivery agent adds to whatever it stores: a message made
// of nothing else has no header of its own (a maildir server that serves only its
// X-UIDL line, a mailbox entry whose text was lost).
bool IsServerAddedField(std::string_view name) {
  static constexpr std::string_view kAdded[] = {
      "X-UIDL",       "Status",        "X-Status",       "X-Keywords", "X-UID",
      "X-IMAP",       "X-IMAPbase",    "Content-Length", "Lines",      "Return-Path",
      "Delivered-To", "X-Original-To", "Received"};
  for (const std::string_view added : kAdded) {
    if (name.size() == added.size() &&
        std::equal(name.begin(), name.end(), added.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) ==
                 std::tolower(static_cast<unsigned char>(b));
        })) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool HasReadableHeaders(const DecodedMessage& message) {
  for (size_t i = 1; i < message.headerLines.size(); ++i) {
    const std::string_view line = message.headerLines[i];
    const size_t colon = line.find(':');
    if (colon == 0 || colon == std::string::npos) {
      continue;
    }
    bool name = true;
    for (size_t k = 0; k < colon && name; ++k) {
      const auto c = static_cast<unsigned char>(line[k]);
      name = c > 0x20 && c < 0x7F;  // RFC 5322 field names: printable, no blanks
    }
    if (name && !IsServerAddedField(std::string_view(line).substr(0, colon))) {
      return true;
    }
  }
  return false;
}

}  // namespace bc
