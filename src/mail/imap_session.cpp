#include "mail/imap_session.h"

#include <QByteArray>
#include <algorithm>
#include <cctype>
#include <utility>

namespace bc {
namespace {

constexpr size_t kReadChunk = 64 * 1024;
constexpr size_t kServerTextShown = 200;
constexpr const char* kRedacted = "********";
// The most messages whose UIDs a followed folder keeps (16 MB of map).
constexpr int64_t kMostMessagesFollowed = int64_t{1} << 22;

// The UIDs of an ESEARCH "ALL" set ("1:5,7,9:12") into `out`, at most `most`.
bool ExpandUidSet(std::string_view set, std::vector<uint32_t>& out, int64_t most) {
  while (!set.empty()) {
    const size_t comma = set.find(',');
    const std::string_view range = set.substr(0, comma);
    set = comma == std::string_view::npos ? std::string_view() : set.substr(comma + 1);
    const size_t colon = range.find(':');
    const ImapValue low{ImapValue::Kind::Atom, std::string(range.substr(0, colon)), {}};
    const ImapValue high{
        ImapValue::Kind::Atom,
        std::string(colon == std::string_view::npos ? range : range.substr(colon + 1)),
        {}};
    const auto a = low.Number();
    const auto b = high.Number();
    if (!a || !b || *a == 0 || *a > *b || *b > UINT32_MAX ||
        static_cast<int64_t>(out.size()) + (*b - *a) >= most) {
      return false;
    }
    for (int64_t uid = *a; uid <= *b; ++uid) {
      out.push_back(static_cast<uint32_t>(uid));
    }
  }
  return true;
}

std::string Upper(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return text;
}

std::string Base64(const std::string& text) {
  return QByteArray::fromStdString(text).toBase64().toStdString();
}

bool HasLineBreakOrNul(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// A folder name as the command sends it; nullopt when it needs a literal.
std::optional<std::string> MailboxArgument(const std::string& folder) {
  return ImapQuoted(folder.empty() ? std::string("INBOX") : folder);
}

const ImapValue* FetchItem(const std::vector<ImapValue>& items, std::string_view name) {
  for (size_t i = 0; i + 1 < items.size(); i += 2) {
    if (items[i].kind == ImapValue::Kind::Atom && Upper(items[i].text).rfind(name, 0) == 0) {
      return &items[i + 1];
    }
  }
  return nullptr;
}

// The items of a FETCH response ("* n FETCH (...)"), whose literals follow
// the line that holds no literal; nullopt when they cannot be read.
std::optional<std::vector<ImapValue>> FetchItems(const ImapResponse& response,
                                                 const ImapParsed& parsed, int maxDepth) {
  std::vector<ImapValue> values;
  size_t literal = 0;
  std::string error;
  if (!ParseImapValues(parsed.rest, response.literals, literal, values, error, maxDepth) ||
      values.size() != 1 || values[0].kind != ImapValue::Kind::List) {
    return std::nullopt;
  }
  return std::move(values[0].items);
}

// The UID a FETCH item list names; 0 when none (an unsolicited flag change).
uint32_t FetchedUid(const std::vector<ImapValue>& items) {
  const ImapValue* uid = FetchItem(items, "UID");
  const int64_t number = uid ? uid->Number().value_or(0) : 0;
  return number > 0 && number <= UINT32_MAX ? static_cast<uint32_t>(number) : 0;
}

// The value after `key` in a parameter list ("NAME" "a.pdf" ...), upper case keys.
std::string ParamValue(const ImapValue& params, std::string_view key) {
  if (params.kind != ImapValue::Kind::List) {
    return {};
  }
  for (size_t i = 0; i + 1 < params.items.size(); i += 2) {
    if (Upper(params.items[i].text) == key) {
      return params.items[i + 1].text;
    }
  }
  return {};
}

// The file a one-part body names: its Content-Type "name" or its disposition's
// "filename". Disposition sits after the fields of the part's type.
std::string NamedFile(const ImapValue& part) {
  if (part.kind != ImapValue::Kind::List || part.items.size() < 3) {
    return {};
  }
  if (std::string name = ParamValue(part.items[2], "NAME"); !name.empty()) {
    return name;
  }
  for (size_t i = 7; i < part.items.size(); ++i) {
    const ImapValue& v = part.items[i];
    if (v.kind == ImapValue::Kind::List && v.items.size() == 2 &&
        v.items[0].kind == ImapValue::Kind::String) {
      if (std::string name = ParamValue(v.items[1], "FILENAME"); !name.empty()) {
        return name;
      }
    }
  }
  return {};
}

}  // namespace

std::vector<std::string> AttachmentNamesOf(const ImapValue& bodyStructure) {
  std::vector<std::string> names;
  if (bodyStructure.kind != ImapValue::Kind::List || bodyStructure.items.empty()) {
    return names;
  }
  if (bodyStructure.items[0].kind != ImapValue::Kind::List) {
    if (std::string name = NamedFile(bodyStructure); !name.empty()) {
      names.push_back(Upper(name));
    }
    return names;
  }
  bool from = false;
  for (const ImapValue& part : bodyStructure.items) {
    if (part.kind != ImapValue::Kind::List) {
      break;  // the subtype: the parts are over
    }
    std::string name = NamedFile(part);
    from = from || !name.empty();
    if (from) {
      names.push_back(Upper(name.empty() ? std::string("ATTACHMENT") : name));
    }
  }
  return names;
}

std::string ImapIdentity(uint32_t uidValidity, uint32_t uid) {
  return "IMAP:" + std::to_string(uidValidity) + ":" + std::to_string(uid);
}

bool ParseImapIdentity(const std::string& text, uint32_t& uidValidity, uint32_t& uid) {
  unsigned long long v = 0;
  unsigned long long u = 0;
  char rest = 0;
  if (text.rfind("IMAP:", 0) != 0 ||
      std::sscanf(text.c_str() + 5, "%llu:%llu%c", &v, &u, &rest) != 2 || v > UINT32_MAX ||
      u == 0 || u > UINT32_MAX) {
    return false;
  }
  uidValidity = static_cast<uint32_t>(v);
  uid = static_cast<uint32_t>(u);
  return true;
}

ImapSession::ImapSession(std::unique_ptr<Pop3Transport> transport, ImapSessionLimits limits)
    : transport_(std::move(transport)), limits_(limits), reader_(limits.sizes) {}

ImapSession::~ImapSession() {
  Close();
}

std::string ImapSession::Clean(std::string text) const {
  if (!password_.empty()) {
    for (size_t at = text.find(password_); at != std::string::npos;
         at = text.find(password_, at + 1)) {
      text.replace(at, password_.size(), kRedacted);
    }
  }
  if (text.size() > kServerTextShown) {
    text.resize(kServerTextShown);
    text += "...";
  }
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      c = ' ';
    }
  }
  return text;
}

