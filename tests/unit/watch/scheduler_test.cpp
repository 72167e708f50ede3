#include "watch/scheduler.h"

#include <gtest/gtest.h>

#include "support/manual_clock.h"
#include "support/wait.h"

namespace bc {
namespace {

using test::ManualClock;
constexpr std::time_t kStart = 1700000000;

struct Host final : SchedulerHost {
  bool Busy() const override { return busy; }
  bool Suspended() const override { return suspended; }
  bool CheckMailOn() const override { return checkMail; }
  bool IsVoiceBusy() const override { return voiceBusy; }
  void StartCheck() override { checks.push_back(second); }
  void StartUpdateCheck() override { ++updates; }
  bool busy = false, suspended = false, checkMail = true, voiceBusy = false;
  int second = 0;
  int updates = 0;
  std::vector<int> checks;
};

// Ticks once a second, as the scheduler's thread does, for `seconds` seconds.
void Seconds(CheckScheduler& scheduler, ManualClock& clock, Host& host, int seconds) {
  for (int i = 0; i < seconds; ++i) {
    clock.Advance(1);
    ++host.second;
    scheduler.Tick();
  }
}

TEST(CheckSchedulerTest, ThirtySecondsGivesAPassEveryThirtyOne) {
  ManualClock clock(kStart);
  Host host;
  CheckScheduler scheduler(host, clock);
  scheduler.Arm(30);
  Seconds(scheduler, clock, host, 100);
  EXPECT_EQ(host.checks, (std::vector<int>{31, 62, 93}));
}

TEST(CheckSchedulerTest, ASpeakingVoiceHoldsTheCheckUntilItIsDone) {
  ManualClock clock(kStart);
  Host host;
  CheckScheduler scheduler(host, clock);
  scheduler.Arm(30);
  Seconds(scheduler, clock, host, 29);
  host.voiceBusy = true;
  Seconds(scheduler, clock, host, 10);
  EXPECT_TRUE(host.checks.empty());
  host.voiceBusy = false;
  Seconds(scheduler, clock, host, 1);
  EXPECT_EQ(host.checks, (std::vector<int>{40}));
  Seconds(scheduler, clock, host, 31);
  EXPECT_EQ(host.checks, (std::vector<int>{40, 71}));
}

TEST(CheckSchedulerTest, BusySuspendedOrOffStartsNothing) {
  ManualClock clock(kStart);
  Host host;
  CheckScheduler scheduler(host, clock);
  scheduler.Arm(5);
  host.busy = true;
  Seconds(scheduler, clock, host, 20);
  host.busy = false;
  host.suspended = true;
  Seconds(scheduler, clock, host, 20);
  host.suspended = false;
  host.checkMail = false;
  Seconds(scheduler, clock, host, 20);
  EXPECT_TRUE(host.checks.empty());
  // Resuming re-arms: one full period from then.
  host.checkMail = true;
  scheduler.Restart();
  Seconds(scheduler, clock, host, 6);
  EXPECT_EQ(host.checks, (std::vector<int>{66}));
}

TEST(CheckSchedulerTest, UpdateCheckOnceADay) {
  ManualClock clock(kStart);
  Host host;
  host.checkMail = false;
  CheckScheduler scheduler(host, clock);
  clock.Advance(86400);
  scheduler.Tick();
  EXPECT_EQ(host.updates, 0);
  clock.Advance(1);
  scheduler.Tick();
  scheduler.Tick();
  EXPECT_EQ(host.updates, 1);
}

TEST(CheckSchedulerTest, TheNextUpdateCheckComesADayAfterTheLastEnded) {
  ManualClock clock(kStart);
  Host host;
  host.checkMail = false;
  CheckScheduler scheduler(host, clock);
  clock.Advance(86401);
  scheduler.Tick();
  ASSERT_EQ(host.updates, 1);
  clock.Advance(600);  // the check (its dialog, a stalled server) took ten minutes
  scheduler.UpdateCheckEnded();
  clock.Advance(86400);
  scheduler.Tick();
  EXPECT_EQ(host.updates, 1);
  clock.Advance(1);
  scheduler.Tick();
  EXPECT_EQ(host.updates, 2);
}

TEST(CheckSchedulerTest, TheThreadTicksAndStops) {
  struct CountingHost final : SchedulerHost {
    bool Busy() const override { return false; }
    bool Suspended() const override { return false; }
    bool CheckMailOn() const override { return true; }
    bool IsVoiceBusy() const override { return false; }
    void StartCheck() override { ++checks; }
    void StartUpdateCheck() override {}
    std::atomic<int> checks{0};
  } host;
  SystemClock clock;
  CheckScheduler scheduler(host, clock);
  scheduler.Arm(-1);  // due at every tick
  scheduler.Start();
  EXPECT_TRUE(scheduler.running());
  EXPECT_TRUE(test::WaitUntil([&] { return host.checks > 0; }));
  scheduler.Stop();
  EXPECT_FALSE(scheduler.running());
}

}  // namespace
}  // namespace bc
