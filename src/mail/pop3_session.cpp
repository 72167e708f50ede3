#include "mail/pop3_session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <utility>

#include "mail/pop3_reply.h"
#include "mime/text_case.h"

namespace bc {
namespace {

constexpr size_t kChunk = 64 * 1024;
// The least a message read asks for, however close its expected end.
constexpr int64_t kMinRead = 4096;
// RFC 1939 keeps replies to 512 octets; greetings and -ERR texts run longer on
// real servers, but nothing honest comes near this.
constexpr size_t kMaxStatusLine = 64 * 1024;
// A listing line is "n size" or "n id" with an id of at most 70 characters.
constexpr size_t kMaxListingLine = 1024;
// Messages beyond this number are not kept in the size and id tables.
constexpr int kMaxListed = 1000000;
// RFC 2449 servers list a dozen capabilities; this is far past any of them.
constexpr int kMaxCapabilities = 200;
constexpr std::string_view kRedacted = "********";

}  // namespace

Pop3Session::Pop3Session(std::unique_ptr<Pop3Transport> transport, ReplyLimits limits)
    : transport_(std::move(transport)), limits_(limits) {}

Pop3Session::~Pop3Session() {
  Close();
}

std::string Pop3Session::WithoutPassword(std::string text) const {
  if (password_.empty()) {
    return text;
  }
  for (size_t at = text.find(password_); at != std::string::npos;
       at = text.find(password_, at + kRedacted.size())) {
    text.replace(at, password_.size(), kRedacted);
  }
  return text;
}

bool Pop3Session::Fail(std::string why) {
  lastError_ = WithoutPassword(std::move(why));
  return false;
}

// The reply can no longer be told apart from what follows it: the connection is
// given up, and every later command fails without touching lastError().
bool Pop3Session::Broken(std::string why) {
  Fail(std::move(why));
  broken_ = true;
  Close();
  return false;
}

void Pop3Session::AllowFor(int64_t expectedBytes) {
  // A LIST size is the server's word: no reply is read past the ceiling anyway.
  expectedBytes = std::clamp<int64_t>(expectedBytes, 0, limits_.messageCeiling);
  const int64_t ms = expectedBytes * 1000 / std::max<int64_t>(limits_.floorBytesPerSecond, 1);
  deadline_ = sentAt_ + limits_.statusDeadline + std::chrono::milliseconds(ms);
}

bool Pop3Session::ReadFailed(bc::ReadStatus status) {
  // A wait the deadline cut short (socket timers may wake a little early): the
  // reason is the deadline, not the transport's own time limit.
  if (status == ReadStatus::TimedOut &&
      SteadyClock::now() + std::chrono::milliseconds(100) >= deadline_) {
    deadline_ = SteadyClock::now();
    return WaitLimit();
  }
  return Broken(transport_->ErrorText());
}

// Tells the transport how long it may still wait; false once the deadline passed.
bool Pop3Session::WaitLimit() {
  const auto now = SteadyClock::now();
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - now);
  if (left.count() <= 0) {
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(now - sentAt_).count();
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", static_cast<double>(took) / 1000.0);
    return Broken(std::string("the server's reply was not complete after ") + seconds +
                  " seconds; it sends too slowly or not at all");
  }
  transport_->SetWaitLimit(static_cast<int>(std::min<int64_t>(left.count(), INT32_MAX)));
  return true;
}

bool Pop3Session::ReadChunk() {
  if (consumed_ > 0 && consumed_ == buffer_.size()) {
    buffer_.clear();
    consumed_ = 0;
  } else if (consumed_ > kChunk) {
    buffer_.erase(0, consumed_);
    consumed_ = 0;
  }
  if (!WaitLimit()) {
    return false;
  }
  const bc::ReadStatus status = transport_->Read(buffer_, kChunk);
  return status == ReadStatus::Data || ReadFailed(status);
}

