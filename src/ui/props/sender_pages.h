#pragma once

#include <QDialog>
#include <string>

#include "config/settings.h"
#include "ui/props/property_sheet.h"
#include "ui/props/props_context.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace bc {

/// "Sender Information": one line of text, no validation. Object names:
/// "senderEdit", "okButton", "cancelButton".
class CSenderInfoDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CSenderInfoDlg(QWidget* parent = nullptr);
  void SetText(const std::string& text);
  [[nodiscard]] std::string Text() const;

 private:
  QLineEdit* edit_ = nullptr;
};

/// The texts that keep an account's approved and blocked lists apart while its
/// "Account Properties" sheet runs: each of the two pages writes its own and
/// takes entries out of the other's.
struct SenderWorkingCopies {
  std::string approved;
  std::string blocked;
};

/// A page of an account's sender or filter list: the list, "Add", "Edit",
/// "Delete" and one or two check boxes that are enabled exactly when the list
/// has entries (a disabled box keeps its state). The list shows its entries
/// sorted when the page opens or becomes active; entries added since go to the
/// end.
///
/// Members: listText (entries each followed by ";") and flags[0], flags[1] (the
/// check boxes). Object names: "senderList", "addButton", "editButton",
/// "deleteButton", "checkBox1", "checkBox2" (Custom Anti-Spam only). The Blocked
/// Senders page also holds "invalidSendersBox" (deleteInvalidSenders), which
/// does not depend on the list and is always enabled.
class SenderListPage : public PropertyPage {
  Q_OBJECT

 public:
  enum class Kind { Approved, Blocked, Filter };

  SenderListPage(Kind kind, const PropsContext& context, SenderWorkingCopies& copies,
                 QWidget* parent = nullptr);

  std::string listText;
  bool flags[2] = {false, false};
  bool deleteInvalidSenders = true;  // Blocked Senders only
  int accountIndex = 0;              // the account the lists belong to; shown nowhere

  /// Takes listText and the flags from the account's values of this page.
  void FillFrom(const MailAccount& account);
  /// Puts listText and the flags into the account's values of this page.
  void StoreInto(MailAccount& account) const;

  void Add();
  void Edit();
  void Delete();

 protected:
  void OnOpen() override;
  void OnActivate() override;
  void SaveControls() override;

 private:
  [[nodiscard]] bool KeepsApart() const { return kind_ != Kind::Filter; }
  [[nodiscard]] std::string* OwnCopy();
  [[nodiscard]] std::string* OtherCopy();
  void Fill();
  void UpdateCheckBoxes();
  // Shows the "Sender Information" dialog with `text`; false on Cancel.
  bool AskEntry(std::string& text);

  Kind kind_;
  const PropsContext& context_;
  SenderWorkingCopies& copies_;
  QListWidget* list_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* edit_ = nullptr;
  QPushButton* delete_ = nullptr;
  QCheckBox* boxes_[2] = {nullptr, nullptr};
  QCheckBox* invalidSenders_ = nullptr;
};

/// "Approved Senders": ApproveSender and ExclusiveApproved (flags[0]).
class CPropApproved : public SenderListPage {
  Q_OBJECT
 public:
  CPropApproved(const PropsContext& context, SenderWorkingCopies& copies, QWidget* parent = nullptr)
      : SenderListPage(Kind::Approved, context, copies, parent) {}
};

/// "Blocked Senders": BlockSender, DeleteBlocked (flags[0]) and
/// DeleteInvalidSenders.
class CPropBlocked : public SenderListPage {
  Q_OBJECT
 public:
  CPropBlocked(const PropsContext& context, SenderWorkingCopies& copies, QWidget* parent = nullptr)
      : SenderListPage(Kind::Blocked, context, copies, parent) {}
};

/// "Custom Anti-Spam": Filter, FilterSubject (flags[0]) and FilterContent (flags[1]).
class CPropFilter : public SenderListPage {
  Q_OBJECT
 public:
  CPropFilter(const PropsContext& context, SenderWorkingCopies& copies, QWidget* parent = nullptr)
      : SenderListPage(Kind::Filter, context, copies, parent) {}
};

}  // namespace bc
