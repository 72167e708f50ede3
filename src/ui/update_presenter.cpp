#include "ui/update_presenter.h"

#include <QMessageBox>
#include <QThread>

#include "ui/new_release_dialog.h"

namespace bc {

QtUpdatePresenter::QtUpdatePresenter(QWidget* parent) : parent_(parent) {}

void QtUpdatePresenter::RunOnUiThread(std::function<void()> show) {
  if (QThread::currentThread() == thread()) {
    show();
    return;
  }
  std::unique_lock lock(mutex_);
  if (abandoned_) {
    return;
  }
  const unsigned long long call = ++postedCalls_;
  // A queued call to an object of the UI thread; dropped if the presenter goes first.
  QMetaObject::invokeMethod(
      this,
      [this, show = std::move(show)] {
        {
          std::lock_guard guard(mutex_);
          if (abandoned_) {
            return;
          }
        }
        show();
        std::lock_guard guard(mutex_);
        ++finishedCalls_;
        done_.notify_all();
      },
      Qt::QueuedConnection);
  done_.wait(lock, [&] { return abandoned_ || finishedCalls_ >= call; });
}

void QtUpdatePresenter::ShowNewRelease(const VersionInfo& release, const QUrl& upgradePage) {
  RunOnUiThread([this, release, upgradePage] {
    CNewReleaseDlg dialog(release, upgradePage, parent_);
    dialog.exec();
  });
}

void QtUpdatePresenter::ShowInformation(const std::string& text) {
  RunOnUiThread([this, text] {
    QMessageBox::information(parent_, QStringLiteral("Brindlecast"), QString::fromStdString(text));
  });
}

void QtUpdatePresenter::Abandon() {
  std::lock_guard lock(mutex_);
  abandoned_ = true;
  done_.notify_all();
}

}  // namespace bc
