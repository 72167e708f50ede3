#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "mail/imap_parser.h"
#include "mail/pop3_transport.h"

namespace bc {

/// How long and how large an IMAP server's answers may be.
struct ImapSessionLimits {
  /// Each response must be whole within this time of the one before it (or of
  /// the command): a server dripping a byte at a time cannot hold the pass.
  std::chrono::milliseconds responseDeadline{60000};
  /// A whole command, all its responses included, gets this much plus a second
  /// per message it asks about.
  std::chrono::milliseconds commandDeadline{120000};
  /// Untagged responses one command may bring, past those its messages explain.
  int untaggedSlack = 1000;
  ImapLimits sizes;
  /// The literal holding a message's header fields.
  size_t headerLiteral = 256 * 1024;
};

/// What one FETCH response told about a message.
struct ImapFetched {
  uint32_t uid = 0;
  int64_t size = -1;                         // RFC822.SIZE, -1 when not sent
  std::string headers;                       // the header fields asked for, as sent
  std::string text;                          // the start of the body, when asked for
  std::vector<std::string> attachmentNames;  // from BODYSTRUCTURE (upper case)
  bool gotHeaders = false;
};

/// How the server lets one message go without touching any other.
enum class ImapRemoval {
  UidExpunge,  // UID STORE +FLAGS.SILENT (\Deleted), UID EXPUNGE (UIDPLUS)
  Move,        // UID MOVE to the Junk or Trash folder (MOVE, no UIDPLUS)
  None,        // neither: deleting would need a plain EXPUNGE, which is never sent
};

/// The client side of one IMAP4rev1 conversation (RFC 3501, with STARTTLS,
/// UIDPLUS, MOVE, SASL-IR). Replies are matched to their commands by tag; a
/// tagged reply to a command not sent, a response past its bounds or its
/// deadline, an unsolicited BYE: the session is given up and can only be closed.
/// Text from the server is untrusted. Owned by one thread.
class ImapSession {
 public:
  explicit ImapSession(std::unique_ptr<Pop3Transport> transport, ImapSessionLimits limits = {});
  ~ImapSession();
  ImapSession(const ImapSession&) = delete;
  ImapSession& operator=(const ImapSession&) = delete;

  /// Opens the connection, reads the greeting, takes STARTTLS when `security`
  /// says so (nothing may follow its OK in clear text), and logs in with
  /// AUTHENTICATE PLAIN, LOGIN (unless LOGINDISABLED) or AUTHENTICATE LOGIN.
  /// Refuses user names and passwords holding CR, LF or NUL.
  bool Connect(const std::string& server, int port, const std::string& userName,
               const std::string& password, Security security);

  /// SELECT (read-write). Fills exists() and uidValidity().
  bool Select(const std::string& folder);

  /// UID FETCH of `uidSet` ("1:*"): for every message its UID, size, structure
  /// and header fields (and the first `textBytes` of its body when not 0), each
  /// handed to `each` as it comes. Reads nothing as \Seen (BODY.PEEK).
  bool Fetch(const std::string& uidSet, size_t textBytes,
             const std::function<void(ImapFetched&&)>& each);

  /// UID FETCH of `uidSet` for each message's UID and RFC822.SIZE alone.
  bool ListSizes(const std::string& uidSet,
                 const std::function<void(uint32_t uid, int64_t size)>& each);

  /// Follows which UID each message number holds from now on (until the next
  /// Select): UID SEARCH ALL fills the map, and later EXISTS, EXPUNGE and FETCH
  /// responses with a UID keep it. A message expunged while followed is kept
  /// for TakeGone.
  bool FollowUids();
  /// The UIDs by message number - 1 while followed; 0 for a message whose UID
  /// the server has not named yet (announced by EXISTS, not fetched).
  [[nodiscard]] const std::vector<uint32_t>& uids() const { return uids_; }
  /// The highest UID the map holds (UIDs ascend with message numbers).
  [[nodiscard]] uint32_t highestUid() const;
  /// The UIDs of followed messages the server expunged since the last call.
  [[nodiscard]] std::vector<uint32_t> TakeGone() { return std::exchange(gone_, {}); }

  /// How messages can be removed on this server.
  [[nodiscard]] ImapRemoval removal() const;
  /// Removes the message with this UID from the selected folder, by removal(),
  /// touching no other message; false with lastError() when it did not happen.
  bool Remove(uint32_t uid);

