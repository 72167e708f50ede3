// Plays the fuzz input as everything a POP3 server sends while the client works
// through one whole session, and feeds the reply readers the same bytes directly.
//
// Input: one byte of flags, one byte giving how many read sizes follow (1 to 8),
// the read sizes (1 to 256 bytes each, used in turn), then the server's bytes.
// Flags: 1 uses STARTTLS, 2 makes the end of the bytes a closed connection
// instead of a stall, 4 fails the TLS handshake, 8 refuses the connection.
// When the bytes run out every read reports at once, so nothing ever waits.
//
// The checks live in bc::fuzz::CheckPop3Input so the regression test replays a
// saved input exactly as the fuzzer does; it returns the first broken rule.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mail/pop3_reply.h"
#include "mail/pop3_session.h"
#include "mail/pop3_transport.h"

namespace bc::fuzz {

std::string CheckPop3Input(std::string_view input);

namespace {

constexpr int kUseStartTls = 1;
constexpr int kEndClosed = 2;
constexpr int kTlsFails = 4;
constexpr int kOpenFails = 8;

// Small bounds, so the fuzzer reaches them with short inputs.
const ReplyLimits kLimits = [] {
  ReplyLimits limits;
  limits.messageCeiling = 4096;
  limits.messageSlack = 64;
  limits.listingSlack = 4;
  return limits;
}();

class InputTransport final : public Pop3Transport {
 public:
  InputTransport(std::string_view bytes, std::vector<size_t> readSizes, int flags,
                 std::vector<std::string>& writes, bool& tlsStarted)
      : bytes_(bytes),
        readSizes_(std::move(readSizes)),
        flags_(flags),
        writes_(writes),
        tlsStarted_(tlsStarted) {}

  bool Open(const std::string&, int) override {
    if (flags_ & kOpenFails) {
      error_ = "connection refused";
      return false;
    }
    return true;
  }
  bool StartTls() override {
    if (flags_ & kTlsFails) {
      error_ = "TLS handshake failed";
      return false;
    }
    tlsStarted_ = true;
    return true;
  }
  ReadStatus Read(std::string& out, size_t maxBytes) override {
    if (maxBytes == 0) {
      error_ = "asked to read nothing";
      return ReadStatus::Failed;
    }
    if (at_ == bytes_.size()) {
      error_ = "no more input";
      return (flags_ & kEndClosed) ? ReadStatus::Closed : ReadStatus::TimedOut;
    }
    size_t n = readSizes_[nextSize_++ % readSizes_.size()];
    n = std::min({n, maxBytes, bytes_.size() - at_});
    out.append(bytes_.substr(at_, n));
    at_ += n;
    return ReadStatus::Data;
  }
  bool Write(std::string_view data) override {
    writes_.emplace_back(data);
    return true;
  }
  void Close() override {}
  std::string ErrorText() const override { return error_; }

