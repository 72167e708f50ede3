#include "ui/link_label.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QStyleOptionFocusRect>
#include <QUrl>

namespace bc {

std::string BrowserCommandLine(const std::string& commandLine, const std::string& address) {
  std::string program = commandLine;
  const size_t quoted = commandLine.find("\"%s\"");
  if (quoted != std::string::npos) {
    program = commandLine.substr(0, quoted);
  } else if (const size_t bare = commandLine.find("%s"); bare != std::string::npos) {
    program = commandLine.substr(0, bare);
  }
  return program + " " + address;
}

namespace {

bool OpenWithDesktop(const QString& address) {
  return QDesktopServices::openUrl(QUrl::fromUserInput(address));
}

// $BROWSER is a colon-separated list of browser command lines, tried in turn.
// What assistive technology sees of a CLinkLabel: a link named by its text,
// which the press action opens as a click does.
class AccessibleLink final : public QAccessibleWidget {
 public:
  explicit AccessibleLink(CLinkLabel* link) : QAccessibleWidget(link, QAccessible::Link) {}

  QString text(QAccessible::Text t) const override {
    const auto* link = static_cast<const CLinkLabel*>(widget());
    if (t == QAccessible::Name && link->accessibleName().isEmpty()) {
      return link->text();
    }
    if (t == QAccessible::Value) {
      return link->address();
    }
    return QAccessibleWidget::text(t);
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.linked = true;
    return s;
  }
  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& name) override {
    if (name == pressAction()) {
      static_cast<CLinkLabel*>(widget())->OpenAddress();
    }
  }
};

QAccessibleInterface* LinkAccessibility(const QString& className, QObject* object) {
  if (className == QLatin1String(CLinkLabel::staticMetaObject.className()) && object &&
      object->isWidgetType()) {
    return new AccessibleLink(static_cast<CLinkLabel*>(object));
  }
  return nullptr;
}

bool OpenWithBrowserVariable(const QString& address) {
  const QString browsers = qEnvironmentVariable("BROWSER");
  for (const QString& entry : browsers.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
    const std::string line = BrowserCommandLine(entry.toStdString(), address.toStdString());
    QStringList words = QProcess::splitCommand(QString::fromStdString(line));
    if (words.isEmpty()) {
      continue;
    }
    const QString program = words.takeFirst();
    if (QProcess::startDetached(program, words)) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool OpenWebAddress(const QString& address) {
  return OpenWithDesktop(address) || OpenWithBrowserVariable(address);
}

std::string NoBrowserMessage(const std::string& address) {
  return "No web browser could be started to open " + address +
         ". Set one as the desktop's default browser (or in $BROWSER), or open the "
         "address in a browser yourself.";
}

CLinkLabel::CLinkLabel(QWidget* parent)
    : QLabel(parent), desktop_(OpenWithDesktop), fallback_(OpenWithBrowserVariable) {
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setTextFormat(Qt::PlainText);
  setCursor(Qt::ArrowCursor);
  setFocusPolicy(Qt::TabFocus);
  static const bool accessible = (QAccessible::installFactory(LinkAccessibility), true);
  (void)accessible;
  ApplyLook();
}

void CLinkLabel::SetLink(const QString& text, const QString& address) {
  address_ = address.isEmpty() ? text : address;
  setText(text.isEmpty() ? address_ : text);
  if (adjustToFit_) {
    ResizeToText();
  }
}

void CLinkLabel::SetAdjustToFit(bool adjust) {
  adjustToFit_ = adjust;
}

void CLinkLabel::SetOpeners(Opener desktop, Opener fallback) {
  desktop_ = std::move(desktop);
  fallback_ = std::move(fallback);
}

void CLinkLabel::ApplyLook() {
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, QColor(0, 0, 255));
  setPalette(pal);
  QFont f = font();
  f.setUnderline(true);
  setFont(f);
}

void CLinkLabel::ResizeToText() {
  const QSize textSize = fontMetrics().size(Qt::TextSingleLine, text());
  const QRect old = geometry();
  QRect next(old.topLeft(), textSize);
  const Qt::Alignment align = alignment();
  if (align & Qt::AlignVCenter) {
    next.moveTop(old.top() + (old.height() - textSize.height()) / 2);
  }
  if (align & Qt::AlignHCenter) {
    next.moveLeft(old.left() + (old.width() - textSize.width()) / 2);
  } else if (align & Qt::AlignRight) {
    next.moveRight(old.right());
  }
  setGeometry(next);
}

bool CLinkLabel::OpenAddress() {
  if ((desktop_ && desktop_(address_)) || (fallback_ && fallback_(address_))) {
    update();
    return true;
  }
  QApplication::beep();
  Q_EMIT OpenFailed();
  return false;
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    OpenAddress();
  }
  QLabel::mouseReleaseEvent(event);
}

void CLinkLabel::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      OpenAddress();
      event->accept();
      return;
    default:
      QLabel::keyPressEvent(event);
  }
}

void CLinkLabel::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (hasFocus()) {
    // Where the keyboard is: the dotted frame a focused button shows.
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
  }
}

}  // namespace bc
