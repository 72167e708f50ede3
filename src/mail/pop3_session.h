#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mail/pop3_transport.h"

namespace bc {

/// How long and how large a server's reply may be. A reply past its bound or its
/// deadline fails, and the session cannot be used for anything but Close: a
/// server that never ends a reply, or sends it a byte at a time, must not hold
/// the pass or grow the process without end.
struct ReplyLimits {
  /// A status line must arrive whole within this time from the command.
  std::chrono::milliseconds statusDeadline{60000};
  /// Multi-line replies get the status deadline plus their expected size at
  /// this rate (256 kbit/s, a slow mobile link): a 50 MB message may take an hour,
  /// a 5 KB one about a minute, whatever the server drips.
  int64_t floorBytesPerSecond = 32 * 1024;
  /// No message is read past this size, whatever LIST said.
  int64_t messageCeiling = int64_t{256} << 20;
  /// Servers count a message's octets differently (bare LF stored, CR LF sent;
  /// dot-stuffing): a message may run to twice its LIST size plus this.
  int64_t messageSlack = 64 * 1024;
  /// A LIST or UIDL listing may hold this many lines more than STAT counted.
  int listingSlack = 64;
};

/// The client side of one POP3 conversation over one connection (RFC 1939, with
/// STLS from RFC 2595). Every command is one line; a reply fails only when it
/// starts with "-ERR" in any case, and a read that brings nothing (closed,
/// timed out, broken) always fails. Replies are read as whole lines however the
/// bytes are split across reads. Text from the server is untrusted.
///
/// Order of use: Connect, then Stat / List / Uidl / Retrieve / Top / Delete as
/// needed, then Quit and Close. Never reconnected; owned by one thread.
class Pop3Session {
 public:
  explicit Pop3Session(std::unique_ptr<Pop3Transport> transport, ReplyLimits limits = {});
  ~Pop3Session();

  Pop3Session(const Pop3Session&) = delete;
  Pop3Session& operator=(const Pop3Session&) = delete;

  /// Opens the connection (TLS or STARTTLS as the transport was made), reads the
  /// greeting, sends USER and PASS. Fails at the first "-ERR" or broken read, and
  /// before anything is sent when the user name or password holds CR or LF (they
  /// would smuggle in commands). With STARTTLS a refused STLS fails the
  /// connection: credentials never go out in plain text, and so does anything the
  /// server sent after its STLS reply (injected clear text that would otherwise be
  /// read as the answers after the handshake). The password never appears in
  /// lastError(), even when the server echoes it.
  bool Connect(const std::string& server, int port, const std::string& userName,
               const std::string& password, Security security);

  /// Connect asks CAPA before USER (RFC 2449), and when the server lists UTF8
  /// (RFC 6856) sends UTF8 first, so it serves 8-bit headers as they are rather
  /// than a notice in their place. A "-ERR" to either changes nothing; a CAPA
  /// answer that breaks its bounds fails Connect with capabilitiesFailed().
  void AskCapabilitiesFirst() { askCapabilities_ = true; }
  /// Connect failed because the CAPA answer did: a new session without it may
  /// still check the mailbox.
  [[nodiscard]] bool capabilitiesFailed() const { return capabilitiesFailed_; }
  /// Nothing has been given up: the connection is open and in step.
  [[nodiscard]] bool usable() const { return open_ && !broken_; }

  /// "STAT". Fills messageCount() and mailboxSize().
  bool Stat();

  /// "LIST". Fills the message sizes by message number (a line that cannot be
  /// read gives no size); true when the listing's end was seen. A listing longer
  /// than the STAT count plus slack fails.
  bool List();

  /// "CAPA" (RFC 2449): learns whether the server takes pipelined commands and
  /// UTF8. False when the server does not answer it, which changes nothing else,
  /// or when the answer breaks its bounds, which breaks the connection.
  bool Capabilities();

  /// The server's CAPA listed PIPELINING: several RETR may be in flight at once.
  [[nodiscard]] bool pipelining() const { return pipelining_; }

  /// "UIDL". Fills the unique ids; false when the server does not offer it.
  bool Uidl();

  /// "UIDL n": the unique id of one message now; false on "-ERR" or no id.
  bool UidlOf(int messageNumber, std::string& uid);

  /// "LIST n": the size of one message now; false on "-ERR" or no size.
  bool SizeOf(int messageNumber, int64_t& size);

  /// "RETR n". Fills messageText(): the status line, every line of the message
  /// exactly as sent (still dot-stuffed), and the terminating ".", each ending in
  /// CR LF. Fails on "-ERR", when nothing arrives within the time limit, when the
  /// reply outgrows twice its LIST size plus slack (or the ceiling), or when it is
  /// not complete by its deadline. A connection that closes after the status line
  /// keeps what arrived and succeeds. The end is a line "." after CR LF or a bare LF.
  bool Retrieve(int messageNumber);