Pop3Session::LineStatus Pop3Session::ReadLine(std::string& line, size_t maxLine) {
  size_t searchFrom = consumed_;
  for (;;) {
    const size_t end = buffer_.find("\r\n", searchFrom);
    if (end != std::string::npos && end - consumed_ <= maxLine) {
      line.assign(buffer_, consumed_, end - consumed_);
      consumed_ = end + 2;
      return LineStatus::Ok;
    }
    if (buffer_.size() - consumed_ > maxLine) {
      Broken("the server sent a line longer than " + std::to_string(maxLine) + " bytes");
      return LineStatus::Failed;
    }
    // A CR at the end may pair with an LF still to come.
    const size_t scanned = buffer_.size() - consumed_;
    if (!ReadChunk()) {
      return LineStatus::Failed;
    }
    searchFrom = consumed_ + (scanned > 0 ? scanned - 1 : 0);
  }
}

bool Pop3Session::Send(const std::string& command) {
  if (broken_) {
    return false;
  }
  if (!open_) {
    return Fail("not connected");
  }
  // This command's reply comes after theirs: read them first.
  HoldRepliesInFlight();
  serverReply_.clear();
  if (broken_) {
    return false;
  }
  // Every reply so far met its command: bytes left over answer none, and every
  // later reply would be read as the answer to the command before it.
  if (open_ && consumed_ < buffer_.size()) {
    return Broken(
        "the server sent a reply to no command; the conversation is out of step, so it was "
        "ended");
  }
  if (!open_) {
    return Fail("not connected");
  }
  lastCommand_ = command.substr(0, command.find_first_of(" \r"));
  if (!transport_->Write(command)) {
    return Fail(transport_->ErrorText());
  }
  sentAt_ = SteadyClock::now();
  AllowFor(0);
  return true;
}

bool Pop3Session::ReadStatus(std::string* reply) {
  std::string line;
  if (ReadLine(line, kMaxStatusLine) != LineStatus::Ok) {
    return false;
  }
  if (IsErrReply(line)) {
    serverReply_ = WithoutPassword(line);
    Fail("server said: " + line);
    if (reply) {
      *reply = serverReply_;
    }
    return false;
  }
  if (reply) {
    *reply = std::move(line);
  }
  return true;
}

bool Pop3Session::Command(const std::string& command, std::string* reply) {
  return Send(command) && ReadStatus(reply);
}

bool Pop3Session::Connect(const std::string& server, int port, const std::string& userName,
                          const std::string& password, Security security) {
  if (userName.find_first_of("\r\n") != std::string::npos ||
      password.find_first_of("\r\n") != std::string::npos) {
    return Fail("the user name or password contains a line break; refused to send it");
  }
  password_ = password;
  if (!transport_->Open(server, port)) {
    return Fail(transport_->ErrorText());
  }
  open_ = true;
  sentAt_ = SteadyClock::now();
  AllowFor(0);
  if (!ReadStatus(nullptr)) {
    return false;
  }
  if (security == Security::StartTls) {
    if (!Command("STLS\r\n")) {
      if (!serverReply_.empty()) {
        lastError_ = "the server refused STARTTLS (" + lastError_ + ")";
      }
      return false;
    }
    // Whatever came with the STLS reply was sent in clear text and would be read
    // as the server's answers once TLS is up (RFC 2595 section 4): an attack.
    if (consumed_ < buffer_.size()) {
      return Broken(
          "the server sent more data after accepting STARTTLS; the connection may be "
          "under attack");
    }
    buffer_.clear();
    consumed_ = 0;
    if (!transport_->StartTls()) {
      return Broken(transport_->ErrorText());
    }
  }
  if (askCapabilities_ && !Capabilities() && !usable()) {
    capabilitiesFailed_ = true;
    lastError_ = "CAPA failed: " + lastError_;
    return false;
  }
  if (utf8_ && !Command("UTF8\r\n") && !usable()) {
    return false;
  }
  return Command("USER " + userName + "\r\n") && Command("PASS " + password + "\r\n");
}

bool Pop3Session::Stat() {
  std::string reply;
  if (!Command("STAT\r\n", &reply)) {
    return false;
  }
  if (!StatReplyHasCount(reply)) {
    return Fail("the server's STAT answer gives no message count (" + reply + ")");
  }
  ParseStatReply(reply, messageCount_, mailboxSize_);
  return true;
}

