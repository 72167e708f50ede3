// Remembered mail: a repeat pass retrieves only what it does not know, judges
// every message, reports each as new once; a damaged store is never trusted.
#include "mail/mail_memory.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "mail/check_cycle.h"
#include "support/fake_mailbox.h"
#include "support/test_env.h"

namespace bc {
namespace {

std::string Message(int n, const std::string& from = "") {
  const std::string k = std::to_string(n);
  return "From: " + (from.empty() ? "Sender " + k + " <s" + k + "@example.org>" : from) +
         "\r\nSubject: Subject " + k + "\r\nMessage-ID: <" + k +
         "@example.org>\r\nDate: Tue, 7 Dec 2004 10:11:12 +0800\r\n\r\nLine one of " + k +
         ".\r\nLine two.\r\n" + std::string(400, 'x') + "\r\n";
}

struct Seen final : CheckObserver {
  std::vector<Envelope> envelopes;
  std::vector<AccountOutcome> outcomes;
  void EnvelopeAccepted(int, const Envelope& e) override { envelopes.push_back(e); }
  void AccountFinished(const AccountOutcome& o) override { outcomes.push_back(o); }
};

class MailMemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    environment_.commandLogPath = dir_.File("command.log");
    environment_.deletedLogDir = dir_.File("Log");
    environment_.mailMemoryDir = dir_.File("mail");
    environment_.makeTransport = [this](const MailAccount&) { return box_.Connect(); };
    MailAccount a;
    a.UserName = "alice";
    a.Passwd = "pw";
    a.POP3Server = "127.0.0.1";
    a.POP3Port = 110;
    a.CheckMark = true;
    settings_.accounts = {a};
    settings_.options.RememberMail = "1";
    settings_.options.LogDeleted = true;
    for (int n = 1; n <= 30; ++n) {
      box_.messages.push_back({Message(n), "uid" + std::to_string(n)});
    }
  }

  // One pass; the commands it sent.
  std::string Pass() {
    box_.commands.clear();
    seen_ = {};
    RunCheck(settings_, store_, seen_, environment_);
    std::string sent;
    for (const std::string& c : box_.commands) {
      sent += c + "\n";
    }
    return sent;
  }

  static int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
      ++n;
    }
    return n;
  }

  int NewOnes() const {
    return static_cast<int>(std::count_if(seen_.envelopes.begin(), seen_.envelopes.end(),
                                          [](const Envelope& e) { return e.isNew; }));
  }

  std::string StorePath() const {
    return MailMemoryPath(environment_.mailMemoryDir, settings_.accounts[0]);
  }

  test::TempDir dir_;
  MailEnvironment environment_;
  Settings settings_;
  EnvelopeStore store_;
  Seen seen_;
  test::FakeMailbox box_;
};

