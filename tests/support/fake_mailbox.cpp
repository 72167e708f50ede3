#include "support/fake_mailbox.h"

#include <algorithm>
#include <cstdlib>

namespace bc::test {

class MailboxTransport final : public Pop3Transport {
 public:
  explicit MailboxTransport(FakeMailbox& box, std::shared_ptr<FakeMailbox> owned = nullptr)
      : box_(box), owned_(std::move(owned)) {}
  bool Open(const std::string&, int) override {
    if (box_.unreachable) {
      error_ = "connection refused";
      return false;
    }
    ++box_.connections;
    out_ = "+OK ready\r\n";
    return true;
  }
  bool StartTls() override { return true; }
  ReadStatus Read(std::string& out, size_t maxBytes) override {
    if (out_.empty()) {
      error_ = "the server closed the connection";
      return ReadStatus::Closed;
    }
    const size_t n = std::min(maxBytes, out_.size());
    out.append(out_, 0, n);
    out_.erase(0, n);
    return ReadStatus::Data;
  }
  bool Write(std::string_view data) override {
    if (closed_) {
      return false;
    }
    in_ += data;
    size_t end;
    while ((end = in_.find("\r\n")) != std::string::npos) {
      bool quit = false;
      out_ += box_.Answer(in_.substr(0, end), quit);
      in_.erase(0, end + 2);
      closed_ = closed_ || quit;
    }
    return true;
  }
  void Close() override { closed_ = true; }
  std::string ErrorText() const override { return error_; }

 private:
  FakeMailbox& box_;
  std::shared_ptr<FakeMailbox> owned_;
  std::string in_, out_, error_;
  bool closed_ = false;
};

FakeMailbox::FakeMailbox(std::vector<std::string> texts) {
  int n = 0;
  for (std::string& text : texts) {
    messages.push_back({std::move(text), "uid" + std::to_string(++n)});
  }
}

std::unique_ptr<Pop3Transport> FakeMailbox::Connect() {
  return std::make_unique<MailboxTransport>(*this);
}

std::unique_ptr<Pop3Transport> FakeMailbox::ConnectOwned(std::shared_ptr<FakeMailbox> box) {
  FakeMailbox& mailbox = *box;
  return std::make_unique<MailboxTransport>(mailbox, std::move(box));
}

void FakeMailbox::OverrideRetrieve(int number, std::string rawReply) {
  overrides_.emplace_back(number, std::move(rawReply));
}

std::string FakeMailbox::Sent() const {
  std::string all;
  for (const std::string& c : commands) {
    all += c + "\r\n";
  }
  return all;
}

namespace {

std::string Stuffed(const std::string& text) {
  std::string out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    end = end == std::string::npos ? text.size() : end + 2;
    if (text[start] == '.') {
      out += '.';
    }
    out.append(text, start, end - start);
    start = end;
  }
  return out;
}

}  // namespace

std::string FakeMailbox::Answer(const std::string& command, bool& quit) {
  commands.push_back(command);
  const std::string verb = command.substr(0, command.find(' '));
  const int number =
      command.find(' ') == std::string::npos ? 0 : std::atoi(command.c_str() + verb.size() + 1);
  auto valid = [&](int n) { return n >= 1 && n <= static_cast<int>(messages.size()); };
  if (verb == "USER" || verb == "PASS" || verb == "NOOP") {
    return "+OK\r\n";
  }
  if (verb == "STAT") {
    long long size = 0;
    for (const Message& m : messages) {
      size += static_cast<long long>(m.text.size());
    }
    return "+OK " + std::to_string(messages.size()) + " " +
           std::to_string(mailboxSize_ >= 0 ? mailboxSize_ : size) + "\r\n";
  }
  if (verb == "LIST") {
    std::string reply = "+OK\r\n";
    for (size_t i = 0; i < messages.size(); ++i) {
      reply += std::to_string(i + 1) +
               (listsSizes ? " " + std::to_string(messages[i].text.size()) : "") + "\r\n";
    }
    return reply + ".\r\n";
  }
  if (verb == "UIDL") {
    if (!offersUidl) {
      return "-ERR not supported\r\n";
    }
    if (number > 0) {
      return valid(number)
                 ? "+OK " + std::to_string(number) + " " + messages[number - 1].uid + "\r\n"
                 : "-ERR no such message\r\n";
    }
    std::string reply = "+OK\r\n";
    for (size_t i = 0; i < messages.size(); ++i) {
      reply += std::to_string(i + 1) + " " + messages[i].uid + "\r\n";
    }
    return reply + ".\r\n";
  }
  if (verb == "RETR") {
    for (const auto& [n, raw] : overrides_) {
      if (n == number) {
        return raw;
      }
    }
    return valid(number) ? "+OK\r\n" + Stuffed(messages[number - 1].text) + ".\r\n"
                         : "-ERR no such message\r\n";
  }
  if (verb == "CAPA" && offersPipelining) {
    return "+OK\r\nTOP\r\nUIDL\r\nPIPELINING\r\n.\r\n";
  }
  if (verb == "TOP") {
    if (!valid(number)) {
      return "-ERR no such message\r\n";
    }
    const std::string& text = messages[number - 1].text;
    const size_t end = text.find("\r\n\r\n");
    return "+OK\r\n" + Stuffed(text.substr(0, end == std::string::npos ? text.size() : end + 4)) +
           ".\r\n";
  }
  if (verb == "DELE") {
    if (!valid(number)) {
      return "-ERR no such message\r\n";
    }
    pendingDeletes_.push_back(number);
    return "+OK\r\n";
  }
  if (verb == "QUIT") {
    quit = true;
    // Deleted messages leave and the rest move up.
    std::sort(pendingDeletes_.rbegin(), pendingDeletes_.rend());
    for (int n : pendingDeletes_) {
      messages.erase(messages.begin() + (n - 1));
    }
    pendingDeletes_.clear();
    return "+OK bye\r\n";
  }
  return "-ERR unknown command\r\n";
}

}  // namespace bc::test