bool Pop3Session::ReadListing(std::string_view command,
                              const std::function<void(std::string_view)>& onLine) {
  const bool capabilities = command == "CAPA";
  const int64_t maxLines =
      capabilities
          ? kMaxCapabilities
          : std::min<int64_t>(std::max(messageCount_, 0), kMaxListed) + limits_.listingSlack;
  // About 32 bytes a line.
  AllowFor(maxLines * 32);
  std::string line;
  for (int64_t count = 0;; ++count) {
    if (ReadLine(line, kMaxListingLine) != LineStatus::Ok) {
      return false;
    }
    if (line == ".") {
      return true;
    }
    if (count >= maxLines) {
      return Broken(capabilities ? "the server's CAPA answer has more than " +
                                       std::to_string(kMaxCapabilities) + " lines"
                                 : "the server's listing has more lines than the " +
                                       std::to_string(messageCount_) + " messages it counted");
    }
    // A leading dot of a listing line is stuffing (RFC 1939 section 3).
    onLine(std::string_view(line).substr(!line.empty() && line[0] == '.' ? 1 : 0));
  }
}

bool Pop3Session::List() {
  messageSizes_.clear();
  const int highest = std::min(std::max(messageCount_, 0), kMaxListed) + limits_.listingSlack;
  messageSizes_.reserve(static_cast<size_t>(std::min(std::max(messageCount_, 0), kMaxListed)));
  // By number, not by position: a listing may skip deleted messages or hold
  // lines that cannot be read.
  return Command("LIST\r\n") && ReadListing("LIST", [this, highest](std::string_view line) {
           if (auto entry = ParseListLine(line); entry && entry->first <= highest) {
             if (messageSizes_.size() < static_cast<size_t>(entry->first)) {
               messageSizes_.resize(static_cast<size_t>(entry->first));
             }
             messageSizes_[static_cast<size_t>(entry->first - 1)] = entry->second;
           }
         });
}

bool Pop3Session::Capabilities() {
  pipelining_ = false;
  utf8_ = false;
  std::vector<std::string> lines;
  if (!Command("CAPA\r\n") ||
      !ReadListing("CAPA", [&lines](std::string_view line) { lines.emplace_back(line); })) {
    return false;
  }
  for (const std::string& line : lines) {
    const std::string name = ToLowerAscii(std::string_view(line).substr(0, line.find(' ')));
    pipelining_ = pipelining_ || name == "pipelining";
    utf8_ = utf8_ || name == "utf8";
  }
  return true;
}

bool Pop3Session::Uidl() {
  uniqueIdText_.clear();
  uniqueIds_.clear();
  const int highest = std::min(std::max(messageCount_, 0), kMaxListed) + limits_.listingSlack;
  uniqueIds_.reserve(static_cast<size_t>(std::min(std::max(messageCount_, 0), kMaxListed)));
  return Command("UIDL\r\n") && ReadListing("UIDL", [this, highest](std::string_view line) {
           if (auto entry = ParseUidlLine(line); entry && entry->first <= highest) {
             if (uniqueIds_.size() < static_cast<size_t>(entry->first)) {
               uniqueIds_.resize(static_cast<size_t>(entry->first));
             }
             // Each id is kept in one text for the whole listing: a mailbox
             // of 10,000 messages costs no allocation per message.
             uniqueIds_[static_cast<size_t>(entry->first - 1)] = {
                 static_cast<uint32_t>(uniqueIdText_.size()),
                 static_cast<uint32_t>(entry->second.size())};
             uniqueIdText_ += entry->second;
           }
         });
}

bool Pop3Session::UidlOf(int messageNumber, std::string& uid) {
  std::string reply;
  if (!Command("UIDL " + std::to_string(messageNumber) + "\r\n", &reply)) {
    return false;
  }
  // "+OK 3 XYZ": skip the status word, then read "n id".
  const size_t blank = reply.find(' ');
  auto entry = blank == std::string::npos
                   ? std::nullopt
                   : ParseUidlLine(std::string_view(reply).substr(blank + 1));
  if (!entry || entry->first != messageNumber) {
    return Fail("the server's UIDL answer has no id: " + reply);
  }
  uid = entry->second;
  return true;
}