bool ImapSession::Fail(std::string why) {
  lastError_ = Clean(std::move(why));
  return false;
}

bool ImapSession::Broken(std::string why) {
  Fail(std::move(why));
  broken_ = true;
  Close();
  return false;
}

void ImapSession::Close() {
  if (open_) {
    transport_->Close();
    open_ = false;
  }
}

bool ImapSession::Has(const std::string& capability) const {
  return capabilities_.count(Upper(capability)) != 0;
}

bool ImapSession::SendLine(const std::string& line) {
  if (!transport_->Write(line + "\r\n")) {
    return Broken(transport_->ErrorText());
  }
  return true;
}

bool ImapSession::ReadResponse(ImapResponse& response, Clock::time_point commandEnd) {
  const Clock::time_point deadline = std::min(Clock::now() + limits_.responseDeadline, commandEnd);
  for (;;) {
    switch (reader_.Take(response)) {
      case ImapResponseReader::Result::Response:
        return true;
      case ImapResponseReader::Result::Error:
        return Broken(reader_.error());
      case ImapResponseReader::Result::NeedMore:
        break;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      return Broken("the server's answer did not come in time");
    }
    transport_->SetWaitLimit(static_cast<int>(std::min<int64_t>(left, INT32_MAX)));
    std::string chunk;
    const ReadStatus status = transport_->Read(chunk, kReadChunk);
    if (status != ReadStatus::Data) {
      if (!bye_.empty()) {
        return Broken("the server ended the session: " + bye_);
      }
      if (status == ReadStatus::TimedOut) {
        return Broken("the server's answer did not come in time (" + transport_->ErrorText() + ")");
      }
      return Broken(transport_->ErrorText());
    }
    reader_.Feed(chunk);
  }
}

