#include "extras/update_check.h"

#include <cstdio>

#include "extras/version_fetch.h"

namespace bc {

namespace {

// Decides what a finished fetch means and shows it.
UpdateNotice ShowUpdate(const UpdateSite& site, const VersionFetch& fetch, bool manual,
                        UpdatePresenter& presenter) {
  if (fetch.networkError) {
    // The console keeps the reason for whoever looks.
    std::fprintf(stderr, "brindlecast: update check: %s\n", fetch.error.c_str());
  }
  const UpdateDecision decision = DecideUpdate(fetch, manual);
  switch (decision.notice) {
    case UpdateNotice::NewRelease:
      presenter.ShowNewRelease(decision.release, site.UpgradePageUrl());
      break;
    case UpdateNotice::AlreadyLatest:
      presenter.ShowInformation(kAlreadyLatestText);
      break;
    case UpdateNotice::NotAvailable:
      presenter.ShowInformation(kNotAvailableText);
      break;
    case UpdateNotice::None:
      break;
  }
  return decision.notice;
}

}  // namespace

UpdateNotice RunUpdateCheck(const UpdateSite& site, bool manual, UpdatePresenter& presenter,
                            const std::atomic<bool>* cancel) {
  return ShowUpdate(site, FetchVersionFile(site, cancel), manual, presenter);
}

UpdateCheck::UpdateCheck(UpdateSite site, UpdatePresenter& presenter, std::function<void()> ended)
    : site_(std::move(site)), presenter_(presenter), ended_(std::move(ended)) {}

UpdateCheck::~UpdateCheck() {
  cancel_ = true;
  presenter_.Abandon();
  std::thread worker;
  {
    std::lock_guard lock(mutex_);
    worker = std::move(thread_);
  }
  if (worker.joinable()) {
    worker.join();
  }
}

void UpdateCheck::Request(bool manual) {
  std::lock_guard lock(mutex_);
  if (cancel_) {
    return;
  }
  if (running_) {
    manualPending_ = manualPending_ || manual;
    return;
  }
  if (thread_.joinable()) {
    thread_.join();  // a finished worker: it only had its last lines left
  }
  running_ = true;
  thread_ = std::thread([this, manual] { Work(manual); });
}

bool UpdateCheck::running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

void UpdateCheck::WaitUntilIdle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return !running_; });
}

void UpdateCheck::Work(bool manual) {
  for (;;) {
    const VersionFetch fetch = FetchVersionFile(site_, &cancel_);
    {
      // Asked for while this fetch ran: its answer is the one the user gets.
      std::lock_guard lock(mutex_);
      manual = manual || manualPending_;
      manualPending_ = false;
    }
    ShowUpdate(site_, fetch, manual, presenter_);
    if (ended_) {
      ended_();
    }
    std::lock_guard lock(mutex_);
    if (!manualPending_ || cancel_) {
      running_ = false;
      idle_.notify_all();
      return;
    }
    manualPending_ = false;
    manual = true;
  }
}

}  // namespace bc
