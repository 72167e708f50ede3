#include "mail/check_cycle.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <future>
#include <system_error>
#include <utility>

#include "antispam/spam_classifier.h"
#include "config/paths.h"
#include "config/text_util.h"
#include "mail/deletion.h"
#include "mail/envelope_fields.h"
#include "mail/imap_pass.h"
#include "mail/mail_log.h"
#include "mail/mail_memory.h"
#include "mail/message_envelope.h"
#include "mail/pop3_session.h"
#include "mime/mime_decoder.h"

namespace bc {
namespace {

constexpr const char* kCheckingTitle = "Brindlecast Checking Email...";
// Shorter than this, a retrieved text cannot be a message.
constexpr size_t kShortestMessage = 31;

std::string Disconnected(const MailAccount& account) {
  return "'" + account.UserName + "'" + " is disconnected";  // the tray cuts it to fit
}

double ParseDecimalFraction(const std::string& text) {
  // Not strtod: the desktop program runs under the user's locale, where the
  // decimal point may be a comma.
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  while (begin < end && (*begin == ' ' || *begin == '\t')) {
    ++begin;
  }
  double value = 0;
  std::from_chars(begin, end, value);
  return value;
}

// A window pays for its CAPA only past a few messages.
constexpr int kPipelineFrom = 16;
constexpr int kWindowMessages = 64;
// The window's LIST sizes stay under this (one message at least). A message
// LIST gives no size for counts as the whole of it: it goes out alone.
constexpr int64_t kWindowBytes = 4 << 20;

// Which RETR of an account's pass are out: one ahead of the message being
// read, or with pipelining up to a window of them. Replies are read one at a
// time as they come; no other command goes out while any is in flight, so no
// reply is ever read ahead and held, whatever LIST claimed.
class RetrieveWindow {
 public:
  // `fetch`: by message number, whether it is retrieved at all (null: all are).
  RetrieveWindow(Pop3Session& session, int count, bool pipelined,
                 const std::vector<char>* fetch = nullptr)
      : session_(session), count_(count), pipelined_(pipelined), fetch_(fetch) {}

  [[nodiscard]] bool Fetches(int n) const {
    return fetch_ == nullptr || (*fetch_)[static_cast<size_t>(n)] != 0;
  }

  // Sends RETR up to message `first` (the next to be read) and, pipelined, as
  // far past it as the window allows; with `refill` false, nothing more while
  // any RETR is out (a deletion waits for the window to drain).
  void SendThrough(int first, bool refill = true) {
    // Refilled once half empty, so the commands go out in batches, not one
    // write (and wait) per message.
    const int outstanding = sent_ - first + 1;
    if (pipelined_ && outstanding > 0 &&
        (!refill || outstanding > kWindowMessages / 2 || bytes_ > kWindowBytes / 2)) {
      return;
    }
    const int last = std::min(count_, pipelined_ && refill ? first + kWindowMessages - 1 : first);
    while (sendOk_ && sent_ < last) {
      const int n = sent_ + 1;
      if (!Fetches(n)) {
        ++sent_;  // remembered: nothing to send
        continue;
      }
      const int64_t size = Cost(n);
      if (n > first && bytes_ + size > kWindowBytes) {
        return;
      }
      sendOk_ = session_.SendRetrieve(n);
      if (sendOk_) {
        ++sent_;
        lastSent_ = n;
        bytes_ += size;
      }
    }
  }

  [[nodiscard]] bool Sent(int n) const { return n <= sent_; }
  [[nodiscard]] bool pipelined() const { return pipelined_; }
  // From message n on (none past it out), one RETR at a time.
  void OneAtATime(int n) {
    pipelined_ = false;
    sent_ = n - 1;
    lastSent_ = std::min(lastSent_, n - 1);
    bytes_ = 0;
  }
  // No RETR past message n is out: another command may go out after n's reply.
  [[nodiscard]] bool DrainedAfter(int n) const { return lastSent_ <= n; }
  void Received(int n) { bytes_ -= Cost(n); }
  // Reads and drops the replies of every RETR out past message n.
  void Drain(int n) {
    for (int k = n + 1; k <= sent_ && session_.usable(); ++k) {
      if (Fetches(k)) {
        static_cast<void>(session_.ReadRetrieved());
        static_cast<void>(session_.TakeMessageText());
      }
    }
    sent_ = std::min(sent_, n);
    lastSent_ = std::min(lastSent_, n);
    bytes_ = 0;
  }