  /// Retrieve in two halves: SendRetrieve sends "RETR n" and returns at once,
  /// ReadRetrieved reads the reply of the oldest RETR in flight as Retrieve does.
  /// Between the two the caller may work on the previous message while the
  /// server prepares this one. Without pipelining() one RETR at a time; with it,
  /// several (the commands go out together at the next read), each deadline
  /// running from when its reply can start. Any other command first reads the
  /// replies still in flight and keeps them, in order, for ReadRetrieved: replies
  /// are always matched to their commands.
  bool SendRetrieve(int messageNumber);
  bool ReadRetrieved();

  /// "TOP n lines". Fills messageText() like Retrieve; a stall or close before
  /// the end fails.
  bool Top(int messageNumber, int lines);

  /// "DELE n".
  bool Delete(int messageNumber);

  /// "QUIT": the server commits the deletions and renumbers.
  bool Quit();

  /// Closes the connection.
  void Close();

  [[nodiscard]] int messageCount() const { return messageCount_; }
  [[nodiscard]] int64_t mailboxSize() const { return mailboxSize_; }
  /// Size of message n (from 1) from the last LIST, 0 when unknown.
  [[nodiscard]] int64_t MessageSize(int messageNumber) const;
  /// Unique id of message n (from 1) from the last UIDL, empty when unknown.
  /// A view into the session, valid until the next UIDL.
  [[nodiscard]] std::string_view UniqueId(int messageNumber) const;
  [[nodiscard]] const std::string& messageText() const { return messageText_; }
  /// Takes the text of the last retrieval, leaving the session's copy empty.
  [[nodiscard]] std::string TakeMessageText() { return std::move(messageText_); }

  /// Our explanation of the last failure ("the server closed the connection",
  /// "server said: -ERR invalid password", a TLS reason).
  [[nodiscard]] const std::string& lastError() const { return lastError_; }
  /// The server's own words when the reply to the last command sent was "-ERR"
  /// (the password blanked out), empty when the failure was ours or the line's.
  [[nodiscard]] const std::string& serverReply() const { return serverReply_; }
  /// The verb of the last command sent ("USER", "PASS", "STAT"), empty before
  /// the first: what the last failure answered, for the user's explanation.
  [[nodiscard]] const std::string& lastCommand() const { return lastCommand_; }

 private:
  using SteadyClock = std::chrono::steady_clock;
  enum class LineStatus { Ok, Failed };
  LineStatus ReadLine(std::string& line, size_t maxLine);
  bool ReadChunk();
  bool Send(const std::string& command);
  bool Command(const std::string& command, std::string* reply = nullptr);
  bool ReadStatus(std::string* reply);
  // Reads a multi-line answer to `command`, each line (unstuffed) to `onLine`.
  bool ReadListing(std::string_view command, const std::function<void(std::string_view)>& onLine);
  bool ReadMessage(bool acceptTruncated, int messageNumber);
  [[nodiscard]] int64_t MessageBound(int64_t listed) const;
  bool TakeBufferedMessage();
  bool ReadMessageBody(bool acceptTruncated, int messageNumber);
  bool EndMessageText(size_t searchFrom);
  void DropMessageText();
  enum class MoreText { Read, Closed, Failed };
  MoreText ReadMoreOfMessage(int64_t listed, int64_t bound);
  bool Flush();
  bool ReadNextInFlight();
  void HoldRepliesInFlight();
  bool WaitLimit();
  bool ReadFailed(bc::ReadStatus status);
  void AllowFor(int64_t expectedBytes);
  bool Fail(std::string why);
  bool Broken(std::string why);
  [[nodiscard]] std::string WithoutPassword(std::string text) const;

  std::unique_ptr<Pop3Transport> transport_;
  ReplyLimits limits_;
  SteadyClock::time_point sentAt_;    // when the reply being read was asked for
  SteadyClock::time_point deadline_;  // when it must be complete
  SteadyClock::time_point lastReplyEnd_{};
  std::string password_;  // kept only to keep it out of lastError()
  std::string buffer_;    // bytes read but not yet consumed
  size_t consumed_ = 0;
  bool open_ = false;
  bool broken_ = false;  // a reply was given up: nothing more is sent
  bool pipelining_ = false;
  bool utf8_ = false;
  bool askCapabilities_ = false;
  bool capabilitiesFailed_ = false;
  // A RETR sent, and when: its deadline runs from then, or from the end of the
  // reply before it, whichever is later.
  struct InFlight {
    int messageNumber;
    SteadyClock::time_point sentAt;
  };
  std::deque<InFlight> inFlight_;
  // Replies read ahead because another command had to go out.
  struct HeldReply {
    bool ok;
    std::string text;
    std::string error;
  };
  std::deque<HeldReply> held_;
  std::string outgoing_;  // pipelined commands not yet written

  int messageCount_ = 0;
  int64_t mailboxSize_ = 0;
  std::vector<int64_t> messageSizes_;                     // by message number - 1
  std::string uniqueIdText_;                              // every id of the last UIDL
  std::vector<std::pair<uint32_t, uint32_t>> uniqueIds_;  // by number: where in it, how long
  std::string messageText_;
  std::string lastError_;
  std::string serverReply_;
  std::string lastCommand_;
};

}  // namespace bc
