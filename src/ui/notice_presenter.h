#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "ui/notice_window.h"

class QWidget;

namespace bc {

class DesktopNotices;

/// Shows the main window's notices in the style the settings ask for: the own
/// sliding window, or desktop notifications with the own window as the fallback
/// whenever the notification server cannot take a notice. UI thread only.
class NoticePresenter : public QObject {
  Q_OBJECT

 public:
  using BusFactory = std::function<QDBusConnection()>;

  /// `showMainWindow` is what a notification's "Show" action does. The bus is
  /// reached through `bus` the first time a desktop notice is shown, so a
  /// session that never uses one never connects.
  NoticePresenter(
      QWidget* owner, std::function<void()> showMainWindow,
      BusFactory bus = [] { return QDBusConnection::sessionBus(); });

  /// Shows `notice` as a notice of `kind`; `storedStyle` is the `NoticeStyle` option.
  /// The new-mail notices of one pass make one notice that says how many came
  /// (NewMailNotice): the notice still up takes the new text, one that was
  /// closed comes again with it.
  void Show(NoticeKind kind, const Notice& notice, const std::string& storedStyle);
  /// The pass is over: the next new-mail notice starts a count of its own.
  void EndPass() { arrived_.clear(); }

  [[nodiscard]] NoticeWindows& windows() { return *windows_; }
  /// The desktop notifications, created on first use.
  [[nodiscard]] DesktopNotices& desktop();

 private:
  NoticeWindows* windows_;
  DesktopNotices* desktop_ = nullptr;
  std::function<void()> showMainWindow_;
  BusFactory bus_;
  std::vector<Notice> arrived_;  // the new-mail notices of the pass under way
};

}  // namespace bc
