#include "ui/props/field_options.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/prompt.h"
#include "ui/props/mnemonics.h"
#include "ui/props/props_context.h"

namespace bc {
namespace {

std::string& OrderOf(AppOptions& o, FieldSet set) {
  return set == FieldSet::Columns ? o.ColumnOrder : o.SpeakOrder;
}

// The field whose row label is `label` within the set, or -1.
int FieldOfLabel(FieldSet set, const QString& label) {
  for (int i = 0; i < FieldCount(set); ++i) {
    if (label == QString::fromUtf8(FieldLabel(static_cast<Field>(i)))) {
      return i;
    }
  }
  return -1;
}

}  // namespace

const char* FieldLabel(Field field) {
  static constexpr const char* kLabels[kFieldCount] = {
      "From:", "Subject:", "Address:", "Received:", "Size:", "Account:", "Attachment:", "Content:"};
  return kLabels[static_cast<size_t>(field)];
}

std::vector<std::string> FieldRows(FieldSet set, std::string_view orderText) {
  const int n = FieldCount(set);
  const auto positions = ReadPositions(set, orderText);
  std::vector<std::string> rows(static_cast<size_t>(n));
  for (int row = 0; row < n; ++row) {
    for (int i = 0; i < n; ++i) {
      if (positions[static_cast<size_t>(i)] == row) {
        rows[static_cast<size_t>(row)] = FieldLabel(static_cast<Field>(i));
        break;
      }
    }
  }
  return rows;
}

FieldOptionsDlg::FieldOptionsDlg(FieldSet set, AppOptions& options, bool selectAll, Prompt& prompt,
                                 QWidget* parent)
    : QDialog(parent), set_(set), options_(options), prompt_(prompt), selectAll_(selectAll) {
  const bool columns = set == FieldSet::Columns;
  setWindowTitle(columns ? QStringLiteral("Envelope Options")
                         : QStringLiteral("Email Speech Options"));
  setModal(true);

  auto* group = new QGroupBox(
      columns ? QStringLiteral("Envelope Selections") : QStringLiteral("Speech Selections"), this);
  selectAllBox_ =
      new QCheckBox(columns ? QStringLiteral("Select All") : QStringLiteral("Select all"), group);
  selectAllBox_->setObjectName(QStringLiteral("selectAllCheck"));
  list_ = new QListWidget(group);
  list_->setObjectName(QStringLiteral("fieldList"));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setMinimumSize(170, 170);
  list_->setAccessibleName(group->title());
  auto* groupLayout = new QVBoxLayout(group);
  groupLayout->addWidget(selectAllBox_);
  groupLayout->addWidget(list_);

  // Made in Tab order: the list's own buttons before OK and Cancel.
  up_ = new QPushButton(QStringLiteral("Up"), this);
  up_->setObjectName(QStringLiteral("upButton"));
  down_ = new QPushButton(QStringLiteral("Down"), this);
  down_->setObjectName(QStringLiteral("downButton"));
  auto* ok = ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  auto* cancel = cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("cancelButton"));
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addSpacing(16);
  buttons->addWidget(up_);
  buttons->addWidget(down_);
  buttons->addStretch();

  mainLayout_ = new QVBoxLayout;
  mainLayout_->addWidget(group, 1);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(mainLayout_, 1);
  layout->addLayout(buttons);

  const int n = FieldCount(set);
  const std::vector<std::string> rows = FieldRows(set, OrderOf(options_, set));
  // The rows show what is stored, and "Select All" is ticked only when they all
  // are: an empty select-all memory (a first start) must not tick every row
  // while no field is chosen.
  bool allOn = true;
  for (int row = 0; row < n; ++row) {
    auto* item = new QListWidgetItem(QString::fromUtf8(rows[static_cast<size_t>(row)]), list_);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    const int field = FieldOfLabel(set, item->text());
    const bool on = field >= 0 && FieldFlag(options_, set, static_cast<Field>(field)) != 0;
    item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    allOn = allOn && on;
  }
  selectAll_ = selectAll_ && allOn;
  up_->setEnabled(false);
  down_->setEnabled(true);
  selectAllBox_->setChecked(selectAll_);
  if (columns) {
    // Chosen by the program, not by the user: no selection-change rules run.
    const QSignalBlocker quiet(list_);
    list_->setCurrentRow(0);
  }

  connect(ok, &QPushButton::clicked, this, &FieldOptionsDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &FieldOptionsDlg::reject);
  connect(up_, &QPushButton::clicked, this, &FieldOptionsDlg::MoveUp);
  connect(down_, &QPushButton::clicked, this, &FieldOptionsDlg::MoveDown);
  connect(list_, &QListWidget::itemSelectionChanged, this, &FieldOptionsDlg::UpdateControls);
  connect(selectAllBox_, &QCheckBox::clicked, this, &FieldOptionsDlg::SelectAllClicked);
}

