// Plays the fuzz input as everything an IMAP server sends while the client works
// through one whole session (greeting, STARTTLS, login, SELECT, UID FETCH, a
// removal, LOGOUT), and feeds the response reader the same bytes split two ways.
//
// Input: one byte of flags, one byte giving the read size (1 to 256), then the
// server's bytes. Flags: 1 uses STARTTLS, 2 makes the end of the bytes a closed
// connection instead of a stall, 4 asks for the start of each body too.
//
// The checks live in bc::fuzz::CheckImapInput so the unit tests replay saved
// inputs, and run it on mutated inputs for a few seconds, exactly as here.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mail/imap_parser.h"
#include "mail/imap_session.h"
#include "mail/pop3_transport.h"

namespace bc::fuzz {

std::string CheckImapInput(std::string_view input);

namespace {

constexpr int kUseStartTls = 1;
constexpr int kEndClosed = 2;
constexpr int kWithText = 4;
constexpr int kFollowUids = 8;  // map the folder's UIDs first, as an IDLE watch does
constexpr const char* kPassword = "s3cret-pw";

class InputTransport final : public Pop3Transport {
 public:
  InputTransport(std::string_view bytes, size_t readSize, int flags,
                 std::vector<std::string>& writes, bool& tls)
      : bytes_(bytes), readSize_(readSize), flags_(flags), writes_(writes), tls_(tls) {}

  bool Open(const std::string&, int) override { return true; }
  bool StartTls() override {
    tls_ = true;
    return true;
  }
  ReadStatus Read(std::string& out, size_t maxBytes) override {
    if (at_ == bytes_.size()) {
      return (flags_ & kEndClosed) ? ReadStatus::Closed : ReadStatus::TimedOut;
    }
    const size_t n = std::min({readSize_, maxBytes, bytes_.size() - at_});
    out.append(bytes_.substr(at_, n));
    at_ += n;
    return ReadStatus::Data;
  }
  bool Write(std::string_view data) override {
    writes_.emplace_back(std::string(data) + (tls_ ? "" : "\x01"));  // \x01: sent in clear
    return true;
  }
  void Close() override {}
  std::string ErrorText() const override { return "no more input"; }

 private:
  std::string_view bytes_;
  size_t readSize_;
  size_t at_ = 0;
  int flags_;
  std::vector<std::string>& writes_;
  bool& tls_;
};

std::string ReaderOutput(std::string_view bytes, size_t chunk) {
  ImapLimits limits;
  limits.maxLine = 512;
  limits.maxLiteral = 1024;
  limits.maxResponse = 4096;
  ImapResponseReader reader(limits);
  std::string out;
  for (size_t at = 0; at < bytes.size(); at += chunk) {
    reader.Feed(bytes.substr(at, chunk));
    ImapResponse response;
    for (ImapResponseReader::Result r;
         (r = reader.Take(response)) != ImapResponseReader::Result::NeedMore;) {
      if (r == ImapResponseReader::Result::Error) {
        return out + "!" + reader.error();
      }
      if (response.line.size() > limits.maxLine * 9) {
        return "a response line passed its bound";
      }
      out += response.line + "|" + std::to_string(response.literals.size()) + "\n";
      static_cast<void>(ParseImapResponse(response));
      std::vector<ImapValue> values;
      size_t literal = 0;
      std::string error;
      static_cast<void>(ParseImapValues(response.line, response.literals, literal, values, error));
      if (literal > response.literals.size()) {
        return "the value parser read past the literals";
      }
    }
  }
  return out;
}

}  // namespace

std::string CheckImapInput(std::string_view input) {
  if (input.size() < 2) {
    return "";
  }
  const int flags = static_cast<unsigned char>(input[0]);
  const size_t readSize = static_cast<unsigned char>(input[1]) + 1;
  const std::string_view bytes = input.substr(2);

  if (ReaderOutput(bytes, bytes.size() + 1) != ReaderOutput(bytes, readSize)) {
    return "the responses depend on how the bytes were split";
  }

  std::vector<std::string> writes;
  bool tls = false;
  ImapSessionLimits limits;
  limits.responseDeadline = std::chrono::milliseconds(1000);
  limits.sizes.maxLine = 512;
  limits.sizes.maxLiteral = 1024;
  limits.sizes.maxResponse = 4096;
  limits.headerLiteral = 1024;
  limits.untaggedSlack = 50;
  ImapSession session(std::make_unique<InputTransport>(bytes, readSize, flags, writes, tls),
                      limits);
  const Security security = (flags & kUseStartTls) ? Security::StartTls : Security::None;
  if (session.Connect("host", 143, "user", kPassword, security) && session.Select("INBOX")) {
    if ((flags & kFollowUids) && session.FollowUids() &&
        static_cast<int64_t>(session.uids().size()) != session.exists()) {
      return "the UID map does not hold one UID per message";
    }
    std::vector<uint32_t> uids;
    session.Fetch("1:*", (flags & kWithText) ? 200 : 0,
                  [&](ImapFetched&& fetched) { uids.push_back(fetched.uid); });
    for (uint32_t uid : uids) {
      if (uid == 0) {
        return "a message without a UID was handed on";
      }
    }
    if (!uids.empty()) {
      static_cast<void>(session.Remove(uids.front()));
    }
    for (uint32_t gone : session.TakeGone()) {
      if (gone == 0) {
        return "a message of unknown UID was reported gone";
      }
    }
    static_cast<void>(session.Logout());
  }
  for (const std::string& w : writes) {
    const bool clear = !w.empty() && w.back() == '\x01';
    const std::string line = clear ? w.substr(0, w.size() - 1) : w;
    if (line.size() < 2 || line.substr(line.size() - 2) != "\r\n" ||
        line.find_first_of("\r\n") != line.size() - 2) {
      return "a command was not one line";
    }
    if (line.find(" EXPUNGE") != std::string::npos &&
        line.find(" UID EXPUNGE ") == std::string::npos) {
      return "a plain EXPUNGE was sent";
    }
    if (security == Security::StartTls && clear &&
        (line.find(kPassword) != std::string::npos || line.find("LOGIN") != std::string::npos ||
         line.find("AUTHENTICATE") != std::string::npos)) {
      return "credentials went out before TLS";
    }
  }
  if (session.lastError().find(kPassword) != std::string::npos) {
    return "the password is in the error text";
  }
  return "";
}

}  // namespace bc::fuzz

#ifndef BC_FUZZ_CHECKS_ONLY
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string why =
      bc::fuzz::CheckImapInput(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!why.empty()) {
    std::fprintf(stderr, "imap_fuzz: %s\n", why.c_str());
    std::abort();
  }
  return 0;
}
#endif