 private:
  std::string_view bytes_;
  std::vector<size_t> readSizes_;
  size_t nextSize_ = 0;
  size_t at_ = 0;
  int flags_;
  std::vector<std::string>& writes_;
  bool& tlsStarted_;
  std::string error_;
};

bool HasBlank(std::string_view text) {
  return text.find_first_of(" \t") != std::string_view::npos;
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// The reply readers on one line: counts and sizes are never negative, an id is
// a non-empty run of the line without blanks.
std::string CheckReplyLine(std::string_view line) {
  int count = -7;
  int64_t size = -7;
  ParseStatReply(line, count, size);
  if ((count != -7 && count < 0) || (size != -7 && size < 0)) {
    return "ParseStatReply gave a negative number";
  }
  if (!HasBlank(line) && (count != -7 || size != -7)) {
    return "ParseStatReply read numbers from a reply without blanks";
  }
  if (auto entry = ParseListLine(line); entry && (entry->first <= 0 || entry->second < 0)) {
    return "ParseListLine gave a number that is not positive or a negative size";
  }
  if (auto entry = ParseUidlLine(line)) {
    if (entry->first <= 0 || entry->second.empty() || HasBlank(entry->second) ||
        line.find(entry->second) == std::string_view::npos) {
      return "ParseUidlLine gave a bad entry";
    }
  }
  return {};
}

// A retrieved text: the status line (never "-ERR"), then what followed it,
// ending in the terminator unless the connection closed early and that is allowed.
std::string CheckMessageText(const std::string& text, bool mayBeTruncated, size_t served) {
  if (text.size() > served) {
    return "the message text holds more bytes than the server sent";
  }
  const size_t lineEnd = text.find("\r\n");
  if (lineEnd == std::string::npos || IsErrReply(text)) {
    return "the message text does not start with a good status line";
  }
  if (!EndsWith(text, "\n.\r\n") && !mayBeTruncated) {
    return "the message text does not end with the terminator";
  }
  // The first terminator after the status line's own CR LF must be the end (a
  // status line may itself end in "\n.").
  if (const size_t end = text.find("\n.\r\n", lineEnd + 1);
      end != std::string::npos && end != text.size() - 4) {
    return "the message text runs past its terminator";
  }
  if (text.size() > static_cast<size_t>(kLimits.messageCeiling) + 5) {
    return "the message text is larger than the ceiling";
  }
  return {};
}

std::string CheckSession(std::string_view server, std::vector<size_t> readSizes, int flags) {
  std::vector<std::string> writes;
  bool tlsStarted = false;
  const bool startTls = flags & kUseStartTls;
  const bool closedAtEnd = flags & kEndClosed;
  Pop3Session session(
      std::make_unique<InputTransport>(server, std::move(readSizes), flags, writes, tlsStarted),
      kLimits);

  // The whole script runs whatever fails on the way: a session used after a
  // failure must still be safe.
  const bool connected = session.Connect("pop.example.org", 110, "alice", "secret",
                                         startTls ? Security::StartTls : Security::None);
  if (connected && startTls && !tlsStarted) {
    return "connected over STARTTLS without starting TLS";
  }
  if (session.Stat() && (session.messageCount() < 0 || session.mailboxSize() < 0)) {
    return "STAT gave a negative count or size";
  }
  (void)session.List();
  (void)session.Uidl();
  // STAT may claim up to INT32_MAX messages; look a little past a small count.
  const int last = std::min(session.messageCount(), 60) + 2;
  for (int n = -1; n <= last; ++n) {
    if (session.MessageSize(n) < 0 || HasBlank(session.UniqueId(n))) {
      return "a listed size is negative or a unique id holds a blank";
    }
  }
  std::string uid;
  if (session.UidlOf(1, uid) && (uid.empty() || HasBlank(uid))) {
    return "UIDL 1 gave an empty id or one with a blank";
  }
  if (session.Retrieve(1)) {
    if (auto why = CheckMessageText(session.messageText(), closedAtEnd, server.size());
        !why.empty()) {
      return "RETR 1: " + why;
    }
  }
  if (session.SendRetrieve(2) && session.ReadRetrieved()) {
    if (auto why = CheckMessageText(session.messageText(), closedAtEnd, server.size());
        !why.empty()) {
      return "RETR 2: " + why;
    }
    (void)session.TakeMessageText();
  }
  if (session.Top(1, 0)) {
    if (auto why = CheckMessageText(session.messageText(), false, server.size()); !why.empty()) {
      return "TOP 1 0: " + why;
    }
  }
  (void)session.Delete(1);
  (void)session.Quit();
  session.Close();

  // Every command is one line, and the credentials go out only once TLS is up
  // when STARTTLS was asked for.
  for (const std::string& command : writes) {
    if (!EndsWith(command, "\r\n") || command.find_first_of("\r\n") != command.size() - 2) {
      return "a command that is not exactly one line: " + command;
    }
    if (startTls && !tlsStarted && (command.starts_with("USER") || command.starts_with("PASS"))) {
      return "credentials sent before TLS was up";
    }
  }
  return {};
}

}  // namespace

std::string CheckPop3Input(std::string_view input) {
  const int flags = input.empty() ? 0 : static_cast<unsigned char>(input[0]);
  input.remove_prefix(std::min<size_t>(1, input.size()));
  const size_t sizeCount = input.empty() ? 1 : (static_cast<unsigned char>(input[0]) & 7) + 1;
  input.remove_prefix(std::min<size_t>(1, input.size()));
  std::vector<size_t> readSizes;
  for (size_t i = 0; i < sizeCount; ++i) {
    readSizes.push_back(i < input.size() ? static_cast<unsigned char>(input[i]) + size_t{1} : 1);
  }
  input.remove_prefix(std::min(sizeCount, input.size()));

  if (auto why = CheckReplyLine(input); !why.empty()) {
    return why;
  }
  for (size_t start = 0; start < input.size();) {
    size_t end = input.find("\r\n", start);
    if (end == std::string_view::npos) {
      end = input.size();
    }
    if (auto why = CheckReplyLine(input.substr(start, end - start)); !why.empty()) {
      return why;
    }
    start = end + 2;
  }
  return CheckSession(input, std::move(readSizes), flags);
}

}  // namespace bc::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string why =
      bc::fuzz::CheckPop3Input(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!why.empty()) {
    std::fprintf(stderr, "pop3_fuzz: %s\n", why.c_str());
    std::abort();
  }
  return 0;
}
