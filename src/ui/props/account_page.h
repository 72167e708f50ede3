#pragma once

#include <vector>

#include "config/settings.h"
#include "ui/props/property_sheet.h"
#include "ui/props/props_context.h"

class QPushButton;
class QTreeWidgetItem;

namespace bc {

class CCheckTreeCtrl;

/// "Account": the accounts as a tree under "Mailbox", each with a check box
/// that switches the account's CheckMark at once, and "Add", "Edit", "Delete".
/// Every change goes to `accounts` at once; the settings file follows with the
/// next save of all settings, except the account count, which Add writes at once.
///
/// The entries under the root stand in table order, and an entry stands for the
/// account at its own position (two accounts may share a user name).
///
/// Object names: "accountTree", "addButton", "editButton", "deleteButton".
class CPropAccount : public PropertyPage {
  Q_OBJECT

 public:
  CPropAccount(const PropsContext& context, std::vector<MailAccount>& accounts,
               QWidget* parent = nullptr);

  void Add();
  void Edit();
  void Delete();

  [[nodiscard]] CCheckTreeCtrl* tree() const { return tree_; }
  [[nodiscard]] QTreeWidgetItem* root() const { return root_; }

 protected:
  void OnOpen() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The account index of the selected entry; -1 after telling the user why not.
  int SelectedAccount();
  void SelectionChanged();
  void CheckToggled();
  void WriteAccountCount();

  const PropsContext& context_;
  std::vector<MailAccount>& accounts_;
  CCheckTreeCtrl* tree_ = nullptr;
  QTreeWidgetItem* root_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* edit_ = nullptr;
  QPushButton* delete_ = nullptr;
};

}  // namespace bc
