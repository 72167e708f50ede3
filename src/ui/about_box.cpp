#include "ui/about_box.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/paths.h"
#include "config/prompt.h"
#include "ui/link_label.h"
#include "ui/ui_resources.h"

namespace bc {

namespace {

constexpr QSize kLogoSize{74, 67};

}  // namespace

CAboutBoxDlg::CAboutBoxDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Brindlecast"));
  setModal(true);

  auto* logo = new QLabel(this);
  logo->setObjectName(QStringLiteral("logo"));
  logo->setPixmap(EmbeddedPixmap(QStringLiteral("logo"), kLogoSize, devicePixelRatioF()));

  // A label, not painted text: a screen reader reads it like the others.
  auto* version = new QLabel(QString::fromUtf8(kAboutVersionLine), this);
  version->setObjectName(QStringLiteral("versionLine"));

  auto* platform = new QLabel(QString::fromUtf8(kAboutPlatformLine), this);
  platform->setObjectName(QStringLiteral("platformLine"));

  link_ = new CLinkLabel(this);
  link_->setObjectName(QStringLiteral("webLink"));
  link_->SetLink(QString(), QString::fromUtf8(kProductWebSite));
  connect(link_, &CLinkLabel::OpenFailed, this, [this] {
    const std::string text = NoBrowserMessage(link_->address().toStdString());
    if (prompt_) {
      prompt_->ShowMessage(text);
    } else {
      QMessageBox::information(this, QString::fromLatin1(kProgramTitle),
                               QString::fromStdString(text));
    }
  });

  auto* rule = new QFrame(this);
  rule->setObjectName(QStringLiteral("separator"));
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  setTabOrder(ok, link_);  // Tab goes from OK on to the link
  // The box opens with OK focused, so Enter closes it rather than opening the link.
  ok->setFocus(Qt::OtherFocusReason);

  auto* texts = new QVBoxLayout;
  texts->addWidget(version);
  texts->addWidget(platform);
  texts->addWidget(link_);
  texts->addStretch();

  auto* top = new QHBoxLayout;
  top->addWidget(logo, 0, Qt::AlignTop);
  top->addSpacing(2 * top->spacing());
  top->addLayout(texts, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(rule);
  layout->addLayout(buttons);
  // As large as the texts in the desktop's fonts need, and no larger.
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace bc
