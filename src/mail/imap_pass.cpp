#include "mail/imap_pass.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "antispam/spam_classifier.h"
#include "mail/envelope_fields.h"
#include "mail/imap_session.h"
#include "mail/mail_memory.h"
#include "mail/message_envelope.h"
#include "mime/mime_decoder.h"

namespace bc {
namespace {

// The start of a body the content lines are taken from: a few lines need
// little, "All" gets more; neither fetches a whole large message.
constexpr size_t kTextForLines = 64 * 1024;
constexpr size_t kTextForAll = 256 * 1024;

// The fetched parts as the message decoder reads a retrieved message: a status
// line, the header fields, an empty line, the start of the body (dot-stuffed)
// and the terminator.
std::string DecoderText(const ImapFetched& fetched) {
  std::string text = "+OK\r\n" + fetched.headers;
  // HEADER.FIELDS ends with its own empty line; a server that leaves it out
  // must not make the body part of the header.
  if (text.size() < 4 || text.compare(text.size() - 4, 4, "\r\n\r\n") != 0) {
    text += "\r\n";
  }
  size_t lineStart = 0;
  for (size_t at = 0; at <= fetched.text.size(); ++at) {
    if (at == fetched.text.size() || fetched.text[at] == '\n') {
      const std::string_view line(fetched.text.data() + lineStart, at - lineStart);
      if (!line.empty() && line.front() == '.') {
        text += '.';
      }
      text += line;
      if (at < fetched.text.size()) {
        text += '\n';
      }
      lineStart = at + 1;
    }
  }
  if (!text.empty() && text.back() != '\n') {
    text += "\r\n";
  }
  return text + ".\r\n";
}

size_t TextBytes(const AppOptions& options) {
  if (options.CheckLines == 0) {
    return 0;
  }
  return options.ComboLines == "All" ? kTextForAll : kTextForLines;
}

int PortOf(const MailAccount& account, Security security) {
  const int port = account.POP3Port.value();
  return port > 0 ? port : DefaultPort(MailProtocol::Imap, security);
}

// A UID set naming `uids` (ascending) in runs: "3,7:9,12".
std::vector<std::string> UidSets(const std::vector<uint32_t>& uids) {
  // Short enough for any server's command line.
  constexpr size_t kLongestSet = 4000;
  std::vector<std::string> sets;
  std::string set;
  for (size_t i = 0; i < uids.size();) {
    size_t j = i;
    while (j + 1 < uids.size() && uids[j + 1] == uids[j] + 1) {
      ++j;
    }
    std::string run = std::to_string(uids[i]);
    if (j > i) {
      run += ":" + std::to_string(uids[j]);
    }
    if (!set.empty() && set.size() + run.size() + 1 > kLongestSet) {
      sets.push_back(std::move(set));
      set.clear();
    }
    set += (set.empty() ? "" : ",") + run;
    i = j + 1;
  }
  if (!set.empty()) {
    sets.push_back(std::move(set));
  }
  return sets;
}

class ImapAccountPass {
 public:
  ImapAccountPass(const Settings& settings, int index, EnvelopeStore& store,
                  CheckObserver& observer, const MailEnvironment& environment,
                  const CommandTrace& trace, const Clock& clock)
      : options_(settings.options),
        account_(settings.accounts[static_cast<size_t>(index)]),
        index_(index),
        store_(store),
        observer_(observer),
        environment_(environment),
        trace_(trace),
        clock_(clock) {
    result_.outcome.accountIndex = index;
    result_.outcome.userName = account_.UserName;
  }