 private:
  [[nodiscard]] int64_t Cost(int n) const {
    const int64_t size = session_.MessageSize(n);
    return size > 0 ? size : kWindowBytes;
  }

  Pop3Session& session_;
  const int count_;
  bool pipelined_;
  const std::vector<char>* fetch_;
  int sent_ = 0;      // every number up to this one is sent or not to be fetched
  int lastSent_ = 0;  // the last RETR sent
  bool sendOk_ = true;
  int64_t bytes_ = 0;  // LIST sizes of the RETR out and not yet read
};

// How an account's part of the pass ended; each ending moves on differently.
// In the order of ImapAccountResult::End.
enum class AccountEnd {
  ConnectFailed,  // not reachable or login refused
  Abandoned,      // STAT or LIST failed
  Empty,          // the mailbox holds nothing
  Done,           // the messages were examined
};

class AccountPass {
 public:
  AccountPass(const Settings& settings, int index, EnvelopeStore& store, CheckObserver& observer,
              const MailEnvironment& environment, const CommandTrace& trace, const Clock& clock)
      : options_(settings.options),
        account_(settings.accounts[static_cast<size_t>(index)]),
        index_(index),
        store_(store),
        observer_(observer),
        environment_(environment),
        trace_(trace),
        clock_(clock) {
    outcome_.accountIndex = index;
    outcome_.userName = account_.UserName;
  }

  using SessionPtr = std::unique_ptr<Pop3Session>;

  // `session` is replaced by a new one when an optional command (CAPA, UIDL)
  // broke the connection and the pass starts again without it.
  AccountEnd Run(SessionPtr& session) {
    StartOpeningMemory();
    const AccountEnd end = Examine(session);
    if (opening_.valid()) {
      // Ended before the store was needed: what was done about it is still said.
      if (const std::string note = opening_.get().note; !note.empty()) {
        MemoryNote(note);
      }
    }
    return end;
  }

  [[nodiscard]] int messagesLeft() const { return messagesLeft_; }
  [[nodiscard]] const AccountOutcome& outcome() const { return outcome_; }

 private:
  // Refused: a pipelined RETR was refused by the server, which may not take
  // pipelined commands after all.
  enum class Retrieval { Ok, Skipped, Failed, Refused };

  // The account's remembered mail as a thread of its own opened it.
  struct OpenedMemory {
    std::unique_ptr<MailMemory> memory;
    std::string note;  // what was done about a store that could not be used as it was
  };

  AccountEnd Examine(SessionPtr& session) {
    if (!Login(session)) {
      return AccountEnd::ConnectFailed;
    }
    if (const std::optional<AccountEnd> end = Survey(*session)) {
      return *end;
    }
    // Unique ids let every deletion make sure it deletes this very message.
    // Servers without UIDL answer -ERR, which changes nothing here.
    const bool haveUniqueIds = session->Uidl();
    if (!haveUniqueIds && !session->usable()) {
      StartAgainWithout("UIDL", session);
      if (!Connect(*session)) {
        ConnectFailed(*session, session->lastError());
        return AccountEnd::ConnectFailed;
      }
      if (const std::optional<AccountEnd> end = Survey(*session)) {
        return *end;
      }
    }
    OpenMemory(haveUniqueIds);
    CheckMessages(*session, haveUniqueIds);
    Finish(*session);
    return AccountEnd::Done;
  }

