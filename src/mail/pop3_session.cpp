#include "mail/pop3_session.h"

#include <cstring>

#include "mail/pop3_reply.h"

namespace bc {
namespace {

constexpr size_t kChunk = 64 * 1024;
// No status or listing line is anywhere near this long; a server that sends one
// is broken or hostile.
constexpr size_t kMaxLine = 1024 * 1024;

}  // namespace

Pop3Session::Pop3Session(std::unique_ptr<Pop3Transport> transport)
    : transport_(std::move(transport)) {}

Pop3Session::~Pop3Session() { Close(); }

bool Pop3Session::Fail(std::string why) {
  lastError_ = std::move(why);
  return false;
}

bool Pop3Session::ReadChunk() {
  if (consumed_ > 0 && consumed_ == buffer_.size()) {
    buffer_.clear();
    consumed_ = 0;
  } else if (consumed_ > kChunk) {
    buffer_.erase(0, consumed_);
    consumed_ = 0;
  }
  switch (transport_->Read(buffer_, kChunk)) {
    case ReadStatus::Data:
      return true;
    case ReadStatus::Closed:
    case ReadStatus::TimedOut:
    case ReadStatus::Failed:
      return Fail(transport_->ErrorText());
  }
  return false;
}

Pop3Session::LineStatus Pop3Session::ReadLine(std::string& line) {
  size_t searchFrom = consumed_;
  for (;;) {
    const size_t end = buffer_.find("\r\n", searchFrom);
    if (end != std::string::npos) {
      line.assign(buffer_, consumed_, end - consumed_);
      consumed_ = end + 2;
      return LineStatus::Ok;
    }
    if (buffer_.size() - consumed_ > kMaxLine) {
      Fail("the server sent a line longer than " + std::to_string(kMaxLine) + " bytes");
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
  if (!open_) {
    return Fail("not connected");
  }
  if (!transport_->Write(command)) {
    return Fail(transport_->ErrorText());
  }
  return true;
}

bool Pop3Session::ReadStatus(std::string* reply) {
  std::string line;
  if (ReadLine(line) != LineStatus::Ok) {
    return false;
  }
  if (IsErrReply(line)) {
    lastError_ = "server said: " + line;
    if (reply) {
      *reply = std::move(line);
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
  if (!transport_->Open(server, port)) {
    return Fail(transport_->ErrorText());
  }
  open_ = true;
  if (!ReadStatus(nullptr)) {
    return false;
  }
  if (security == Security::StartTls) {
    if (!Command("STLS\r\n")) {
      if (lastError_.rfind("server said:", 0) == 0) {
        lastError_ = "the server refused STARTTLS (" + lastError_ + ")";
      }
      return false;
    }
    if (!transport_->StartTls()) {
      return Fail(transport_->ErrorText());
    }
  }
  return Command("USER " + userName + "\r\n") && Command("PASS " + password + "\r\n");
}

bool Pop3Session::Stat() {
  std::string reply;
  if (!Command("STAT\r\n", &reply)) {
    return false;
  }
  ParseStatReply(reply, messageCount_, mailboxSize_);
  return true;
}

bool Pop3Session::ReadListing(std::vector<std::string>& lines) {
  std::string line;
  for (;;) {
    if (ReadLine(line) != LineStatus::Ok) {
      return false;
    }
    if (line == ".") {
      return true;
    }
    // A leading dot of a listing line is stuffing (RFC 1939 section 3).
    if (!line.empty() && line[0] == '.') {
      line.erase(0, 1);
    }
    lines.push_back(std::move(line));
  }
}

bool Pop3Session::List() {
  messageSizes_.clear();
  std::vector<std::string> lines;
  if (!Command("LIST\r\n") || !ReadListing(lines)) {
    return false;
  }
  for (const std::string& line : lines) {
    ParseListLine(line, messageSizes_);
  }
  return true;
}

bool Pop3Session::Uidl() {
  uniqueIds_.clear();
  std::vector<std::string> lines;
  if (!Command("UIDL\r\n") || !ReadListing(lines)) {
    return false;
  }
  for (const std::string& line : lines) {
    if (auto entry = ParseUidlLine(line); entry && entry->first <= 1000000) {
      if (uniqueIds_.size() < static_cast<size_t>(entry->first)) {
        uniqueIds_.resize(static_cast<size_t>(entry->first));
      }
      uniqueIds_[static_cast<size_t>(entry->first - 1)] = std::move(entry->second);
    }
  }
  return true;
}

bool Pop3Session::UidlOf(int messageNumber, std::string& uid) {
  std::string reply;
  if (!Command("UIDL " + std::to_string(messageNumber) + "\r\n", &reply)) {
    return false;
  }
  // "+OK 3 XYZ": skip the status word, then read "n id".
  const size_t blank = reply.find(' ');
  auto entry = blank == std::string::npos ? std::nullopt : ParseUidlLine(reply.substr(blank + 1));
  if (!entry || entry->first != messageNumber) {
    return Fail("the server's UIDL answer has no id: " + reply);
  }
  uid = std::move(entry->second);
  return true;
}

bool Pop3Session::ReadMessage(bool acceptTruncated) {
  // Everything from the status line on is kept; the end is "\r\n.\r\n" anywhere in
  // the text received so far, so it is found however the reads split it.
  std::string status;
  if (!ReadStatus(&status)) {
    return false;
  }
  messageText_ = std::move(status);
  messageText_ += "\r\n";
  size_t searchFrom = messageText_.size() - 2;
  for (;;) {
    if (consumed_ < buffer_.size()) {
      messageText_.append(buffer_, consumed_, std::string::npos);
    }
    buffer_.clear();
    consumed_ = 0;
    const size_t end = messageText_.find("\r\n.\r\n", searchFrom);
    if (end != std::string::npos) {
      // Bytes past the terminator belong to the next reply.
      buffer_.assign(messageText_, end + 5, std::string::npos);
      messageText_.resize(end + 5);
      return true;
    }
    searchFrom = messageText_.size() >= 4 ? messageText_.size() - 4 : 0;
    switch (transport_->Read(messageText_, 4 * kChunk)) {
      case ReadStatus::Data:
        break;
      case ReadStatus::Closed:
        lastError_ = transport_->ErrorText();
        return acceptTruncated;
      case ReadStatus::TimedOut:
      case ReadStatus::Failed:
        return Fail(transport_->ErrorText());
    }
  }
}

bool Pop3Session::Retrieve(int messageNumber) {
  return SendRetrieve(messageNumber) && ReadRetrieved();
}

bool Pop3Session::SendRetrieve(int messageNumber) {
  messageText_.clear();
  return Send("RETR " + std::to_string(messageNumber) + "\r\n");
}

bool Pop3Session::ReadRetrieved() { return ReadMessage(true); }

bool Pop3Session::Top(int messageNumber, int lines) {
  messageText_.clear();
  return Send("TOP " + std::to_string(messageNumber) + " " + std::to_string(lines) + "\r\n") &&
         ReadMessage(false);
}

bool Pop3Session::Delete(int messageNumber) {
  return Command("DELE " + std::to_string(messageNumber) + "\r\n");
}

bool Pop3Session::Quit() { return Command("QUIT\r\n"); }

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

std::string Pop3Session::UniqueId(int messageNumber) const {
  if (messageNumber < 1 || static_cast<size_t>(messageNumber) > uniqueIds_.size()) {
    return {};
  }
  return uniqueIds_[static_cast<size_t>(messageNumber - 1)];
}

}  // namespace bc
