#include "ui/props/sender_pages.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "config/prompt.h"
#include "ui/props/mnemonics.h"
#include "ui/props/sender_list_text.h"

#include "ui/props/props_widgets.h"

namespace bc {
namespace {

// Where a page's list and check boxes live in an account (nullptr: no such box).
struct AccountValues {
  std::string MailAccount::*list;
  bool MailAccount::*flags[2];
};

const AccountValues& ValuesOf(SenderListPage::Kind kind) {
  static const AccountValues kApproved{&MailAccount::ApproveSender,
                                       {&MailAccount::ExclusiveApproved, nullptr}};
  static const AccountValues kBlocked{&MailAccount::BlockSender,
                                      {&MailAccount::DeleteBlocked, nullptr}};
  static const AccountValues kFilter{&MailAccount::Filter,
                                     {&MailAccount::FilterSubject, &MailAccount::FilterContent}};
  switch (kind) {
    case SenderListPage::Kind::Approved:
      return kApproved;
    case SenderListPage::Kind::Blocked:
      return kBlocked;
    case SenderListPage::Kind::Filter:
      break;
  }
  return kFilter;
}

}  // namespace

void SenderListPage::FillFrom(const MailAccount& account) {
  const AccountValues& values = ValuesOf(kind_);
  listText = account.*values.list;
  for (size_t i = 0; i < 2; ++i) {
    flags[i] = values.flags[i] ? account.*values.flags[i] : false;
  }
  deleteInvalidSenders = account.DeleteInvalidSenders;
}

void SenderListPage::StoreInto(MailAccount& account) const {
  const AccountValues& values = ValuesOf(kind_);
  account.*values.list = listText;
  for (size_t i = 0; i < 2; ++i) {
    if (values.flags[i]) {
      account.*values.flags[i] = flags[i];
    }
  }
  if (kind_ == Kind::Blocked) {
    account.DeleteInvalidSenders = deleteInvalidSenders;
  }
}

namespace {

struct PageTexts {
  const char* listLabel;
  const char* box1;
  const char* box2;  // nullptr: one box only
};

PageTexts TextsOf(SenderListPage::Kind kind) {
  switch (kind) {
    case SenderListPage::Kind::Approved:
      return {"Approved Senders:", "Exclusively Allow APPROVED Messages, Others Are Spams",
              nullptr};
    case SenderListPage::Kind::Blocked:
      return {"Blocked Senders:", "Automatically Delete BLOCKED Messages", nullptr};
    case SenderListPage::Kind::Filter:
      break;
  }
  return {"Customized Anti-Spam List:", "Check Subject", "Check Content"};
}

}  // namespace

CSenderInfoDlg::CSenderInfoDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Sender Information"));
  setModal(true);
  auto* label = new QLabel(QStringLiteral("Sender's Email Address or Domain Name:"), this);
  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("senderEdit"));
  label->setBuddy(edit_);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole)
      ->setObjectName(QStringLiteral("cancelButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(edit_);
  layout->addStretch();
  layout->addWidget(buttons);
  setMinimumWidth(320);
  AssignMnemonics(this);
}

void CSenderInfoDlg::SetText(const std::string& text) {
  edit_->setText(Q(text));
}

std::string CSenderInfoDlg::Text() const {
  return edit_->text().toStdString();
}

SenderListPage::SenderListPage(Kind kind, const PropsContext& context, SenderWorkingCopies& copies,
                               QWidget* parent)
    : PropertyPage(parent), kind_(kind), context_(context), copies_(copies) {
  const PageTexts texts = TextsOf(kind);
  auto* label = new QLabel(QString::fromUtf8(texts.listLabel), this);
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("senderList"));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  new CurrentEntryAnnouncer(list_);
  label->setBuddy(list_);
  // List views take no name from their label's buddy.
  list_->setAccessibleName(QString::fromUtf8(texts.listLabel).chopped(1));
  const ListButtons listButtons = MakeListButtons(this);
  add_ = listButtons.add;
  edit_ = listButtons.edit;
  delete_ = listButtons.del;
  auto* buttons = listButtons.layout;

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(20, 10, 20, 10);
  grid->addWidget(label, 0, 0);
  grid->addWidget(list_, 1, 0);
  grid->addLayout(buttons, 1, 1);
  const char* boxTexts[2] = {texts.box1, texts.box2};
  for (int i = 0; i < 2 && boxTexts[i]; ++i) {
    boxes_[i] = new QCheckBox(QString::fromUtf8(boxTexts[i]), this);
    boxes_[i]->setObjectName(QStringLiteral("checkBox%1").arg(i + 1));
    grid->addWidget(boxes_[i], 2 + i, 0, 1, 2);
  }
  if (kind == Kind::Blocked) {
    // A rule of its own, whatever the list holds: never disabled with it.
    invalidSenders_ =
        new QCheckBox(QStringLiteral("Delete messages whose sender address is not valid"), this);
    invalidSenders_->setObjectName(QStringLiteral("invalidSendersBox"));
    grid->addWidget(invalidSenders_, 4, 0, 1, 2);
  }
  grid->setColumnStretch(0, 1);
  grid->setRowStretch(1, 1);
  list_->setMinimumSize(260, 150);

  connect(add_, &QPushButton::clicked, this, &SenderListPage::Add);
  connect(edit_, &QPushButton::clicked, this, &SenderListPage::Edit);
  connect(delete_, &QPushButton::clicked, this, &SenderListPage::Delete);
  connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
    if (!list_->selectedItems().isEmpty()) {
      add_->setEnabled(true);
      edit_->setEnabled(true);
      delete_->setEnabled(true);
    }
  });
}