int64_t Pop3Session::MessageBound(int64_t listed) const {
  return listed > 0 ? std::min(limits_.messageCeiling, 2 * listed + limits_.messageSlack)
                    : limits_.messageCeiling;
}

bool Pop3Session::SizeOf(int messageNumber, int64_t& size) {
  std::string reply;
  if (!Command("LIST " + std::to_string(messageNumber) + "\r\n", &reply)) {
    return false;
  }
  const size_t blank = reply.find(' ');
  auto entry = blank == std::string::npos ? std::nullopt : ParseListLine(reply.substr(blank + 1));
  if (!entry || entry->first != messageNumber) {
    return Fail("the server's LIST answer has no size: " + reply);
  }
  size = entry->second;
  return true;
}

bool Pop3Session::ReadMessage(bool acceptTruncated, int messageNumber) {
  // Everything from the status line on is kept; the end is "\n.\r\n" anywhere in
  // the text received so far (after CR LF, or after the bare LF of a broken
  // server), so it is found however the reads split it.
  std::string status;
  if (!ReadStatus(&status)) {
    return false;
  }
  messageText_ = std::move(status);
  messageText_ += "\r\n";
  return TakeBufferedMessage() || ReadMessageBody(acceptTruncated, messageNumber);
}

// The usual case once replies are pipelined: the whole reply is already in the
// read buffer (the LF before it ends the status line).
bool Pop3Session::TakeBufferedMessage() {
  const size_t end = buffer_.find("\n.\r\n", consumed_ - 1);
  if (end == std::string::npos) {
    return false;
  }
  messageText_.append(buffer_, consumed_, end + 4 - consumed_);
  consumed_ = end + 4;
  return true;
}

bool Pop3Session::ReadMessageBody(bool acceptTruncated, int messageNumber) {
  const int64_t listed = MessageSize(messageNumber);
  const int64_t bound = MessageBound(listed);
  if (listed > 0) {
    // Room for the usual CR LF and stuffing growth, so the text is not copied
    // while it grows; never more than the bound, whatever LIST claimed.
    messageText_.reserve(static_cast<size_t>(
        std::min(bound + 5, listed + listed / 16 + static_cast<int64_t>(kChunk))));
  }
  size_t searchFrom = messageText_.size() - 1;
  for (;;) {
    if (consumed_ < buffer_.size()) {
      messageText_.append(buffer_, consumed_, std::string::npos);
    }
    buffer_.clear();
    consumed_ = 0;
    if (EndMessageText(searchFrom)) {
      return true;
    }
    const auto size = static_cast<int64_t>(messageText_.size());
    if (size > bound) {
      DropMessageText();
      return Broken("message " + std::to_string(messageNumber) + " runs past " +
                    std::to_string(bound) + " bytes" +
                    (listed > 0 ? " (LIST gave " + std::to_string(listed) + ")" : "") +
                    "; the server does not end it");
    }
    searchFrom = messageText_.size() >= 3 ? messageText_.size() - 3 : 0;
    switch (ReadMoreOfMessage(listed, bound)) {
      case MoreText::Read:
        break;
      case MoreText::Closed:
        lastError_ = transport_->ErrorText();
        if (!acceptTruncated) {
          return Broken(lastError_);
        }
        Close();
        return true;
      case MoreText::Failed:
        return false;
    }
  }
}

// Ends the message text at its terminator, found from `searchFrom` on; bytes
// past it belong to the next reply and go back to the read buffer.
bool Pop3Session::EndMessageText(size_t searchFrom) {
  const size_t end = messageText_.find("\n.\r\n", searchFrom);
  if (end == std::string::npos) {
    return false;
  }
  buffer_.assign(messageText_, end + 4, std::string::npos);
  messageText_.resize(end + 4);
  return true;
}

void Pop3Session::DropMessageText() {
  messageText_.clear();
  messageText_.shrink_to_fit();
}

