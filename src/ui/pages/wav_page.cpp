#include "ui/pages/wav_page.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include "config/prompt.h"
#include "ui/pages/waveform_view.h"

namespace bc {

WavReaderPage::WavReaderPage(bool silentAudio, QWidget* parent)
    : QWidget(parent), silentAudio_(silentAudio) {
  setObjectName(QStringLiteral("wavReaderPage"));
  auto* frame = new QGroupBox(QStringLiteral("Playing"), this);
  viewArea_ = new QWidget(frame);
  viewLayout_ = new QVBoxLayout(viewArea_);
  viewLayout_->setContentsMargins(0, 0, 0, 0);
  path_ = new QLineEdit(QString::fromLatin1(kWavPrompt), frame);
  path_->setObjectName(QStringLiteral("wavPath"));
  path_->setReadOnly(true);
  path_->setAccessibleName(QStringLiteral("WAV file being played"));

  // As the Text Reader: the frame at 6, 3 dialog units; the view fills the
  // frame above the path box.
  auto* inner = new QVBoxLayout(frame);
  inner->setContentsMargins(9, 6, 9, 9);
  inner->setSpacing(8);
  inner->addWidget(viewArea_, 1);
  inner->addWidget(path_);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(9, 5, 15, 11);
  outer->addWidget(frame);
}

std::string WavReaderPage::ChooseFile(Prompt& prompt) {
  return prompt.ChooseOpenFile(kWavOpenDialogTitle, kWavFileFilter, kWavFileSuffix);
}

void WavReaderPage::ShowFile(const std::string& path) {
  path_->setText(QString::fromStdString(path));
  CreateView(path);
}

void WavReaderPage::CreateView(const std::string& path) {
  ReleaseView();
  view_ = new CWaveViewCtrl(silentAudio_, viewArea_);
  view_->LoadWave(path);
  connect(view_, &CWaveViewCtrl::PlaybackEnded, this, &WavReaderPage::PlaybackEnded);
  connect(view_, &CWaveViewCtrl::PlayRequested, this, &WavReaderPage::PlayRequested);
  connect(view_, &CWaveViewCtrl::StopRequested, this, &WavReaderPage::StopRequested);
  viewLayout_->addWidget(view_);
  view_->EnsureSelectionAnchor();
  view_->show();
}

void WavReaderPage::ReleaseView() {
  delete view_;  // stops its playback
  view_ = nullptr;
}

void WavReaderPage::ShowPrompt() {
  path_->setText(QString::fromLatin1(kWavPrompt));
}

bool WavReaderPage::HasFile() const {
  const QString text = path_->text();
  return !text.isEmpty() && text != QLatin1String(kWavPrompt);
}

std::string WavReaderPage::Path() const {
  return path_->text().toStdString();
}

}  // namespace bc
