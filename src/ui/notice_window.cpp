#include "ui/notice_window.h"

#include "config/text_util.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "ui/ui_resources.h"

namespace bc {

namespace {

constexpr double kStepPixels = 3.26;
constexpr int kRiseEnd = 45;
constexpr int kSinkStart = 546;
constexpr int kSinkEnd = 589;
constexpr int kCloseTick = 590;
constexpr int kRightMargin = 198;

constexpr QPoint kMailSymbolPos{136, 76};
constexpr QSize kMailSymbolSize{34, 33};
constexpr QPoint kCloseBoxPos{159, 2};
constexpr QSize kCloseBoxSize{13, 13};

const QColor kTextColor(35, 46, 139);
// The text keeps clear of the window's edges.
constexpr int kTextSideMargin = 5;
constexpr int kTextTopMargin = 2;
// The blanks between a notice's title and its message (see NoticeWindowText).
constexpr int kNewMailTitleGap = 96;
constexpr int kStorageTitleGap = 95;

constexpr QChar kNoBreakSpace(0x00A0);
constexpr QChar kEllipsis(0x2026);

// The notice as assistive technologies see it: a notification that names its
// message, which Orca reads like the desktop's own notifications.
class NoticeAccessible final : public QAccessibleWidget {
 public:
  explicit NoticeAccessible(CNoticeWnd* notice)
      : QAccessibleWidget(notice, QAccessible::Notification), notice_(notice) {}

  [[nodiscard]] QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name || t == QAccessible::Description) {
      return NoticeSpokenText(notice_->text());
    }
    return QAccessibleWidget::text(t);
  }

 private:
  CNoticeWnd* notice_;
};

QAccessibleInterface* NoticeAccessibleFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("bc::CNoticeWnd") && object && object->isWidgetType()) {
    return new NoticeAccessible(static_cast<CNoticeWnd*>(object));
  }
  return nullptr;
}

QFont NoticeFont() {
  QFont font;
  // Arial where it is installed, else a face with the same metrics, else the
  // desktop's sans serif.
  font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("Arimo"), QStringLiteral("Helvetica")});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(9);
  return font;
}

}  // namespace

QString NoticeTitle(NoticeKind kind) {
  return kind == NoticeKind::NewMail ? QStringLiteral("NoticeWindow")
                                     : QStringLiteral("NoticeWindow1");
}

NoticeStep NoticeStepAt(int tick, const QRect& screenArea) {
  const int x = screenArea.x() + screenArea.width() - kRightMargin;
  const int bottom = screenArea.y() + screenArea.height();
  if (tick >= 1 && tick <= kRiseEnd) {
    const int y = static_cast<int>(bottom - tick * kStepPixels);
    return {NoticeStep::Action::Move, QRect(x, y, kNoticeWidth, kNoticeHeight)};
  }
  if (tick >= kSinkStart && tick <= kSinkEnd) {
    const int offset = static_cast<int>(kRiseEnd * kStepPixels);
    const int y = static_cast<int>(bottom - offset + (tick - (kSinkStart - 1)) * kStepPixels);
    return {NoticeStep::Action::Move, QRect(x, y, kNoticeWidth, kNoticeHeight)};
  }
  if (tick >= kCloseTick) {
    return {NoticeStep::Action::Close, {}};
  }
  return {};
}

bool IsOnNoticeCloseBox(const QPoint& pos) {
  return QRect(kCloseBoxPos, QSize(12, 12)).contains(pos);
}

QColor NoticeBackgroundColor(int row, int height) {
  // Red and green start below zero and wrap around to the light blue at the top.
  const int red = ((72 * row / height) - 73) & 0xFF;
  const int green = ((36 * row / height) - 37) & 0xFF;
  return QColor(red, green, 255);
}

QStringList WrapNoticeText(const QString& text, int maxWidth,
                           const std::function<int(const QString&)>& width) {
  QString expanded = text;
  expanded.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  expanded.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  expanded.replace(QLatin1Char('\t'), QString(8, QLatin1Char(' ')));

  QStringList lines;
  for (const QString& paragraph : expanded.split(QLatin1Char('\n'))) {
    QString line;
    bool wrapped = false;  // the line continues the paragraph after a break
    int pos = 0;
    const int n = static_cast<int>(paragraph.size());
    while (pos < n) {
      if (paragraph[pos] == QLatin1Char(' ')) {
        if (width(line + QLatin1Char(' ')) <= maxWidth) {
          line += QLatin1Char(' ');
        } else {
          lines.append(line);  // the blank at the break is dropped
          line.clear();
          wrapped = true;
        }
        ++pos;
        continue;
      }
      int end = pos;
      while (end < n && paragraph[end] != QLatin1Char(' ')) {
        ++end;
      }
      QString word = paragraph.mid(pos, end - pos);
      pos = end;
      // What is left of a blank run after a break would only push the first
      // words of the message off centre: a wrapped line starts at its first word.
      if (wrapped && line.trimmed().isEmpty()) {
        line.clear();
      }
      if (width(line + word) <= maxWidth) {
        line += word;
        continue;
      }
      if (!line.isEmpty()) {
        lines.append(line);
        line.clear();
        wrapped = true;
      }
      // A name is never split: one too long for a line is cut short.
      if (word.contains(kNoBreakSpace) && width(word) > maxWidth) {
        while (word.size() > 1 && width(word + kEllipsis) > maxWidth) {
          word.chop(1);
        }
        word += kEllipsis;
      }
      // A word longer than a whole line is split where it overflows.
      while (width(word) > maxWidth) {
        int fit = 1;
        while (fit < word.size() && width(word.left(fit + 1)) <= maxWidth) {
          ++fit;
        }
        lines.append(word.left(fit));
        word.remove(0, fit);
        wrapped = true;
      }
      line = word;
    }
    lines.append(line);
  }
  return lines;
}

