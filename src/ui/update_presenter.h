#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "extras/update_check.h"

namespace bc {

/// Shows the update check's dialog and message boxes on the user-interface
/// thread while the check's worker waits for them to close. Lives on the UI
/// thread; must outlive the UpdateCheck that uses it.
class QtUpdatePresenter final : public QObject, public UpdatePresenter {
  Q_OBJECT
 public:
  explicit QtUpdatePresenter(QWidget* parent);

  void ShowNewRelease(const VersionInfo& release, const QUrl& upgradePage) override;
  void ShowInformation(const std::string& text) override;
  void Abandon() override;

 private:
  /// Runs `show` on the UI thread and waits until it returned or the
  /// presenter was abandoned.
  void RunOnUiThread(std::function<void()> show);

  QPointer<QWidget> parent_;
  std::mutex mutex_;
  std::condition_variable done_;
  bool abandoned_ = false;
  unsigned long long finishedCalls_ = 0;
  unsigned long long postedCalls_ = 0;
};

}  // namespace bc
