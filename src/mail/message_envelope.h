#pragma once

#include <cstdint>
#include <string>

#include "config/settings.h"
#include "mail/envelope_store.h"

namespace bc {

struct DecodedMessage;

/// Builds the envelope of a decoded message: from, subject (encoded words
/// decoded), address, received, size text, account, attachment count, content
/// (the first body lines the options allow, stripped of HTML), messageId and
/// messageKey. Takes the body lines out of `message` while it builds the content,
/// so a large body is not held twice.
[[nodiscard]] Envelope BuildEnvelope(DecodedMessage& message, int64_t listSize,
                                     const AppOptions& options, const MailAccount& account,
                                     int accountIndex, int messageIndex);

/// The messageKey of a message from its header lines alone (what TOP n 0 gives):
/// the same key BuildEnvelope computes.
[[nodiscard]] std::string MessageKeyOfHeaders(const DecodedMessage& message);

/// False when the message has no header field of its own: no "name: value" line
/// after the status line other than the fields servers add (X-UIDL, Status,
/// Received, Return-Path and the like). Such a message is never judged, so never
/// deleted, by rules meant for headers.
[[nodiscard]] bool HasReadableHeaders(const DecodedMessage& message);

}  // namespace bc
