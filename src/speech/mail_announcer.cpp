#include "speech/mail_announcer.h"

#include <algorithm>

#include <charconv>
#include <functional>
#include <optional>

#include "config/field_order.h"
#include "config/paths.h"
#include "config/text_util.h"

namespace bc {
namespace {

struct Label {
  const char* announcement;
  const char* list;
  bool sayEmpty;
};

// Indexed by Field.
constexpr Label kLabels[kFieldCount] = {
    {"Mail from: ", "Mail from: ", true},    {"Subject is: ", "Subject is: ", true},
    {"Address is: ", "Adress is: ", true},   {"Received time: ", "Received time: ", false},
    {"size is: ", "size is: ", false},       {"Mail Account is: ", "Mail Account is: ", false},
    {"attachment: ", "attachment: ", false}, {"content is: ", "content is: ", true},
};

const std::string& ValueOf(const Envelope& e, Field field) {
  switch (field) {
    case Field::From:
      return e.from;
    case Field::Subject:
      return e.subject;
    case Field::Address:
      return e.address;
    case Field::Received:
      return e.received;
    case Field::Size:
      return e.size;
    case Field::Account:
      return e.account;
    case Field::Attachment:
      return e.attachment;
    case Field::Content:
      return e.content;
  }
  return e.content;
}

bool Contains(const std::deque<std::string>& queue, const std::string& value) {
  return std::find(queue.begin(), queue.end(), value) != queue.end();
}

}  // namespace

std::string ComposeSpokenText(const AppOptions& options, const Envelope& envelope,
                              LabelSet labels) {
  std::string text;
  for (Field field : OrderedFields(options, FieldSet::Speech)) {
    const Label& label = kLabels[static_cast<size_t>(field)];
    const std::string& value = ValueOf(envelope, field);
    text += labels == LabelSet::Announcement ? label.announcement : label.list;
    text += value.empty() && label.sayEmpty ? std::string("Empty") : value;
    text += "; ";
  }
  return text;
}

MailAnnouncer::MailAnnouncer(SpeechOutput& speech, SoundOutput& sound, const EnvelopeStore& store,
                             NoticeRequest requestNotice)
    : speech_(speech), sound_(sound), store_(store), requestNotice_(std::move(requestNotice)) {}

void MailAnnouncer::SetList(ListSelection* list) {
  list_ = list;
}

std::string NewMessagesSentence(long long count) {
  const std::string digits = std::to_string(count < 0 ? 0 : count);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) {
      grouped += ',';
    }
    grouped += digits[i];
  }
  return "You have " + grouped + (count == 1 ? " new message" : " new messages");
}

void MailAnnouncer::BeginPass(const AppOptions& options) {
  std::lock_guard lock(mutex_);
  holdOver_ = std::max(0, ParseInt(options.AnnounceCountOver));
  held_.clear();
  heldKeys_.clear();
}

void MailAnnouncer::EndPass(const AppOptions& options) {
  std::vector<Envelope> held;
  std::unordered_set<std::string> keys;
  {
    std::lock_guard lock(mutex_);
    held.swap(held_);
    keys.swap(heldKeys_);
    holdOver_ = 0;
  }
  if (keys.empty() || (options.NotificationMethod < 0 || options.NotificationMethod > 2)) {
    return;
  }
  if (!held.empty()) {
    for (const Envelope& envelope : held) {
      Announce(options, envelope);
    }
    return;
  }
  // Too many to announce one by one: one sentence, one notice.
  std::optional<Notice> notice;
  const std::string sentence = NewMessagesSentence(static_cast<long long>(keys.size()));
  {
    std::lock_guard lock(mutex_);
    for (const std::string& key : keys) {
      if (announced_.insert(key).second) {
        announcedOrder_.push_back(key);
      }
    }
    if (options.NotificationMethod == 0) {
      // An entry without a key: when it has been spoken, no list row is selected.
      announceQueue_.emplace_back();
      announceIds_.emplace_back();
      if (windowReady_) {
        lastNotice_ = {kProgramTitle, sentence};
        notice = lastNotice_;
      }
    }
  }
  if (options.NotificationMethod == 1) {
    sound_.PlaySoundFile(options.wavFile);
  } else if (options.NotificationMethod == 0) {
    if (notice && requestNotice_) {
      requestNotice_(*notice);
    }
    speech_.Speak(sentence);
  }
}

void MailAnnouncer::AnnounceMessage(const AppOptions& options, const Envelope& envelope) {
  if (!envelope.isNew || options.NotificationMethod < 0 || options.NotificationMethod > 2) {
    return;  // reported as new by an earlier pass (remembered mail)
  }
  {
    std::lock_guard lock(mutex_);
    if (holdOver_ > 0) {
      if (announced_.contains(envelope.messageKey) ||
          !heldKeys_.insert(envelope.messageKey).second) {
        return;
      }
      if (static_cast<long long>(heldKeys_.size()) <= holdOver_) {
        held_.push_back(envelope);
      } else {
        held_.clear();  // too many: only the count is said
      }
      return;
    }
  }
  Announce(options, envelope);
}