  ImapAccountResult Run() {
    if (!ParseProtocol(account_.Protocol)) {
      return ConnectFailed(ProtocolValueError(account_.Protocol));
    }
    const std::optional<Security> security = account_.Security.value();
    if (!security) {
      return ConnectFailed(SecurityValueError(account_.Security.text()));
    }
    const PasswordAnswer password = environment_.password(account_, environment_.cancel.get());
    if (!password.found) {
      return ConnectFailed(password.error);
    }
    ImapSession session(environment_.makeTransport(account_), environment_.imapLimits);
    if (!session.Connect(account_.POP3Server, PortOf(account_, *security), account_.UserName,
                         password.password, *security)) {
      session.Close();
      return ConnectFailed(session.lastError());
    }
    observer_.SetTrayIcon(TrayState::Idle);
    Trace("Connected server");
    if (!session.Select(account_.IMAPFolder)) {
      const std::string why = "SELECT failed: " + session.lastError();
      End(session);
      observer_.SetTrayIcon(TrayState::Disconnected);
      Trace(why);
      result_.outcome.status = AccountOutcome::Status::Failed;
      result_.outcome.error = why;
      result_.end = ImapAccountResult::End::Abandoned;
      return result_;
    }
    uidValidity_ = session.uidValidity();
    result_.outcome.status = AccountOutcome::Status::Checked;
    OpenMemory();
    if (session.exists() <= 0) {
      End(session);
      CommitMemory();
      Trace("GetNumberOfMails failed");
      result_.end = ImapAccountResult::End::Empty;
      return result_;
    }
    Trace("GetNumberOfMails");
    expected_ = static_cast<int>(std::min<int64_t>(session.exists(), INT32_MAX));
    observer_.SetEmailsProgress(0, expected_);
    bool whole = true;
    if (memory_) {
      whole = FetchUnknown(session);
    } else if (!session.Fetch("1:*", TextBytes(options_), [this](ImapFetched&& message) {
                 CheckMessage(std::move(message));
               })) {
      whole = false;
    }
    if (!whole) {
      Trace("UID FETCH failed: " + session.lastError());
      Incomplete("the folder could not be read whole (" + session.lastError() + ")");
      memory_.reset();  // what was not listed must not be forgotten
    }
    if (session.expunged() > 0) {
      Trace(std::to_string(session.expunged()) + " messages were expunged during the check");
    }
    DeleteSpam(session);
    observer_.SetEmailsProgress(0, expected_);
    StorageAlert();
    End(session);
    CommitMemory();
    result_.outcome.deletedAsSpam = removed_;
    result_.messagesLeft = seen_ - removed_;
    result_.end = ImapAccountResult::End::Done;
    return result_;
  }

  ImapWakeResult Wake(ImapSession& session, ImapFollowed& followed) {
    ImapWakeResult wake;
    result_.outcome.status = AccountOutcome::Status::Checked;
    if (session.uidValidityChanged() || session.uidValidity() != followed.uidValidity) {
      Trace("the folder's UIDVALIDITY changed; it is checked whole");
      wake.startAgain = true;
      wake.outcome = result_.outcome;
      return wake;
    }
    uidValidity_ = followed.uidValidity;
    OpenMemory();
    for (const uint32_t uid : session.TakeGone()) {
      wake.removed += RemoveListed(ImapIdentity(uidValidity_, uid)) ? 1 : 0;
    }
    // New rows number on after the account's listed ones; a message a pass
    // listed meanwhile is not listed twice.
    std::set<std::string> listed;
    for (const Envelope& e : store_.Snapshot()) {
      if (AccountIndexOf(std::stoll("0" + e.messageId)) == index_) {
        listed.insert(e.uniqueId);
        ++seen_;
      }
    }
    const uint32_t from = followed.lastUid + 1;
    const std::vector<uint32_t>& uids = session.uids();
    const bool unknown = std::find(uids.begin(), uids.end(), 0u) != uids.end();
    if (unknown || session.highestUid() >= from) {
      const int before = store_.Count();
      // "n:*" names the last message even when its UID is below n.
      if (!session.Fetch(std::to_string(from) + ":*", TextBytes(options_),
                         [&](ImapFetched&& message) {
                           if (message.uid >= from &&
                               !listed.contains(ImapIdentity(uidValidity_, message.uid))) {
                             CheckMessage(std::move(message));
                           }
                         })) {
        Trace("UID FETCH failed: " + session.lastError());
        Incomplete("the new messages could not be read (" + session.lastError() + ")");
      }
      wake.added = store_.Count() - before;
    }
    if (session.usable() &&
        std::find(session.uids().begin(), session.uids().end(), 0u) != session.uids().end()) {
      // The server named a message by number only: map the folder again.
      if (!session.FollowUids()) {
        wake.startAgain = true;
      }
    }
    followed.lastUid = std::max(followed.lastUid, session.highestUid());
    DeleteSpam(session);
    if (memory_ && !wake.startAgain) {
      for (const uint32_t uid : session.uids()) {
        memory_->Listed(ImapIdentity(uidValidity_, uid));
      }
      CommitMemory();
    }
    memory_.reset();
    result_.outcome.deletedAsSpam = removed_;
    wake.outcome = result_.outcome;
    return wake;
  }