  // Finds the password and logs in, asking the server's capabilities first;
  // false (the account failed) when it cannot. CAPA is optional: when its
  // answer breaks the connection, a new one goes without it.
  bool Login(SessionPtr& session) {
    const std::optional<Security> security = account_.Security.value();
    if (!security) {
      outcome_.failedStep = "Security";
      return ConnectFailed(*session, SecurityValueError(account_.Security.text()));
    }
    // Asked only for an account that can be checked; a keyring that cannot
    // give the password fails the account with its reason.
    password_ = environment_.password(account_, environment_.cancel.get());
    if (!password_.found) {
      outcome_.failedStep = "password";
      return ConnectFailed(*session, password_.error);
    }
    session->AskCapabilitiesFirst();
    bool connected = Connect(*session);
    if (!connected && session->capabilitiesFailed()) {
      StartAgainWithout("CAPA", session);
      connected = Connect(*session);
    }
    return connected || ConnectFailed(*session, session->lastError());
  }

  bool Connect(Pop3Session& session) {
    const bool connected =
        session.Connect(account_.POP3Server, account_.POP3Port.value(), account_.UserName,
                        password_.password, account_.Security.value().value_or(Security::Tls));
    if (connected) {
      observer_.SetTrayIcon(TrayState::Idle);
      Trace("Connected server");
    }
    return connected;
  }

  // An optional command broke the connection: says so, and gives the pass a
  // new session that goes without it. A later failure names it too.
  void StartAgainWithout(std::string_view command, SessionPtr& session) {
    const std::string why = session->lastError();
    session->Close();
    Trace(std::string(command) + " failed (" + why + "); connecting again without it");
    startedAgain_ = std::string(command) + " failed (" + why + ")";
    session = std::make_unique<Pop3Session>(environment_.makeTransport(account_),
                                            environment_.replyLimits);
    if (command != "CAPA") {
      session->AskCapabilitiesFirst();
    }
  }

  bool ConnectFailed(Pop3Session& session, std::string why) {
    if (!startedAgain_.empty()) {
      why = startedAgain_ + "; without it: " + why;
    }
    Trace("Failed to connect server");
    Trace(why);
    if (outcome_.failedStep.empty()) {
      outcome_.failedStep = session.lastCommand().empty() ? "connect" : session.lastCommand();
    }
    session.Close();
    observer_.SetTrayIcon(TrayState::Disconnected);
    observer_.SetTrayTooltip(Disconnected(account_));
    Failed(why);
    return false;
  }

  // STAT and LIST; an ending when the pass stops here (a failure or an empty
  // mailbox), nullopt when there are messages to check.
  std::optional<AccountEnd> Survey(Pop3Session& session) {
    if (!session.Stat()) {
      return Abandon(session, "STAT failed");
    }
    Trace("STAT");
    if (session.messageCount() <= 0) {
      EndSession(session);
      Trace("GetNumberOfMails failed");
      outcome_.status = AccountOutcome::Status::Checked;
      return AccountEnd::Empty;
    }
    Trace("GetNumberOfMails");
    if (!session.List()) {
      return Abandon(session, "LIST failed");
    }
    observer_.SetTrayIcon(TrayState::Idle);
    Trace("LIST");
    return std::nullopt;
  }

  AccountEnd Abandon(Pop3Session& session, std::string_view step) {
    const std::string why =
        (startedAgain_.empty() ? "" : startedAgain_ + "; without it: ") + session.lastError();
    outcome_.failedStep = session.lastCommand();
    EndSession(session);
    observer_.SetTrayIcon(TrayState::Disconnected);
    Trace(step);
    Failed(why);
    return AccountEnd::Abandoned;
  }

