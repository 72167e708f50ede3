#include "ui/props/option_pages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "config/prompt.h"
#include "config/text_util.h"
#include "ui/desktop_notice.h"
#include "ui/props/field_options.h"

#include "ui/props/props_widgets.h"

namespace bc {
namespace {

QCheckBox* Check(QWidget* parent, const char* text, const char* name) {
  auto* box = new QCheckBox(QString::fromUtf8(text), parent);
  box->setObjectName(QString::fromUtf8(name));
  return box;
}

// A combo box on Linux is named by its entry; Orca says what it is for from the
// label tied to it. These have none on screen (the check box before them says
// it), so they get one that is never shown.
void CaptionForScreenReaders(QWidget* parent, const char* caption, QComboBox* box) {
  auto* label = new QLabel(QString::fromUtf8(caption), parent);
  label->setBuddy(box);
  label->hide();
}

// The entries of the lines list: "All", then "1" to "10", so an entry's index
// is the number it stands for.
constexpr int kLineEntries = 11;

// The texts of the check period's units, in the order of FreqUnit.
constexpr const char* kUnitTexts[3] = {"Second", "Minute", "Hour"};

// The unit of a unit text; none for a text the user typed (the caller keeps
// the unit it has).
std::optional<FreqUnit> FreqUnitOfText(const std::string& unitText) {
  for (int i = 0; i < 3; ++i) {
    if (unitText == kUnitTexts[i]) {
      return static_cast<FreqUnit>(i);
    }
  }
  return std::nullopt;
}

// The index of the unit list shown for a stored unit; -1 for none. Read as a
// number, not as the unit it names: a unit typed into the file ("", "00", "02")
// still shows one.
int ShownUnitIndex(const StoredFreqUnit& freqUnit) {
  const int index = ParseInt(freqUnit.text());
  return index >= 0 && index < 3 ? index : -1;
}

// The unit text shown for a stored unit, empty for none.
std::string UnitTextOf(const StoredFreqUnit& freqUnit) {
  const int index = ShownUnitIndex(freqUnit);
  return index >= 0 ? kUnitTexts[index] : std::string();
}

bool IsLinesEntry(const std::string& text) {
  if (text == "All") {
    return true;
  }
  for (int n = 1; n < kLineEntries; ++n) {
    if (text == std::to_string(n)) {
      return true;
    }
  }
  return false;
}

// The notice style entries, in this order, and the text each one stores.
constexpr const char* kNoticeStyleTexts[] = {"", kNoticeStyleOwnWindow, kNoticeStyleDesktop};

int NoticeStyleEntry(const std::string& stored) {
  for (int i = 1; i < 3; ++i) {
    if (stored == kNoticeStyleTexts[i]) {
      return i;
    }
  }
  return 0;  // empty or unknown: automatic
}

}  // namespace

CPropGeneral::CPropGeneral(const PropsContext& context, OptionsDraft& options, QWidget* parent)
    : PropertyPage(parent), context_(context), options_(options) {
  display_ = Check(this, "Display Envelope Information", "displayEnvelopeCheck");
  run_ = Check(this, "Run Brindlecast on Linux Startup", "runOnStartupCheck");
  log_ = Check(this, "Log Deleted Email Information", "logDeletedCheck");
  show_ = Check(this, "Show Tool Tips", "showToolTipsCheck");
  envelope_ = new QPushButton(QStringLiteral("Envelope Options"), this);
  envelope_->setObjectName(QStringLiteral("envelopeOptionsButton"));
  noticeStyle_ = new QComboBox(this);
  noticeStyle_->setObjectName(QStringLiteral("noticeStyleCombo"));
  // Automatic names what it picks here, so the user sees what the default does.
  noticeStyle_->addItem(IsWaylandSession()
                            ? QStringLiteral("Automatic (desktop notifications on Wayland)")
                            : QStringLiteral("Automatic (Brindlecast window on X11)"));
  noticeStyle_->addItem(QStringLiteral("Brindlecast window"));
  noticeStyle_->addItem(QStringLiteral("Desktop notifications"));
  auto* noticeLabel = new QLabel(QStringLiteral("Show Notices As"), this);
  noticeLabel->setBuddy(noticeStyle_);
  auto* noticeRow = new QHBoxLayout;
  noticeRow->addWidget(noticeLabel);
  noticeRow->addWidget(noticeStyle_);
  noticeRow->addStretch(1);

  remember_ = Check(this, "Check only new messages and remember them after Brindlecast ends",
                    "rememberMailCheck");
  countOver_ = Check(this, "When more than", "announceCountOverCheck");
  countOverValue_ = new QSpinBox(this);
  countOverValue_->setObjectName(QStringLiteral("announceCountOverSpin"));
  countOverValue_->setRange(1, 999999);
  countOverValue_->setAccessibleName(QStringLiteral("Messages announced one by one at most"));
  auto* countRow = new QHBoxLayout;
  countRow->addWidget(countOver_);
  countRow->addWidget(countOverValue_);
  countRow->addWidget(new QLabel(QStringLiteral("messages are new, announce how many"), this));
  countRow->addStretch(1);
  connect(countOver_, &QCheckBox::toggled, countOverValue_, &QWidget::setEnabled);

  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(20, 16, 20, 16);
  layout->addWidget(display_, 0, 0);
  layout->addWidget(envelope_, 0, 1);
  layout->addWidget(run_, 1, 0);
  layout->addWidget(log_, 2, 0);
  layout->addWidget(show_, 3, 0);
  layout->addLayout(noticeRow, 4, 0, 1, 2);
  layout->addWidget(remember_, 5, 0, 1, 2);
  layout->addLayout(countRow, 6, 0, 1, 2);
  layout->setRowStretch(7, 1);
  layout->setColumnStretch(0, 1);

  connect(display_, &QCheckBox::clicked, this, [this] {
    AppOptions& o = options_.draft;
    o.ShowEnvelopeInfo = !o.ShowEnvelopeInfo;
    envelope_->setEnabled(o.ShowEnvelopeInfo);
  });
  connect(envelope_, &QPushButton::clicked, this, &CPropGeneral::OpenEnvelopeOptions);
}

void CPropGeneral::OnOpen() {
  const AppOptions& o = options_.draft;
  display_->setChecked(o.ShowEnvelopeInfo);
  run_->setChecked(o.RunOnStart);
  log_->setChecked(o.LogDeleted);
  show_->setChecked(o.ShowToolTip);
  envelope_->setEnabled(display_->isChecked());
  noticeStyle_->setCurrentIndex(NoticeStyleEntry(o.NoticeStyle));
  remember_->setChecked(o.RememberMail == "1");
  const int countOver = ParseInt(o.AnnounceCountOver);
  countOver_->setChecked(countOver > 0);
  countOverValue_->setValue(countOver > 0 ? countOver : 100);
  countOverValue_->setEnabled(countOver > 0);
}

void CPropGeneral::SaveControls() {
  AppOptions& o = options_.draft;
  o.ShowEnvelopeInfo = display_->isChecked();
  o.RunOnStart = run_->isChecked();
  o.LogDeleted = log_->isChecked();
  o.ShowToolTip = show_->isChecked();
  // An unknown stored style is kept unless the user picks another entry.
  if (const int entry = noticeStyle_->currentIndex(); entry != NoticeStyleEntry(o.NoticeStyle)) {
    o.NoticeStyle = kNoticeStyleTexts[entry];
  }
  // Stored texts are kept unless the user changed what they mean.
  if (remember_->isChecked() != (o.RememberMail == "1")) {
    o.RememberMail = remember_->isChecked() ? "1" : "0";
  }
  const int countOver = countOver_->isChecked() ? countOverValue_->value() : 0;
  if (countOver != std::max(0, ParseInt(o.AnnounceCountOver))) {
    o.AnnounceCountOver = std::to_string(countOver);
  }
}

void CPropGeneral::OpenEnvelopeOptions() {
  CEnvelopeOptionsDlg dialog(options_.draft, options_.draft.AllEnvelopeInfo != "0", context_.prompt,
                             this);
  if (context_.runDialog(dialog) == QDialog::Accepted) {
    options_.AtOnce([&](AppOptions& o) {
      dialog.StoreRows(o);
      o.AllEnvelopeInfo = FlagText(dialog.SelectAll());
    });
  }
}

CPropNotification::CPropNotification(const PropsContext& context, OptionsDraft& options,
                                     QWidget* parent)
    : PropertyPage(parent),
      context_(context),
      options_(options),
      unitText_(UnitTextOf(options.draft.FreqUnit)) {
  checkMail_ = Check(this, "Check New Email Every", "checkMailCheck");
  freq_ = new QLineEdit(this);
  freq_->setObjectName(QStringLiteral("freqEdit"));
  freq_->setMaximumWidth(60);
  unit_ = new QComboBox(this);
  unit_->setObjectName(QStringLiteral("unitCombo"));
  unit_->setEditable(true);
  freq_->setAccessibleName(QStringLiteral("Check period"));
  CaptionForScreenReaders(this, "Check period unit", unit_);
  for (const char* text : kUnitTexts) {
    unit_->addItem(QString::fromUtf8(text));
  }

  auto* group = new QGroupBox(QStringLiteral("Notification"), this);
  const char* radioTexts[3] = {"New Email Speech Notification", "Wav file", "None"};
  const char* radioNames[3] = {"speechRadio", "wavRadio", "noneRadio"};
  methods_ = new QButtonGroup(this);
  for (int i = 0; i < 3; ++i) {
    radios_[i] = new QRadioButton(QString::fromUtf8(radioTexts[i]), group);
    radios_[i]->setObjectName(QString::fromUtf8(radioNames[i]));
    methods_->addButton(radios_[i], i);
  }
  options_button_ = new QPushButton(QStringLiteral("Options..."), group);
  options_button_->setObjectName(QStringLiteral("optionsButton"));
  wav_ = new QLineEdit(group);
  wav_->setObjectName(QStringLiteral("wavEdit"));
  wav_->setMinimumWidth(220);
  wav_->setAccessibleName(QStringLiteral("WAV file"));
  browse_ = new QPushButton(QStringLiteral("Browse..."), group);
  browse_->setObjectName(QStringLiteral("browseButton"));
  auto* groupLayout = new QGridLayout(group);
  groupLayout->addWidget(radios_[0], 0, 0);
  groupLayout->addWidget(options_button_, 0, 2);
  groupLayout->addWidget(radios_[1], 1, 0);
  groupLayout->addWidget(wav_, 1, 1);
  groupLayout->addWidget(browse_, 1, 2);
  groupLayout->addWidget(radios_[2], 2, 0);
  groupLayout->setColumnStretch(1, 1);

  readLines_ = Check(this, "Read Number of Lines from Email Content", "readLinesCheck");
  lines_ = new QComboBox(this);
  lines_->setObjectName(QStringLiteral("linesCombo"));
  lines_->setEditable(true);
  CaptionForScreenReaders(this, "Number of lines to read", lines_);
  lines_->addItem(QStringLiteral("All"));
  for (int n = 1; n < kLineEntries; ++n) {
    lines_->addItem(QString::number(n));
  }

  auto* period = new QHBoxLayout;
  period->addWidget(checkMail_);
  period->addWidget(freq_);
  period->addWidget(unit_);
  period->addStretch();
  auto* lines = new QHBoxLayout;
  lines->addWidget(readLines_);
  lines->addWidget(lines_);
  lines->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(20, 16, 20, 16);
  layout->addLayout(period);
  layout->addWidget(group);
  layout->addLayout(lines);
  layout->addStretch();

  connect(checkMail_, &QCheckBox::clicked, this, &CPropNotification::CheckMailClicked);
  connect(readLines_, &QCheckBox::clicked, this, &CPropNotification::ReadLinesClicked);
  connect(methods_, &QButtonGroup::idClicked, this, &CPropNotification::MethodClicked);
  // Tab enters the group at the chosen button, as in other desktop programs;
  // the arrow keys move among the buttons.
  connect(methods_, &QButtonGroup::buttonToggled, this, [this] {
    const bool anyChecked = methods_->checkedButton() != nullptr;
    for (QRadioButton* radio : radios_) {
      radio->setFocusPolicy(!anyChecked || radio->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    }
  });
  connect(options_button_, &QPushButton::clicked, this, &CPropNotification::OpenSpeechOptions);
  connect(browse_, &QPushButton::clicked, this, &CPropNotification::Browse);
}

void CPropNotification::EnableMethodCompanions(int index) {
  options_button_->setEnabled(index == 0);
  wav_->setEnabled(index == 1);
  browse_->setEnabled(index == 1);
}

void CPropNotification::OnOpen() {
  const AppOptions& o = options_.draft;
  checkMail_->setChecked(o.CheckMail != 0);
  wav_->setText(Q(o.wavFile));
  readLines_->setChecked(o.CheckLines != 0);
  const int method = o.NotificationMethod;
  methods_->setExclusive(false);
  for (int i = 0; i < 3; ++i) {
    radios_[i]->setChecked(i == method);
  }
  methods_->setExclusive(true);
  if (method >= 0 && method < 3) {
    EnableMethodCompanions(method);
    // Only the WAV choice keeps its path: with the others the box starts
    // empty, and OK stores what it holds.
    if (method != 1) {
      wav_->clear();
    }
  }

  unit_->setCurrentIndex(ShownUnitIndex(o.FreqUnit));
  if (o.CheckMail != 0) {
    freq_->setText(Q(o.Freq));
  } else {
    freq_->clear();
  }
  freq_->setEnabled(o.CheckMail != 0);
  unit_->setEnabled(o.CheckMail != 0);

  const int linesIndex = ParseInt(o.ComboLines);
  if (linesIndex >= 0 && linesIndex < kLineEntries) {
    lines_->setCurrentIndex(linesIndex);
  } else {
    // A number the user typed beyond the list stays as typed.
    lines_->setCurrentIndex(-1);
    lines_->setEditText(Q(o.ComboLines));
  }
  lines_->setEnabled(o.CheckLines != 0);
}

void CPropNotification::SaveControls() {
  AppOptions& o = options_.draft;
  o.CheckMail = checkMail_->isChecked() ? 1 : 0;
  o.Freq = S(freq_->text());
  if (methods_->checkedId() >= 0) {
    o.NotificationMethod = methods_->checkedId();
  }
  o.wavFile = S(wav_->text());
  o.CheckLines = readLines_->isChecked() ? 1 : 0;
  unitText_ = S(unit_->currentText());
  o.ComboLines = S(lines_->currentText());
}

void CPropNotification::OnOk() {
  AppOptions& o = options_.draft;
  o.CheckMail = o.CheckMail != 0 ? 1 : 0;
  o.CheckLines = o.CheckLines != 0 ? 1 : 0;
  if (const auto unit = FreqUnitOfText(unitText_)) {
    o.FreqUnit = *unit;
  }
}

void CPropNotification::MethodClicked(int index) {
  options_.draft.NotificationMethod = index;
  EnableMethodCompanions(index);
}

void CPropNotification::CheckMailClicked() {
  AppOptions& o = options_.draft;
  // Switching undoes an edit of the period made since the page was last left.
  freq_->setText(freq_->text().isEmpty() ? QStringLiteral("10") : Q(o.Freq));
  if (o.CheckMail != 0) {
    o.CheckMail = 0;
    freq_->setEnabled(false);
    unit_->setEnabled(false);
    return;
  }
  o.CheckMail = 1;
  freq_->setEnabled(true);
  unit_->setEnabled(true);
  if (unit_->currentIndex() >= 0) {
    if (const auto unit = FreqUnitOfText(S(unit_->itemText(unit_->currentIndex())))) {
      options_.AtOnce([&](AppOptions& a) { a.FreqUnit = *unit; });
    }
  }
}

void CPropNotification::ReadLinesClicked() {
  AppOptions& o = options_.draft;
  if (o.CheckLines != 0) {
    o.CheckLines = 0;
    lines_->setEnabled(false);
    return;
  }
  o.CheckLines = 1;
  lines_->setEnabled(true);
  if (lines_->currentIndex() >= 0) {
    const std::string text = S(lines_->itemText(lines_->currentIndex()));
    if (IsLinesEntry(text)) {
      options_.AtOnce([&](AppOptions& a) { a.ComboLines = text; });
    }
  }
}

void CPropNotification::OpenSpeechOptions() {
  CSpeechOptionsDlg dialog(options_.draft, options_.draft.AllSpeakInfo != "0", context_.prompt,
                           context_.voices, this);
  if (context_.runDialog(dialog) == QDialog::Accepted) {
    options_.AtOnce([&](AppOptions& o) {
      dialog.StoreRows(o);
      o.AllSpeakInfo = FlagText(dialog.SelectAll());
    });
  }
}

void CPropNotification::Browse() {
  const std::string path = context_.prompt.ChooseOpenFile("Open", "WAV (*.wav)", "wav");
  if (path.empty()) {
    return;
  }
  options_.AtOnce([&](AppOptions& o) { o.wavFile = path; });
  wav_->setText(Q(path));
}

}  // namespace bc
