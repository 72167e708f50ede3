#include "mail/mail_memory.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory_resource>
#include <set>
#include <tuple>
#include <utility>

#include "config/paths.h"
#include "config/text_util.h"

namespace bc {
namespace {

// Written into every store; a store of another format is started afresh. Raise
// it whenever what a pass reads from a message changes (the envelope rules), so
// no text read by older rules is judged by newer ones.
constexpr const char* kFormat = "1";
constexpr const char* kSuffix = ".sqlite";
constexpr const char* kJournal = "-journal";
constexpr int kBusyMs = 3000;
// Longer names are cut and end in a hash: a file name has at most 255 bytes.
constexpr size_t kLongestName = 180;

constexpr const char* kSchema =
    "CREATE TABLE meta(name TEXT PRIMARY KEY, value TEXT NOT NULL);"
    "CREATE TABLE message(uid TEXT PRIMARY KEY, size INTEGER NOT NULL, lines TEXT NOT NULL,"
    " readable INTEGER NOT NULL, announced INTEGER NOT NULL,"
    " from_text TEXT NOT NULL, subject TEXT NOT NULL, received TEXT NOT NULL,"
    " attachment TEXT NOT NULL, address TEXT NOT NULL, content TEXT NOT NULL,"
    " message_key TEXT NOT NULL) WITHOUT ROWID;";

std::string Escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '.' ||
        u == '-' || u == '_') {
      out += c;
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", u);
      out += hex;
    }
  }
  return out;
}

uint64_t Fnv1a(std::string_view text) {
  uint64_t hash = 14695981039346656037ULL;
  for (const char c : text) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  }
  return hash;
}

std::string AccountPortText(const MailAccount& account) {
  return std::to_string(account.POP3Port.value());
}

std::string Column(sqlite3_stmt* statement, int column) {
  const auto* text = sqlite3_column_text(statement, column);
  return text ? std::string(reinterpret_cast<const char*>(text),
                            static_cast<size_t>(sqlite3_column_bytes(statement, column)))
              : std::string();
}

void Bind(sqlite3_stmt* statement, int index, std::string_view text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// How a store that cannot be used came to be so: only a damaged one is replaced.
enum class Fault { None, Damaged, Unusable };

}  // namespace

// Ids, texts and the map's own nodes all come from one arena that is never
// given back before the table goes: a store of 50,000 messages costs a few
// large allocations instead of three small ones a message, and is freed at
// once. A message remembered again leaves its old texts behind until then.
struct MailMemory::RowTable {
  RowTable() = default;
  RowTable(const RowTable&) = delete;
  RowTable& operator=(const RowTable&) = delete;

  // A copy of `text` in the arena.
  std::string_view Keep(std::string_view text) {
    if (text.empty()) {
      return {};
    }
    auto* copy = static_cast<char*>(arena.allocate(text.size(), 1));
    text.copy(copy, text.size());
    return {copy, text.size()};
  }

  std::pmr::monotonic_buffer_resource arena{64 * 1024};
  std::pmr::unordered_map<std::string_view, Row> rows{&arena};
};