 private:
  // With RememberMail on, the account's remembered mail.
  void OpenMemory() {
    if (options_.RememberMail != "1") {
      return;
    }
    std::string note;
    memory_ = MailMemory::Open(
        environment_.mailMemoryDir.empty() ? MailMemoryDir() : environment_.mailMemoryDir, account_,
        note);
    if (!note.empty()) {
      MemoryNote(note);
    }
  }

  void CommitMemory() {
    if (std::string why; memory_ && !memory_->Commit(why)) {
      MemoryNote("the remembered mail could not be written (" + why +
                 "); the next pass starts from what the last complete pass left");
    }
    memory_.reset();
  }

  void MemoryNote(const std::string& note) {
    Trace(note);
    result_.outcome.memoryNote += (result_.outcome.memoryNote.empty() ? "" : "; ") + note;
  }

  // Lists every message's UID and size; judges the remembered ones from the
  // store and fetches the rest, in the folder's order. False when the folder
  // could not be read whole.
  bool FetchUnknown(ImapSession& session) {
    const std::unordered_map<std::string, int64_t>& known =
        memory_->KnownSizes(ContentSetting(options_));
    struct Listed {
      uint32_t uid;
      int64_t size;
      bool remembered;
    };
    std::vector<Listed> listed;
    int remembered = 0;
    const bool whole = session.ListSizes("1:*", [&](uint32_t uid, int64_t size) {
      const std::string identity = ImapIdentity(uidValidity_, uid);
      if (!memory_->Listed(identity)) {
        return;  // named twice
      }
      const auto found = known.find(identity);
      const bool same = found != known.end() && found->second == size;
      remembered += same ? 1 : 0;
      listed.push_back({uid, size, same});
    });
    if (!whole) {
      return false;
    }
    if (remembered == 0) {
      CarryAnnouncedOver(known);
    }
    Trace("remembered " + std::to_string(remembered) + " of " + std::to_string(listed.size()) +
          " messages; fetching " + std::to_string(listed.size() - remembered));
    std::sort(listed.begin(), listed.end(),
              [](const Listed& a, const Listed& b) { return a.uid < b.uid; });
    // New mail comes last, so the unknown messages are mostly one run.
    for (size_t i = 0; i < listed.size();) {
      if (listed[i].remembered) {
        CheckRemembered(listed[i].uid, listed[i].size);
        ++i;
        continue;
      }
      std::vector<uint32_t> run;
      for (; i < listed.size() && !listed[i].remembered; ++i) {
        run.push_back(listed[i].uid);
      }
      for (const std::string& set : UidSets(run)) {
        if (!session.Fetch(set, TextBytes(options_),
                           [this](ImapFetched&& message) { CheckMessage(std::move(message)); })) {
          return false;
        }
      }
    }
    return true;
  }

  // Some servers (GNU Mailutils' imap4d on a Maildir) give the folder a new
  // UIDVALIDITY whenever mail arrives, so no UID known before is certain: the
  // messages are fetched again, but one announced under the old UIDVALIDITY
  // (the same Message-ID or date and sender, the same size) is not announced
  // again.
  void CarryAnnouncedOver(const std::unordered_map<std::string, int64_t>& known) {
    const std::string current = ImapIdentity(uidValidity_, 0);
    const std::string prefix = current.substr(0, current.size() - 1);
    for (const auto& [id, size] : known) {
      if (id.starts_with(prefix)) {
        return;  // the same UIDVALIDITY: nothing to carry over
      }
      if (const std::optional<RememberedMessage> old = memory_->Find(id); old && old->announced) {
        announcedBefore_.insert(old->texts.messageKey + '\n' + std::to_string(old->size));
      }
    }
    if (!announcedBefore_.empty()) {
      Trace("the folder's UIDVALIDITY changed: " + std::to_string(announcedBefore_.size()) +
            " messages announced before are known by their Message-ID and size");
    }
  }

  // A message judged from what was remembered of it: nothing of it is fetched.
  void CheckRemembered(uint32_t uid, int64_t size) {
    const std::string identity = ImapIdentity(uidValidity_, uid);
    std::optional<RememberedMessage> known = memory_->Find(identity);
    if (!known) {
      Incomplete("message " + identity + " was not remembered after all");
      return;
    }
    ++seen_;
    mailboxSize_ += std::max<int64_t>(size, 0);
    Envelope envelope = std::move(known->texts);
    envelope.size = SizeText(size);
    envelope.account = account_.UserName;
    envelope.messageId = std::to_string(MakeMessageId(seen_ - 1, index_));
    envelope.uniqueId = identity;
    envelope.isNew = !known->announced;
    if (options_.CheckLines == 0) {
      envelope.content.clear();
    }
    Judge(uid, std::max<int64_t>(size, 0), std::move(envelope), known->readable);
  }