void ImapSession::TakeCode(const std::string& code) {
  const std::vector<std::string> words = ImapWords(code);
  if (words.empty()) {
    return;
  }
  if (words[0] == "CAPABILITY") {
    capabilities_ = std::set<std::string>(words.begin() + 1, words.end());
    ++capabilityLists_;
  } else if (words[0] == "UIDVALIDITY" && words.size() > 1) {
    const ImapValue v{ImapValue::Kind::Atom, words[1], {}};
    if (const auto n = v.Number(); n && *n <= UINT32_MAX) {
      if (uidValidity_ != 0 && uidValidity_ != *n) {
        uidValidityChanged_ = true;
      }
      uidValidity_ = static_cast<uint32_t>(*n);
    }
  }
}

void ImapSession::Untagged(const ImapResponse& response, const ImapParsed& parsed,
                           const Handlers& handlers) {
  if (parsed.kind == ImapParsed::Kind::Status) {
    TakeCode(parsed.code);
    if (parsed.name == "BYE") {
      bye_ = parsed.text.empty() ? "BYE" : parsed.text;
    }
    return;
  }
  if (parsed.kind == ImapParsed::Kind::Numbered) {
    if (parsed.name == "EXISTS") {
      exists_ = parsed.number;
      // A count past any real folder does not grow the map (the server's
      // word is untrusted); the map is then incomplete and searched again.
      if (followUids_ && parsed.number > static_cast<int64_t>(uids_.size()) &&
          parsed.number <= kMostMessagesFollowed) {
        uids_.resize(static_cast<size_t>(parsed.number), 0);
      }
    } else if (parsed.name == "EXPUNGE") {
      exists_ = std::max<int64_t>(0, exists_ - 1);
      ++expunged_;
      if (followUids_ && parsed.number >= 1 &&
          parsed.number <= static_cast<int64_t>(uids_.size())) {
        const auto at = uids_.begin() + (parsed.number - 1);
        if (*at != 0) {
          gone_.push_back(*at);
        }
        uids_.erase(at);
      }
    } else if (parsed.name == "FETCH") {
      if (followUids_) {
        FollowFetch(response, parsed);
      }
      if (handlers.fetch) {
        handlers.fetch(response, parsed);
      }
    }
    return;
  }
  if (parsed.name == "CAPABILITY") {
    const std::vector<std::string> words = ImapWords(parsed.text);
    capabilities_ = std::set<std::string>(words.begin(), words.end());
    ++capabilityLists_;
  } else if (handlers.data) {
    handlers.data(response, parsed);
  }
}

bool ImapSession::Run(const std::string& command, const Handlers& handlers) {
  if (!usable()) {
    return lastError_.empty() ? Fail("the connection is not open") : false;
  }
  const std::string tag = "a" + std::to_string(nextTag_++);
  if (!SendLine(tag + " " + command)) {
    return false;
  }
  const Clock::time_point end = Clock::now() + limits_.commandDeadline +
                                std::chrono::seconds(handlers.messages) + handlers.wait;
  const int64_t untaggedAllowed = limits_.untaggedSlack + 4 * handlers.messages;
  int64_t untagged = 0;
  ImapResponse response;
  for (;;) {
    if (!ReadResponse(response, end)) {
      return false;
    }
    const ImapParsed parsed = ParseImapResponse(response);
    switch (parsed.kind) {
      case ImapParsed::Kind::Malformed:
        return Broken("the server sent a response that cannot be read: " + response.line);
      case ImapParsed::Kind::Continuation:
        if (!handlers.continuation) {
          return Broken("the server asked for more of a command that has no more");
        }
        if (!handlers.continuation(parsed)) {
          return false;
        }
        continue;
      case ImapParsed::Kind::Status:
        if (parsed.tag == tag) {
          TakeCode(parsed.code);
          if (parsed.name == "OK") {
            return true;
          }
          return Fail("server said: " + parsed.name + " " + parsed.text);
        }
        if (parsed.tag != "*") {
          return Broken("the server answered a command that was not sent (tag " + parsed.tag + ")");
        }
        break;
      case ImapParsed::Kind::Numbered:
      case ImapParsed::Kind::Data:
        break;
    }
    if (++untagged > untaggedAllowed) {
      return Broken("the server sent more than " + std::to_string(untaggedAllowed) +
                    " responses to one command");
    }
    Untagged(response, parsed, handlers);
    if (!bye_.empty() && !loggingOut_) {
      return Broken("the server ended the session: " + bye_);
    }
  }
}

