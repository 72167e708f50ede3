#pragma once

#include <array>
#include <string>
#include <variant>

#include "config/settings.h"

namespace bc {

/// How a field's stored text differs from the plain conversion of its type
/// (text as stored, an int as decimal text, a flag as "1"/"0" read as any
/// non-zero number, a Stored value as its own text).
enum class StoredForm {
  Plain,
  ExactlyOne,      // a flag that is on only when stored as exactly "1"
  FallbackAlways,  // empty text reads and writes as the fallback
};

/// One stored value of a settings record: where it lives, what it is called, and
/// the member that holds it. The member's type gives the conversion.
template <class Record>
struct SettingField {
  const char* group;  // subkey below the root: "" or kSpeakKey (accounts use their own)
  const char* name;   // stored value name
  std::variant<std::string Record::*, int Record::*, bool Record::*, StoredPort Record::*,
               StoredSecurity Record::*, StoredFreqUnit Record::*>
      member;
  const char* fallback = nullptr;  // a text read as this when stored empty
  StoredForm form = StoredForm::Plain;
  bool Record::*keptWhen = nullptr;  // when set and off, the value is written empty
  // When set and on, the value is kept elsewhere (the keyring) and written empty.
  bool Record::*keptElsewhereWhen = nullptr;
};

/// Every global option, in the order they are written.
inline const auto kOptionFields = std::to_array<SettingField<AppOptions>>({
    {"", "From", &AppOptions::From},
    {"", "Subject", &AppOptions::Subject},
    {"", "Address", &AppOptions::Address},
    {"", "Received", &AppOptions::Received},
    {"", "size", &AppOptions::size},
    {"", "Account", &AppOptions::Account},
    {"", "Attachment", &AppOptions::Attachment},
    {"", "CheckMail", &AppOptions::CheckMail},
    {"", "CheckLines", &AppOptions::CheckLines},
    {"", "NotificationMethod", &AppOptions::NotificationMethod},
    {"", "RunOnStart", &AppOptions::RunOnStart},
    {"", "ShowEnvelopeInfo", &AppOptions::ShowEnvelopeInfo},
    {"", "ShowToolTip", &AppOptions::ShowToolTip},
    {"", "LogDeleted", &AppOptions::LogDeleted},
    {"", "wavFile", &AppOptions::wavFile},
    {"", "Freq", &AppOptions::Freq},
    {"", "FreqUnit", &AppOptions::FreqUnit},
    {"", "ComboLines", &AppOptions::ComboLines},
    {"", "NoticeStyle", &AppOptions::NoticeStyle},
    {"", "RememberMail", &AppOptions::RememberMail},
    {"", "AnnounceCountOver", &AppOptions::AnnounceCountOver},
    {kSpeakKey, "SpeakFrom", &AppOptions::SpeakFrom},
    {kSpeakKey, "SpeakSubject", &AppOptions::SpeakSubject},
    {kSpeakKey, "SpeakAddress", &AppOptions::SpeakAddress},
    {kSpeakKey, "SpeakReceived", &AppOptions::SpeakReceived},
    {kSpeakKey, "SpeakSize", &AppOptions::SpeakSize},
    {kSpeakKey, "SpeakAccount", &AppOptions::SpeakAccount},
    {kSpeakKey, "SpeakAttachment", &AppOptions::SpeakAttachment},
    {kSpeakKey, "SpeakContent", &AppOptions::SpeakContent},
    {"", "AllEnvelopeInfo", &AppOptions::AllEnvelopeInfo},
    {"", "AllSpeakInfo", &AppOptions::AllSpeakInfo},
    {kSpeakKey, "SpeakOrder", &AppOptions::SpeakOrder, kDefaultSpeakOrder},
    {"", "ColumnOrder", &AppOptions::ColumnOrder, kDefaultColumnOrder},
});

/// Every value of an account record, in the order they are written.
inline const auto kAccountFields = std::to_array<SettingField<MailAccount>>({
    {"", "IncomingAuthentication", &MailAccount::IncomingAuthentication},
    {"", "MailCap", &MailAccount::MailCap},
    {"", "MailCapUnit", &MailAccount::MailCapUnit},
    {"", "MailCapValue", &MailAccount::MailCapValue},
    {"", "UserName", &MailAccount::UserName},
    {"", "POP3Server", &MailAccount::POP3Server},
    {"", "POP3Port", &MailAccount::POP3Port},
    {"", "RememberPasswd", &MailAccount::RememberPasswd},
    // A password the user did not ask us to remember never reaches the file,
    // nor one the desktop keyring keeps.
    {"", "Passwd", &MailAccount::Passwd, nullptr, StoredForm::Plain, &MailAccount::RememberPasswd,
     &MailAccount::PasswdInKeyring},
    {"", "ApproveSender", &MailAccount::ApproveSender},
    {"", "BlockSender", &MailAccount::BlockSender},
    {"", "Filter", &MailAccount::Filter},
    {"", "FilterSubject", &MailAccount::FilterSubject},
    {"", "FilterContent", &MailAccount::FilterContent},
    {"", "ExclusiveApproved", &MailAccount::ExclusiveApproved},
    {"", "DeleteBlocked", &MailAccount::DeleteBlocked},
    {"", "DeleteInvalidSenders", &MailAccount::DeleteInvalidSenders, "1"},
    {"", "Perentage", &MailAccount::Perentage, kDefaultPercentage},
    {"", "CheckMark", &MailAccount::CheckMark, nullptr, StoredForm::ExactlyOne},
    {"", "Security", &MailAccount::Security, "0", StoredForm::FallbackAlways},
    {"", "CAFile", &MailAccount::CAFile},
    {"", "CertFingerprint", &MailAccount::CertFingerprint},
    {"", "Protocol", &MailAccount::Protocol},
    {"", "IMAPFolder", &MailAccount::IMAPFolder},
});

/// The value of a field as read from its stored text.
template <class Record>
void ReadField(const SettingField<Record>& field, const std::string& stored, Record& record);

/// The text stored for a field.
template <class Record>
[[nodiscard]] std::string StoredText(const SettingField<Record>& field, const Record& record);

}  // namespace bc