std::string* SenderListPage::OwnCopy() {
  switch (kind_) {
    case Kind::Approved:
      return &copies_.approved;
    case Kind::Blocked:
      return &copies_.blocked;
    case Kind::Filter:
      break;
  }
  return nullptr;
}

std::string* SenderListPage::OtherCopy() {
  switch (kind_) {
    case Kind::Approved:
      return &copies_.blocked;
    case Kind::Blocked:
      return &copies_.approved;
    case Kind::Filter:
      break;
  }
  return nullptr;
}

void SenderListPage::Fill() {
  QStringList entries;
  for (const std::string& entry : SplitEntries(listText)) {
    entries.push_back(Q(entry));
  }
  // The list box sorts as it is filled, without regard to case.
  std::stable_sort(entries.begin(), entries.end(), [](const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) < 0;
  });
  list_->clear();
  list_->addItems(entries);
  // A current entry, not a selected one: Orca reads it when the list gets the
  // focus, and Edit and Delete still wait for a selection.
  if (list_->count() > 0) {
    list_->setCurrentRow(0, QItemSelectionModel::NoUpdate);
  }
  add_->setEnabled(true);
  edit_->setEnabled(false);
  delete_->setEnabled(false);
}

void SenderListPage::UpdateCheckBoxes() {
  for (QCheckBox* box : boxes_) {
    if (box) {
      box->setEnabled(list_->count() > 0);
    }
  }
}

void SenderListPage::OnOpen() {
  Fill();
  UpdateCheckBoxes();
  if (std::string* own = OwnCopy()) {
    *own = listText;
  }
}

void SenderListPage::OnActivate() {
  // An entry the other page moved out of this list while this one was hidden
  // is gone from the working copy; take the list from there.
  if (std::string* own = OwnCopy()) {
    listText = *own;
  }
  Fill();
  UpdateCheckBoxes();
  for (int i = 0; i < 2; ++i) {
    if (boxes_[i]) {
      boxes_[i]->setChecked(flags[i]);
    }
  }
  if (invalidSenders_) {
    invalidSenders_->setChecked(deleteInvalidSenders);
  }
}

void SenderListPage::SaveControls() {
  for (int i = 0; i < 2; ++i) {
    if (boxes_[i]) {
      flags[i] = boxes_[i]->isChecked();
    }
  }
  if (invalidSenders_) {
    deleteInvalidSenders = invalidSenders_->isChecked();
  }
}

bool SenderListPage::AskEntry(std::string& text) {
  CSenderInfoDlg dialog(this);
  dialog.SetText(text);
  if (context_.runDialog(dialog) != QDialog::Accepted) {
    return false;
  }
  text = CleanEntryText(dialog.Text());
  return true;
}

void SenderListPage::Add() {
  std::string entry;
  if (!AskEntry(entry)) {
    UpdateCheckBoxes();
    return;
  }
  if (entry.empty() || HasEntry(listText, entry)) {
    return;
  }
  if (listText.size() + entry.size() > kMaxListText - 1) {
    context_.prompt.ShowMessage("There are too much items");
    return;
  }
  listText += entry + ";";
  list_->addItem(Q(entry));
  if (KeepsApart()) {
    RemoveEntry(*OtherCopy(), entry);
    *OwnCopy() = listText;
  }
  UpdateCheckBoxes();
}

void SenderListPage::Edit() {
  QListWidgetItem* item = list_->currentItem();
  if (!item || !item->isSelected()) {
    return;
  }
  const std::string oldEntry = item->text().toStdString();
  std::string entry = oldEntry;
  if (!AskEntry(entry)) {
    return;
  }
  if (HasEntry(listText, entry)) {
    return;
  }
  if (KeepsApart() && !entry.empty()) {
    RemoveEntry(*OtherCopy(), entry);
  }
  ReplaceEntry(listText, oldEntry, entry);
  const int row = list_->row(item);
  delete list_->takeItem(row);
  if (!entry.empty()) {
    list_->insertItem(row, Q(entry));
  }
  if (KeepsApart()) {
    *OwnCopy() = listText;
  }
  UpdateCheckBoxes();
}

void SenderListPage::Delete() {
  QListWidgetItem* item = list_->currentItem();
  if (!item || !item->isSelected()) {
    return;
  }
  const std::string entry = item->text().toStdString();
  ReplaceEntry(listText, entry, "");
  const int row = list_->row(item);
  delete list_->takeItem(row);
  list_->clearSelection();
  if (list_->count() > 0) {
    list_->setCurrentRow(std::min(row, list_->count() - 1), QItemSelectionModel::NoUpdate);
  }
  if (KeepsApart()) {
    *OwnCopy() = listText;
  }
  UpdateCheckBoxes();
}

}  // namespace bc