bool ImapSession::Run(const std::string& command) {
  return Run(command, Handlers{});
}

bool ImapSession::Capabilities() {
  return Run("CAPABILITY");
}

bool ImapSession::Connect(const std::string& server, int port, const std::string& userName,
                          const std::string& password, Security security) {
  if (HasLineBreakOrNul(userName) || HasLineBreakOrNul(password)) {
    return Fail("the user name or password holds a line break; it is not sent");
  }
  password_ = password;
  if (!transport_->Open(server, port)) {
    return Fail(transport_->ErrorText());
  }
  open_ = true;
  ImapResponse greeting;
  if (!ReadResponse(greeting, Clock::now() + limits_.responseDeadline)) {
    return false;
  }
  const ImapParsed parsed = ParseImapResponse(greeting);
  if (parsed.kind != ImapParsed::Kind::Status || parsed.tag != "*" ||
      (parsed.name != "OK" && parsed.name != "PREAUTH")) {
    return Broken("the server did not greet as an IMAP server: " + greeting.line);
  }
  TakeCode(parsed.code);
  if (security == Security::StartTls) {
    if (parsed.name == "PREAUTH") {
      // Logged in before TLS: nothing of this connection can be trusted.
      return Broken("the server logged us in before STARTTLS; the connection is refused");
    }
    if (capabilities_.empty() && !Capabilities()) {
      return false;
    }
    if (!Has("STARTTLS")) {
      return Broken("the server does not offer STARTTLS");
    }
    if (!Run("STARTTLS")) {
      return Broken(lastError_);
    }
    if (reader_.Buffered() > 0) {
      return Broken(
          "the server sent more data after accepting STARTTLS; the connection may be under "
          "attack");
    }
    if (!transport_->StartTls()) {
      return Broken(transport_->ErrorText());
    }
    capabilities_.clear();  // what was said in clear text may have been forged
  }
  if (parsed.name == "PREAUTH") {
    return true;
  }
  if (capabilities_.empty() && !Capabilities()) {
    return false;
  }
  const int before = capabilityLists_;
  if (!Login(userName, password)) {
    return false;
  }
  // Servers name more after login (UIDPLUS, MOVE, IDLE): ask when the login's
  // answer did not list them.
  return capabilityLists_ != before || Capabilities();
}

bool ImapSession::Login(const std::string& userName, const std::string& password) {
  if (Has("AUTH=PLAIN")) {
    const std::string response = Base64(std::string(1, '\0') + userName + '\0' + password);
    if (Has("SASL-IR")) {
      return Run("AUTHENTICATE PLAIN " + response);
    }
    Handlers handlers;
    bool sent = false;
    handlers.continuation = [&](const ImapParsed&) {
      if (sent) {
        return Broken("the server asked for more than the PLAIN login");
      }
      sent = true;
      return SendLine(response);
    };
    return Run("AUTHENTICATE PLAIN", handlers);
  }
  const auto user = ImapQuoted(userName);
  const auto pass = ImapQuoted(password);
  if (!Has("LOGINDISABLED") && user && pass) {
    return Run("LOGIN " + *user + " " + *pass);
  }
  if (Has("AUTH=LOGIN")) {
    Handlers handlers;
    int step = 0;
    handlers.continuation = [&](const ImapParsed&) {
      if (step >= 2) {
        return Broken("the server asked for more than the LOGIN login");
      }
      return SendLine(Base64(step++ == 0 ? userName : password));
    };
    return Run("AUTHENTICATE LOGIN", handlers);
  }
  if (Has("LOGINDISABLED")) {
    return Broken("the server refuses logins here (LOGINDISABLED) and offers no way we know");
  }
  return Broken("the user name or password holds characters LOGIN cannot carry");
}

