#include "config/settings_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSettings>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "support/test_env.h"

extern char** environ;

namespace bc {
namespace {

using test::RecordingPrompt;
using test::TempDir;

// What is really in the file, read past the store.
QVariant StoredValue(const std::string& path, const char* key) {
  QSettings raw(QString::fromStdString(path), QSettings::IniFormat);
  return raw.value(QString::fromLatin1(key));
}

TEST(SettingsStoreTest, ReadingAMissingValueCreatesItEmptyOnce) {
  TempDir dir;
  RecordingPrompt prompt;
  const std::string path = dir.File("Quenmark/Brindlecast.conf");
  {
    SettingsStore store(path, prompt);
    EXPECT_EQ(store.ReadValue("UserAccounts\\user1", "Passwd"), "");
    EXPECT_EQ(store.ReadValue("UserAccounts\\user1", "Passwd"), "");
    EXPECT_TRUE(store.Commit());
  }
  const QVariant stored = StoredValue(path, "UserAccounts/user1/Passwd");
  ASSERT_TRUE(stored.isValid()) << "the read did not create the value";
  EXPECT_EQ(stored.toString(), QString());
  EXPECT_TRUE(prompt.messages.empty());
}

TEST(SettingsStoreTest, ValuesRoundTripWholeWhateverTheirLength) {
  TempDir dir;
  RecordingPrompt prompt;
  const std::string path = dir.File("s.conf");
  const std::string longList = [] {
    std::string s;
    for (int i = 0; i < 5000; ++i) {
      s += "sender" + std::to_string(i) + "@example.com;";
    }
    return s;
  }();
  const std::string tricky = "a,b;c=d \"quoted\" \\back\\slash @at ü€ #hash";
  // Every text a list or a field can hold, also at the edges of the value.
  const std::vector<std::string> edges = {"bad.example;",
                                          ";first",
                                          "#first",
                                          "  leading",
                                          "trailing  ",
                                          " ",
                                          "x,",
                                          ",",
                                          "\\",
                                          "\"",
                                          "\"quoted\"",
                                          "@Variant(QString)",
                                          "@@",
                                          "tab\there",
                                          "line\nbreak\r\n",
                                          "=",
                                          "[General]",
                                          "a;#b;\"c\";\\d;  e;ü€;"};
  {
    SettingsStore store(path, prompt);
    for (size_t i = 0; i < edges.size(); ++i) {
      store.WriteValue("Edges", "Value" + std::to_string(i), edges[i]);
    }
    store.WriteValue("", "Long1999", std::string(1999, 'a'));
    store.WriteValue("", "Long2000", std::string(2000, 'b'));
    store.WriteValue("UserAccounts\\user2", "BlockSender", longList);
    store.WriteValue("Speak", "Tricky", tricky);
    store.WriteValue("", "Empty", "");
  }
  SettingsStore reread(path, prompt);
  EXPECT_EQ(reread.ReadValue("", "Long1999"), std::string(1999, 'a'));
  EXPECT_EQ(reread.ReadValue("", "Long2000"), std::string(2000, 'b'));
  EXPECT_EQ(reread.ReadValue("UserAccounts\\user2", "BlockSender"), longList);
  EXPECT_EQ(reread.ReadValue("Speak", "Tricky"), tricky);
  EXPECT_EQ(reread.ReadValue("", "Empty"), "");
  for (size_t i = 0; i < edges.size(); ++i) {
    EXPECT_EQ(reread.ReadValue("Edges", "Value" + std::to_string(i)), edges[i]);
  }
  EXPECT_TRUE(prompt.messages.empty());
}

TEST(SettingsStoreTest, FileIsPrivateToTheUser) {
  TempDir dir;
  RecordingPrompt prompt;
  const std::string path = dir.File("new/Quenmark/Brindlecast.conf");
  {
    SettingsStore store(path, prompt);
    store.WriteValue("UserAccounts\\user1", "Passwd", "secret");
  }
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(SettingsStoreTest, HandEditedListValueKeepsItsText) {
  TempDir dir;
  RecordingPrompt prompt;
  const std::string path = dir.File("s.conf");
  test::WriteFile(path, "[General]\nColumnOrder=from=1,subject=2,\n");
  SettingsStore store(path, prompt);
  EXPECT_EQ(store.ReadValue("", "ColumnOrder"), "from=1,subject=2,");
}

// The settings folder cannot exist: its path runs through a plain file. A save
// names the file and the value; reading (which creates missing values) is quiet.
TEST(SettingsStoreTest, AFailedSaveNamesFileAndValueAndAFailedLoadIsQuiet) {
  TempDir dir;
  RecordingPrompt prompt;
  test::WriteFile(dir.File("blocker"), "not a folder");
  const std::string path = dir.File("blocker/Brindlecast.conf");
  {
    SettingsStore store(path, prompt);
    EXPECT_EQ(store.ReadValue("", "CheckMail"), "");
    EXPECT_FALSE(store.Commit());
  }
  EXPECT_TRUE(prompt.messages.empty());
  {
    SettingsStore store(path, prompt);
    store.WriteValue("UserAccounts\\user1", "Passwd", "x");
    store.WriteValue("UserAccounts\\user1", "UserName", "y");
    EXPECT_FALSE(store.Commit());
  }
  ASSERT_EQ(prompt.messages.size(), 1u);
  EXPECT_EQ(prompt.messages[0],
            "The value \"Passwd\" in section [UserAccounts/user1] could not be "
            "saved to the settings file " +
                path + ".");
}

// A hand-edited file the program cannot keep as it is, or cannot read at all,
// is left byte for byte as it was, and the user is told why.
TEST(SettingsStoreTest, AHandEditedFileIsNeverRewrittenBehindTheUser) {
  TempDir dir;
  const std::string path = dir.File("Brindlecast.conf");
  const std::string edited =
      "[General]\nCheckMail=1\n[UserAccounts]\nuser1\\UserName=j\xf6rg\n"
      "user1\\Passwd=\"p\xe4sswort\xff\"\n";
  test::WriteFile(path, edited);
  {
    RecordingPrompt prompt;
    SettingsStore store(path, prompt);
    // Values that are not UTF-8 read as the bytes the user wrote.
    EXPECT_EQ(store.ReadValue("UserAccounts\\user1", "Passwd"), "p\xe4sswort\xff");
    EXPECT_EQ(store.ReadValue("UserAccounts\\user1", "UserName"), "j\xf6rg");
    EXPECT_EQ(store.ReadValue("", "CheckMail"), "1");
    EXPECT_EQ(store.ReadValue("", "Missing"), "");  // filled in, not written
    EXPECT_TRUE(store.Commit());
    // A save would replace those bytes: refused, naming the value.
    store.WriteValue("", "CheckMail", "0");
    EXPECT_FALSE(store.Commit());
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_NE(prompt.messages[0].find("\"UserName\" in section [UserAccounts/user1]"),
              std::string::npos)
        << prompt.messages[0];
  }
  EXPECT_EQ(test::ReadFile(path), edited);

  // A folder, or a file larger than any settings file, is neither read nor changed.
  const std::string folder = dir.File("folder.conf");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  const std::string huge = dir.File("huge.conf");
  test::WriteFile(huge, "[General]\nFreq=" + std::string(SettingsStore::kMaxFileBytes, '9'));
  for (const auto& [file, why] :
       {std::pair{folder, "is a directory"}, std::pair{huge, "more than any settings file can"}}) {
    RecordingPrompt prompt;
    {
      SettingsStore store(file, prompt);
      EXPECT_EQ(store.ReadValue("", "Freq"), "");
      store.WriteValue("", "Freq", "5");
      EXPECT_FALSE(store.Commit());
      EXPECT_NE(store.problem().find(why), std::string::npos) << store.problem();
    }
    EXPECT_EQ(prompt.messages.size(), 2u) << file;  // on opening, and for the save
  }
  struct stat info {};
  ASSERT_EQ(::stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0755u);
  EXPECT_EQ(std::filesystem::file_size(huge), SettingsStore::kMaxFileBytes + 15);
}

// A save killed at any moment leaves a file that reads whole: every value of
// one generation, never a mix or a cut.
TEST(SettingsStoreTest, SaveKilledMidwayLeavesAWholeFile) {
  TempDir dir;
  const std::string path = dir.File("Brindlecast.conf");
  std::mt19937 random(12345);
  for (int round = 0; round < 12; ++round) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    char program[] = BC_SETTINGS_CHILD;
    std::string fileArg = path;
    char* args[] = {program, fileArg.data(), nullptr};
    pid_t child = 0;
    ASSERT_EQ(::posix_spawn(&child, program, &actions, nullptr, args, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    char ready[8] = {};
    ASSERT_GT(::read(out[0], ready, sizeof ready), 0) << "child never saved";
    ::close(out[0]);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 30000));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);

    RecordingPrompt prompt;
    SettingsStore store(path, prompt);
    const std::string generation = store.ReadValue("", "Generation");
    ASSERT_FALSE(generation.empty()) << "round " << round;
    for (int key = 0; key < 50; ++key) {
      const std::string value = store.ReadValue("UserAccounts\\user" + std::to_string(key % 20 + 1),
                                                "Value" + std::to_string(key));
      ASSERT_EQ(value, generation + ":" + std::string(3000, 'x'))
          << "round " << round << " key " << key;
    }
  }
}

}  // namespace
}  // namespace bc