namespace {

using RowTable = MailMemory::RowTable;

struct Opened {
  sqlite3* db = nullptr;
  Fault fault = Fault::None;
  std::string why;
  std::unique_ptr<RowTable> table;
};

Fault FaultOf(int code) {
  switch (code & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_SCHEMA:
    case SQLITE_FORMAT:
    case SQLITE_MISMATCH:
    case SQLITE_CONSTRAINT:
      return Fault::Damaged;
    default:
      return Fault::Unusable;  // busy, read-only, full, input and output errors
  }
}

Opened Fail(sqlite3* db, int code, const std::string& what) {
  Opened result;
  result.fault = FaultOf(code);
  result.why = what + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
  sqlite3_close(db);
  return result;
}

// Runs `sql`, which yields one text per row, and gives the rows.
int Texts(sqlite3* db, const char* sql, std::vector<std::string>& rows) {
  sqlite3_stmt* statement = nullptr;
  int code = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
  while (code == SQLITE_OK && (code = sqlite3_step(statement)) == SQLITE_ROW) {
    rows.push_back(Column(statement, 0));
    code = SQLITE_OK;
  }
  sqlite3_finalize(statement);
  return code == SQLITE_DONE ? SQLITE_OK : code;
}

// The texts of a row, in the order of Row::ends.
constexpr size_t kTexts = std::tuple_size_v<decltype(MailMemory::Row::ends)>;

// Message: RememberedMessage, const or not.
template <typename Message>
auto TextsOf(Message& m) {
  return std::array{&m.contentLines,     &m.texts.from,    &m.texts.subject, &m.texts.received,
                    &m.texts.attachment, &m.texts.address, &m.texts.content, &m.texts.messageKey};
}

// The texts one after another in the table's arena, with their ends.
template <typename Texts>
void KeepTexts(RowTable& table, const Texts& texts, MailMemory::Row& row) {
  static_assert(std::tuple_size_v<Texts> == kTexts);
  size_t length = 0;
  for (const std::string_view text : texts) {
    length += text.size();
  }
  char* at = length == 0 ? nullptr : static_cast<char*>(table.arena.allocate(length, 1));
  size_t end = 0;
  for (size_t i = 0; i < kTexts; ++i) {
    texts[i].copy(at + end, texts[i].size());
    end += texts[i].size();
    row.ends[i] = static_cast<uint32_t>(end);
  }
  row.texts = std::string_view(at, length);
}

MailMemory::Row RowOf(const RememberedMessage& m, RowTable& table) {
  MailMemory::Row row;
  row.size = m.size;
  row.readable = m.readable;
  row.announced = m.announced;
  std::array<std::string_view, kTexts> texts;
  const auto kept = TextsOf(m);
  static_assert(kept.size() == kTexts);
  std::transform(kept.begin(), kept.end(), texts.begin(),
                 [](const std::string* text) { return std::string_view(*text); });
  KeepTexts(table, texts, row);
  return row;
}

std::string_view TextOf(const MailMemory::Row& row, size_t i) {
  const uint32_t begin = i == 0 ? 0 : row.ends[i - 1];
  return row.texts.substr(begin, row.ends[i] - begin);
}

// The row was read at this LIST size and content setting (content read at any
// setting serves a pass that reads none).
bool ReadAt(const MailMemory::Row& row, int64_t size, const std::string& contentLines) {
  return size > 0 && row.size == size && (contentLines == "0" || TextOf(row, 0) == contentLines);
}

// Reads every message of the store: a row the library cannot read whole makes
// the store damaged, so nothing of a half-written store is ever believed.
int ReadRows(sqlite3* db, RowTable& table) {
  sqlite3_stmt* select = nullptr;
  int code = sqlite3_prepare_v2(db,
                                "SELECT uid, size, readable, announced, lines, from_text, subject,"
                                " received, attachment, address, content, message_key FROM message",
                                -1, &select, nullptr);
  constexpr int kFirstText = 4;
  while (code == SQLITE_OK && (code = sqlite3_step(select)) == SQLITE_ROW) {
    MailMemory::Row row;
    row.size = sqlite3_column_int64(select, 1);
    row.readable = sqlite3_column_int(select, 2) != 0;
    row.announced = sqlite3_column_int(select, 3) != 0;
    std::array<std::string_view, kTexts> texts;
    size_t length = 0;
    for (size_t i = 0; i < kTexts; ++i) {
      const int c = kFirstText + static_cast<int>(i);
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(select, c));
      texts[i] = text ? std::string_view(text, static_cast<size_t>(sqlite3_column_bytes(select, c)))
                      : std::string_view();
      length += texts[i].size();
    }
    KeepTexts(table, texts, row);
    const auto* uid = reinterpret_cast<const char*>(sqlite3_column_text(select, 0));
    const std::string_view key =
        uid ? std::string_view(uid, static_cast<size_t>(sqlite3_column_bytes(select, 0)))
            : std::string_view();
    if (const auto found = table.rows.find(key); found != table.rows.end()) {
      found->second = row;  // the key is unique in the schema; never trusted to be
    } else {
      table.rows.emplace(table.Keep(key), row);
    }
    code = SQLITE_OK;
  }
  sqlite3_finalize(select);
  return code == SQLITE_DONE ? SQLITE_OK : code;
}

// Runs `sql`, which yields one number.
int Number(sqlite3* db, const char* sql, int64_t& number) {
  sqlite3_stmt* statement = nullptr;
  int code = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
  if (code == SQLITE_OK && (code = sqlite3_step(statement)) == SQLITE_ROW) {
    number = sqlite3_column_int64(statement, 0);
    code = SQLITE_OK;
  }
  sqlite3_finalize(statement);
  return code;
}