bool ImapSession::Select(const std::string& folder) {
  const auto name = MailboxArgument(folder);
  if (!name) {
    return Fail("the folder name holds characters that cannot be sent");
  }
  exists_ = 0;
  uidValidity_ = 0;
  uidValidityChanged_ = false;
  expunged_ = 0;
  followUids_ = false;
  uids_.clear();
  gone_.clear();
  if (!Run("SELECT " + *name)) {
    return false;
  }
  if (uidValidity_ == 0) {
    return Fail("the server gave the folder no UIDVALIDITY");
  }
  return true;
}

bool ImapSession::Fetch(const std::string& uidSet, size_t textBytes,
                        const std::function<void(ImapFetched&&)>& each) {
  std::string items =
      "(UID RFC822.SIZE BODYSTRUCTURE BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE MESSAGE-ID "
      "CONTENT-TYPE CONTENT-TRANSFER-ENCODING MIME-VERSION TO)]";
  if (textBytes > 0) {
    items += " BODY.PEEK[TEXT]<0." + std::to_string(textBytes) + ">";
  }
  items += ")";
  reader_.SetLiteralLimit(std::max(limits_.headerLiteral, textBytes));
  Handlers handlers;
  handlers.messages = exists_;
  handlers.fetch = [&](const ImapResponse& response, const ImapParsed& parsed) {
    const auto read = FetchItems(response, parsed, limits_.sizes.maxDepth);
    if (!read) {
      return;  // a FETCH we cannot read names no message we can act on
    }
    const std::vector<ImapValue>& list = *read;
    ImapFetched fetched;
    fetched.uid = FetchedUid(list);
    if (fetched.uid == 0) {
      return;  // an unsolicited flag change: not ours
    }
    if (const ImapValue* size = FetchItem(list, "RFC822.SIZE")) {
      fetched.size = size->Number().value_or(-1);
    }
    if (const ImapValue* structure = FetchItem(list, "BODYSTRUCTURE")) {
      fetched.attachmentNames = AttachmentNamesOf(*structure);
    }
    if (const ImapValue* headers = FetchItem(list, "BODY[HEADER")) {
      fetched.headers = headers->text;
      fetched.gotHeaders = true;
    }
    if (const ImapValue* text = FetchItem(list, "BODY[TEXT]")) {
      fetched.text = text->text;
    }
    if (!fetched.gotHeaders) {
      return;  // a FETCH of flags alone (another client at work)
    }
    each(std::move(fetched));
  };
  const bool ok = Run("UID FETCH " + uidSet + " " + items, handlers);
  reader_.SetLiteralLimit(limits_.sizes.maxLiteral);
  return ok;
}

bool ImapSession::ListSizes(const std::string& uidSet,
                            const std::function<void(uint32_t uid, int64_t size)>& each) {
  Handlers handlers;
  handlers.messages = exists_;
  handlers.fetch = [&](const ImapResponse& response, const ImapParsed& parsed) {
    const auto items = FetchItems(response, parsed, limits_.sizes.maxDepth);
    const uint32_t uid = items ? FetchedUid(*items) : 0;
    const ImapValue* size = items ? FetchItem(*items, "RFC822.SIZE") : nullptr;
    const int64_t octets = size ? size->Number().value_or(-1) : -1;
    if (uid != 0 && octets >= 0) {
      each(uid, octets);
    }
  };
  return Run("UID FETCH " + uidSet + " (UID RFC822.SIZE)", handlers);
}

void ImapSession::FollowFetch(const ImapResponse& response, const ImapParsed& parsed) {
  if (parsed.number < 1 || parsed.number > static_cast<int64_t>(uids_.size())) {
    return;
  }
  const auto items = FetchItems(response, parsed, limits_.sizes.maxDepth);
  if (const uint32_t uid = items ? FetchedUid(*items) : 0; uid != 0) {
    uids_[static_cast<size_t>(parsed.number - 1)] = uid;
  }
}

