#include "ui/props/account_page.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "config/prompt.h"
#include "config/settings_store.h"
#include "config/text_util.h"
#include "ui/check_tree.h"
#include "ui/props/account_sheet.h"
#include "ui/ui_resources.h"

#include "ui/props/props_widgets.h"

namespace bc {
namespace {

constexpr int kRootImage = 0;
constexpr int kAccountImage = 1;

QIcon EntryIcon(int image) {
  return image == kRootImage ? QApplication::style()->standardIcon(QStyle::SP_DirIcon)
                             : EmbeddedIcon(QStringLiteral("mail_symbol"));
}

}  // namespace

CPropAccount::CPropAccount(const PropsContext& context, std::vector<MailAccount>& accounts,
                           QWidget* parent)
    : PropertyPage(parent), context_(context), accounts_(accounts) {
  tree_ = new CCheckTreeCtrl(this);
  tree_->setObjectName(QStringLiteral("accountTree"));
  tree_->setMinimumSize(260, 200);
  tree_->setAccessibleName(QStringLiteral("Accounts"));
  const ListButtons listButtons = MakeListButtons(this);
  add_ = listButtons.add;
  edit_ = listButtons.edit;
  delete_ = listButtons.del;
  auto* buttons = listButtons.layout;
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(tree_, 1);
  layout->addLayout(buttons);

  connect(add_, &QPushButton::clicked, this, &CPropAccount::Add);
  connect(edit_, &QPushButton::clicked, this, &CPropAccount::Edit);
  connect(delete_, &QPushButton::clicked, this, &CPropAccount::Delete);
  connect(tree_, &QTreeWidget::currentItemChanged, this, &CPropAccount::SelectionChanged);
  connect(tree_, &CCheckTreeCtrl::CheckToggled, this, &CPropAccount::CheckToggled);
  tree_->installEventFilter(this);
  new CurrentEntryAnnouncer(tree_);
}

bool CPropAccount::eventFilter(QObject* watched, QEvent* event) {
  // Entering the list with nothing selected, a keyboard user lands on the
  // first account, whose name and check state a screen reader then says, and
  // which Space, Edit and Delete act on.
  if (watched == tree_ && event->type() == QEvent::FocusIn && tree_->currentItem() == nullptr &&
      root_ != nullptr && root_->childCount() > 0) {
    tree_->setCurrentItem(root_->child(0));
  }
  return PropertyPage::eventFilter(watched, event);
}

void CPropAccount::OnOpen() {
  const QSignalBlocker quiet(tree_);
  tree_->clear();
  root_ = new QTreeWidgetItem(tree_, {QStringLiteral("Mailbox")});
  root_->setIcon(0, EntryIcon(kRootImage));
  for (const MailAccount& account : accounts_) {
    auto* entry = new QTreeWidgetItem(root_, {QString::fromStdString(account.UserName)});
    entry->setIcon(0, EntryIcon(kAccountImage));
    tree_->SetCheck(
        entry, account.CheckMark ? CCheckTreeCtrl::kChecked : CCheckTreeCtrl::kUnchecked, false);
  }
  tree_->SetCheck(root_, CCheckTreeCtrl::kNoBox, false);
  root_->setExpanded(true);
  // No entry is selected yet; the root shows highlighted as where things go.
  tree_->setCurrentItem(nullptr);
  tree_->clearSelection();
  QFont bold = root_->font(0);
  bold.setBold(true);
  root_->setFont(0, bold);
  add_->setEnabled(true);
  edit_->setEnabled(false);
  delete_->setEnabled(false);
}

void CPropAccount::SelectionChanged() {
  QTreeWidgetItem* current = tree_->currentItem();
  if (root_) {
    root_->setFont(0, tree_->font());
  }
  const bool onRoot = current == root_;
  add_->setEnabled(onRoot);
  edit_->setEnabled(current && !onRoot);
  delete_->setEnabled(current && !onRoot);
}

void CPropAccount::CheckToggled() {
  // The entries stand in table order: the i-th entry's box is the i-th account's mark.
  for (int i = 0; i < root_->childCount() && i < static_cast<int>(accounts_.size()); ++i) {
    accounts_[static_cast<size_t>(i)].CheckMark =
        CCheckTreeCtrl::CheckOf(root_->child(i)) != CCheckTreeCtrl::kUnchecked;
  }
}

int CPropAccount::SelectedAccount() {
  QTreeWidgetItem* entry = tree_->currentItem();
  if (!entry || !entry->isSelected()) {
    context_.prompt.ShowMessage("There is no item be selected");
    return -1;
  }
  const int index = entry->parent() == root_ ? root_->indexOfChild(entry) : -1;
  if (index < 0 || index >= static_cast<int>(accounts_.size())) {
    context_.prompt.ShowMessage("There is no account item be selected");
    return -1;
  }
  return index;
}

void CPropAccount::WriteAccountCount() {
  context_.store.WriteValue(kAccountsKey, "Users", std::to_string(accounts_.size()));
  context_.store.Commit();
}

void CPropAccount::Add() {
  if (static_cast<int>(accounts_.size()) >= kMaxAccounts) {
    context_.prompt.ShowMessage("There can be no more than " + std::to_string(kMaxAccounts) +
                                " accounts");
    return;
  }
  AccountSheet sheet(context_, accounts_, this);
  sheet.FillNew(static_cast<int>(accounts_.size()));
  CPropServerInfo* page = sheet.server;
  // What the user typed survives every showing again.
  std::string server, port = kPop3Port, user, password, percent;
  for (;;) {
    page->draft.POP3Server = server;
    page->draft.POP3Port = StoredPort::FromText(port);
    page->draft.UserName = user;
    page->draft.Passwd = password;
    page->draft.Perentage = percent;
    sheet.Prepare();
    const int result = context_.runDialog(sheet);
    if (result == QDialog::Rejected) {
      return;
    }
    if (result != QDialog::Accepted) {
      continue;
    }
    if (page->draft.MailCapUnit.empty()) {
      page->draft.MailCapUnit = "MB";
    }
    server = page->draft.POP3Server;
    port = page->draft.POP3Port.text();
    user = page->draft.UserName;
    password = page->draft.Passwd;
    percent = page->draft.Perentage;
    if (server.empty()) {
      continue;
    }
    if (port.empty()) {
      sheet.SetActivePage(0);
      continue;
    }
    const int portNumber = ParseInt(port);
    if (portNumber < 1 || portNumber > 65535) {
      context_.prompt.ShowMessage("Port field must be a number between 1 to 65535");
      continue;
    }
    if (user.empty() || password.empty()) {
      continue;
    }
    break;
  }
  MailAccount account;
  account.CheckMark = true;
  sheet.StoreInto(account);
  accounts_.push_back(account);
  auto* entry = new QTreeWidgetItem(root_, {QString::fromStdString(account.UserName)});
  entry->setIcon(0, EntryIcon(kAccountImage));
  tree_->SetCheck(entry, CCheckTreeCtrl::kChecked, false);
  root_->setExpanded(true);
  WriteAccountCount();
}

void CPropAccount::Edit() {
  const int index = SelectedAccount();
  if (index < 0) {
    return;
  }
  AccountSheet sheet(context_, accounts_, this);
  sheet.FillFrom(index);
  sheet.Prepare();
  if (context_.runDialog(sheet) != QDialog::Accepted) {
    return;
  }
  MailAccount& account = accounts_[static_cast<size_t>(index)];
  sheet.StoreInto(account);
  root_->child(index)->setText(0, QString::fromStdString(account.UserName));
  root_->setExpanded(true);
}

void CPropAccount::Delete() {
  const int index = SelectedAccount();
  if (index < 0) {
    return;
  }
  accounts_.erase(accounts_.begin() + index);
  delete root_->takeChild(index);
}

}  // namespace bc