// Whether the file holds every page its header counts: a store cut short (a
// copy that stopped, a disk that ran out) does not.
int CheckWhole(sqlite3* db, const std::string& path, bool& whole) {
  int64_t pages = 0;
  int64_t pageSize = 0;
  int code = Number(db, "PRAGMA page_count", pages);
  if (code == SQLITE_OK) {
    code = Number(db, "PRAGMA page_size", pageSize);
  }
  struct stat file {};
  whole = code == SQLITE_OK && ::stat(path.c_str(), &file) == 0 &&
          static_cast<int64_t>(file.st_size) >= pages * pageSize;
  return code;
}

// Opens the file and proves it whole and this account's before anything in it
// is believed; an empty file becomes a new store.
Opened OpenStore(const std::string& path, const MailAccount& account) {
  // No statistics of the library's allocations: one lock less per allocation.
  static const bool configured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
  static_cast<void>(configured);
  // Created 0600 by us, not by the library's default mode.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    Opened result;
    result.fault = Fault::Unusable;
    result.why = "it cannot be opened for writing";
    return result;
  }
  ::fchmod(fd, 0600);
  ::close(fd);
  // A journal left beside the store: a pass ended while it wrote. The library
  // rolls it back at the first read; the whole file is checked after that.
  struct stat journal {};
  const bool endedUncleanly = ::lstat((path + kJournal).c_str(), &journal) == 0;
  sqlite3* db = nullptr;
  int code =
      sqlite3_open_v2(path.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW, nullptr);
  if (code != SQLITE_OK) {
    return Fail(db, code, "it cannot be opened");
  }
  sqlite3_busy_timeout(db, kBusyMs);
  // Read through the page cache rather than a copy per page: a pass looks up
  // every message of a large mailbox.
  sqlite3_exec(db, "PRAGMA mmap_size=268435456", nullptr, nullptr, nullptr);
  sqlite3_extended_result_codes(db, 0);
  // Each page's cells are checked as it is read, and every page that holds
  // messages is read below (ReadRows).
  sqlite3_exec(db, "PRAGMA cell_size_check=ON", nullptr, nullptr, nullptr);
  std::vector<std::string> rows;
  if (endedUncleanly) {
    if ((code = Texts(db, "PRAGMA quick_check", rows)) != SQLITE_OK) {
      return Fail(db, code, "it cannot be read");
    }
    if (rows.size() != 1 || rows[0] != "ok") {
      return Fail(db, SQLITE_CORRUPT, "it is damaged (" + (rows.empty() ? "" : rows[0]) + ")");
    }
    rows.clear();
  }
  bool whole = false;
  if ((code = CheckWhole(db, path, whole)) != SQLITE_OK) {
    return Fail(db, code, "it cannot be read");
  }
  if (!whole) {
    return Fail(db, SQLITE_CORRUPT, "it is shorter than its header says");
  }
  if ((code = Texts(db, "SELECT name FROM sqlite_schema WHERE type='table' ORDER BY name", rows)) !=
      SQLITE_OK) {
    return Fail(db, code, "it cannot be read");
  }
  const std::vector<std::string> expected = {"message", "meta"};
  if (rows.empty()) {
    // Made in the pass's transaction: written with what the pass remembers, at
    // its Commit, or not at all.
    const std::string meta = "INSERT INTO meta VALUES('format','" + std::string(kFormat) + "');";
    if ((code = sqlite3_exec(db, ("BEGIN IMMEDIATE;" + std::string(kSchema) + meta).c_str(),
                             nullptr, nullptr, nullptr)) != SQLITE_OK) {
      return Fail(db, code, "it cannot be written");
    }
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO meta VALUES(?1,?2)", -1, &insert, nullptr);
    for (const auto& [name, value] : {std::pair<std::string, std::string>{"user", account.UserName},
                                      {"host", account.POP3Server},
                                      {"port", AccountPortText(account)}}) {
      Bind(insert, 1, name);
      Bind(insert, 2, value);
      code = sqlite3_step(insert);
      sqlite3_reset(insert);
      if (code != SQLITE_DONE) {
        sqlite3_finalize(insert);
        return Fail(db, code, "it cannot be written");
      }
    }
    sqlite3_finalize(insert);
    return {db, Fault::None, {}, {}};
  }
  if (rows != expected) {
    return Fail(db, SQLITE_SCHEMA, "it is not a store of remembered mail");
  }
  rows.clear();
  if ((code = Texts(db,
                    "SELECT value FROM meta WHERE name IN ('format','host','port','user')"
                    " ORDER BY name",
                    rows)) != SQLITE_OK) {
    return Fail(db, code, "it cannot be read");
  }
  if (rows != std::vector<std::string>{kFormat, account.POP3Server, AccountPortText(account),
                                       account.UserName}) {
    return Fail(db, SQLITE_SCHEMA, "it was written for another account or by another version");
  }
  auto table = std::make_unique<RowTable>();
  int64_t count = 0;
  if ((code = Number(db, "SELECT count(*) FROM message", count)) != SQLITE_OK) {
    return Fail(db, code, "its messages cannot be counted");
  }
  // Room for them at once, not by doubling; a count past any real mailbox is
  // not believed for it.
  table->rows.reserve(static_cast<size_t>(std::clamp<int64_t>(count, 0, int64_t{1} << 20)));
  if ((code = ReadRows(db, *table)) != SQLITE_OK) {
    return Fail(db, code, "its messages cannot be read");
  }
  return {db, Fault::None, {}, std::move(table)};
}

