#include "ui/props/server_info_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <optional>

#include "config/prompt.h"
#include "keyring/account_password.h"
#include "keyring/password_vault.h"

#include "ui/props/props_widgets.h"

namespace bc {
namespace {

QLineEdit* Edit(QWidget* parent, const char* name) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromUtf8(name));
  return edit;
}

}  // namespace

CPropServerInfo::CPropServerInfo(const PropsContext& context, std::vector<MailAccount>& accounts,
                                 QWidget* parent)
    : PropertyPage(parent), context_(context), accounts_(accounts) {
  draft.RememberPasswd = true;
  auto* group = new QGroupBox(QStringLiteral("Server Information"), this);
  server_ = Edit(group, "serverEdit");
  port_ = Edit(group, "portEdit");
  port_->setMaximumWidth(70);
  security_ = new QComboBox(group);
  security_->setObjectName(QStringLiteral("securityCombo"));
  security_->addItems(
      {QStringLiteral("None"), QStringLiteral("SSL/TLS"), QStringLiteral("STARTTLS")});
  protocol_ = new QComboBox(group);
  protocol_->setObjectName(QStringLiteral("protocolCombo"));
  protocol_->addItems({QStringLiteral("POP3"), QStringLiteral("IMAP")});
  user_ = Edit(group, "userEdit");
  password_ = Edit(group, "passwordEdit");
  password_->setEchoMode(QLineEdit::Password);
  remember_ = new QCheckBox(QStringLiteral("Remember password"), group);
  remember_->setObjectName(QStringLiteral("rememberCheck"));
  passwordHome_ = new QLabel(group);
  passwordHome_->setObjectName(QStringLiteral("passwordHomeLabel"));
  alert_ = new QCheckBox(QStringLiteral("Alert When Mailbox Reached"), group);
  alert_->setObjectName(QStringLiteral("alertCheck"));
  percent_ = Edit(group, "percentEdit");
  percent_->setMaxLength(4);
  percent_->setMaximumWidth(50);
  capacity_ = Edit(group, "capacityEdit");
  capacity_->setMaximumWidth(70);
  unit_ = new QComboBox(group);
  unit_->setObjectName(QStringLiteral("unitCombo"));
  unit_->setEditable(true);
  unit_->addItems({QStringLiteral("B"), QStringLiteral("KB"), QStringLiteral("MB")});
  // The row reads as a sentence; each box is named for its own part of it.
  percent_->setAccessibleName(QStringLiteral("Alert at percent of storage limit"));
  capacity_->setAccessibleName(QStringLiteral("Storage limit"));
  auto* unitCaption = new QLabel(QStringLiteral("Storage limit unit"), group);
  unitCaption->setBuddy(unit_);  // for Orca only: a combo box is named by its entry
  unitCaption->hide();
  caFile_ = Edit(group, "caFileEdit");
  caFile_->setPlaceholderText(QStringLiteral("only for a server with its own certificate"));
  auto* browse = new QPushButton(QStringLiteral("Browse..."), group);
  browse->setObjectName(QStringLiteral("caFileBrowse"));
  fingerprint_ = Edit(group, "fingerprintEdit");
  fingerprint_->setPlaceholderText(QStringLiteral("SHA-256, hex"));

  auto* grid = new QGridLayout(group);
  int row = 0;
  auto addRow = [&](const char* label, QWidget* field, QWidget* extra = nullptr) {
    auto* text = new QLabel(QString::fromUtf8(label), group);
    text->setObjectName(QString::fromUtf8(field->objectName().toUtf8() + "Label"));
    text->setBuddy(field);
    grid->addWidget(text, row, 0);
    if (extra) {
      auto* line = new QHBoxLayout;
      line->addWidget(field, 1);
      line->addWidget(extra);
      grid->addLayout(line, row, 1);
    } else {
      grid->addWidget(field, row, 1);
    }
    ++row;
    return text;
  };
  serverLabel_ = addRow("Incoming Mail Server (POP3):", server_);
  ShowServerLabel(static_cast<int>(MailProtocol::Pop3));
  {
    auto* line = new QHBoxLayout;
    line->addWidget(port_);
    auto* securityLabel = new QLabel(QStringLiteral("Security:"), group);
    securityLabel->setBuddy(security_);
    line->addSpacing(12);
    line->addWidget(securityLabel);
    line->addWidget(security_);
    auto* protocolLabel = new QLabel(QStringLiteral("Pro&tocol:"), group);
    protocolLabel->setBuddy(protocol_);
    line->addSpacing(12);
    line->addWidget(protocolLabel);
    line->addWidget(protocol_);
    line->addStretch();
    auto* portLabel = new QLabel(QStringLiteral("Port:"), group);
    portLabel->setBuddy(port_);
    grid->addWidget(portLabel, row, 0);
    grid->addLayout(line, row++, 1);
  }
  addRow("User Name:", user_);
  addRow("Password:", password_);
  {
    auto* line = new QHBoxLayout;
    line->addWidget(remember_);
    line->addSpacing(12);
    line->addWidget(passwordHome_, 1);
    grid->addLayout(line, row++, 1);
  }
  {
    // [x] Alert When Mailbox Reached [percent] Percent  Storage Limit [capacity] [unit]
    auto* line = new QHBoxLayout;
    line->addWidget(alert_);
    line->addWidget(percent_);
    line->addWidget(new QLabel(QStringLiteral("Percent  Storage Limit"), group));
    line->addWidget(capacity_);
    line->addWidget(unit_);
    line->addStretch();
    grid->addLayout(line, row++, 0, 1, 2);
  }
  addRow("CA certificates:", caFile_, browse);
  addRow("Certificate fingerprint:", fingerprint_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addStretch();

  connect(alert_, &QCheckBox::clicked, this, &CPropServerInfo::AlertClicked);
  connect(remember_, &QCheckBox::clicked, this, &CPropServerInfo::RememberClicked);
  connect(security_, &QComboBox::currentIndexChanged, this, &CPropServerInfo::SecurityChanged);
  connect(protocol_, &QComboBox::currentIndexChanged, this, &CPropServerInfo::ProtocolChanged);
  connect(browse, &QPushButton::clicked, this, &CPropServerInfo::BrowseCaFile);
}

MailAccount* CPropServerInfo::Existing() {
  if (existingAccount < 0 || existingAccount >= static_cast<int>(accounts_.size())) {
    return nullptr;
  }
  return &accounts_[static_cast<size_t>(existingAccount)];
}

void CPropServerInfo::SelectUnit(const std::string& unitText) {
  const int index = unit_->findText(Q(unitText));
  if (index >= 0) {
    unit_->setCurrentIndex(index);
  }
}

void CPropServerInfo::EnableAlertBoxes(bool on) {
  percent_->setEnabled(on);
  capacity_->setEnabled(on);
  unit_->setEnabled(on);
}

void CPropServerInfo::OnOpen() {
  server_->setText(Q(draft.POP3Server));
  port_->setText(Q(draft.POP3Port.text()));
  remember_->setChecked(draft.RememberPasswd);
  password_->setText(Q(draft.Passwd));
  user_->setText(Q(draft.UserName));
  alert_->setChecked(draft.MailCap);
  capacity_->setText(Q(draft.MailCapValue));
  unit_->setCurrentIndex(-1);
  unit_->setEditText(Q(draft.MailCapUnit));
  percent_->setText(Q(draft.Perentage));
  // A text that names no choice ("STARTTLS", "02") shows none, and OK keeps it
  // until the user picks one: the account goes on failing with its reason
  // rather than turning into plain text unseen.
  const std::optional<Security> security = draft.Security.value();
  lastSecurity_ = security ? static_cast<int>(*security) : -1;
  {
    const QSignalBlocker quiet(security_);
    security_->setCurrentIndex(lastSecurity_);
  }
  // Like Security: a value it cannot show stays until the user picks one.
  const std::optional<MailProtocol> protocol = ParseProtocol(draft.Protocol);
  lastProtocol_ = protocol ? static_cast<int>(*protocol) : -1;
  {
    const QSignalBlocker quiet(protocol_);
    protocol_->setCurrentIndex(lastProtocol_);
  }
  ShowServerLabel(lastProtocol_);
  caFile_->setText(Q(draft.CAFile));
  fingerprint_->setText(Q(draft.CertFingerprint));
  openedPassword_ = draft.Passwd;
  openedKey_ = AccountVaultKey(draft);
  keyringAvailable_ = KeyringAvailable();
  ShowPasswordHome();
  FetchKeptPassword();

  if (MailAccount* account = Existing()) {
    SelectUnit(account->MailCapUnit);
    draft.MailCapUnit = S(unit_->currentText());
    if (account->MailCap) {
      capacity_->setText(Q(account->MailCapValue));
      percent_->setText(Q(account->Perentage));
    } else {
      capacity_->clear();
      percent_->clear();
    }
    EnableAlertBoxes(account->MailCap);
  } else {
    EnableAlertBoxes(draft.MailCap);
  }
}

void CPropServerInfo::OnActivate() {
  // The cursor goes where the next thing to type is.
  if (server_->text().isEmpty()) {
    server_->setFocus();
  } else if (!port_->text().isEmpty()) {
    if (user_->text().isEmpty()) {
      user_->setFocus();
    } else if (password_->text().isEmpty()) {
      password_->setFocus();
    }
  }
}

void CPropServerInfo::SaveControls() {
  draft.POP3Server = S(server_->text());
  draft.POP3Port = StoredPort::FromText(S(port_->text()));
  draft.RememberPasswd = remember_->isChecked();
  draft.Passwd = S(password_->text());
  draft.UserName = S(user_->text());
  draft.MailCap = alert_->isChecked();
  draft.MailCapValue = S(capacity_->text());
  draft.MailCapUnit = S(unit_->currentText());
  draft.Perentage = S(percent_->text());
  if (security_->currentIndex() >= 0) {
    draft.Security = static_cast<Security>(security_->currentIndex());
  }
  // A stored text that already means the choice ("", "pop3") is kept as it is.
  if (const int index = protocol_->currentIndex();
      index >= 0 && ParseProtocol(draft.Protocol) != static_cast<MailProtocol>(index)) {
    draft.Protocol = index == static_cast<int>(MailProtocol::Imap) ? "IMAP" : "POP3";
  }
  draft.CAFile = S(caFile_->text());
  draft.CertFingerprint = S(fingerprint_->text());
  // A new password, or the same one under a new key, goes to the keyring again
  // with the next save (through the file, which is blanked once it is there).
  if (draft.RememberPasswd &&
      (draft.Passwd != openedPassword_ || AccountVaultKey(draft) != openedKey_)) {
    draft.PasswdInKeyring = false;
  }
}

void CPropServerInfo::ShowPasswordHome() {
  const char* text = "Kept in the settings file";
  if (!remember_->isChecked()) {
    text = "Not kept after Brindlecast ends";
  } else if (draft.PasswdInKeyring) {
    text = "Kept in the desktop keyring";
  } else if (keyringAvailable_) {
    text = "Moves to the desktop keyring when saved";
  }
  passwordHome_->setText(QString::fromUtf8(text));
}

void CPropServerInfo::FetchKeptPassword() {
  if (!draft.PasswdInKeyring || !draft.RememberPasswd || !draft.Passwd.empty()) {
    return;
  }
  // Asked without waiting; the page may be gone or the user typing by then.
  ReadPassword(
      openedKey_, [page = QPointer<CPropServerInfo>(this), key = openedKey_](VaultAnswer answer) {
        if (!page || page->openedKey_ != key) {
          return;
        }
        if (!answer.ok()) {
          page->passwordHome_->setText(QString::fromUtf8(
              answer.status == VaultStatus::Locked ? "Kept in the desktop keyring, which is locked"
              : answer.status == VaultStatus::NotFound
                  ? "Not found in the desktop keyring"
                  : "Kept in the desktop keyring, out of reach now"));
          return;
        }
        if (page->password_->text().isEmpty() && !page->password_->isModified()) {
          page->password_->setText(Q(answer.password));
          page->openedPassword_ = answer.password;
        }
      });
}

void CPropServerInfo::AlertClicked() {
  bool on;
  if (MailAccount* account = Existing()) {
    account->MailCap = !account->MailCap;
    on = account->MailCap;
    if (on) {
      capacity_->setText(Q(account->MailCapValue.empty() ? "10" : account->MailCapValue));
      percent_->setText(Q(account->Perentage.empty() ? "80" : account->Perentage));
      SelectUnit(account->MailCapUnit.empty() ? "B" : account->MailCapUnit);
    }
  } else {
    draft.MailCap = !draft.MailCap;
    on = draft.MailCap;
    if (on) {
      capacity_->setText(QStringLiteral("10"));
      percent_->setText(QStringLiteral("80"));
      SelectUnit("MB");
    }
  }
  if (!on) {
    capacity_->clear();
    percent_->clear();
  }
  EnableAlertBoxes(on);
}

void CPropServerInfo::RememberClicked() {
  // The box stays editable either way: a password typed with the box off is
  // used for this session; the check box only decides whether it is saved.
  draft.RememberPasswd = !draft.RememberPasswd;
  ShowPasswordHome();
}

void CPropServerInfo::SecurityChanged(int index) {
  FollowDefaultPort(lastProtocol_, lastSecurity_, lastProtocol_, index);
  lastSecurity_ = index;
}

void CPropServerInfo::ProtocolChanged(int index) {
  FollowDefaultPort(lastProtocol_, lastSecurity_, index, lastSecurity_);
  lastProtocol_ = index;
  ShowServerLabel(index);
}

void CPropServerInfo::ShowServerLabel(int protocol) {
  // A Protocol value that names no choice shows none here either.
  const QString name = protocol == static_cast<int>(MailProtocol::Imap)   ? QStringLiteral("IMAP")
                       : protocol == static_cast<int>(MailProtocol::Pop3) ? QStringLiteral("POP3")
                                                                          : QString();
  const QString label = name.isEmpty() ? QStringLiteral("Incoming Mail Server")
                                       : QStringLiteral("Incoming Mail Server (%1)").arg(name);
  // The sheet gave the row its access key once: it stays on the same letter of
  // the words every protocol's label shares.
  QString shown = label + QLatin1Char(':');
  if (const qsizetype key = serverLabel_->text().indexOf(QLatin1Char('&'));
      key >= 0 && key < QStringLiteral("Incoming Mail Server").size()) {
    shown.insert(key, QLatin1Char('&'));
  }
  serverLabel_->setText(shown);
  // Set, not taken from the label, so a screen reader is told of the change.
  server_->setAccessibleName(label);
  server_->setAccessibleDescription(
      name.isEmpty()
          ? QStringLiteral("Host name or address of the server mail is checked on")
          : QStringLiteral("Host name or address of the %1 server mail is checked on").arg(name));
}

void CPropServerInfo::FollowDefaultPort(int fromProtocol, int fromSecurity, int toProtocol,
                                        int toSecurity) {
  // The port follows the choices only while it still holds the usual port of
  // the ones before, so a port the user typed stays.
  const auto port = [](int protocol, int security) {
    return QString::number(DefaultPort(static_cast<MailProtocol>(std::max(protocol, 0)),
                                       static_cast<Security>(std::max(security, 0))));
  };
  if (port_->text() == port(fromProtocol, fromSecurity)) {
    port_->setText(port(toProtocol, toSecurity));
  }
}

void CPropServerInfo::BrowseCaFile() {
  const std::string path = context_.prompt.ChooseOpenFile(
      "CA certificates", "PEM certificates (*.pem *.crt);;All files (*)", "pem");
  if (!path.empty()) {
    caFile_->setText(Q(path));
  }
}

}  // namespace bc
