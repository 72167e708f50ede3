#include "config/settings.h"

#include <algorithm>

#include "config/settings_store.h"
#include "config/text_util.h"

namespace bc {
namespace {

// Reads one value of the root, the Speak or an account key.
class Reader {
 public:
  Reader(SettingsStore& store, std::string subkey) : store_(store), subkey_(std::move(subkey)) {}
  std::string Text(const char* name) { return store_.ReadValue(subkey_, name); }
  int Int(const char* name) { return ParseInt(Text(name)); }
  bool Flag(const char* name) { return Int(name) != 0; }
  std::string TextOr(const char* name, const char* fallback) {
    std::string text = Text(name);
    return text.empty() ? fallback : text;
  }

 private:
  SettingsStore& store_;
  std::string subkey_;
};

class Writer {
 public:
  Writer(SettingsStore& store, std::string subkey) : store_(store), subkey_(std::move(subkey)) {}
  void Text(const char* name, const std::string& text) { store_.WriteValue(subkey_, name, text); }
  void Int(const char* name, int value) { Text(name, std::to_string(value)); }
  void Flag(const char* name, bool on) { Text(name, FlagText(on)); }

 private:
  SettingsStore& store_;
  std::string subkey_;
};

MailAccount LoadAccount(SettingsStore& store, int index) {
  Reader r(store, AccountKey(index));
  MailAccount a;
  a.IncomingAuthentication = r.Flag("IncomingAuthentication");
  a.MailCap = r.Flag("MailCap");
  a.MailCapUnit = r.Text("MailCapUnit");
  a.MailCapValue = r.Text("MailCapValue");
  a.UserName = r.Text("UserName");
  a.Passwd = r.Text("Passwd");
  a.POP3Server = r.Text("POP3Server");
  a.POP3Port = r.Text("POP3Port");
  a.RememberPasswd = r.Flag("RememberPasswd");
  a.ApproveSender = r.Text("ApproveSender");
  a.BlockSender = r.Text("BlockSender");
  a.FilterSubject = r.Flag("FilterSubject");
  a.FilterContent = r.Flag("FilterContent");
  a.Filter = r.Text("Filter");
  a.ExclusiveApproved = r.Flag("ExclusiveApproved");
  a.DeleteBlocked = r.Flag("DeleteBlocked");
  a.Perentage = r.TextOr("Perentage", kDefaultPercentage);
  a.CheckMark = r.Text("CheckMark") == "1";
  a.Security = r.TextOr("Security", "0");
  a.CAFile = r.Text("CAFile");
  a.CertFingerprint = r.Text("CertFingerprint");
  return a;
}

void SaveAccount(SettingsStore& store, int index, const MailAccount& a) {
  Writer w(store, AccountKey(index));
  w.Flag("IncomingAuthentication", a.IncomingAuthentication);
  w.Flag("MailCap", a.MailCap);
  w.Text("MailCapUnit", a.MailCapUnit);
  w.Text("MailCapValue", a.MailCapValue);
  w.Text("UserName", a.UserName);
  w.Text("POP3Server", a.POP3Server);
  w.Text("POP3Port", a.POP3Port);
  w.Flag("RememberPasswd", a.RememberPasswd);
  // A password the user did not ask us to remember never reaches the file.
  w.Text("Passwd", a.RememberPasswd ? a.Passwd : std::string());
  w.Text("ApproveSender", a.ApproveSender);
  w.Text("BlockSender", a.BlockSender);
  w.Text("Filter", a.Filter);
  w.Flag("FilterSubject", a.FilterSubject);
  w.Flag("FilterContent", a.FilterContent);
  w.Flag("ExclusiveApproved", a.ExclusiveApproved);
  w.Flag("DeleteBlocked", a.DeleteBlocked);
  w.Text("Perentage", a.Perentage);
  w.Flag("CheckMark", a.CheckMark);
  w.Text("Security", a.Security.empty() ? std::string("0") : a.Security);
  w.Text("CAFile", a.CAFile);
  w.Text("CertFingerprint", a.CertFingerprint);
}

}  // namespace

std::string AccountKey(int index) {
  return std::string(kAccountsKey) + "\\user" + std::to_string(index + 1);
}

Settings LoadSettings(SettingsStore& store) {
  Settings s;
  AppOptions& o = s.options;

  const int users = std::clamp(ParseInt(store.ReadValue(kAccountsKey, "Users")), 0, kMaxAccounts);

  Reader root(store, "");
  o.From = root.Int("From");
  o.Subject = root.Int("Subject");
  o.Address = root.Int("Address");
  o.Received = root.Int("Received");
  o.Account = root.Int("Account");
  o.size = root.Int("size");
  o.Attachment = root.Int("Attachment");
  o.RunOnStart = root.Flag("RunOnStart");
  o.ShowEnvelopeInfo = root.Flag("ShowEnvelopeInfo");
  o.ShowToolTip = root.Flag("ShowToolTip");
  o.LogDeleted = root.Flag("LogDeleted");
  o.Freq = root.Text("Freq");
  o.FreqUnit = root.Text("FreqUnit");
  o.wavFile = root.Text("wavFile");
  o.NotificationMethod = root.Int("NotificationMethod");
  o.CheckMail = root.Int("CheckMail");
  o.CheckLines = root.Int("CheckLines");
  o.ComboLines = root.Text("ComboLines");

  Reader speak(store, kSpeakKey);
  o.SpeakFrom = speak.Int("SpeakFrom");
  o.SpeakSubject = speak.Int("SpeakSubject");
  o.SpeakAddress = speak.Int("SpeakAddress");
  o.SpeakReceived = speak.Int("SpeakReceived");
  o.SpeakSize = speak.Int("SpeakSize");
  o.SpeakAccount = speak.Int("SpeakAccount");
  o.SpeakAttachment = speak.Int("SpeakAttachment");
  o.SpeakContent = speak.Int("SpeakContent");

  o.AllEnvelopeInfo = root.Text("AllEnvelopeInfo");
  o.AllSpeakInfo = root.Text("AllSpeakInfo");
  o.ColumnOrder = root.TextOr("ColumnOrder", kDefaultColumnOrder);
  o.SpeakOrder = speak.TextOr("SpeakOrder", kDefaultSpeakOrder);

  s.accounts.reserve(static_cast<size_t>(users));
  for (int i = 0; i < users; ++i) {
    s.accounts.push_back(LoadAccount(store, i));
  }
  store.Commit();  // the values created empty reach the file now
  return s;
}

bool SaveSettings(SettingsStore& store, const Settings& s) {
  const AppOptions& o = s.options;
  const int users = std::min(static_cast<int>(s.accounts.size()), kMaxAccounts);

  store.WriteValue(kAccountsKey, "Users", std::to_string(users));

  Writer root(store, "");
  root.Int("From", o.From);
  root.Int("Subject", o.Subject);
  root.Int("Address", o.Address);
  root.Int("Received", o.Received);
  root.Int("size", o.size);
  root.Int("Account", o.Account);
  root.Int("Attachment", o.Attachment);
  root.Int("CheckMail", o.CheckMail);
  root.Int("CheckLines", o.CheckLines);
  root.Int("NotificationMethod", o.NotificationMethod);
  root.Flag("RunOnStart", o.RunOnStart);
  root.Flag("ShowEnvelopeInfo", o.ShowEnvelopeInfo);
  root.Flag("ShowToolTip", o.ShowToolTip);
  root.Flag("LogDeleted", o.LogDeleted);
  root.Text("wavFile", o.wavFile);
  root.Text("Freq", o.Freq);
  root.Text("FreqUnit", o.FreqUnit);
  root.Text("ComboLines", o.ComboLines);

  Writer speak(store, kSpeakKey);
  speak.Int("SpeakFrom", o.SpeakFrom);
  speak.Int("SpeakSubject", o.SpeakSubject);
  speak.Int("SpeakAddress", o.SpeakAddress);
  speak.Int("SpeakReceived", o.SpeakReceived);
  speak.Int("SpeakSize", o.SpeakSize);
  speak.Int("SpeakAccount", o.SpeakAccount);
  speak.Int("SpeakAttachment", o.SpeakAttachment);
  speak.Int("SpeakContent", o.SpeakContent);

  root.Text("AllEnvelopeInfo", o.AllEnvelopeInfo);
  root.Text("AllSpeakInfo", o.AllSpeakInfo);
  speak.Text("SpeakOrder", o.SpeakOrder);
  root.Text("ColumnOrder", o.ColumnOrder);

  // Records past the count (left by removed accounts) are neither written nor deleted.
  for (int i = 0; i < users; ++i) {
    SaveAccount(store, i, s.accounts[static_cast<size_t>(i)]);
  }
  return store.Commit();
}

std::optional<long long> CheckPeriodSeconds(const AppOptions& options) {
  long long unit = 0;
  if (options.FreqUnit == "0") {
    unit = 1;
  } else if (options.FreqUnit == "1") {
    unit = 60;
  } else if (options.FreqUnit == "2") {
    unit = 3600;
  } else {
    return std::nullopt;
  }
  return static_cast<long long>(ParseInt(options.Freq)) * unit;
}

}  // namespace bc