void RemoveStoreFiles(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  std::filesystem::remove(path + kJournal, ignored);
}

}  // namespace

std::string ContentSetting(const AppOptions& options) {
  if (options.CheckLines == 0) {
    return "0";
  }
  if (options.ComboLines == "All") {
    return "All";
  }
  const int lines = ParseInt(options.ComboLines);
  return std::to_string(lines < 0 ? 0 : lines);
}

std::string MailMemoryDir() {
  return StateDir() + "/mail";
}

std::string MailMemoryPath(const std::string& dir, const MailAccount& account) {
  // "@" parts user from host: escaped in both, so no two accounts share a name.
  std::string name = Escaped(account.UserName) + "@" + Escaped(account.POP3Server) + "," +
                     AccountPortText(account);
  if (name.size() > kLongestName) {
    char hash[20];
    std::snprintf(
        hash, sizeof hash, "~%016llx",
        static_cast<unsigned long long>(
            Fnv1a(account.UserName + '\n' + account.POP3Server + '\n' + AccountPortText(account))));
    name = name.substr(0, kLongestName) + hash;
  }
  return dir + "/" + name + kSuffix;
}

void ForgetRemovedAccounts(const std::string& dir, const std::vector<MailAccount>& accounts) {
  std::set<std::string> kept;
  for (const MailAccount& account : accounts) {
    kept.insert(MailMemoryPath(dir, account));
  }
  std::error_code error;
  std::vector<std::string> forgotten;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    const std::string path = entry.path().string();
    if (path.ends_with(kSuffix) && !kept.contains(path)) {
      forgotten.push_back(path);
    }
  }
  for (const std::string& path : forgotten) {
    RemoveStoreFiles(path);
  }
}

