#pragma once

#include <string>
#include <vector>

#include "config/settings.h"
#include "ui/props/property_sheet.h"
#include "ui/props/props_context.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace bc {

/// The ports the port box starts with and follows the "Security" choice between.
inline constexpr const char* kPop3Port = "110";
inline constexpr const char* kPop3sPort = "995";

/// "Server Information": the account's server, port, security, user name,
/// password, the storage alert and the extra trust for a self-signed server.
///
/// The page edits a new account (existingAccount -1) or account `existingAccount`
/// of `accounts`. For an existing account, clicking "Alert When Mailbox Reached"
/// switches that account's MailCap in `accounts` at once, and opening the page
/// shows the alert values from the account.
///
/// Object names: "serverEdit", "portEdit", "securityCombo", "userEdit",
/// "passwordEdit", "rememberCheck", "alertCheck", "percentEdit", "capacityEdit",
/// "unitCombo", "caFileEdit", "caFileBrowse", "fingerprintEdit".
class CPropServerInfo : public PropertyPage {
  Q_OBJECT

 public:
  CPropServerInfo(const PropsContext& context, std::vector<MailAccount>& accounts,
                  QWidget* parent = nullptr);

  /// The account being edited. Its server, port, security, user name, password,
  /// remember flag, storage alert and trust are exchanged with the controls when
  /// the page opens and when it is left; its other values are carried along.
  /// "Remember password" starts on.
  MailAccount draft;

  int existingAccount = -1;

 protected:
  void OnOpen() override;
  void OnActivate() override;
  void SaveControls() override;

 private:
  [[nodiscard]] MailAccount* Existing();
  void SelectUnit(const std::string& unitText);
  void EnableAlertBoxes(bool on);
  void AlertClicked();
  void RememberClicked();
  void SecurityChanged(int index);
  void BrowseCaFile();

  const PropsContext& context_;
  std::vector<MailAccount>& accounts_;
  QLineEdit* server_ = nullptr;
  QLineEdit* port_ = nullptr;
  QComboBox* security_ = nullptr;
  QLineEdit* user_ = nullptr;
  QLineEdit* password_ = nullptr;
  QCheckBox* remember_ = nullptr;
  QCheckBox* alert_ = nullptr;
  QLineEdit* percent_ = nullptr;
  QLineEdit* capacity_ = nullptr;
  QComboBox* unit_ = nullptr;
  QLineEdit* caFile_ = nullptr;
  QLineEdit* fingerprint_ = nullptr;
  int lastSecurity_ = 0;  // the choice's index: the Security value it stands for, or -1
};

}  // namespace bc
