// The update check against a real HTTPS server on 127.0.0.1 whose certificate
// comes from a throwaway CA that only these tests trust.
#include <gtest/gtest.h>

#include <QTcpServer>

#include "extras/update_check.h"
#include "extras/version_fetch.h"
#include "https_test_server.h"

namespace bc {
namespace {

struct Recorder final : UpdatePresenter {
  void ShowNewRelease(const VersionInfo& release, const QUrl& page) override {
    std::lock_guard lock(mutex);
    shown.push_back("release " + release.version + " " + release.date);
    upgradePage = page;
  }
  void ShowInformation(const std::string& text) override {
    std::lock_guard lock(mutex);
    shown.push_back(text);
  }
  void Abandon() override {}
  std::mutex mutex;
  std::vector<std::string> shown;
  QUrl upgradePage;
};

const test::ThrowawayCa& Ca() {
  static const test::ThrowawayCa ca;
  return ca;
}

UpdateSite TrustingSite(const std::string& base) {
  return UpdateSite{ParseUpdateBase(QString::fromStdString(base)), {Ca().ca}};
}

const std::string kFile = "Version=2.01\nDate=2004-09-01\nDownload=https://evil.example/x.exe\n";
const std::string kAlready = kAlreadyLatestText;
const std::string kNotAvailable = kNotAvailableText;

struct Row {
  const char* name;
  int status;
  std::string body;
  bool manual;
  std::vector<std::string> shown;
};

class UpdateCheckRows : public ::testing::TestWithParam<Row> {};

TEST_P(UpdateCheckRows, ShowsWhatTheFileSays) {
  ASSERT_TRUE(Ca().ok()) << "openssl could not make the test certificates";
  const Row& row = GetParam();
  test::HttpsTestServer server(Ca(), row.status, row.body);
  Recorder recorder;
  RunUpdateCheck(TrustingSite(server.base()), row.manual, recorder);
  EXPECT_EQ(recorder.shown, row.shown);
  EXPECT_EQ(server.lastRequestLine(), "GET /version_BC.txt HTTP/1.1");
  if (!recorder.shown.empty() && recorder.shown[0].starts_with("release")) {
    EXPECT_EQ(recorder.upgradePage.toString().toStdString(), server.base() + "upgrade.html");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Https, UpdateCheckRows,
    ::testing::Values(
        Row{"SameVersionManual", 200, kFile, true, {kAlready}},
        Row{"SameVersionAutomatic", 200, kFile, false, {}},
        Row{"OlderVersion",
            200,
            "Version=2.00\nDate=2003-01-02\nDownload=x\n",
            false,
            {"release 2.00 2003-01-02"}},
        Row{"SuffixedVersion",
            200,
            "Download=x\r\nVersion=2.01a\r\nDate=2004 09 01\r\n",
            false,
            {"release 2.01a 2004"}},
        Row{"BlankAndWordAroundTheSameVersion",
            200,
            "Version= 2.01 beta\nDate=1\nDownload=x",
            true,
            {kAlready}},
        Row{"NotFoundEvenAutomatic", 404, "no such file", false, {kNotAvailable}},
        Row{"MissingKeyManual", 200, "Version=2.00\nDownload=x\n", true, {kNotAvailable}},
        Row{"MissingKeyAutomatic", 200, "Version=2.00\nDownload=x\n", false, {}}),
    [](const ::testing::TestParamInfo<Row>& row) { return std::string(row.param.name); });

// A network failure is news only to the user who asked.
TEST(UpdateCheckTest, NetworkFailuresAreShownOnlyWhenAsked) {
  ASSERT_TRUE(Ca().ok());
  // Refused: a port that was just free.
  QTcpServer probe;
  ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
  const std::string refused = "https://127.0.0.1:" + std::to_string(probe.serverPort()) + "/";
  probe.close();
  Recorder recorder;
  EXPECT_EQ(RunUpdateCheck(TrustingSite(refused), false, recorder), UpdateNotice::None);
  EXPECT_EQ(RunUpdateCheck(TrustingSite(refused), true, recorder), UpdateNotice::NotAvailable);

  // Untrusted: the same server, but without its CA only the system store counts.
  test::HttpsTestServer server(Ca(), 200, "Version=9.99\nDate=1\nDownload=x\n");
  UpdateSite untrusted{ParseUpdateBase(QString::fromStdString(server.base())), {}};
  const VersionFetch fetch = FetchVersionFile(untrusted);
  EXPECT_TRUE(fetch.networkError);
  EXPECT_EQ(RunUpdateCheck(untrusted, false, recorder), UpdateNotice::None);
  EXPECT_EQ(RunUpdateCheck(untrusted, true, recorder), UpdateNotice::NotAvailable);
  EXPECT_EQ(recorder.shown, (std::vector<std::string>{kNotAvailable, kNotAvailable}));
}

// A server that sends a byte now and then never lets the transfer go silent:
// the whole fetch still ends at its deadline, as a network failure.
TEST(UpdateCheckTest, ADrippingServerMeetsTheDeadlineOfTheWholeFetch) {
  ASSERT_TRUE(Ca().ok());
  test::HttpsTestServer server(Ca(), 200, std::string(200, 'x'), std::chrono::milliseconds(100));
  const VersionFetch fetch =
      FetchVersionFile(TrustingSite(server.base()), nullptr, std::chrono::milliseconds(2000));
  EXPECT_TRUE(fetch.networkError);
  EXPECT_EQ(fetch.error, "no complete answer within 2 seconds");
}

TEST(UpdateCheckTest, ReadsOnlyTheFirst1023Bytes) {
  ASSERT_TRUE(Ca().ok());
  std::string body = "Version=2.00\nDate=2004-09-01\nDownload=";
  while (body.size() < 5000) {
    body += static_cast<char>('a' + body.size() % 26);
  }
  test::HttpsTestServer server(Ca(), 200, body);
  const VersionFetch fetch = FetchVersionFile(TrustingSite(server.base()));
  ASSERT_FALSE(fetch.networkError) << fetch.error;
  EXPECT_EQ(fetch.body, body.substr(0, 1023));
  // The Download value is cut where the reading stopped.
  EXPECT_EQ(ParseVersionFile(fetch.body)->download.size(), 1023 - 38);
}

// Asking while an automatic check still fetches makes that check the user's:
// its answer is shown, and no second fetch waits behind it.
TEST(UpdateCheckTest, AskingDuringAFetchShowsThatFetchsAnswer) {
  ASSERT_TRUE(Ca().ok());
  test::HttpsTestServer server(Ca(), 200, kFile);
  Recorder recorder;
  std::atomic<int> ended{0};
  UpdateCheck check(TrustingSite(server.base()), recorder, [&] { ++ended; });
  check.Request(false);
  check.Request(true);
  check.WaitUntilIdle();
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(recorder.shown, std::vector<std::string>{kAlready});
}

TEST(UpdateSiteTest, OnlyHttpsBasesAreTaken) {
  EXPECT_EQ(ParseUpdateBase(QStringLiteral("https://m.example/bc")).toString(),
            QStringLiteral("https://m.example/bc/"));
  EXPECT_TRUE(ParseUpdateBase(QStringLiteral("http://m.example/")).isEmpty());
  EXPECT_TRUE(ParseUpdateBase(QStringLiteral("https:///x")).isEmpty());
  UpdateSite site{QUrl(QStringLiteral("https://www.brindlecast.example/")), {}};
  EXPECT_EQ(site.VersionFileUrl().toString(),
            QStringLiteral("https://www.brindlecast.example/version_BC.txt"));
}

}  // namespace
}  // namespace bc