std::unique_ptr<MailMemory> MailMemory::Open(const std::string& dir, const MailAccount& account,
                                             std::string& note) {
  note.clear();
  const std::string path = MailMemoryPath(dir, account);
  const std::string unused = "; every message is retrieved and nothing is remembered this pass";
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  struct stat folder {};
  if (::lstat(dir.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
    note = "the remembered mail folder " + dir + " cannot be made" + unused;
    return nullptr;
  }
  ::chmod(dir.c_str(), 0700);
  struct stat file {};
  if (::lstat(path.c_str(), &file) == 0) {
    if (!S_ISREG(file.st_mode)) {
      note = "the remembered mail " + path + " is not a file" + unused;
      return nullptr;
    }
    // Honoured even where the system would let us write (as root): a store the
    // user made read-only is left as it is.
    if ((file.st_mode & S_IWUSR) == 0) {
      note = "the remembered mail " + path + " is read-only" + unused;
      return nullptr;
    }
  }
  Opened opened = OpenStore(path, account);
  if (opened.fault == Fault::Damaged) {
    // Never trusted in part: the pass reads everything again and remembers it anew.
    note = "the remembered mail " + path + " could not be used (" + opened.why +
           "); it is started afresh and every message is retrieved";
    RemoveStoreFiles(path);
    const std::string first = opened.why;
    opened = OpenStore(path, account);
    if (opened.fault != Fault::None) {
      opened.why = first + "; a new one: " + opened.why;
    }
  }
  if (opened.fault != Fault::None) {
    note = "the remembered mail " + path + " could not be used (" + opened.why + ")" + unused;
    return nullptr;
  }
  std::unique_ptr<MailMemory> memory(new MailMemory(opened.db, std::move(opened.table), path));
  if (!memory->Prepare()) {
    note = "the remembered mail " + path + " could not be used (" + memory->failure_ + ")" + unused;
    return nullptr;
  }
  return memory;
}

MailMemory::MailMemory(sqlite3* db, std::unique_ptr<RowTable> table, std::string path)
    : db_(db),
      path_(std::move(path)),
      table_(table ? std::move(table) : std::make_unique<RowTable>()) {}

MailMemory::~MailMemory() {
  // A pass that did not Commit leaves the store as the last complete pass did.
  Close();
}

void MailMemory::Close() {
  for (sqlite3_stmt*& statement : {std::ref(remember_), std::ref(announced_)}) {
    sqlite3_finalize(statement);
    statement = nullptr;
  }
  sqlite3_close(db_);
  db_ = nullptr;
}

bool MailMemory::Prepare() {
  const auto prepare = [this](const char* sql, sqlite3_stmt** statement) {
    return sqlite3_prepare_v2(db_, sql, -1, statement, nullptr) == SQLITE_OK;
  };
  // The whole pass is one transaction (a new store's began with its schema),
  // taken now: a second program checking the same mailbox waits, then goes
  // without, rather than interleave. The ids listed in this pass are kept in
  // memory, so a pass over an unchanged mailbox writes nothing to the file.
  if ((sqlite3_get_autocommit(db_) != 0 && !Exec("BEGIN IMMEDIATE")) ||
      !prepare("INSERT INTO message VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12)"
               " ON CONFLICT(uid) DO UPDATE SET size=?2, lines=?3, readable=?4, announced=?5,"
               " from_text=?6, subject=?7, received=?8, attachment=?9, address=?10,"
               " content=?11, message_key=?12",
               &remember_) ||
      !prepare("UPDATE message SET announced=1 WHERE uid=?1", &announced_)) {
    Failed(sqlite3_errcode(db_));
    return false;
  }
  return true;
}

bool MailMemory::Exec(const char* sql) {
  if (const int code = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); code != SQLITE_OK) {
    Failed(code);
    return false;
  }
  return true;
}

void MailMemory::Failed(int code) {
  if (failure_.empty()) {
    failure_ = sqlite3_errmsg(db_);
  }
  damaged_ = damaged_ || FaultOf(code) == Fault::Damaged;
}

bool MailMemory::Step(sqlite3_stmt* statement) {
  const int code = sqlite3_step(statement);
  sqlite3_reset(statement);
  sqlite3_clear_bindings(statement);
  if (code != SQLITE_DONE && code != SQLITE_ROW) {
    Failed(code);
    return false;
  }
  return true;
}

std::optional<RememberedMessage> MailMemory::Find(const std::string& uniqueId) const {
  RememberedMessage message;
  if (!Recall(uniqueId, message)) {
    return std::nullopt;
  }
  return message;
}

bool MailMemory::Recall(const std::string& uniqueId, RememberedMessage& message) const {
  const auto found = table_->rows.find(uniqueId);
  if (found == table_->rows.end()) {
    return false;
  }
  RecallRow(found->second, message);
  return true;
}

void MailMemory::RecallRow(const Row& row, RememberedMessage& message) const {
  message.size = row.size;
  message.readable = row.readable;
  message.announced = row.announced;
  const auto texts = TextsOf(message);
  for (size_t i = 0; i < kTexts; ++i) {
    texts[i]->assign(TextOf(row, i));
  }
}

const MailMemory::Row* MailMemory::ListKnown(std::string_view uniqueId, int64_t size,
                                             const std::string& contentLines) {
  const auto found = table_->rows.find(uniqueId);
  if (found == table_->rows.end()) {
    listedNew_.emplace(uniqueId);
    return nullptr;
  }
  Row& row = found->second;
  return !std::exchange(row.listed, true) && ReadAt(row, size, contentLines) ? &row : nullptr;
}

