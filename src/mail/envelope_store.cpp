#include "mail/envelope_store.h"

namespace bc {

void EnvelopeStore::Clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
  counted_ = 0;
}

void EnvelopeStore::Append(const Envelope& entry) {
  std::lock_guard lock(mutex_);
  if (!keep_) {
    ++counted_;
    return;
  }
  entries_.push_back(entry);
}

void EnvelopeStore::Append(Envelope&& entry) {
  std::lock_guard lock(mutex_);
  if (!keep_) {
    ++counted_;
    return;
  }
  entries_.push_back(std::move(entry));
}

int EnvelopeStore::Count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(entries_.size()) + counted_;
}

Envelope EnvelopeStore::Get(int k) const {
  std::lock_guard lock(mutex_);
  if (k < 0 || k >= static_cast<int>(entries_.size())) {
    return {};
  }
  return entries_[static_cast<size_t>(k)];
}

std::vector<Envelope> EnvelopeStore::Snapshot() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

int EnvelopeStore::FindByMessageId(long long id) const {
  const std::string text = std::to_string(id);
  std::lock_guard lock(mutex_);
  for (size_t k = 0; k < entries_.size(); ++k) {
    if (entries_[k].messageId == text) {
      return static_cast<int>(k);
    }
  }
  return -1;
}

int EnvelopeStore::FindByMessageKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  for (size_t k = 0; k < entries_.size(); ++k) {
    if (entries_[k].messageKey == key) {
      return static_cast<int>(k);
    }
  }
  return -1;
}

void EnvelopeStore::Remove(int k) {
  std::lock_guard lock(mutex_);
  if (k < 0 || k >= static_cast<int>(entries_.size())) {
    return;
  }
  entries_.erase(entries_.begin() + k);
}

void EnvelopeStore::SetMessageId(int k, std::string messageId) {
  std::lock_guard lock(mutex_);
  if (k >= 0 && k < static_cast<int>(entries_.size())) {
    entries_[static_cast<size_t>(k)].messageId = std::move(messageId);
  }
}

}  // namespace bc
