#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/setting_values.h"

namespace bc {

class SettingsStore;

/// Room in the account table.
inline constexpr int kMaxAccounts = 20;

inline constexpr const char* kDefaultColumnOrder =
    "from=1,subject=2,address=6,received=0,size=3,account=4,attachment=5,";
inline constexpr const char* kDefaultSpeakOrder =
    "from=0,subject=1,address=7,received=3,size=2,account=4,attachment=5,content=6,";
inline constexpr const char* kDefaultPercentage = "80";

/// Subkeys of the settings root.
inline constexpr const char* kSpeakKey = "Speak";
inline constexpr const char* kAccountsKey = "UserAccounts";

/// The global options. Members carry the stored value names. Ints and flags are
/// converted on load and written back as decimal text; texts are kept as stored,
/// and so are the texts of Stored values until the program sets them.
struct AppOptions {
  // Envelope column flags (1 shows the column).
  int From = 0;
  int Subject = 0;
  int Address = 0;
  int Received = 0;
  int size = 0;
  int Account = 0;
  int Attachment = 0;

  bool RunOnStart = false;
  bool ShowEnvelopeInfo = false;
  bool ShowToolTip = false;
  bool LogDeleted = false;
  std::string Freq;
  StoredFreqUnit FreqUnit;
  std::string wavFile;
  int NotificationMethod = 0;  // 0 speak, 1 play wavFile, 2 silent
  int CheckMail = 0;
  int CheckLines = 0;
  std::string ComboLines;  // "All" or a decimal number
  // How notices are shown: "0" the program's own sliding window, "1" desktop
  // notifications; anything else (empty by default) chooses by session type.
  std::string NoticeStyle;
  // "1": a pass retrieves only messages it does not remember, and a message is
  // announced once ever; anything else: every pass retrieves every message.
  std::string RememberMail;
  // A decimal count: when more messages than this are new in a pass, one
  // sentence says how many. Empty or 0: every message is announced.
  std::string AnnounceCountOver;

  // Speech flags (1 speaks the field), stored under Speak.
  int SpeakFrom = 0;
  int SpeakSubject = 0;
  int SpeakAddress = 0;
  int SpeakReceived = 0;
  int SpeakSize = 0;
  int SpeakAccount = 0;
  int SpeakAttachment = 0;
  int SpeakContent = 0;

  std::string AllEnvelopeInfo;
  std::string AllSpeakInfo;
  std::string ColumnOrder = kDefaultColumnOrder;
  std::string SpeakOrder = kDefaultSpeakOrder;  // stored under Speak

  bool operator==(const AppOptions&) const = default;
};

/// One POP3 account, stored under UserAccounts\userN (N from 1).
struct MailAccount {
  bool IncomingAuthentication = false;
  bool MailCap = false;
  std::string MailCapUnit;  // "B", "KB" or "MB"
  std::string MailCapValue;
  std::string UserName;
  std::string Passwd;
  std::string POP3Server;
  StoredPort POP3Port;
  bool RememberPasswd = false;
  std::string ApproveSender;
  std::string BlockSender;
  bool FilterSubject = false;
  bool FilterContent = false;
  std::string Filter;
  bool ExclusiveApproved = false;
  bool DeleteBlocked = false;
  // Whether a message whose sender address is not valid is deleted as spam:
  // on unless stored as "0" (an empty value, as older files hold, is on).
  bool DeleteInvalidSenders = true;
  std::string Perentage = kDefaultPercentage;
  bool CheckMark = false;  // on only when stored as exactly "1"
  StoredSecurity Security = bc::Security::None;
  // Trust for a server whose certificate the system store does not vouch for:
  // a PEM file of extra CA certificates, and/or the SHA-256 fingerprint of the
  // server certificate (hex, colons optional).
  std::string CAFile;
  std::string CertFingerprint;
  // "" or "POP3" (as before this value existed), or "IMAP" (ParseProtocol), and
  // the IMAP folder checked ("" is INBOX).
  std::string Protocol;
  std::string IMAPFolder;
  // Not stored: the remembered password is kept in the desktop keyring, so the
  // file's Passwd stays empty (the keyring module decides and moves it there).
  bool PasswdInKeyring = false;

  bool operator==(const MailAccount&) const = default;
};

/// Options and accounts together: a value type, so a worker takes its own copy
/// when it starts and never sees the property sheet's edits mid-pass.
struct Settings {
  AppOptions options;
  std::vector<MailAccount> accounts;  // at most kMaxAccounts

  bool operator==(const Settings&) const = default;
};

/// Reads every option and account through the store, creating missing values
/// empty; defaults are applied in memory only. The values created reach the
/// file at once, or with `commit` false at the store's next Commit.
[[nodiscard]] Settings LoadSettings(SettingsStore& store, bool commit = true);

/// Writes every option and account back and commits. Returns false when the
/// file could not be written (the store has told the user).
bool SaveSettings(SettingsStore& store, const Settings& settings);

/// The settings subkey of the account at 0-based index: "UserAccounts\user<index+1>".
[[nodiscard]] std::string AccountKey(int index);

/// The check period in seconds from `Freq` and `FreqUnit`. A unit text that
/// names no unit gives no period: the caller keeps the one it had.
[[nodiscard]] std::optional<long long> CheckPeriodSeconds(const AppOptions& options);

}  // namespace bc
