#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "config/settings.h"
#include "mail/envelope_store.h"

struct sqlite3;
struct sqlite3_stmt;

namespace bc {

/// What a pass needs of a message it has met before, so that it need not
/// retrieve it again: the envelope texts, what the spam rules read, and
/// whether it has been announced.
struct RememberedMessage {
  int64_t size = 0;          // the LIST size it was read at
  std::string contentLines;  // the content setting it was read at (ContentSetting)
  bool readable = true;      // it has a header of its own (HasReadableHeaders)
  bool announced = false;    // reported as new once: never again
  // from, subject, received, attachment, address, content and messageKey; the
  // size text, account and messageId are the pass's own.
  Envelope texts;
};

/// The content lines a pass takes with these options: "0" (none), "All", or a
/// count. A remembered message read at another setting is read again.
[[nodiscard]] std::string ContentSetting(const AppOptions& options);

/// Where the remembered mail of every account lives: $XDG_STATE_HOME/brindlecast/mail.
[[nodiscard]] std::string MailMemoryDir();

/// The file of an account: named by what names its mailbox (user, host and
/// port), never by anything secret.
[[nodiscard]] std::string MailMemoryPath(const std::string& dir, const MailAccount& account);

/// Removes the files in `dir` of accounts that are no longer in `accounts`
/// (removed, or moved to another user, host or port).
void ForgetRemovedAccounts(const std::string& dir, const std::vector<MailAccount>& accounts);

/// The remembered mail of one account: an SQLite database, one file per
/// account, written in one transaction per pass, so a pass cut short by a crash
/// or a full disk leaves the store as the last complete pass left it. A store
/// that cannot be read whole (damaged, not a database, another account's) is
/// never used: it is replaced by an empty one, and the pass retrieves every
/// message. Every message of the store is read once, at Open; the pass then
/// looks messages up in memory and writes only what changed. Owned by one
/// thread at a time.
class MailMemory {
 public:
  /// Opens the store of `account` in `dir` (folder 0700, file 0600), creating
  /// or replacing it as needed, reads it and begins the pass's transaction.
  /// Null when it cannot be used at all (a folder in its place, read-only, no
  /// room). `note` says what was done about a store that could not be used as
  /// it was (empty when nothing needed saying), for the trace.
  [[nodiscard]] static std::unique_ptr<MailMemory> Open(const std::string& dir,
                                                        const MailAccount& account,
                                                        std::string& note);
  ~MailMemory();
  MailMemory(const MailMemory&) = delete;
  MailMemory& operator=(const MailMemory&) = delete;

  /// The message with this unique id, when remembered.
  [[nodiscard]] std::optional<RememberedMessage> Find(const std::string& uniqueId) const;
  /// The same into `message`, whose texts keep their room: a pass recalls one
  /// message after another into the same one. False when not remembered.
  bool Recall(const std::string& uniqueId, RememberedMessage& message) const;
  /// Remembers (or replaces) what a pass read of a message, and that it is
  /// Listed; keeps its announced flag.
  void Remember(const std::string& uniqueId, const RememberedMessage& message);
  /// Remembers what a pass read of a message from its envelope (texts and
  /// unique id), its LIST size, the pass's content setting and whether it has
  /// a header of its own. True when it is new: never reported before, at any
  /// size or content setting.
  bool RememberRead(const Envelope& envelope, int64_t size, const std::string& contentLines,
                    bool readable);
  /// The message has been reported as new: it never is again.
  void MarkAnnounced(const std::string& uniqueId);
  /// The message is still in the mailbox: it is not forgotten at Commit.
  /// False when this id was listed before in this pass (by another message).
  bool Listed(const std::string& uniqueId);
  /// The sizes of the messages remembered at this content setting (any, for
  /// "0": no content), by id.
  /// Sizes of other rows are -1.
  [[nodiscard]] const std::unordered_map<std::string, int64_t>& KnownSizes(
      const std::string& contentLines);
  /// Forgets the messages not Listed in this pass and commits. False (with
  /// `why`) when the store could not be written: it keeps what the last
  /// complete pass left.
  bool Commit(std::string& why);

  // A remembered message as the pass holds it: its texts one after another in
  // the store's arena, cut at `ends`.
  struct Row {
    int64_t size = 0;
    std::array<uint32_t, 8> ends{};  // content setting, then the texts of Envelope
    bool readable = true;
    bool announced = false;
    bool listed = false;  // in this pass's mailbox
    std::string_view texts;
  };
  // Every remembered message, keyed by unique id (defined in the source).
  struct RowTable;

  /// Listed and Knows in one lookup, for a pass that meets each message of a
  /// large mailbox once: the message's row when it need not be retrieved, to
  /// recall it by with RecallRow while this store is open; else null.
  [[nodiscard]] const Row* ListKnown(std::string_view uniqueId, int64_t size,
                                     const std::string& contentLines);
  /// Recall of a row ListKnown gave.
  void RecallRow(const Row& row, RememberedMessage& message) const;

 private:
  MailMemory(sqlite3* db, std::unique_ptr<RowTable> table, std::string path);
  // Remembers a row made in the arena, listed, keeping its announced flag.
  void Keep(const std::string& uniqueId, Row row);
  bool Prepare();
  bool Step(sqlite3_stmt* statement);
  bool Exec(const char* sql);
  void Failed(int code);
  // Writes the message remembered last, with its announced flag as it is now.
  void Write();
  void Close();

  sqlite3* db_;
  const std::string path_;
  sqlite3_stmt* remember_ = nullptr;
  sqlite3_stmt* announced_ = nullptr;
  std::unique_ptr<RowTable> table_;            // every message of the store
  std::unordered_set<std::string> listedNew_;  // listed ids not (yet) in the table
  // The message remembered last, written at the next Remember or at Commit:
  // announced by then, it is written once.
  std::pair<const std::string_view, Row>* unwritten_ = nullptr;
  std::unordered_map<std::string, int64_t> known_;  // from KnownSizes
  std::string failure_;                             // the first write that failed
  bool damaged_ = false;                            // a write found the file damaged
};

}  // namespace bc