void MailAnnouncer::Announce(const AppOptions& options, const Envelope& envelope) {
  const int method = options.NotificationMethod;
  std::optional<Notice> notice;
  {
    std::lock_guard lock(mutex_);
    if (!announced_.insert(envelope.messageKey).second) {
      return;  // not new: announced earlier in this run
    }
    announcedOrder_.push_back(envelope.messageKey);
    if (method == 0) {
      announceQueue_.push_back(envelope.messageKey);
      announceIds_.push_back(envelope.messageId);
      if (windowReady_) {
        lastSender_ = envelope.from;
        lastNotice_ = NewMailNotice(envelope.from, envelope.subject);
        notice = lastNotice_;
      }
    }
  }
  if (method == 1) {
    sound_.PlaySoundFile(options.wavFile);
    return;
  }
  if (method == 0) {
    if (notice && requestNotice_) {
      requestNotice_(*notice);
    }
    // Queued behind whatever the voice is already saying.
    speech_.Speak(kAnnouncementPrefix +
                  ComposeSpokenText(options, envelope, LabelSet::Announcement));
  }
}

bool MailAnnouncer::PlaySelected(const AppOptions& options,
                                 const std::vector<MailAccount>& accounts) {
  if (!list_ || list_->RowCount() == 0) {
    return false;
  }
  SetPlayActive(true);
  const std::vector<long long> selected = list_->SelectedMessageIds();
  for (long long id : selected) {
    const int index = store_.FindByMessageId(id);
    if (index < 0) {
      continue;
    }
    Envelope envelope = store_.Get(index);
    {
      std::lock_guard lock(mutex_);
      if (Contains(readQueue_, envelope.messageKey)) {
        continue;  // still waiting to be spoken from an earlier Play
      }
      readQueue_.push_back(envelope.messageKey);
      readIds_.push_back(std::to_string(id));
    }
    // The list names the account as it is configured now, not as it was checked.
    const auto account = static_cast<size_t>(AccountIndexOf(id));
    envelope.account = account < accounts.size() ? accounts[account].UserName : std::string();
    speech_.Speak(ComposeSpokenText(options, envelope, LabelSet::List));
  }
  return !selected.empty();
}

bool MailAnnouncer::ReadEmail(const AppOptions& options, const std::vector<MailAccount>& accounts) {
  Stop();
  speech_.StopSpeaking();
  {
    std::lock_guard lock(mutex_);
    readAll_ = true;
  }
  if (list_) {
    list_->SelectAll();
  }
  return PlaySelected(options, accounts);
}

int MailAnnouncer::AdvanceQueue(std::deque<std::string>& keys, std::deque<std::string>& ids,
                                bool byKey) {
  if (keys.empty()) {
    return -1;
  }
  int index = -1;
  if (byKey) {
    index = store_.FindByMessageKey(keys.front());
  } else {
    long long id = 0;
    const std::string& text = ids.front();
    if (std::from_chars(text.data(), text.data() + text.size(), id).ec == std::errc()) {
      index = store_.FindByMessageId(id);
    }
  }
  int row = -1;
  if (keys.size() > 1) {
    row = index >= 0 ? index + 1 : -1;
  } else {
    readAll_ = false;
  }
  keys.pop_front();
  ids.pop_front();
  return row;
}

void MailAnnouncer::FinishSpokenEntry() {
  // Both queues advance on every finished text, whichever text it was. The
  // list is touched after the lock is let go: it may call back into us.
  std::vector<int> moves;
  {
    std::lock_guard lock(mutex_);
    for (const bool announcement : {true, false}) {
      const int row = announcement ? AdvanceQueue(announceQueue_, announceIds_, true)
                                   : AdvanceQueue(readQueue_, readIds_, false);
      // A Play of chosen messages keeps the user's selection; Read Email and
      // announcements let it follow the voice.
      if (row >= 0 && !(playActive_ && !readAll_)) {
        moves.push_back(row);
      }
    }
  }
  if (list_) {
    for (int row : moves) {
      list_->SelectOnly(row);
    }
  }
}

void MailAnnouncer::Stop() {
  speech_.StopSpeaking();
  sound_.StopSound();
  ClearReading();
}

void MailAnnouncer::ClearReading() {
  std::lock_guard lock(mutex_);
  announceQueue_.clear();
  announceIds_.clear();
  readQueue_.clear();
  readIds_.clear();
  playActive_ = false;
  readAll_ = false;
}

bool MailAnnouncer::playActive() const {
  std::lock_guard lock(mutex_);
  return playActive_;
}

bool MailAnnouncer::readAll() const {
  std::lock_guard lock(mutex_);
  return readAll_;
}

void MailAnnouncer::SetPlayActive(bool on) {
  std::lock_guard lock(mutex_);
  playActive_ = on;
}

std::vector<std::string> MailAnnouncer::AnnouncedKeys() const {
  std::lock_guard lock(mutex_);
  return announcedOrder_;
}

std::vector<std::string> MailAnnouncer::AnnounceQueue() const {
  std::lock_guard lock(mutex_);
  return {announceQueue_.begin(), announceQueue_.end()};
}

std::vector<std::string> MailAnnouncer::AnnounceIdQueue() const {
  std::lock_guard lock(mutex_);
  return {announceIds_.begin(), announceIds_.end()};
}

std::vector<std::string> MailAnnouncer::ReadQueue() const {
  std::lock_guard lock(mutex_);
  return {readQueue_.begin(), readQueue_.end()};
}

std::vector<std::string> MailAnnouncer::ReadIdQueue() const {
  std::lock_guard lock(mutex_);
  return {readIds_.begin(), readIds_.end()};
}

Notice MailAnnouncer::LastNotice() const {
  std::lock_guard lock(mutex_);
  return lastNotice_;
}

std::string MailAnnouncer::LastSender() const {
  std::lock_guard lock(mutex_);
  return lastSender_;
}

}  // namespace bc
