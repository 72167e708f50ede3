#include "app/single_instance.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <initializer_list>
#include <thread>

namespace bc {
namespace {

TEST(SingleInstanceTest, ASecondStartAsksTheFirstToShowWithItsTokenAndEnds) {
  const QString name = QStringLiteral("bc-test-%1").arg(QCoreApplication::applicationPid());
  SingleInstance first(name);
  ASSERT_TRUE(first.Claim());
  int showRequests = 0;
  QString token;
  QObject::connect(&first, &SingleInstance::ShowRequested, [&](const QString& given) {
    ++showRequests;
    token = given;
  });

  // The second start runs its check on another thread, as another process would.
  bool secondClaimed = true;
  std::thread second([&] {
    SingleInstance other(name);
    secondClaimed = other.Claim(QStringLiteral("kwin-42_x"));
  });
  QDeadlineTimer deadline(5000);
  while (showRequests == 0 && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  second.join();
  EXPECT_FALSE(secondClaimed);
  EXPECT_EQ(showRequests, 1);
  EXPECT_EQ(token, QStringLiteral("kwin-42_x"));
}

TEST(SingleInstanceTest, ShowRequestLines) {
  const QByteArray longToken(600, 'a');
  struct Row {
    QByteArray line;
    bool isRequest;
    const char* token;
  };
  for (const Row& row : std::initializer_list<Row>{
           {"show\n", true, ""},
           {"show tok-1\n", true, "tok-1"},
           {"show tok-1", true, "tok-1"},
           {"show " + longToken + "\n", true, ""},  // dropped, the window still shows
           {"show t\x01k\n", true, ""},
           {"show a b\n", true, ""},
           {"shows\n", false, ""},
           {"close\n", false, ""},
           {"", false, ""},
       }) {
    const std::optional<ShowRequest> request = ParseShowRequest(row.line);
    EXPECT_EQ(request.has_value(), row.isRequest) << row.line.constData();
    if (request) {
      EXPECT_EQ(request->activationToken, QString::fromLatin1(row.token)) << row.line.constData();
    }
  }
  // What a later start sends reads back; a bad token is not sent.
  EXPECT_EQ(ParseShowRequest(ShowRequestLine(QStringLiteral("x_1")))->activationToken,
            QStringLiteral("x_1"));
  EXPECT_EQ(ShowRequestLine(QStringLiteral("a b")), QByteArray("show\n"));
}

TEST(SingleInstanceTest, ASocketLeftByADeadInstanceIsTakenOver) {
  const QString name = QStringLiteral("bc-test-stale-%1").arg(QCoreApplication::applicationPid());
  {
    SingleInstance dead(name);
    ASSERT_TRUE(dead.Claim());
  }
  SingleInstance next(name);
  EXPECT_TRUE(next.Claim());
}

}  // namespace
}  // namespace bc