  // Retrieves, decodes and judges every message. The next RETR goes out before
  // a message is decoded, so the server reads the next message while this one
  // is worked on; a server that takes pipelined commands gets a window of them.
  // The DELE of a spam message waits until no RETR is in flight: one at a time,
  // until the next reply is in; pipelined, until the window has drained (it is
  // not refilled meanwhile), so no reply is ever read ahead and held.
  void CheckMessages(Pop3Session& session, bool haveUniqueIds) {
    const int count = session.messageCount();
    observer_.SetEmailsProgress(0, count);
    messageCount_ = count;
    messagesLeft_ = count;
    outcome_.status = AccountOutcome::Status::Checked;
    std::vector<char> fetch;
    if (memory_) {
      fetch = PlanRetrievals(session, count);
    }
    // The capabilities were asked before the login.
    RetrieveWindow window(session, count, count >= kPipelineFrom && session.pipelining(),
                          memory_ ? &fetch : nullptr);
    window.SendThrough(1);
    for (int n = 1; n <= count; ++n) {
      observer_.SetTrayIcon(TrayState::Checking);
      if (!window.Fetches(n)) {
        if (window.DrainedAfter(n)) {
          DeletePendingSpam(session);
        }
        window.SendThrough(n + 1, pendingSpam_.empty());
        CheckRemembered(n, session.UniqueId(n), session.MessageSize(n));
        continue;
      }
      std::string text;
      Retrieval got = ReadMessage(session, n, window, text);
      if (got == Retrieval::Refused) {
        // Some servers list PIPELINING and then refuse all but the first RETR
        // of a batch: the rest of the pass goes one command at a time.
        const std::string why = session.lastError();
        window.Drain(n);
        window.OneAtATime(n);
        window.SendThrough(n);
        got = ReadMessage(session, n, window, text);
        if (got != Retrieval::Failed) {
          Trace("the server refused pipelined commands (" + why +
                "); checking the rest one command at a time");
        }
      }
      if (got == Retrieval::Failed) {
        window.Drain(n);
        break;
      }
      window.Received(n);
      if (window.DrainedAfter(n)) {
        DeletePendingSpam(session);
      }
      window.SendThrough(n + 1, pendingSpam_.empty());
      if (got == Retrieval::Ok) {
        CheckMessage(n, std::move(text), session.MessageSize(n),
                     haveUniqueIds ? std::string(session.UniqueId(n)) : std::string());
      }
    }
  }

  // The last deletion, the storage alert and QUIT, which commits the deletions.
  void Finish(Pop3Session& session) {
    DeletePendingSpam(session);
    observer_.SetEmailsProgress(0, messageCount_);
    StorageAlert(session);
    const bool committed = session.Quit();
    session.Close();
    Committed(committed);
    if (std::string why; memory_ && !memory_->Commit(why)) {
      MemoryNote("the remembered mail could not be written (" + why +
                 "); the next pass starts from what the last complete pass left");
    }
    memory_.reset();
  }

  // With RememberMail on, the store is opened and read on a thread of its own
  // while the server logs in and lists the mailbox: the pass waits for it only
  // when it needs it.
  void StartOpeningMemory() {
    if (options_.RememberMail != "1") {
      return;
    }
    auto open = [dir = environment_.mailMemoryDir.empty() ? MailMemoryDir()
                                                          : environment_.mailMemoryDir,
                 account = account_] {
      OpenedMemory opened;
      opened.memory = MailMemory::Open(dir, account, opened.note);
      return opened;
    };
    try {
      opening_ = std::async(std::launch::async, open);
    } catch (const std::system_error&) {
      opening_ = std::async(std::launch::deferred, open);  // no thread to be had: when needed
    }
  }

  // With RememberMail on and unique ids to go by, the account's remembered mail.
  void OpenMemory(bool haveUniqueIds) {
    if (!opening_.valid()) {
      return;
    }
    OpenedMemory opened = opening_.get();
    if (!opened.note.empty()) {
      MemoryNote(opened.note);
    }
    if (!haveUniqueIds) {
      MemoryNote(
          "the server does not offer UIDL, so every message is retrieved and none is "
          "remembered");
      return;
    }
    memory_ = std::move(opened.memory);
  }

  void MemoryNote(const std::string& note) {
    Trace(note);
    outcome_.memoryNote += (outcome_.memoryNote.empty() ? "" : "; ") + note;
  }

