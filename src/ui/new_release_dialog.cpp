#include "ui/new_release_dialog.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace bc {
namespace {

// A long value from the server would stretch the dialog off the screen.
constexpr int kValueMaxWidth = 320;

QLabel* ValueLabel(const std::string& value, const char* name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  const QString text = QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
  label->setText(label->fontMetrics().elidedText(text, Qt::ElideRight, kValueMaxWidth));
  if (label->text() != text) {
    label->setToolTip(text);
  }
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

}  // namespace

CNewReleaseDlg::CNewReleaseDlg(const VersionInfo& release, const QUrl& upgradePage, QWidget* parent)
    : QDialog(parent), release_(release), upgradePage_(upgradePage) {
  setWindowTitle(QStringLiteral("New Brindlecast Release"));
  setObjectName(QStringLiteral("newReleaseDialog"));
  setModal(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 14, 16, 12);
  layout->setSpacing(10);
  // Two blanks before "now": the dialog's own text.
  auto* headline =
      new QLabel(QStringLiteral("A new release of Brindlecast is available  now"), this);
  headline->setObjectName(QStringLiteral("headline"));
  layout->addWidget(headline);

  auto* grid = new QGridLayout;
  grid->setContentsMargins(12, 0, 0, 0);
  grid->setHorizontalSpacing(12);
  // Each caption names its value for a screen reader ("Version 2.10").
  auto addRow = [&](int row, const char* caption, const std::string& value, const char* name) {
    auto* label = new QLabel(QString::fromLatin1(caption), this);
    QLabel* shown = ValueLabel(value, name, this);
    label->setBuddy(shown);
    grid->addWidget(label, row, 0);
    grid->addWidget(shown, row, 1);
  };
  addRow(0, "Version:", release.version, "version");
  addRow(1, "Release Date:", release.date, "releaseDate");
  grid->setColumnStretch(1, 1);
  layout->addLayout(grid);
  layout->addStretch(1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* now = new QPushButton(QStringLiteral("Download &Now"), this);
  now->setObjectName(QStringLiteral("downloadNow"));
  now->setDefault(true);
  auto* later = new QPushButton(QStringLiteral("Download &Later"), this);
  later->setObjectName(QStringLiteral("downloadLater"));
  buttons->addWidget(now);
  buttons->addWidget(later);
  buttons->addStretch(1);
  layout->addLayout(buttons);

  connect(now, &QPushButton::clicked, this, &CNewReleaseDlg::DownloadNow);
  connect(later, &QPushButton::clicked, this, &QDialog::reject);
  // At least this size, or what the desktop's fonts need.
  setMinimumSize(291, 146);
  setFixedSize(sizeHint().expandedTo(minimumSize()));
}

void CNewReleaseDlg::DownloadNow() {
  QDesktopServices::openUrl(upgradePage_);
  accept();
}

}  // namespace bc