TEST_F(MailMemoryTest, RepeatPassesRetrieveOnlyWhatIsNewAndReportItOnce) {
  EXPECT_EQ(Count(Pass(), "RETR "), 30);
  EXPECT_EQ(NewOnes(), 30);
  const std::vector<Envelope> first = seen_.envelopes;

  // Unchanged: nothing retrieved, every message listed from the store as it was.
  EXPECT_EQ(Count(Pass(), "RETR "), 0);
  EXPECT_EQ(NewOnes(), 0);
  ASSERT_EQ(seen_.envelopes.size(), first.size());
  for (size_t i = 0; i < first.size(); ++i) {
    Envelope e = seen_.envelopes[i];
    e.isNew = true;
    EXPECT_EQ(e, first[i]);
  }

  // One delivered, one whose size changed (same id), one gone: two retrieved,
  // only the delivered one is new, and the gone one is forgotten.
  box_.messages.push_back({Message(31), "uid31"});
  box_.messages[4].text += "more\r\n";
  box_.messages.erase(box_.messages.begin());
  const std::string sent = Pass();
  EXPECT_EQ(Count(sent, "RETR "), 2);
  EXPECT_NE(sent.find("RETR 4\n"), std::string::npos);
  EXPECT_NE(sent.find("RETR 30\n"), std::string::npos);
  EXPECT_EQ(NewOnes(), 1);
  EXPECT_EQ(seen_.envelopes.back().subject, "Subject 31");
  EXPECT_TRUE(seen_.envelopes.back().isNew);
  EXPECT_EQ(seen_.outcomes.at(0).newMessages, 1);

  // More content lines than remembered: read again, still not new.
  settings_.options.CheckLines = 1;
  settings_.options.ComboLines = "2";
  EXPECT_EQ(Count(Pass(), "RETR "), 30);
  EXPECT_EQ(NewOnes(), 0);
  EXPECT_EQ(seen_.envelopes[0].content, "Line one of 2. Line two.");
  EXPECT_EQ(Count(Pass(), "RETR "), 0);
  EXPECT_EQ(seen_.envelopes[0].content, "Line one of 2. Line two.");
  // Fewer lines: read again, as TOP n k would count lines the content does not
  // (blank lines, parts' headers). None: nothing to read.
  settings_.options.ComboLines = "1";
  EXPECT_EQ(Count(Pass(), "RETR "), 30);
  EXPECT_EQ(seen_.envelopes[0].content, "Line one of 2.");
  settings_.options.CheckLines = 0;
  EXPECT_EQ(Count(Pass(), "RETR "), 0);
  EXPECT_EQ(seen_.envelopes[0].content, "");
  EXPECT_EQ(NewOnes(), 0);

  // The store is private.
  struct stat info {};
  ASSERT_EQ(::stat(StorePath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(environment_.mailMemoryDir.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(MailMemoryTest, OffEveryPassIsAsBefore) {
  settings_.options.RememberMail = "";
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(Count(Pass(), "RETR "), 30);
    EXPECT_EQ(NewOnes(), 30);
  }
  EXPECT_FALSE(std::filesystem::exists(environment_.mailMemoryDir));
}

TEST_F(MailMemoryTest, SenderBlockedAfterItsMailWasStoredIsDeletedWithItsIdentityChecked) {
  Pass();
  settings_.accounts[0].BlockSender = "s7@example.org;";
  settings_.accounts[0].DeleteBlocked = true;
  const std::string sent = Pass();
  EXPECT_EQ(Count(sent, "RETR "), 0);
  EXPECT_NE(sent.find("UIDL 7\nTOP 7 0\nDELE 7\n"), std::string::npos) << sent;
  EXPECT_EQ(box_.Remaining(), 29);
  EXPECT_EQ(seen_.outcomes.at(0).deletedAsSpam, 1);
  EXPECT_EQ(seen_.envelopes.size(), 29u);
}

TEST_F(MailMemoryTest, WithoutUidlEveryMessageIsRetrievedAndTheReasonSaid) {
  box_.offersUidl = false;
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(Count(Pass(), "RETR "), 30);
    EXPECT_EQ(NewOnes(), 30);
    EXPECT_NE(seen_.outcomes.at(0).memoryNote.find("does not offer UIDL"), std::string::npos);
  }
}

TEST_F(MailMemoryTest, RemovedAccountTakesItsStoreAlong) {
  Pass();
  ASSERT_TRUE(std::filesystem::exists(StorePath()));
  const std::string gone = StorePath();
  settings_.accounts[0].POP3Port = 995;
  settings_.accounts[0].Security = Security::None;
  Pass();
  EXPECT_FALSE(std::filesystem::exists(gone));
  EXPECT_TRUE(std::filesystem::exists(StorePath()));
  const std::string contents = test::ReadFile(StorePath());
  EXPECT_EQ(contents.find("pw"), std::string::npos);  // never the password
}

// A damaged store: the pass completes, retrieves what it cannot trust, deletes
// exactly what a pass without remembered mail deletes, and says once what it did.
TEST_F(MailMemoryTest, DamagedStoreIsNeverTrusted) {
  settings_.options.CheckLines = 1;
  settings_.options.ComboLines = "All";
  for (int n = 31; n <= 200; ++n) {  // a store of many pages
    box_.messages.push_back({Message(n), "uid" + std::to_string(n)});
  }
  Pass();
  const std::vector<test::FakeMailbox::Message> mailbox = box_.messages;
  const std::string good = dir_.File("good.sqlite");
  std::filesystem::copy_file(StorePath(), good);
  const auto size = static_cast<size_t>(std::filesystem::file_size(good));
  ASSERT_GT(size, 8u * 4096);

  // What a pass without remembered mail deletes once s9 is blocked.
  settings_.accounts[0].BlockSender = "s9@example.org;";
  settings_.accounts[0].DeleteBlocked = true;
  settings_.options.RememberMail = "";
  std::string off = Pass();
  const std::string expected = off.substr(off.find("DELE"), off.find("QUIT") - off.find("DELE"));
  settings_.options.RememberMail = "1";

  auto restore = [&] {
    std::filesystem::remove_all(StorePath());
    std::filesystem::copy_file(good, StorePath());
    ::chmod(StorePath().c_str(), 0600);
  };
  std::vector<std::pair<std::string, std::function<void()>>> rows;
  for (size_t cut = 4096; cut < size; cut += 4096) {
    rows.emplace_back("truncated at " + std::to_string(cut),
                      [this, cut] { std::filesystem::resize_file(StorePath(), cut); });
  }
  rows.emplace_back("garbage", [this, size] {
    std::mt19937 random(7);
    std::ofstream out(StorePath(), std::ios::binary | std::ios::trunc);
    for (size_t i = 0; i < size; ++i) {
      out.put(static_cast<char>(random()));
    }
  });
  rows.emplace_back("garbage after a valid header", [this] {
    std::fstream out(StorePath(), std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(100);
    out << std::string(4096 * 3, '\x55');
  });
  rows.emplace_back("a folder", [this] {
    std::filesystem::remove(StorePath());
    std::filesystem::create_directory(StorePath());
  });
  rows.emplace_back("read-only", [this] { ::chmod(StorePath().c_str(), 0400); });

  for (const auto& [name, damage] : rows) {
    SCOPED_TRACE(name);
    box_.messages = mailbox;
    restore();
    damage();
    std::filesystem::remove(environment_.commandLogPath);
    const std::string sent = Pass();
    ASSERT_EQ(seen_.outcomes.size(), 1u);
    EXPECT_EQ(seen_.outcomes[0].status, AccountOutcome::Status::Checked) << seen_.outcomes[0].error;
    EXPECT_EQ(Count(sent, "RETR "), 200);  // nothing taken from a store not trusted
    EXPECT_EQ(sent.substr(sent.find("DELE"), sent.find("QUIT") - sent.find("DELE")), expected);
    EXPECT_EQ(seen_.envelopes.size(), 199u);
    const std::string note = seen_.outcomes[0].memoryNote;
    EXPECT_NE(note.find("remembered mail"), std::string::npos);
    EXPECT_EQ(Count(test::ReadFile(environment_.commandLogPath), "remembered mail "), 1);
  }
  ::chmod(StorePath().c_str(), 0600);
}

// A pass killed while it wrote (its changes partly in the file, the journal
// left): the store is rolled back, checked whole and used as the last complete
// pass left it.
TEST_F(MailMemoryTest, PassKilledWhileWritingLeavesTheLastCompletePass) {
  Pass();
  const pid_t child = ::fork();
  if (child == 0) {
    sqlite3* db = nullptr;
    sqlite3_open(StorePath().c_str(), &db);
    // A cache of one page: the changed pages reach the file before any commit.
    sqlite3_exec(db,
                 "PRAGMA cache_size=1; BEGIN; UPDATE message SET subject=hex(randomblob(900));"
                 " DELETE FROM message WHERE uid='uid3';",
                 nullptr, nullptr, nullptr);
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(std::filesystem::exists(StorePath() + "-journal"));
  EXPECT_EQ(Count(Pass(), "RETR "), 0);
  EXPECT_EQ(NewOnes(), 0);
  ASSERT_EQ(seen_.envelopes.size(), 30u);
  EXPECT_EQ(seen_.envelopes[2].subject, "Subject 3");
  EXPECT_EQ(seen_.outcomes.at(0).memoryNote, "");
}

// Free pages the pass never reads are damaged: the write that meets them fails,
// the pass still completes, and the next pass starts the store afresh.
TEST_F(MailMemoryTest, DamagedFreePagesAreFoundByTheWriteAndTheStoreStartedAfresh) {
  settings_.options.CheckLines = 1;
  settings_.options.ComboLines = "All";
  for (int n = 31; n <= 200; ++n) {
    box_.messages.push_back({Message(n), "uid" + std::to_string(n)});
  }
  Pass();
  box_.messages.resize(20);
  Pass();  // forgets 180 messages: their pages are free
  {
    std::fstream file(StorePath(), std::ios::binary | std::ios::in | std::ios::out);
    unsigned char header[36] = {};
    file.read(reinterpret_cast<char*>(header), sizeof header);
    const unsigned trunk = header[32] << 24 | header[33] << 16 | header[34] << 8 | header[35];
    const unsigned pageSize = header[16] << 8 | header[17];
    ASSERT_GT(trunk, 1u);
    file.seekp(static_cast<std::streamoff>(trunk - 1) * pageSize);
    file << std::string(pageSize, '\xFF');
  }
  for (int n = 201; n <= 300; ++n) {
    box_.messages.push_back({Message(n), "uid" + std::to_string(n)});
  }
  Pass();
  EXPECT_EQ(seen_.outcomes.at(0).status, AccountOutcome::Status::Checked);
  EXPECT_NE(seen_.outcomes[0].memoryNote.find("started afresh"), std::string::npos)
      << seen_.outcomes[0].memoryNote;
  EXPECT_EQ(Count(Pass(), "RETR "), 120);
  EXPECT_EQ(Count(Pass(), "RETR "), 0);
}

}  // namespace
}  // namespace bc