  // By message number: whether it must be retrieved. A message is not when it
  // is remembered by its unique id at the same size and content setting; one
  // without an id, or whose id another message has too, always is.
  std::vector<char> PlanRetrievals(const Pop3Session& session, int count) {
    std::vector<char> fetch(static_cast<size_t>(count) + 1, 1);
    knownRows_.assign(static_cast<size_t>(count) + 1, nullptr);
    const std::string lines = ContentSetting(options_);
    int remembered = 0;
    for (int n = 1; n <= count; ++n) {
      const std::string_view uid = session.UniqueId(n);
      if (uid.empty()) {
        continue;
      }
      const auto* row = memory_->ListKnown(uid, session.MessageSize(n), lines);
      if (row != nullptr) {
        knownRows_[static_cast<size_t>(n)] = row;
        fetch[static_cast<size_t>(n)] = 0;
        ++remembered;
      }
    }
    Trace("remembered " + std::to_string(remembered) + " of " + std::to_string(count) +
          " messages; retrieving " + std::to_string(count - remembered));
    return fetch;
  }

  // A message judged from what was remembered of it: it is not retrieved.
  void CheckRemembered(int n, std::string_view uid, int64_t size) {
    // Into the same message each time: its texts keep their room.
    RememberedMessage& known = recalled_;
    memory_->RecallRow(*knownRows_[static_cast<size_t>(n)], known);
    Envelope& envelope = known.texts;
    envelope.size = SizeText(size);
    envelope.account = account_.UserName;
    envelope.messageId =
        std::to_string(MakeMessageId(n - 1 - static_cast<int>(leaving_.size()), index_));
    envelope.uniqueId.assign(uid);
    envelope.isNew = !known.announced;
    if (options_.CheckLines == 0) {
      envelope.content.clear();  // remembered at another setting; none is read now
    }
    Judge(n, std::move(envelope), known.readable);
  }

  // Reads the reply to RETR n (sent by the caller) into `text`. Failed ends the
  // account's message loop; Skipped passes over this one message.
  Retrieval ReadMessage(Pop3Session& session, int n, const RetrieveWindow& window,
                        std::string& text) {
    const int j = n - 1;
    char step[64];
    const bool sent = window.Sent(n);
    if (!sent || !session.ReadRetrieved()) {
      if (sent && window.pipelined() && session.usable() && !session.serverReply().empty()) {
        return Retrieval::Refused;
      }
      std::snprintf(step, sizeof step, "RETR %d of %d failed", j, messagesLeft_ - 1);
      Trace(step);
      Incomplete("message " + std::to_string(n) + " could not be retrieved (" +
                 session.lastError() + "); it and the messages after it were not checked");
      return Retrieval::Failed;
    }
    std::snprintf(step, sizeof step, "RETR %d of %d", j, messagesLeft_ - 1);
    Trace(step);
    text = session.TakeMessageText();
    if (text.size() < kShortestMessage) {
      // A broken message must not hide the rest of the mailbox: skip it alone.
      Trace("GetMsgContents failed");
      Trace("message " + std::to_string(n) + " skipped: the server sent only " +
            std::to_string(text.size()) + " bytes");
      Incomplete("message " + std::to_string(n) + " was skipped: the server sent only " +
                 std::to_string(text.size()) + " bytes");
      return Retrieval::Skipped;
    }
    return Retrieval::Ok;
  }

  // The message steps after the retrieval: decode, build the envelope, judge it.
  void CheckMessage(int n, std::string text, int64_t size, std::string uniqueId) {
    Trace("GetMsgContents");
    DecodedMessage decoded;
    MimeDecoder decoder;
    // The body text is only ever read as content.
    decoder.SetCollectBody(options_.CheckLines != 0);
    decoder.Decode(text, decoded);
    // The lines taken from the text are copies: let the text go before the
    // content is built from them, so a large message is not held twice.
    std::string().swap(text);
    Trace("Parse message,header=" + std::to_string(decoded.headerLines.size()));

    // Numbered as the server will number it after QUIT.
    const int messageIndex = n - 1 - static_cast<int>(leaving_.size());
    Envelope envelope = BuildEnvelope(decoded, size, options_, account_, index_, messageIndex);
    envelope.uniqueId = std::move(uniqueId);
    const bool readable = HasReadableHeaders(decoded);
    if (memory_ && !envelope.uniqueId.empty()) {
      envelope.isNew = memory_->RememberRead(envelope, size, ContentSetting(options_), readable);
    }
    Judge(n, std::move(envelope), readable);
  }