  void CheckMessage(ImapFetched message) {
    ++seen_;
    const int64_t size = std::max<int64_t>(message.size, 0);
    mailboxSize_ += size;
    Trace("UID FETCH " + std::to_string(message.uid));
    DecodedMessage decoded;
    MimeDecoder decoder;
    decoder.SetCollectBody(options_.CheckLines != 0);
    decoder.Decode(DecoderText(message), decoded);
    // The structure knows every part; the start of the body may not.
    decoded.attachmentNames = std::move(message.attachmentNames);
    Envelope envelope = BuildEnvelope(decoded, size, options_, account_, index_, seen_ - 1);
    envelope.uniqueId = ImapIdentity(uidValidity_, message.uid);
    const bool readable = HasReadableHeaders(decoded);
    if (memory_) {
      envelope.isNew = memory_->RememberRead(envelope, size, ContentSetting(options_), readable);
      if (envelope.isNew &&
          announcedBefore_.contains(envelope.messageKey + '\n' + std::to_string(size))) {
        envelope.isNew = false;
        memory_->MarkAnnounced(envelope.uniqueId);
      }
    }
    Judge(message.uid, size, std::move(envelope), readable);
  }

  void Judge(uint32_t uid, int64_t size, Envelope envelope, bool readable) {
    const std::string& identity = envelope.uniqueId;
    if (!readable) {
      Trace("message " + identity + " has no readable header; not judged as spam");
    } else if (const SpamRule rule =
                   JudgeMessage(account_, envelope.address, envelope.subject, envelope.content);
               rule != SpamRule::None) {
      Trace("message " + identity + " is spam: " + SpamRuleText(rule));
      spam_.push_back({uid, size, std::move(envelope)});
      return;
    }
    const int row = store_.Count();
    result_.outcome.newMessages += envelope.isNew ? 1 : 0;
    const bool announced = memory_ && envelope.isNew;
    store_.Append(envelope);
    observer_.EnvelopeAccepted(row, envelope);
    if (announced) {
      memory_->MarkAnnounced(envelope.uniqueId);
    }
    observer_.SetEmailsProgress(seen_, expected_);
  }

  // A listed message left the folder: its row goes, and the account's later
  // rows move down one, as after a deletion.
  bool RemoveListed(const std::string& identity) {
    for (int k = 0; k < store_.Count(); ++k) {
      const Envelope e = store_.Get(k);
      const long long id = std::stoll("0" + e.messageId);
      if (e.uniqueId == identity && AccountIndexOf(id) == index_) {
        store_.Remove(k);
        RenumberAfterDeletion(store_, index_, MessageIndexOf(id));
        observer_.EnvelopeRemoved(id);
        Trace("message " + identity + " left the folder");
        return true;
      }
    }
    return false;
  }

  // Removes each spam message by its UID; counted and logged once the server
  // confirmed it. The first refusal that would repeat for every message (no
  // UIDPLUS nor MOVE) ends the removals with its reason.
  void DeleteSpam(ImapSession& session) {
    for (const auto& [uid, size, spam] : spam_) {
      if (!session.usable()) {
        Incomplete("spam message " + spam.uniqueId + " was not deleted: the connection was lost");
        continue;
      }
      if (!session.Remove(uid)) {
        Trace("message " + spam.uniqueId + " not deleted: " + session.lastError());
        Incomplete("spam message " + spam.uniqueId + " was not deleted: " + session.lastError());
        if (session.removal() == ImapRemoval::None || session.uidValidityChanged()) {
          break;
        }
        continue;
      }
      ++removed_;
      mailboxSize_ -= size;
      if (options_.LogDeleted) {
        LogDeletedMessage(environment_.deletedLogDir, account_.UserName, clock_, spam);
      }
    }
  }

  void StorageAlert() {
    if (StorageLimitPassed(account_, mailboxSize_)) {
      observer_.StorageAlert(StorageNotice(account_));
    }
  }

  void End(ImapSession& session) {
    if (session.usable()) {
      session.Logout();
    }
    session.Close();
  }

  ImapAccountResult ConnectFailed(const std::string& why) {
    Trace("Failed to connect server");
    Trace(why);
    observer_.SetTrayIcon(TrayState::Disconnected);
    observer_.SetTrayTooltip("'" + account_.UserName + "' is disconnected");
    result_.outcome.status = AccountOutcome::Status::Failed;
    result_.outcome.error = why;
    result_.end = ImapAccountResult::End::ConnectFailed;
    return result_;
  }

