#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "config/notice.h"
#include "config/settings.h"
#include "mail/envelope_store.h"
#include "speech/outputs.h"

namespace bc {

/// Which labels a spoken text uses: the two differ only in the Address label
/// ("Address is: " when announcing, "Adress is: " when reading the list; users
/// know the texts by ear, so both stay word for word).
enum class LabelSet { Announcement, List };

/// The text spoken about one message: for each position 0 to 7 of SpeakOrder,
/// every field at that position whose speak flag is 1, in field order, as
/// label, value and "; ". From, Subject, Address and Content say "Empty" when
/// empty. The Account value is `envelope.account` as given.
[[nodiscard]] std::string ComposeSpokenText(const AppOptions& options, const Envelope& envelope,
                                            LabelSet labels);

/// The first words of every spoken announcement.
inline constexpr const char* kAnnouncementPrefix = "You have received a new email: ";

/// The sentence said instead of each announcement when many messages are new
/// at once: "You have 2,000 new messages" (thousands separated by commas).
[[nodiscard]] std::string NewMessagesSentence(long long count);

/// The email list as the announcer sees it: rows with the messageId of their
/// envelope as item data. Called on the UI thread only.
class ListSelection {
 public:
  virtual ~ListSelection() = default;
  /// Number of rows.
  [[nodiscard]] virtual int RowCount() const = 0;
  /// The messageId of every selected row, in ascending row order.
  [[nodiscard]] virtual std::vector<long long> SelectedMessageIds() const = 0;
  /// Gives every row the selected state.
  virtual void SelectAll() = 0;
  /// Clears the selected state of every row, then selects row `row` without
  /// giving it the focus (a row that does not exist ends up with nothing selected).
  virtual void SelectOnly(int row) = 0;
};

/// Everything that decides how new mail is announced and what is said about a
/// message, and the reading queues that make the list selection follow the
/// message being spoken.
///
/// Threads: AnnounceMessage runs on the check worker; everything else on the
/// UI thread. One lock guards the shared lists; the speech, sound and notice
/// calls are made after it is released, in the order the rules give.
class MailAnnouncer {
 public:
  /// Asks the UI thread to show the new-mail notice.
  using NoticeRequest = std::function<void(const Notice& notice)>;

  /// `store` holds the envelopes of the last check; `list` may be set later
  /// (SetList) since the list is created after the announcer.
  MailAnnouncer(SpeechOutput& speech, SoundOutput& sound, const EnvelopeStore& store,
                NoticeRequest requestNotice);

  /// The email list; without one, reading the list finds nothing selected.
  void SetList(ListSelection* list);
  /// Set once the main window has finished starting: notices are requested
  /// only from then on.
  void SetWindowReady(bool ready) { windowReady_ = ready; }

  /// Announces a message once per run by the options' NotificationMethod:
  /// 0 queues the announcement (and requests the notice), 1 plays wavFile,
  /// 2 only remembers it; other methods do nothing. A messageKey already
  /// announced does nothing. Called on the check worker with its copy of the options.
  void AnnounceMessage(const AppOptions& options, const Envelope& envelope);

  /// A check pass begins: with AnnounceCountOver set, its new messages are held
  /// until EndPass, which announces them one by one, or, when more than that
  /// many are new, says how many in one sentence and one notice.
  void BeginPass(const AppOptions& options);
  void EndPass(const AppOptions& options);

  /// The reading part of Play on the Email Reader tab: sets playActive when the
  /// list holds a row, then speaks every selected row's message not already
  /// waiting in the read queue. `accounts` is the current account table (the
  /// Account value is the UserName of the account the messageId names).
  /// Returns whether any row was selected (the caller then shows the reading state).
  bool PlaySelected(const AppOptions& options, const std::vector<MailAccount>& accounts);

  /// Read Email: Stop, stop the voice again, set readAll, select every row, then
  /// PlaySelected, so the whole list is queued in list order.
  bool ReadEmail(const AppOptions& options, const std::vector<MailAccount>& accounts);

  /// Called for every SpeakingFinished: advances the announcement queue, then the
  /// read queue, moving the list selection to the entry after the one that
  /// ended, and clears readAll when a queue's last entry ends.
  void FinishSpokenEntry();

  /// Stop: silences the voice and the notification sound, empties both queues
  /// and clears playActive and readAll. Announced keys are kept.
  void Stop();
  /// What Stop does to the queues and flags alone (the end of a WAV playback).
  void ClearReading();

  [[nodiscard]] bool playActive() const;
  [[nodiscard]] bool readAll() const;
  void SetPlayActive(bool on);

  /// Copies of the state, for the window and for tests.
  [[nodiscard]] std::vector<std::string> AnnouncedKeys() const;
  [[nodiscard]] std::vector<std::string> AnnounceQueue() const;
  [[nodiscard]] std::vector<std::string> AnnounceIdQueue() const;
  [[nodiscard]] std::vector<std::string> ReadQueue() const;
  [[nodiscard]] std::vector<std::string> ReadIdQueue() const;
  [[nodiscard]] Notice LastNotice() const;
  [[nodiscard]] std::string LastSender() const;

 private:
  // Call with the lock held; returns the row to select, or -1.
  [[nodiscard]] int AdvanceQueue(std::deque<std::string>& keys, std::deque<std::string>& ids,
                                 bool byKey);

  // Announces one message whose key is new (AnnounceMessage's rules).
  void Announce(const AppOptions& options, const Envelope& envelope);

  SpeechOutput& speech_;
  SoundOutput& sound_;
  const EnvelopeStore& store_;
  NoticeRequest requestNotice_;
  ListSelection* list_ = nullptr;
  std::atomic<bool> windowReady_{false};

  mutable std::mutex mutex_;
  std::unordered_set<std::string> announced_;
  std::vector<std::string> announcedOrder_;
  std::deque<std::string> announceQueue_, announceIds_;
  std::deque<std::string> readQueue_, readIds_;
  Notice lastNotice_;
  std::string lastSender_;
  // Held by a pass with AnnounceCountOver set: the first envelopes up to the
  // limit (announced one by one if no more come), then only the count.
  long long holdOver_ = 0;  // 0: nothing is held
  std::vector<Envelope> held_;
  std::unordered_set<std::string> heldKeys_;
  bool playActive_ = false;
  bool readAll_ = false;
};

}  // namespace bc
