#pragma once

#include <string>
#include <vector>

#include "config/settings.h"
#include "ui/props/property_sheet.h"
#include "ui/props/props_context.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace bc {

/// The ports the port box starts with; it follows the "Security" and "Protocol"
/// choices between these and 143/993 for IMAP (DefaultPort).
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
/// "unitCombo", "protocolCombo", "caFileEdit", "caFileBrowse", "fingerprintEdit",
/// "passwordHomeLabel".
///
/// Below the password it says where the password is kept (the desktop keyring
/// or the settings file). A password the keyring keeps is read from it when the
/// page opens, without waiting: the box fills once the keyring answers. A
/// changed password (or user name or server) of an account kept in the keyring
/// is marked to be moved there again when the settings are saved.
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
  void ProtocolChanged(int index);
  // The server row says which protocol the account speaks, for eyes and ears.
  void ShowServerLabel(int protocol);
  void FollowDefaultPort(int fromProtocol, int fromSecurity, int toProtocol, int toSecurity);
  void BrowseCaFile();
  void ShowPasswordHome();
  void FetchKeptPassword();

  const PropsContext& context_;
  std::vector<MailAccount>& accounts_;
  QLineEdit* server_ = nullptr;
  QLabel* serverLabel_ = nullptr;
  QLineEdit* port_ = nullptr;
  QComboBox* security_ = nullptr;
  QComboBox* protocol_ = nullptr;  // "POP3" or "IMAP": the account value Protocol
  QLineEdit* user_ = nullptr;
  QLineEdit* password_ = nullptr;
  QCheckBox* remember_ = nullptr;
  QCheckBox* alert_ = nullptr;
  QLineEdit* percent_ = nullptr;
  QLineEdit* capacity_ = nullptr;
  QComboBox* unit_ = nullptr;
  QLineEdit* caFile_ = nullptr;
  QLineEdit* fingerprint_ = nullptr;
  QLabel* passwordHome_ = nullptr;
  int lastSecurity_ = 0;
  int lastProtocol_ = 0;  // the protocol choice's index, or -1 for a value it cannot show  // the
                          // choice's index: the Security value it stands for, or -1
  bool keyringAvailable_ = false;
  std::string openedPassword_;  // the password and keyring key the page opened with
  std::string openedKey_;
};

}  // namespace bc