void FieldOptionsDlg::Move(int step) {
  QListWidgetItem* current = list_->currentItem();
  if (!current || !current->isSelected()) {
    prompt_.ShowMessage("There is no item be selected");
    return;
  }
  const int from = list_->row(current);
  const int to = from + step;
  if (to < 0 || to >= list_->count()) {
    return;
  }
  {
    const QSignalBlocker quiet(list_);
    QListWidgetItem* item = list_->takeItem(from);
    list_->insertItem(to, item);
    item->setCheckState(Qt::Checked);
    list_->setCurrentItem(item);
  }
  UpdateControls();
}

void FieldOptionsDlg::UpdateControls() {
  const int n = list_->count();
  QListWidgetItem* current = list_->currentItem();
  const int s = current && current->isSelected() ? list_->row(current) : -1;
  if (s == 0) {
    up_->setEnabled(false);
    down_->setEnabled(true);
  } else if (s > 0) {
    up_->setEnabled(true);
    down_->setEnabled(s + 1 != n);
  }
  for (int i = 0; i < n; ++i) {
    if (list_->item(i)->checkState() != Qt::Checked) {
      selectAllBox_->setChecked(false);
      break;
    }
  }
}

void FieldOptionsDlg::SelectAllClicked(bool checked) {
  for (int i = 0; i < list_->count(); ++i) {
    list_->item(i)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
  }
}

void FieldOptionsDlg::accept() {
  selectAll_ = selectAllBox_->isChecked();
  StoreRows(options_);
  AcceptExtra();
  QDialog::accept();
}

void FieldOptionsDlg::StoreRows(AppOptions& options) const {
  const int n = list_->count();
  std::array<int, kFieldCount> positions;
  positions.fill(-1);
  std::vector<int> emptyRows;
  for (int row = 0; row < n; ++row) {
    QListWidgetItem* item = list_->item(row);
    const int field = FieldOfLabel(set_, item->text());
    if (field < 0) {
      emptyRows.push_back(row);
      continue;
    }
    positions[static_cast<size_t>(field)] = row;
    options.*FlagMember(set_, static_cast<Field>(field)) =
        item->checkState() == Qt::Checked ? 1 : 0;
  }
  // A field the stored text left without a row (missing key, position out of
  // range or taken) goes to an empty row, its flag unchanged: every key is
  // written again, at a position a later opening shows.
  size_t next = 0;
  for (int field = 0; field < n && next < emptyRows.size(); ++field) {
    if (positions[static_cast<size_t>(field)] < 0) {
      positions[static_cast<size_t>(field)] = emptyRows[next++];
    }
  }
  OrderOf(options, set_) = BuildOrderText(set_, positions);
}

void FieldOptionsDlg::PlaceBeforeOk(QWidget* field) {
  setTabOrder(field, ok_);
  setTabOrder(ok_, cancel_);
}

CEnvelopeOptionsDlg::CEnvelopeOptionsDlg(AppOptions& options, bool selectAll, Prompt& prompt,
                                         QWidget* parent)
    : FieldOptionsDlg(FieldSet::Columns, options, selectAll, prompt, parent) {
  AssignMnemonics(this);
}

CSpeechOptionsDlg::CSpeechOptionsDlg(AppOptions& options, bool selectAll, Prompt& prompt,
                                     VoiceSelector& voices, QWidget* parent)
    : FieldOptionsDlg(FieldSet::Speech, options, selectAll, prompt, parent), voices_(voices) {
  auto* label = new QLabel(QStringLiteral("Voice:"), this);
  voice_ = new QComboBox(this);
  voice_->setObjectName(QStringLiteral("voiceCombo"));
  voice_->setEditable(false);
  label->setBuddy(voice_);
  const std::string current = voices_.CurrentVoice();
  int selected = 0;
  for (const VoiceInfo& voice : voices_.Voices()) {
    if (voice.id == current) {
      selected = voice_->count();
    }
    voice_->addItem(QString::fromStdString(VoiceDescription(voice)),
                    QString::fromStdString(voice.id));
  }
  // The voice in use is the one shown first chosen.
  voice_->setCurrentIndex(voice_->count() > 0 ? selected : -1);
  auto* line = new QHBoxLayout;
  line->addWidget(label);
  line->addWidget(voice_, 1);
  mainLayout_->addLayout(line);
  PlaceBeforeOk(voice_);
  AssignMnemonics(this);
}

void CSpeechOptionsDlg::AcceptExtra() {
  if (voice_->currentIndex() < 0) {
    return;
  }
  voices_.MakeDefault(voice_->currentData().toString().toStdString());
}

}  // namespace bc
