#include "app/single_instance.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

namespace bc {
namespace {

TEST(SingleInstanceTest, ASecondStartAsksTheFirstToHideAndEnds) {
  const QString name = QStringLiteral("bc-test-%1").arg(QCoreApplication::applicationPid());
  SingleInstance first(name);
  ASSERT_TRUE(first.Claim());
  int closeRequests = 0;
  QObject::connect(&first, &SingleInstance::CloseRequested, [&] { ++closeRequests; });

  // The second start runs its check on another thread, as another process would.
  bool secondClaimed = true;
  std::thread second([&] {
    SingleInstance other(name);
    secondClaimed = other.Claim();
  });
  QDeadlineTimer deadline(5000);
  while (closeRequests == 0 && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  second.join();
  EXPECT_FALSE(secondClaimed);
  EXPECT_EQ(closeRequests, 1);
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
