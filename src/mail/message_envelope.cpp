#include "mail/message_envelope.h"

#include "mail/envelope_fields.h"
#include "mime/mime_decoder.h"

namespace bc {
namespace {

struct SenderFields {
  std::string from;
  std::string address;
};

SenderFields SenderOf(const DecodedMessage& message) {
  const std::string fromValue = DecodeHeaderText(HeaderValue(message.headerLines, "from"));
  return {FromDisplayText(fromValue), SenderAddress(fromValue)};
}

}  // namespace

Envelope BuildEnvelope(const DecodedMessage& message, int64_t listSize, const AppOptions& options,
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
  e.content =
      StripHtml(ContentLines(message.bodyLines, options.CheckLines, options.ComboLines));
  e.messageKey = MessageKey(HeaderValue(message.headerLines, "Message-ID"), e.received, e.from);
  return e;
}

std::string MessageKeyOfHeaders(const DecodedMessage& message) {
  const SenderFields sender = SenderOf(message);
  return MessageKey(HeaderValue(message.headerLines, "Message-ID"),
                    FormatReceived(HeaderValue(message.headerLines, "Date")), sender.from);
}

}  // namespace bc