  // The spam rules for one message, retrieved or remembered: deletion waits,
  // an accepted message is stored and reported.
  // Takes the envelope only when it waits for deletion.
  void Judge(int n, Envelope&& envelope, bool readable) {
    if (!readable) {
      // Rule 1 would delete it for its empty sender; without headers nothing
      // about it can be judged, so it is kept and shown.
      Trace("message " + std::to_string(n) + " has no readable header; not judged as spam");
    } else if (const SpamRule rule =
                   JudgeMessage(account_, envelope.address, envelope.subject, envelope.content);
               rule != SpamRule::None) {
      Trace("message " + std::to_string(n) + " is spam: " + SpamRuleText(rule));
      RememberIdentity(n, envelope);
      pendingSpam_.emplace_back(n, std::move(envelope));
      leaving_.push_back(n);
      --messagesLeft_;  // as the trace counts; the result counts committed deletions
      return;
    }
    RememberIdentity(n, envelope);
    const int row = store_.Count();
    accepted_.emplace_back(row, n);
    outcome_.newMessages += envelope.isNew ? 1 : 0;
    const bool announced = memory_ && envelope.isNew && !envelope.uniqueId.empty();
    store_.Append(envelope);
    observer_.EnvelopeAccepted(row, envelope);
    if (announced) {
      memory_->MarkAnnounced(envelope.uniqueId);
    }
    observer_.SetEmailsProgress(n, messageCount_);
  }

  // Sends the DELE of each spam message judged since the last deletions, once
  // the server confirms the message with that number is still the one judged.
  // Called only when no RETR is in flight.
  void DeletePendingSpam(Pop3Session& session) {
    if (pendingSpam_.empty()) {
      return;
    }
    for (auto& [n, spam] : std::exchange(pendingSpam_, {})) {
      DeleteSpam(session, n, spam);
    }
  }

  void DeleteSpam(Pop3Session& session, int n, const Envelope& spam) {
    const JudgedMessage judged = JudgedOf(spam);
    std::string why;
    if (NeedsMoreThanKey(judged)) {
      for (const auto& [k, other] : lookAlikes_) {
        if (k != n && LookAlike(other, judged)) {
          why = LookAlikeError(n);
        }
      }
    }
    if (!why.empty() || !ConfirmMessage(session, n, judged, why)) {
      Trace("message " + std::to_string(n) + " not deleted: " + why);
      Incomplete("spam message " + std::to_string(n) + " was not deleted: " + why);
      Stays(n);
      return;
    }
    // Logged whether or not the server accepts the DELE: the deletion was tried.
    if (options_.LogDeleted) {
      WriteDeletedLog(spam);
    }
    if (!session.Delete(n)) {
      Incomplete("the server refused to delete spam message " + std::to_string(n) + " (" +
                 session.lastError() + ")");
      Stays(n);
      return;
    }
    ++acceptedDeletions_;
  }

  // Messages whose key need not be their own, to tell them apart at deletion.
  void RememberIdentity(int n, const Envelope& envelope) {
    // Most messages have a unique id: only the others are copied to compare.
    if (envelope.uniqueId.empty()) {
      if (JudgedMessage judged = JudgedOf(envelope); NeedsMoreThanKey(judged)) {
        lookAlikes_.emplace_back(n, std::move(judged));
      }
    }
  }

