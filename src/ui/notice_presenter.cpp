#include "ui/notice_presenter.h"

#include <QWidget>

#include "ui/desktop_notice.h"

namespace bc {

NoticePresenter::NoticePresenter(QWidget* owner, std::function<void()> showMainWindow,
                                 BusFactory bus)
    : QObject(owner),
      windows_(new NoticeWindows(owner)),
      showMainWindow_(std::move(showMainWindow)),
      bus_(std::move(bus)) {}

DesktopNotices& NoticePresenter::desktop() {
  if (!desktop_) {
    desktop_ = new DesktopNotices(bus_(), this);
    connect(desktop_, &DesktopNotices::ShowWindowRequested, this, [this] { showMainWindow_(); });
    connect(desktop_, &DesktopNotices::Failed, windows_, &NoticeWindows::Show);
  }
  return *desktop_;
}

void NoticePresenter::Show(NoticeKind kind, const Notice& notice, const std::string& storedStyle) {
  Notice shown = notice;
  if (kind == NoticeKind::NewMail && !notice.headline.empty()) {
    arrived_.push_back(notice);
    shown = NewMailNotice(arrived_);
  }
  if (NoticeStyleOf(storedStyle, IsWaylandSession()) == NoticeStyle::Desktop) {
    desktop().Show(kind, shown);  // replaces the notification of this kind still up
  } else if (CNoticeWnd* up = windows_->Current(kind); up && arrived_.size() > 1) {
    up->SetText(NoticeWindowText(kind, shown));
  } else {
    windows_->Show(kind, shown);
  }
}

}  // namespace bc
