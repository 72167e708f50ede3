#pragma once

#include <QColor>
#include <QFontMetrics>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "config/notice.h"

namespace bc {

/// The two notices that may be up at once, one window of each at most.
enum class NoticeKind { NewMail, Storage };

/// The window title that tells the two kinds apart: "NoticeWindow" for new
/// mail, "NoticeWindow1" for the storage alert.
[[nodiscard]] QString NoticeTitle(NoticeKind kind);

inline constexpr int kNoticeWidth = 180;
inline constexpr int kNoticeHeight = 120;
inline constexpr int kNoticeTickMs = 18;

/// What the notice does at one timer tick.
struct NoticeStep {
  enum class Action { None, Move, Close };
  Action action = Action::None;
  QRect rect;  // where the window goes, for Move

  bool operator==(const NoticeStep&) const = default;
};

/// The notice's motion, a pure function of the tick counter and the screen area
/// it lives in (the primary screen's available area). The window's left edge is
/// 198 pixels left of the area's right edge. Ticks 1 to 45 rise: the top is the
/// area's bottom minus tick x 3.26, truncated. Ticks 46 to 545 rest. Ticks 546
/// to 589 sink from the risen offset (45 x 3.26, truncated: 146) by
/// (tick - 545) x 3.26. Tick 590 closes. Tick 0 and the resting ticks do nothing.
[[nodiscard]] NoticeStep NoticeStepAt(int tick, const QRect& screenArea);

/// Whether a left click at `pos` (window coordinates) hits the close box, the
/// 12 x 12 rectangle from (159, 2) up to but not including (171, 14).
[[nodiscard]] bool IsOnNoticeCloseBox(const QPoint& pos);

/// The background colour of pixel row `row` of a notice `height` rows high: a
/// gradient from (183, 219, 255) at the top to almost white at the bottom.
[[nodiscard]] QColor NoticeBackgroundColor(int row, int height);

/// Breaks the notice text into lines no wider than `maxWidth` (as measured by
/// `width`), so that a notice wraps the same on every font: lines break at
/// blanks, a run of blanks takes room like any text and may itself fill lines,
/// the blank at a break is dropped, blanks left over at the start of a wrapped
/// line before its first word are dropped, CR/LF start a new line and a tab
/// counts as eight blanks. A single word wider than a line is split between characters so
/// none of it is lost, except a name held together by no-break spaces, which is
/// cut with an ellipsis instead: half a name on each line reads as two people. NoticeWindowText
/// relies on this: the title followed by some 96 blanks puts the title alone on the first line, a
/// blank line under it, and the message below.
[[nodiscard]] QStringList WrapNoticeText(const QString& text, int maxWidth,
                                         const std::function<int(const QString&)>& width);

/// The text a notice window shows: the title, the run of blanks that wraps it
/// onto a line of its own above the rule (96 for new mail, 95 for the storage
/// alert), then the message.
[[nodiscard]] QString NoticeWindowText(NoticeKind kind, const Notice& notice);

/// What a screen reader hears of a notice window's text: "title: message", on
/// one line of ordinary blanks (the run that lays out the title goes).
[[nodiscard]] QString NoticeSpokenText(const QString& windowText);

/// The frameless, top-most notice window, 180 x 120 pixels, that rises from the
/// bottom right corner of the screen, rests about nine seconds and sinks away,
/// then closes and deletes itself. A left click on the close box closes it at
/// once. It never takes the keyboard focus. Create it through NoticeWindows.
///
/// To assistive technologies it is a notification (role Notification, its
/// message as name and description) that raises an alert when it shows.
class CNoticeWnd : public QWidget {
  Q_OBJECT

 public:
  CNoticeWnd(NoticeKind kind, const QString& text, QWidget* owner);

  [[nodiscard]] NoticeKind kind() const { return kind_; }
  [[nodiscard]] QString text() const { return text_; }
  [[nodiscard]] int tickCounter() const { return counter_; }
  /// True once the notice has closed (it deletes itself soon after).
  [[nodiscard]] bool isClosed() const { return closed_; }

  /// One step of the 18 ms timer (public so tests can drive the motion).
  void Tick();
  /// A notice still up takes new text (more mail came in the same pass).
  void SetText(const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void Close();

  NoticeKind kind_;
  QString text_;
  int counter_ = 0;
  bool closed_ = false;
  QTimer timer_;
};

/// Opens notices for the main window, at most one of each kind at a time.
/// Used on the UI thread only: the check pass reaches it by a queued call.
class NoticeWindows : public QObject {
  Q_OBJECT

 public:
  explicit NoticeWindows(QWidget* owner);

  /// Opens a notice of `kind` showing `notice` (UTF-8 text taken as given) and
  /// returns it; returns nullptr and changes nothing while a notice of that kind
  /// is still up, so that request is dropped.
  CNoticeWnd* Show(NoticeKind kind, const Notice& notice);

  /// The notice of `kind` that is up, or nullptr.
  [[nodiscard]] CNoticeWnd* Current(NoticeKind kind) const;

 private:
  QWidget* owner_;
  QPointer<CNoticeWnd> newMail_;
  QPointer<CNoticeWnd> storage_;
};

}  // namespace bc