bool ImapSession::FollowUids() {
  std::vector<uint32_t> found;
  Handlers handlers;
  handlers.messages = exists_;
  bool readable = true;
  const bool extended = Has("ESEARCH");
  handlers.data = [&](const ImapResponse&, const ImapParsed& parsed) {
    if (parsed.name == "ESEARCH") {
      // (TAG "a5") UID ALL 1:5,7 -- an empty result names no ALL.
      const std::vector<std::string> words = ImapWords(parsed.text);
      const auto all = std::find(words.begin(), words.end(), "ALL");
      if (all != words.end() && all + 1 != words.end()) {
        readable = readable && ExpandUidSet(*(all + 1), found, kMostMessagesFollowed);
      }
      return;
    }
    if (parsed.name != "SEARCH") {
      return;
    }
    for (const std::string& word : ImapWords(parsed.text)) {
      const ImapValue v{ImapValue::Kind::Atom, word, {}};
      if (const auto n = v.Number(); n && *n > 0 && *n <= UINT32_MAX) {
        found.push_back(static_cast<uint32_t>(*n));
      }
    }
  };
  followUids_ = false;
  // ESEARCH names runs of UIDs ("1:10000"), where SEARCH names each one.
  if (!Run(extended ? "UID SEARCH RETURN (ALL) ALL" : "UID SEARCH ALL", handlers)) {
    return false;
  }
  // UIDs ascend with the message numbers; a server that lists them otherwise
  // gives no map to trust.
  if (static_cast<int64_t>(found.size()) > exists_) {
    return Fail("the server named more UIDs than the folder has messages");
  }
  if (!readable || static_cast<int64_t>(found.size()) >= kMostMessagesFollowed ||
      !std::is_sorted(found.begin(), found.end()) ||
      std::adjacent_find(found.begin(), found.end()) != found.end()) {
    return Fail("the server listed the folder's UIDs out of order");
  }
  uids_ = std::move(found);
  // Messages that came while the search ran are known by number only.
  if (exists_ > static_cast<int64_t>(uids_.size())) {
    uids_.resize(static_cast<size_t>(exists_), 0);
  }
  gone_.clear();
  followUids_ = true;
  return true;
}

uint32_t ImapSession::highestUid() const {
  for (auto it = uids_.rbegin(); it != uids_.rend(); ++it) {
    if (*it != 0) {
      return *it;
    }
  }
  return 0;
}

bool ImapSession::FindMoveTarget() {
  if (moveTargetSearched_) {
    return !moveTarget_.empty();
  }
  moveTargetSearched_ = true;
  std::string junk;
  std::string trash;
  std::string named;
  Handlers handlers;
  handlers.data = [&](const ImapResponse& response, const ImapParsed& parsed) {
    if (parsed.name != "LIST") {
      return;
    }
    std::vector<ImapValue> values;
    size_t literal = 0;
    std::string error;
    if (!ParseImapValues(parsed.text, response.literals, literal, values, error) ||
        values.size() < 3 || values[0].kind != ImapValue::Kind::List) {
      return;
    }
    const std::string& name = values[2].text;
    for (const ImapValue& flag : values[0].items) {
      if (flag.IsAtom("\\Junk") && junk.empty()) {
        junk = name;
      } else if (flag.IsAtom("\\Trash") && trash.empty()) {
        trash = name;
      } else if (flag.IsAtom("\\Noselect") || flag.IsAtom("\\NonExistent")) {
        return;
      }
    }
    if (named.empty() && (Upper(name) == "JUNK" || Upper(name) == "TRASH")) {
      named = name;
    }
  };
  if (!Run("LIST \"\" \"*\"", handlers)) {
    return false;
  }
  moveTarget_ = !junk.empty() ? junk : !trash.empty() ? trash : named;
  return !moveTarget_.empty();
}

ImapRemoval ImapSession::removal() const {
  if (Has("UIDPLUS")) {
    return ImapRemoval::UidExpunge;
  }
  return Has("MOVE") ? ImapRemoval::Move : ImapRemoval::None;
}