Pop3Session::MoreText Pop3Session::ReadMoreOfMessage(int64_t listed, int64_t bound) {
  const auto size = static_cast<int64_t>(messageText_.size());
  AllowFor(std::max(listed, size));
  if (!WaitLimit()) {
    DropMessageText();
    return MoreText::Failed;
  }
  // Reading little past the expected end keeps what belongs to the next
  // replies, copied into the read buffer, small.
  const auto room = static_cast<size_t>(bound + 5 - size);
  const size_t want =
      listed > 0 ? static_cast<size_t>(std::max<int64_t>(listed + 5 - size, kMinRead)) : 4 * kChunk;
  switch (const bc::ReadStatus status =
              transport_->Read(messageText_, std::min({4 * kChunk, room, want}))) {
    case ReadStatus::Data:
      return MoreText::Read;
    case ReadStatus::Closed:
      return MoreText::Closed;
    case ReadStatus::TimedOut:
    case ReadStatus::Failed:
      messageText_.clear();
      ReadFailed(status);
      return MoreText::Failed;
  }
  return MoreText::Failed;
}

bool Pop3Session::Retrieve(int messageNumber) {
  return SendRetrieve(messageNumber) && ReadRetrieved();
}

bool Pop3Session::SendRetrieve(int messageNumber) {
  messageText_.clear();
  const std::string command = "RETR " + std::to_string(messageNumber) + "\r\n";
  if (pipelining_ && !inFlight_.empty()) {
    if (broken_) {
      return false;
    }
    if (!open_) {
      return Fail("not connected");
    }
    outgoing_ += command;
    inFlight_.push_back({messageNumber, SteadyClock::now()});
    return true;
  }
  if (!Send(command)) {
    return false;
  }
  inFlight_.push_back({messageNumber, sentAt_});
  return true;
}

bool Pop3Session::Flush() {
  if (outgoing_.empty()) {
    return true;
  }
  const std::string commands = std::exchange(outgoing_, {});
  // Some of the commands may have reached the server: nothing can be matched any more.
  return transport_->Write(commands) || Broken(transport_->ErrorText());
}

bool Pop3Session::ReadNextInFlight() {
  const InFlight next = inFlight_.front();
  inFlight_.pop_front();
  serverReply_.clear();
  if (!Flush()) {
    return false;
  }
  // A pipelined reply can only start once the one before it has ended.
  sentAt_ = std::max(next.sentAt, lastReplyEnd_);
  AllowFor(0);
  const bool ok = ReadMessage(true, next.messageNumber);
  lastReplyEnd_ = SteadyClock::now();
  return ok;
}

void Pop3Session::HoldRepliesInFlight() {
  while (!inFlight_.empty()) {
    const std::string before = lastError_;
    const bool ok = ReadNextInFlight();
    held_.push_back({ok, std::move(messageText_), lastError_ != before ? lastError_ : ""});
    messageText_.clear();
  }
}

bool Pop3Session::ReadRetrieved() {
  if (!held_.empty()) {
    HeldReply reply = std::move(held_.front());
    held_.pop_front();
    messageText_ = std::move(reply.text);
    if (!reply.error.empty()) {
      lastError_ = std::move(reply.error);
    }
    return reply.ok;
  }
  if (inFlight_.empty()) {
    return Fail("no message was asked for");
  }
  return ReadNextInFlight();
}

bool Pop3Session::Top(int messageNumber, int lines) {
  messageText_.clear();
  return Send("TOP " + std::to_string(messageNumber) + " " + std::to_string(lines) + "\r\n") &&
         ReadMessage(false, messageNumber);
}

bool Pop3Session::Delete(int messageNumber) {
  return Command("DELE " + std::to_string(messageNumber) + "\r\n");
}

bool Pop3Session::Quit() {
  return Command("QUIT\r\n");
}

void Pop3Session::Close() {
  if (open_) {
    transport_->Close();
    open_ = false;
  }
}

int64_t Pop3Session::MessageSize(int messageNumber) const {
  if (messageNumber < 1 || static_cast<size_t>(messageNumber) > messageSizes_.size()) {
    return 0;
  }
  return messageSizes_[static_cast<size_t>(messageNumber - 1)];
}

std::string_view Pop3Session::UniqueId(int messageNumber) const {
  if (messageNumber < 1 || static_cast<size_t>(messageNumber) > uniqueIds_.size()) {
    return {};
  }
  const auto [at, length] = uniqueIds_[static_cast<size_t>(messageNumber - 1)];
  return std::string_view(uniqueIdText_).substr(at, length);
}

}  // namespace bc
