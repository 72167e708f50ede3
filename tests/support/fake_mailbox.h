#pragma once

#include <memory>
#include <string>
#include <vector>

#include "mail/pop3_transport.h"

namespace bc::test {

/// A POP3 server in memory that answers each command as it is sent, so a test
/// states the mailbox and checks what the client did, whatever order of
/// commands the client chooses. Deletions take effect at QUIT, as on a real server.
class FakeMailbox {
 public:
  struct Message {
    std::string text;  // the message as stored (CR LF lines, not dot-stuffed)
    std::string uid;
  };

  explicit FakeMailbox(std::vector<std::string> messages = {});

  /// A transport talking to this mailbox (one connection).
  [[nodiscard]] std::unique_ptr<Pop3Transport> Connect();
  /// The same, for a mailbox that lives as long as the connection.
  [[nodiscard]] static std::unique_ptr<Pop3Transport> ConnectOwned(
      std::shared_ptr<FakeMailbox> box);

  /// Replies to RETR of these numbers are replaced by this raw text.
  void OverrideRetrieve(int number, std::string rawReply);
  /// STAT reports this size instead of the sum of the message sizes.
  void OverrideMailboxSize(long long size) { mailboxSize_ = size; }

  bool unreachable = false;
  bool offersUidl = true;
  bool offersPipelining = false;      // CAPA lists PIPELINING (no CAPA without it)
  bool listsSizes = true;             // LIST gives each message's size
  std::vector<std::string> commands;  // every command received, without CR LF
  std::vector<Message> messages;
  int connections = 0;

  /// The commands of all connections joined with CR LF, as the client sent them.
  [[nodiscard]] std::string Sent() const;
  /// How many messages are on the server.
  [[nodiscard]] int Remaining() const { return static_cast<int>(messages.size()); }

 private:
  friend class MailboxTransport;
  std::string Answer(const std::string& command, bool& quit);

  std::vector<std::pair<int, std::string>> overrides_;
  std::vector<int> pendingDeletes_;  // DELE of the open session, applied at QUIT
  long long mailboxSize_ = -1;
};

}  // namespace bc::test