void MailMemory::Remember(const std::string& uniqueId, const RememberedMessage& m) {
  Keep(uniqueId, RowOf(m, *table_));
}

void MailMemory::Keep(const std::string& uniqueId, Row row) {
  Write();
  row.listed = true;
  auto at = table_->rows.find(uniqueId);
  if (at == table_->rows.end()) {
    row.announced = false;
    at = table_->rows.emplace(table_->Keep(uniqueId), row).first;
  } else {
    row.announced = at->second.announced;
    at->second = row;
  }
  unwritten_ = &*at;
}

bool MailMemory::RememberRead(const Envelope& e, int64_t size, const std::string& contentLines,
                              bool readable) {
  const auto before = table_->rows.find(e.uniqueId);
  const bool announcedBefore = before != table_->rows.end() && before->second.announced;
  // Straight from the envelope into the arena, in the order of TextsOf.
  Row row;
  row.size = size;
  row.readable = readable;
  const std::array<std::string_view, kTexts> texts = {contentLines, e.from,       e.subject,
                                                      e.received,   e.attachment, e.address,
                                                      e.content,    e.messageKey};
  KeepTexts(*table_, texts, row);
  Keep(e.uniqueId, row);
  return !announcedBefore;
}

void MailMemory::MarkAnnounced(const std::string& uniqueId) {
  const auto found = table_->rows.find(uniqueId);
  if (found == table_->rows.end() || found->second.announced) {
    return;
  }
  found->second.announced = true;
  // A message just remembered is written once, announced.
  if (unwritten_ != &*found) {
    Bind(announced_, 1, uniqueId);
    Step(announced_);
  }
}

void MailMemory::Write() {
  if (unwritten_ == nullptr) {
    return;
  }
  const auto& [uid, row] = *std::exchange(unwritten_, nullptr);
  Bind(remember_, 1, uid);
  sqlite3_bind_int64(remember_, 2, row.size);
  sqlite3_bind_int(remember_, 4, row.readable ? 1 : 0);
  sqlite3_bind_int(remember_, 5, row.announced ? 1 : 0);
  // The row outlives the statement's step: its texts need no copy.
  constexpr int kTextColumns[kTexts] = {3, 6, 7, 8, 9, 10, 11, 12};
  for (size_t i = 0; i < kTexts; ++i) {
    const std::string_view text = TextOf(row, i);
    sqlite3_bind_text(remember_, kTextColumns[i], text.data(), static_cast<int>(text.size()),
                      SQLITE_STATIC);
  }
  Step(remember_);
}

bool MailMemory::Listed(const std::string& uniqueId) {
  if (const auto found = table_->rows.find(uniqueId); found != table_->rows.end()) {
    return !std::exchange(found->second.listed, true);
  }
  return listedNew_.insert(uniqueId).second;
}

const std::unordered_map<std::string, int64_t>& MailMemory::KnownSizes(
    const std::string& contentLines) {
  // A row read at another setting has no size that matches.
  known_.clear();
  for (const auto& [uid, row] : table_->rows) {
    known_.emplace(std::string(uid), ReadAt(row, row.size, contentLines) ? row.size : -1);
  }
  return known_;
}

bool MailMemory::Commit(std::string& why) {
  Write();
  std::vector<std::string> unlisted;
  for (const auto& [uid, row] : table_->rows) {
    if (!row.listed) {
      unlisted.emplace_back(uid);
    }
  }
  sqlite3_stmt* forget = nullptr;
  if (!unlisted.empty() && sqlite3_prepare_v2(db_, "DELETE FROM message WHERE uid=?1", -1, &forget,
                                              nullptr) == SQLITE_OK) {
    for (const std::string& uid : unlisted) {
      Bind(forget, 1, uid);
      Step(forget);
    }
  }
  sqlite3_finalize(forget);
  // A write that failed leaves the store as the last complete pass left it.
  if (!failure_.empty() || !Exec("COMMIT")) {
    why = failure_;
    Exec("ROLLBACK");
    if (damaged_) {
      // Pages the pass did not read (free ones) are damaged: never written
      // again as it is, the store is started afresh by the next pass.
      Close();
      RemoveStoreFiles(path_);
      why += "; the store is damaged and is started afresh at the next pass";
    }
    return false;
  }
  return true;
}

}  // namespace bc