  // Spam message n was not deleted after all: the entries after it keep their
  // numbers.
  void Stays(int n) {
    std::erase(leaving_, n);
    for (const auto& [row, k] : accepted_) {
      if (k > n) {
        const auto before =
            std::count_if(leaving_.begin(), leaving_.end(), [k](int m) { return m < k; });
        store_.SetMessageId(
            row, std::to_string(MakeMessageId(k - 1 - static_cast<int>(before), index_)));
      }
    }
  }

  // QUIT commits the accepted deletions; without it none took place.
  void Committed(bool quitSucceeded) {
    if (quitSucceeded || acceptedDeletions_ == 0) {
      outcome_.deletedAsSpam = acceptedDeletions_;
      messagesLeft_ = messageCount_ - acceptedDeletions_;
      return;
    }
    messagesLeft_ = messageCount_;
    Incomplete("the server did not confirm QUIT, so its " + std::to_string(acceptedDeletions_) +
               " spam deletions did not take place");
    // The messages keep their numbers: so must the entries of this pass.
    for (const auto& [row, n] : accepted_) {
      store_.SetMessageId(row, std::to_string(MakeMessageId(n - 1, index_)));
    }
  }

  void WriteDeletedLog(const Envelope& e) {
    PrepareLogDir(environment_.deletedLogDir);
    AppendLogLine(DeletedLogPath(environment_.deletedLogDir, account_.UserName, clock_.LocalNow()),
                  DeletedLogLine(e.from, e.subject, e.address, e.received, e.size, e.account));
  }

  void StorageAlert(const Pop3Session& session) {
    if (StorageLimitPassed(account_, session.mailboxSize())) {
      observer_.StorageAlert(StorageNotice(account_));
    }
  }

  void EndSession(Pop3Session& session) {
    session.Quit();
    session.Close();
  }

  void Failed(const std::string& why) {
    outcome_.status = AccountOutcome::Status::Failed;
    outcome_.error = why;
  }

  void Incomplete(const std::string& why) { AddIncompleteReason(outcome_, problems_, why); }

  void Trace(std::string_view step) const { trace_.Write(account_.UserName, step); }