  /// IDLE (RFC 2177): waits until the server reports new or removed mail (an
  /// EXISTS with another count, an EXPUNGE), `limit` passes, or `stop()` turns
  /// true (looked at every `slice`); then ends the IDLE with DONE, except after a
  /// stop, when the session is left to be closed. True when the IDLE ended in
  /// step; `changed` says whether the folder changed.
  bool Idle(std::chrono::milliseconds limit, std::chrono::milliseconds slice,
            const std::function<bool()>& stop, bool& changed);

  bool Logout();
  void Close();
  /// The transport's cancel flag (Pop3Transport::SetCancel) and descriptor.
  void SetCancel(std::shared_ptr<const std::atomic<bool>> cancel) {
    transport_->SetCancel(std::move(cancel));
  }
  [[nodiscard]] intptr_t Descriptor() const { return open_ ? transport_->Descriptor() : -1; }

  [[nodiscard]] bool Has(const std::string& capability) const;
  [[nodiscard]] bool usable() const { return open_ && !broken_; }
  [[nodiscard]] int64_t exists() const { return exists_; }
  [[nodiscard]] uint32_t uidValidity() const { return uidValidity_; }
  /// The UIDVALIDITY changed while the folder was selected: no UID is certain.
  [[nodiscard]] bool uidValidityChanged() const { return uidValidityChanged_; }
  /// EXPUNGE responses seen since the folder was selected.
  [[nodiscard]] int expunged() const { return expunged_; }
  [[nodiscard]] const std::string& lastError() const { return lastError_; }
  /// The folder a Move goes to, once removal() found one.
  [[nodiscard]] const std::string& moveTarget() const { return moveTarget_; }

 private:
  using Clock = std::chrono::steady_clock;
  struct Handlers {
    std::function<void(const ImapResponse&, const ImapParsed&)> fetch;
    std::function<bool(const ImapParsed&)> continuation;  // sends the next part
    std::function<void(const ImapResponse&, const ImapParsed&)> data;
    int64_t messages = 0;               // how many messages the command asks about
    std::chrono::milliseconds wait{0};  // how long the command may wait on purpose (IDLE)
  };
  enum class Waited { Changed, Quiet, Stopped, Failed };
  Waited WaitForChange(std::chrono::milliseconds limit, std::chrono::milliseconds slice,
                       const std::function<bool()>& stop);
  bool Run(const std::string& command);
  bool Run(const std::string& command, const Handlers& handlers);
  bool ReadResponse(ImapResponse& response, Clock::time_point commandEnd);
  void Untagged(const ImapResponse& response, const ImapParsed& parsed, const Handlers& handlers);
  void TakeCode(const std::string& code);
  bool Login(const std::string& userName, const std::string& password);
  bool Capabilities();
  bool FindMoveTarget();
  void FollowFetch(const ImapResponse& response, const ImapParsed& parsed);
  bool SendLine(const std::string& line);
  bool Fail(std::string why);
  bool Broken(std::string why);
  [[nodiscard]] std::string Clean(std::string text) const;

  std::unique_ptr<Pop3Transport> transport_;
  ImapSessionLimits limits_;
  ImapResponseReader reader_;
  std::set<std::string> capabilities_;
  int capabilityLists_ = 0;  // how many times the server listed them
  int nextTag_ = 1;
  bool open_ = false;
  bool broken_ = false;
  bool loggingOut_ = false;
  std::string bye_;
  std::string password_;
  int64_t exists_ = 0;
  uint32_t uidValidity_ = 0;
  bool uidValidityChanged_ = false;
  int expunged_ = 0;
  std::string moveTarget_;
  bool moveTargetSearched_ = false;
  bool followUids_ = false;
  std::vector<uint32_t> uids_;  // by message number - 1, while followed
  std::vector<uint32_t> gone_;  // expunged while followed, not yet taken
  std::string lastError_;
};

/// The attachment names of a BODYSTRUCTURE: from the first top-level part whose
/// Content-Type or Content-Disposition names a file, that part and every later
/// one, as the message decoder counts them.
[[nodiscard]] std::vector<std::string> AttachmentNamesOf(const ImapValue& bodyStructure);

/// The identity of a message on an IMAP server as the envelope keeps it:
/// "IMAP:<uidvalidity>:<uid>", and back.
[[nodiscard]] std::string ImapIdentity(uint32_t uidValidity, uint32_t uid);
[[nodiscard]] bool ParseImapIdentity(const std::string& text, uint32_t& uidValidity, uint32_t& uid);

}  // namespace bc
