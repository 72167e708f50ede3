#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace bc {

/// The envelope of one accepted message. All texts are UTF-8 copies.
struct Envelope {
  std::string from;  // sender display text
  std::string subject;
  std::string received;    // date and time text
  std::string size;        // "%.3f KB"
  std::string account;     // the account's UserName
  std::string attachment;  // number of attachments, decimal
  std::string address;     // sender address
  std::string messageId;   // decimal: message index * 65536 + account index
  std::string content;     // body text taken for display and speech
  std::string messageKey;  // Message-ID, or received text + from text
  // The server's unique id of the message (UIDL) when it offers one: the deletion
  // checks it so a changed mailbox never loses the wrong message.
  std::string uniqueId;
  // Not reported as new before: with remembered mail, a message is new once
  // ever; without it, every message a pass accepts is.
  bool isNew = true;

  bool operator==(const Envelope&) const = default;
};

/// The messageId of a message: the account index in the low 16 bits, the 0-based
/// message index (POP3 number - 1) in the high 16 bits.
[[nodiscard]] constexpr long long MakeMessageId(int messageIndex, int accountIndex) {
  return static_cast<long long>(messageIndex) * 65536 + accountIndex;
}
[[nodiscard]] constexpr int AccountIndexOf(long long messageId) {
  return static_cast<int>(messageId & 0xFFFF);
}
[[nodiscard]] constexpr int MessageIndexOf(long long messageId) {
  return static_cast<int>(messageId >> 16);
}

/// The envelopes the last check accepted, in the order the check met them.
/// Written by the check or delete worker while the user-interface thread reads:
/// every operation holds one lock, so readers always see whole entries.
class EnvelopeStore {
 public:
  /// CountOnly: the store counts what is appended and keeps nothing, for a
  /// reader that takes each envelope as it is accepted, so a pass over any
  /// mailbox stays within the memory of one message.
  enum class Keep { Entries, CountOnly };
  explicit EnvelopeStore(Keep keep = Keep::Entries) : keep_(keep == Keep::Entries) {}

  void Clear();
  void Append(const Envelope& entry);
  void Append(Envelope&& entry);
  /// Every entry appended since Clear, kept or not.
  [[nodiscard]] int Count() const;
  /// Entry k (a copy); an empty envelope when k is out of range.
  [[nodiscard]] Envelope Get(int k) const;
  /// All entries (a copy), for a reader that needs a consistent picture.
  [[nodiscard]] std::vector<Envelope> Snapshot() const;
  /// Index of the first entry whose messageId is the decimal form of id, or -1.
  [[nodiscard]] int FindByMessageId(long long id) const;
  /// Index of the first entry whose messageKey equals key exactly, or -1.
  [[nodiscard]] int FindByMessageKey(const std::string& key) const;
  /// Removes entry k; later entries move up by one. Out of range does nothing.
  void Remove(int k);
  /// Replaces the messageId of entry k (the deletion renumbers the rows after it).
  void SetMessageId(int k, std::string messageId);

 private:
  mutable std::mutex mutex_;
  std::vector<Envelope> entries_;
  bool keep_ = true;
  int counted_ = 0;  // appended and not kept
};

}  // namespace bc
