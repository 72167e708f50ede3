#include "ui/about_box.h"

#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <algorithm>

#include "config/prompt.h"
#include "ui/link_label.h"
#include "ui/ui_resources.h"

namespace bc {

namespace {

constexpr QSize kMinSize{300, 140};
constexpr QSize kLogoSize{74, 67};

QFont VersionFont() {
  QFont font(QStringLiteral("Arial"));
  font.setPointSize(10);
  return font;
}

}  // namespace

CAboutBoxDlg::CAboutBoxDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Brindlecast"));
  setModal(true);

  const QFontMetrics versionMetrics(VersionFont());
  // Below the painted version line, whose height follows the font.
  const int textTop = kVersionPos.y() + versionMetrics.height() + 10;

  // A label, not painted text: a screen reader reads it like the others.
  auto* version = new QLabel(QString::fromUtf8(kAboutVersionLine), this);
  version->setObjectName(QStringLiteral("versionLine"));
  version->setFont(VersionFont());
  QPalette black = version->palette();
  black.setColor(QPalette::WindowText, Qt::black);
  version->setPalette(black);
  version->move(kVersionPos);
  version->adjustSize();

  auto* platform = new QLabel(QString::fromUtf8(kAboutPlatformLine), this);
  platform->setObjectName(QStringLiteral("platformLine"));
  platform->move(kVersionPos.x(), textTop);
  platform->adjustSize();

  link_ = new CLinkLabel(this);
  link_->setObjectName(QStringLiteral("webLink"));
  link_->move(kVersionPos.x(), textTop + platform->height() + 8);
  link_->SetLink(QString(), QString::fromUtf8(kProductWebSite));
  connect(link_, &CLinkLabel::OpenFailed, this, [this] {
    const std::string text = NoBrowserMessage(link_->address().toStdString());
    if (prompt_) {
      prompt_->ShowMessage(text);
    } else {
      QMessageBox::information(this, QStringLiteral("Brindlecast"), QString::fromStdString(text));
    }
  });

  // Wide enough for the longest text, whatever the desktop's fonts.
  constexpr int kMargin = 12;
  const int textRight = std::max(
      {platform->geometry().right(), link_->geometry().right(),
       kVersionPos.x() + versionMetrics.horizontalAdvance(QString::fromUtf8(kAboutVersionLine))});
  const int ruleTop = std::max(kLogoPos.y() + kLogoSize.height(), link_->geometry().bottom()) + 10;
  const QSize size(std::max(kMinSize.width(), textRight + 1 + kMargin),
                   std::max(kMinSize.height(), ruleTop + 2 + 10 + 26 + 8));
  setFixedSize(size);

  auto* rule = new QFrame(this);
  rule->setObjectName(QStringLiteral("separator"));
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);
  rule->setGeometry(8, ruleTop, size.width() - 16, 2);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  ok->setGeometry(size.width() - 8 - 80, size.height() - 8 - 26, 80, 26);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  setTabOrder(ok, link_);  // OK takes the focus first; Tab goes on to the link
}

void CAboutBoxDlg::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  QPainter painter(this);
  painter.drawPixmap(kLogoPos,
                     EmbeddedPixmap(QStringLiteral("logo"), kLogoSize, devicePixelRatioF()));
}

}  // namespace bc
