#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "extras/update_site.h"
#include "extras/version_file.h"

namespace bc {

/// How the update check shows its results. Called on the check's worker
/// thread; each call returns only when the user has closed what it showed, so
/// the check ends (and the next automatic one is measured) after that.
class UpdatePresenter {
 public:
  virtual ~UpdatePresenter() = default;
  /// The "New Brindlecast Release" dialog for `release`; "Download Now" opens
  /// `upgradePage`, whatever the file's Download value says.
  virtual void ShowNewRelease(const VersionInfo& release, const QUrl& upgradePage) = 0;
  /// An information box with `text`.
  virtual void ShowInformation(const std::string& text) = 0;
  /// The program is ending: every waiting call returns at once, later calls
  /// return without showing anything. Any thread.
  virtual void Abandon() = 0;
};

/// One check from start to end on the calling thread: fetch, decide, show.
/// Returns what was shown.
UpdateNotice RunUpdateCheck(const UpdateSite& site, bool manual, UpdatePresenter& presenter,
                            const std::atomic<bool>* cancel = nullptr);

/// The update check's worker: at most one runs. A check asked for by the user
/// while another runs is not run beside it (two dialogs for one release):
/// while the running one still fetches, it becomes the user's, and what it
/// finds (or that it found nothing) is shown, within the fetch's deadline;
/// once it is showing its result, one manual check follows it. `ended` is called on the
/// worker each time a check has finished (after its dialog closed), which is
/// when the scheduler measures the next automatic check from.
class UpdateCheck {
 public:
  UpdateCheck(UpdateSite site, UpdatePresenter& presenter, std::function<void()> ended);
  /// Cancels a running fetch, abandons the presenter's dialogs and waits for
  /// the worker.
  ~UpdateCheck();

  UpdateCheck(const UpdateCheck&) = delete;
  UpdateCheck& operator=(const UpdateCheck&) = delete;

  /// Starts a check (manual: asked for by the user). Any thread.
  void Request(bool manual);
  [[nodiscard]] bool running() const;
  /// Waits until no check runs; for tests.
  void WaitUntilIdle();

 private:
  void Work(bool manual);

  const UpdateSite site_;
  UpdatePresenter& presenter_;
  std::function<void()> ended_;
  std::atomic<bool> cancel_{false};

  mutable std::mutex mutex_;
  std::condition_variable idle_;
  bool running_ = false;
  bool manualPending_ = false;
  std::thread thread_;
};

}  // namespace bc