bool ImapSession::Remove(uint32_t uid) {
  if (uidValidityChanged_) {
    return Fail("the folder's UIDVALIDITY changed while it was open; nothing is deleted");
  }
  const std::string id = std::to_string(uid);
  const int before = expunged_;
  // The server reports the message's removal with an EXPUNGE; an OK without
  // one removed nothing (the message had gone already).
  const auto confirmed = [&](bool ok) {
    return ok && (expunged_ > before ||
                  Fail("the server removed nothing: the message is no longer in the folder"));
  };
  switch (removal()) {
    case ImapRemoval::UidExpunge:
      return confirmed(Run("UID STORE " + id + " +FLAGS.SILENT (\\Deleted)") &&
                       Run("UID EXPUNGE " + id));
    case ImapRemoval::Move: {
      if (!FindMoveTarget()) {
        return lastError_.empty() || usable()
                   ? Fail(
                         "the server offers MOVE but has no Junk or Trash folder to move to; "
                         "nothing is deleted")
                   : false;
      }
      const auto target = ImapQuoted(moveTarget_);
      if (!target) {
        return Fail("the Junk or Trash folder's name cannot be sent; nothing is deleted");
      }
      return confirmed(Run("UID MOVE " + id + " " + *target));
    }
    case ImapRemoval::None:
      break;
  }
  return Fail(
      "the server offers neither UIDPLUS nor MOVE, and a plain EXPUNGE would also remove "
      "messages marked deleted elsewhere; nothing is deleted");
}

ImapSession::Waited ImapSession::WaitForChange(std::chrono::milliseconds limit,
                                               std::chrono::milliseconds slice,
                                               const std::function<bool()>& stop) {
  const Clock::time_point end = Clock::now() + limit;
  const int64_t existsBefore = exists_;
  const int expungedBefore = expunged_;
  ImapResponse response;
  for (;;) {
    const ImapResponseReader::Result result = reader_.Take(response);
    if (result == ImapResponseReader::Result::Error) {
      Broken(reader_.error());
      return Waited::Failed;
    }
    if (result == ImapResponseReader::Result::Response) {
      const ImapParsed parsed = ParseImapResponse(response);
      if (parsed.kind == ImapParsed::Kind::Malformed ||
          (parsed.kind == ImapParsed::Kind::Status && parsed.tag != "*") ||
          parsed.kind == ImapParsed::Kind::Continuation) {
        Broken("the server sent a response IDLE does not allow: " + response.line);
        return Waited::Failed;
      }
      Untagged(response, parsed, Handlers{});
      if (!bye_.empty()) {
        Broken("the server ended the session: " + bye_);
        return Waited::Failed;
      }
      if (exists_ != existsBefore || expunged_ != expungedBefore) {
        return Waited::Changed;
      }
      continue;
    }
    if (stop && stop()) {
      return Waited::Stopped;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0) {
      return Waited::Quiet;
    }
    transport_->SetWaitLimit(static_cast<int>(std::min<int64_t>(left, slice.count())));
    std::string chunk;
    const ReadStatus status = transport_->Read(chunk, kReadChunk);
    if (status == ReadStatus::Data) {
      reader_.Feed(chunk);
    } else if (status != ReadStatus::TimedOut) {
      Broken(transport_->ErrorText());
      return Waited::Failed;
    }
  }
}

bool ImapSession::Idle(std::chrono::milliseconds limit, std::chrono::milliseconds slice,
                       const std::function<bool()>& stop, bool& changed) {
  changed = false;
  bool idling = false;
  bool stopped = false;
  const int64_t existsBefore = exists_;
  const int expungedBefore = expunged_;
  Handlers handlers;
  handlers.wait = limit;
  handlers.continuation = [&](const ImapParsed&) {
    if (idling) {
      return Broken("the server asked for more during IDLE");
    }
    idling = true;
    // A change reported before the server's "+" needs no waiting.
    if (exists_ == existsBefore && expunged_ == expungedBefore) {
      switch (WaitForChange(limit, slice, stop)) {
        case Waited::Failed:
          return false;
        case Waited::Stopped:
          stopped = true;
          return Fail("the watch was stopped");
        case Waited::Changed:
        case Waited::Quiet:
          break;
      }
    }
    return SendLine("DONE");
  };
  const bool ok = Run("IDLE", handlers) && idling;
  changed = exists_ != existsBefore || expunged_ != expungedBefore;
  if (stopped) {
    Close();
    return false;
  }
  return ok;
}

bool ImapSession::Logout() {
  loggingOut_ = true;
  const bool ok = Run("LOGOUT");
  // The BYE before the tagged OK is expected here.
  return ok || !bye_.empty();
}

}  // namespace bc