QString NoticeWindowText(NoticeKind kind, const Notice& notice) {
  const int gap = kind == NoticeKind::NewMail ? kNewMailTitleGap : kStorageTitleGap;
  return QString::fromStdString(notice.title) + QString(gap, QLatin1Char(' ')) +
         QString::fromStdString(notice.body);
}

QString NoticeSpokenText(const QString& windowText) {
  QString text = QString::fromStdString(ShownText(windowText.toStdString()));
  // The run of blanks stands between the title and the message.
  const qsizetype gap = text.indexOf(QStringLiteral("  "));
  if (gap > 0) {
    text = text.left(gap).trimmed() + QStringLiteral(": ") + text.mid(gap).trimmed();
  }
  text.replace(kNoBreakSpace, QLatin1Char(' '));
  return text.simplified();
}

CNoticeWnd::CNoticeWnd(NoticeKind kind, const QString& text, QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                         Qt::WindowDoesNotAcceptFocus),
      kind_(kind),
      text_(text) {
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setWindowTitle(NoticeTitle(kind));
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(NoticeAccessibleFactory);
    return true;
  }();
  static_cast<void>(factoryInstalled);
  setFixedSize(kNoticeWidth, kNoticeHeight);
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(kNoticeTickMs);
  connect(&timer_, &QTimer::timeout, this, &CNoticeWnd::Tick);
  timer_.start();
}

void CNoticeWnd::Tick() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  const NoticeStep step = NoticeStepAt(counter_, area);
  switch (step.action) {
    case NoticeStep::Action::Move:
      setGeometry(step.rect);
      if (!isVisible()) {
        show();
        raise();
      }
      break;
    case NoticeStep::Action::Close:
      Close();
      return;
    case NoticeStep::Action::None:
      break;
  }
  ++counter_;
}

void CNoticeWnd::SetText(const QString& text) {
  if (text == text_) {
    return;
  }
  text_ = text;
  update();
  QAccessibleEvent name(this, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&name);
  QAccessibleEvent description(this, QAccessible::DescriptionChanged);
  QAccessible::updateAccessibility(&description);
}

void CNoticeWnd::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Shown without the focus, so nothing else would make a screen reader speak.
  QAccessibleEvent alert(this, QAccessible::Alert);
  QAccessible::updateAccessibility(&alert);
}

void CNoticeWnd::Close() {
  // Deletion waits for the event loop; until then the window counts as gone.
  closed_ = true;
  timer_.stop();
  close();
}

void CNoticeWnd::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int w = width();
  const int h = height();
  // Row 0 takes the top colour; each gradient row j is drawn one pixel lower.
  painter.fillRect(0, 0, w, 1, NoticeBackgroundColor(0, h));
  for (int j = 0; j < h; ++j) {
    painter.setPen(NoticeBackgroundColor(j, h));
    painter.drawLine(0, j + 1, w, j + 1);
  }
  // A sunken rule under the title line.
  painter.setPen(QColor(192, 192, 192));
  painter.drawLine(0, 18, w, 18);
  painter.drawLine(0, 20, w, 20);
  painter.setPen(Qt::white);
  painter.drawLine(0, 19, w, 19);

  const QFont font = NoticeFont();
  painter.setFont(font);
  painter.setPen(kTextColor);
  const QFontMetrics metrics(font);
  const auto measure = [&metrics](const QString& s) { return metrics.horizontalAdvance(s); };
  int baseline = kTextTopMargin + metrics.ascent();
  for (const QString& line : WrapNoticeText(text_, w - 2 * kTextSideMargin, measure)) {
    // Centred on its visible text; blanks that only pushed the wrap are not.
    const int visible = measure(line.trimmed());
    // The sender's text: no control or reordering character is drawn.
    const QString shown = QString::fromStdString(ShownText(line.toStdString())).trimmed();
    if (!shown.isEmpty()) {
      painter.drawText((w - visible) / 2, baseline, shown);
    }
    baseline += metrics.height();
  }

  const qreal dpr = devicePixelRatioF();
  painter.drawPixmap(kMailSymbolPos,
                     EmbeddedPixmap(QStringLiteral("mail_symbol"), kMailSymbolSize, dpr));
  painter.drawPixmap(kCloseBoxPos, EmbeddedPixmap(QStringLiteral("close_box"), kCloseBoxSize, dpr));
}

void CNoticeWnd::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && IsOnNoticeCloseBox(event->position().toPoint())) {
    Close();
    return;
  }
  QWidget::mousePressEvent(event);
}

NoticeWindows::NoticeWindows(QWidget* owner) : QObject(owner), owner_(owner) {}

CNoticeWnd* NoticeWindows::Show(NoticeKind kind, const Notice& notice) {
  QPointer<CNoticeWnd>& slot = kind == NoticeKind::NewMail ? newMail_ : storage_;
  if (slot && !slot->isClosed()) {
    return nullptr;
  }
  slot = new CNoticeWnd(kind, NoticeWindowText(kind, notice), owner_);
  return slot;
}

CNoticeWnd* NoticeWindows::Current(NoticeKind kind) const {
  CNoticeWnd* window = kind == NoticeKind::NewMail ? newMail_.data() : storage_.data();
  return window && !window->isClosed() ? window : nullptr;
}

}  // namespace bc