  void Incomplete(const std::string& why) { AddIncompleteReason(result_.outcome, problems_, why); }

  void Trace(std::string_view step) const { trace_.Write(account_.UserName, step); }

  const AppOptions& options_;
  const MailAccount& account_;
  const int index_;
  EnvelopeStore& store_;
  CheckObserver& observer_;
  const MailEnvironment& environment_;
  const CommandTrace& trace_;
  const Clock& clock_;
  ImapAccountResult result_;
  uint32_t uidValidity_ = 0;
  int expected_ = 0;  // EXISTS when the folder was selected
  int seen_ = 0;      // messages fetched
  int removed_ = 0;   // spam the server confirmed removed
  int problems_ = 0;
  int64_t mailboxSize_ = 0;
  struct Spam {
    uint32_t uid;
    int64_t size;
    Envelope envelope;
  };
  std::vector<Spam> spam_;
  std::unique_ptr<MailMemory> memory_;  // RememberMail on
  // Message key and size of the messages announced under an earlier UIDVALIDITY.
  std::unordered_set<std::string> announcedBefore_;
};

}  // namespace

bool IsImapAccount(const MailAccount& account) {
  return ParseProtocol(account.Protocol) != MailProtocol::Pop3;
}

bool FollowImapFolder(ImapSession& session, ImapFollowed& followed) {
  if (!session.FollowUids()) {
    return false;
  }
  followed.uidValidity = session.uidValidity();
  followed.lastUid = session.highestUid();
  return true;
}

ImapWakeResult UpdateImapAccount(const Settings& settings, int index, ImapSession& session,
                                 ImapFollowed& followed, EnvelopeStore& store,
                                 CheckObserver& observer, const MailEnvironment& environment) {
  SystemClock systemClock;
  const Clock& clock = environment.clock ? *environment.clock : systemClock;
  const CommandTrace trace(environment.commandLogPath, settings.options.LogDeleted, clock);
  ImapAccountPass pass(settings, index, store, observer, environment, trace, clock);
  return pass.Wake(session, followed);
}

ImapAccountResult RunImapAccount(const Settings& settings, int index, EnvelopeStore& store,
                                 CheckObserver& observer, const MailEnvironment& environment,
                                 const CommandTrace& trace, const Clock& clock) {
  return ImapAccountPass(settings, index, store, observer, environment, trace, clock).Run();
}

DeleteOutcome DeleteImapMessage(const Envelope& entry, const AppOptions& options,
                                const MailAccount& account, const MailEnvironment& environment) {
  DeleteOutcome outcome;
  uint32_t listedValidity = 0;
  uint32_t uid = 0;
  if (!ParseProtocol(account.Protocol)) {
    outcome.error = ProtocolValueError(account.Protocol);
    return outcome;
  }
  if (!ParseImapIdentity(entry.uniqueId, listedValidity, uid)) {
    outcome.refused = true;
    outcome.error = "the message was not listed from this IMAP account; check again first";
    return outcome;
  }
  const std::optional<Security> security = account.Security.value();
  if (!security) {
    outcome.error = SecurityValueError(account.Security.text());
    return outcome;
  }
  const PasswordAnswer password = environment.password(account, environment.cancel.get());
  if (!password.found) {
    outcome.error = password.error;
    return outcome;
  }
  ImapSession session(environment.makeTransport(account), environment.imapLimits);
  if (!session.Connect(account.POP3Server, PortOf(account, *security), account.UserName,
                       password.password, *security) ||
      !session.Select(account.IMAPFolder)) {
    outcome.error = session.lastError();
    session.Close();
    return outcome;
  }
  if (session.uidValidity() != listedValidity) {
    outcome.refused = true;
    outcome.error =
        "the folder was rebuilt on the server since the check (its UIDVALIDITY changed); "
        "nothing is deleted: check again";
  } else if (!session.Remove(uid)) {
    outcome.error = session.lastError();
  } else {
    outcome.deleted = true;
    if (options.LogDeleted) {
      SystemClock systemClock;
      LogDeletedMessage(environment.deletedLogDir, account.UserName,
                        environment.clock ? *environment.clock : systemClock, entry);
    }
  }
  if (session.usable()) {
    session.Logout();
  }
  session.Close();
  return outcome;
}

}  // namespace bc
