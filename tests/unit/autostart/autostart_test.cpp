#include "config/autostart.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <filesystem>

#include "config/paths.h"
#include "support/test_env.h"

namespace bc {
namespace {

std::string ExecLine(const std::string& entryText) {
  const size_t at = entryText.find("\nExec=");
  if (at == std::string::npos) {
    return "<none>";
  }
  const size_t end = entryText.find('\n', at + 1);
  return entryText.substr(at + 6, end - at - 6);
}

TEST(AutostartTest, ExecIsTheFullPathQuotedOnlyWhenItMustBe) {
  EXPECT_EQ(ExecLine(AutostartEntryText("/usr/local/bin/brindlecast")),
            "/usr/local/bin/brindlecast");
  EXPECT_EQ(ExecLine(AutostartEntryText("/home/me/My Apps/brindlecast")),
            "\"/home/me/My Apps/brindlecast\"");
  // Inside quotes '"', '$' and '\' take a backslash, and the file's own
  // escaping doubles every backslash; '%' starts field codes and is doubled.
  EXPECT_EQ(ExecLine(AutostartEntryText("/opt/a\"b$c\\d/100%/bc")),
            R"("/opt/a\\"b\\$c\\\\d/100%%/bc")");
  const std::string text = AutostartEntryText("/usr/bin/brindlecast");
  EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
  EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
  EXPECT_NE(text.find("\nName=Brindlecast\n"), std::string::npos);
}

TEST(AutostartTest, OnWritesTheEntryOffRemovesIt) {
  test::TempDir dir;
  const std::string entry = dir.File("autostart/brindlecast.desktop");
  ASSERT_TRUE(SetAutostart(true, entry, "/usr/bin/brindlecast"));
  EXPECT_EQ(test::ReadFile(entry), AutostartEntryText("/usr/bin/brindlecast"));
  // Switching on again replaces the entry, e.g. after the program moved.
  ASSERT_TRUE(SetAutostart(true, entry, "/opt/brindlecast/brindlecast"));
  EXPECT_EQ(ExecLine(test::ReadFile(entry)), "/opt/brindlecast/brindlecast");

  EXPECT_TRUE(SetAutostart(false, entry, "/usr/bin/brindlecast"));
  EXPECT_FALSE(std::filesystem::exists(entry));
  EXPECT_TRUE(SetAutostart(false, entry, "/usr/bin/brindlecast"));
}

TEST(AutostartTest, FailuresLeaveNothingBehind) {
  test::TempDir dir;
  const std::string entry = dir.File("autostart/brindlecast.desktop");
  EXPECT_FALSE(SetAutostart(true, entry, ""));
  EXPECT_FALSE(SetAutostart(true, entry, "brindlecast"));
  EXPECT_FALSE(std::filesystem::exists(entry));

  // A folder that cannot be written to.
  if (::geteuid() != 0) {
    std::filesystem::create_directories(dir.File("locked"));
    std::filesystem::permissions(dir.File("locked"), std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::owner_exec);
    EXPECT_FALSE(SetAutostart(true, dir.File("locked/brindlecast.desktop"), "/usr/bin/bc"));
    std::filesystem::permissions(dir.File("locked"), std::filesystem::perms::owner_all);
  }
  // A path that is in the way as a file.
  test::WriteFile(dir.File("blocker"), "x");
  EXPECT_FALSE(SetAutostart(true, dir.File("blocker/brindlecast.desktop"), "/usr/bin/bc"));
}

TEST(AutostartTest, TheUsersEntryHasTheDesktopIdReplacesTheOldNameAndValidates) {
  test::ScopedXdgHome home;
  const std::string dir = home.root() + "/config/autostart";
  std::filesystem::create_directories(dir);
  test::WriteFile(dir + "/brindlecast.desktop", "[Desktop Entry]\nExec=/old/brindlecast\n");
  ASSERT_EQ(AutostartEntryPath(), dir + "/" + kDesktopEntryId + ".desktop");

  ASSERT_TRUE(SetAutostart(true));
  EXPECT_FALSE(std::filesystem::exists(dir + "/brindlecast.desktop"));
  const std::string validate = "desktop-file-validate '" + AutostartEntryPath() + "'";
  EXPECT_EQ(std::system(validate.c_str()), 0) << test::ReadFile(AutostartEntryPath());
  EXPECT_TRUE(SetAutostart(false));
  EXPECT_TRUE(std::filesystem::is_empty(dir));
}

}  // namespace
}  // namespace bc
