#include "extras/version_file.h"

#include <gtest/gtest.h>

namespace bc {
namespace {

TEST(ParseVersionFileTest, ValuesAreBoundedAndEndAtWhiteSpace) {
  const std::string longVersion(400, '9');
  const auto info = ParseVersionFile(
      "Version=" + longVersion + "\nDate=2004-09-01T10:20:30Z-extra\n" + "Download= http://a b\n");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->version, longVersion.substr(0, 279));
  EXPECT_EQ(info->date, "2004-09-01T10:20:30");  // 19 characters
  EXPECT_EQ(info->download, "http://a");
}

TEST(ParseVersionFileTest, KeysPastTheReadLimitOrAfterANulAreMissing) {
  std::string text = "Date=1\nDownload=x\n";
  text.resize(1020, ' ');
  EXPECT_FALSE(ParseVersionFile(text + "Version=2.00\n"));  // starts within, ends past byte 1023
  EXPECT_FALSE(ParseVersionFile(std::string("Date=1\nDownload=x\n\0Version=2.00", 31)));
  EXPECT_FALSE(ParseVersionFile("version=2.00\nDate=1\nDownload=x"));  // case counts
}

TEST(DecideUpdateTest, NetworkErrorsAreSilentUnlessAskedAndOtherStatusesAreNot) {
  VersionFetch fetch;
  fetch.networkError = true;
  EXPECT_EQ(DecideUpdate(fetch, false).notice, UpdateNotice::None);
  EXPECT_EQ(DecideUpdate(fetch, true).notice, UpdateNotice::NotAvailable);
  fetch = VersionFetch{};
  fetch.status = 500;
  EXPECT_EQ(DecideUpdate(fetch, false).notice, UpdateNotice::NotAvailable);
  fetch.status = 200;
  fetch.body = "Version=2.01 Date=x Download=y";
  EXPECT_EQ(DecideUpdate(fetch, true).notice, UpdateNotice::AlreadyLatest);
}

}  // namespace
}  // namespace bc