  const AppOptions& options_;
  const MailAccount& account_;
  const int index_;
  EnvelopeStore& store_;
  CheckObserver& observer_;
  const MailEnvironment& environment_;
  const CommandTrace& trace_;
  const Clock& clock_;
  int messageCount_ = 0;  // STAT count
  int messagesLeft_ = 0;
  int acceptedDeletions_ = 0;  // DELE answered +OK in this session
  std::vector<int> leaving_;   // spam messages whose DELE went out or waits
  std::vector<std::pair<int, JudgedMessage>> lookAlikes_;
  int problems_ = 0;
  PasswordAnswer password_;
  std::string startedAgain_;  // why the pass started again without a command
  // Spam messages (by number) whose DELE waits until no RETR is in flight.
  std::vector<std::pair<int, Envelope>> pendingSpam_;
  std::vector<std::pair<int, int>> accepted_;      // store row and message number
  std::future<OpenedMemory> opening_;              // RememberMail on, until the pass needs it
  std::unique_ptr<MailMemory> memory_;             // RememberMail on, unique ids known
  RememberedMessage recalled_;                     // the remembered message being judged
  std::vector<const MailMemory::Row*> knownRows_;  // by message number: not retrieved
  AccountOutcome outcome_;
};

}  // namespace

TransportFactory SocketTransportFactory(int timeoutMs) {
  return [timeoutMs](const MailAccount& account) {
    TransportOptions options;
    // An invalid value never reaches Open (the pass refuses the account first);
    // the strictest choice keeps it so should that ever change.
    options.security = account.Security.value().value_or(Security::Tls);
    options.timeoutMs = timeoutMs;
    options.caFile = account.CAFile;
    options.certFingerprint = account.CertFingerprint;
    return MakeSocketTransport(options);
  };
}

bool StorageLimitPassed(const MailAccount& account, int64_t mailboxSize) {
  if (!account.MailCap) {
    return false;
  }
  const double threshold = ParseDecimalFraction(account.Perentage) *
                           static_cast<double>(MailboxCapacity(account)) * 0.01;
  return threshold < static_cast<double>(mailboxSize);
}

int64_t MailboxCapacity(const MailAccount& account) {
  int64_t capacity = ParseInt(account.MailCapValue);
  if (account.MailCapUnit == "KB") {
    capacity *= 1024;
  } else if (account.MailCapUnit == "MB") {
    capacity *= 1048576;
  }
  return capacity;
}

Notice StorageNotice(const MailAccount& account) {
  return {kProgramTitle, "Your email account '" + account.UserName + "' has reached " +
                             std::to_string(ParseInt(account.Perentage)) +
                             "% of it's storage limit"};
}

CheckSummary RunCheck(Settings settings, EnvelopeStore& store, CheckObserver& observer,
                      const MailEnvironment& environment) {
  SystemClock systemClock;
  const Clock& clock = environment.clock ? *environment.clock : systemClock;
  CheckSummary summary;

  observer.SetTrayIcon(TrayState::Checking);
  store.Clear();
  observer.ListCleared();
  if (settings.accounts.empty()) {
    observer.NoAccountConfigured(settings);
  }
  const int count = std::min(static_cast<int>(settings.accounts.size()), kMaxAccounts);
  observer.SetAccountsProgress(0, count);
  const CommandTrace trace(environment.commandLogPath, settings.options.LogDeleted, clock);
  if (settings.options.RememberMail == "1") {
    // A removed account's remembered mail goes with it.
    ForgetRemovedAccounts(
        environment.mailMemoryDir.empty() ? MailMemoryDir() : environment.mailMemoryDir,
        settings.accounts);
  }

  for (int i = 0; i < count; ++i) {
    observer.SetTitle(kCheckingTitle);
    const MailAccount& account = settings.accounts[static_cast<size_t>(i)];
    if (!account.CheckMark) {
      observer.SetAccountsProgress(i + 1, count);
      AccountOutcome skipped;
      skipped.accountIndex = i;
      skipped.userName = account.UserName;
      observer.AccountFinished(skipped);
      continue;
    }
    AccountEnd end;
    int messagesLeft = 0;
    if (IsImapAccount(account)) {
      const ImapAccountResult imap =
          RunImapAccount(settings, i, store, observer, environment, trace, clock);
      end = static_cast<AccountEnd>(imap.end);
      messagesLeft = imap.messagesLeft;
      observer.AccountFinished(imap.outcome);
    } else {
      AccountPass pass(settings, i, store, observer, environment, trace, clock);
      auto session = std::make_unique<Pop3Session>(environment.makeTransport(account),
                                                   environment.replyLimits);
      end = pass.Run(session);
      messagesLeft = pass.messagesLeft();
      observer.AccountFinished(pass.outcome());
    }
    if (end == AccountEnd::ConnectFailed && i == count - 1) {
      // The disconnected tooltip of the last account stays in place.
      summary.endedEarly = true;
      return summary;
    }
    if (end == AccountEnd::Empty) {
      observer.SetAccountsProgress(i + 1, count);
    }
    if (end != AccountEnd::Done) {
      continue;
    }
    summary.largestMailbox = std::max(summary.largestMailbox, messagesLeft);
    observer.SetTrayIcon(summary.largestMailbox < 1 ? TrayState::Idle : TrayState::MailPresent);
    summary.totalMessages += messagesLeft;
    observer.SetAccountsProgress(i + 1, count);
  }

  observer.SetAccountsProgress(0, count);
  if (settings.options.ShowToolTip) {
    observer.SetTrayTooltip(PassTooltip(summary.totalMessages));
  }
  observer.PassFinished(summary.largestMailbox);
  observer.SetTrayIcon(summary.largestMailbox < 1 ? TrayState::Idle : TrayState::MailPresent);
  return summary;
}

std::string PassTooltip(int totalMessages) {
  return totalMessages == 0 ? std::string("You have no new email")
                            : "You have " + std::to_string(totalMessages) + " new email";
}

}  // namespace bc
