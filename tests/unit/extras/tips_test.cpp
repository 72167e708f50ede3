#include <gtest/gtest.h>

#include <QSettings>

#include "extras/tip_of_day.h"
#include "extras/tip_picker.h"
#include "support/test_env.h"

namespace bc {
namespace {

// The fallback rule when every draw equals the last index.
int SteppedOff(int n) {
  return n == 0 ? 1 : n == kTipCount - 1 ? kTipCount - 2 : n + 1;
}

TEST(TipPickerTest, NeverTheLastIndexAndAlwaysInRange) {
  std::int64_t second = 1700000000;
  const auto ticking = [&] { return second++; };
  const auto frozen = [] { return std::int64_t{1700000000}; };
  for (int last = -1; last < kTipCount; ++last) {
    const std::optional<int> previous = last < 0 ? std::nullopt : std::optional<int>(last);
    for (const auto& clock :
         {std::function<std::int64_t()>(ticking), std::function<std::int64_t()>(frozen)}) {
      const int n = PickTipIndex(previous, clock);
      EXPECT_GE(n, 0);
      EXPECT_LT(n, kTipCount);
      EXPECT_NE(std::optional<int>(n), previous) << "last " << last;
    }
  }
}

TEST(TipPickerTest, WithinOneSecondTheRepeatStepsOffEvenAtTheEnds) {
  // Seconds whose draw is 0 and 25 (25 needs the largest 15-bit value).
  std::optional<std::int64_t> atZero, atTop;
  for (std::int64_t s = 0; s < 4000000 && !(atZero && atTop); ++s) {
    const int n = PickTipIndex(std::nullopt, [s] { return s; });
    if (n == 0 && !atZero)
      atZero = s;
    if (n == kTipCount - 1 && !atTop)
      atTop = s;
  }
  ASSERT_TRUE(atZero && atTop);
  for (const std::int64_t s : {*atZero, *atTop, std::int64_t{12345}}) {
    const auto clock = [s] { return s; };
    const int first = PickTipIndex(std::nullopt, clock);
    EXPECT_EQ(PickTipIndex(first, clock), SteppedOff(first)) << "second " << s;
  }
}

TEST(TipsFileTest, ShortFilesLongLinesAndCrLf) {
  test::TempDir dir;
  test::WriteFile(dir.File("three"), "one\r\ntwo\nthree\n");
  TipsFile three(dir.File("three"));
  for (int index = 0; index < kTipCount; ++index) {
    ASSERT_TRUE(three.Seek(0));
    const char* expected = index == 0 ? "one\n" : index == 1 ? "two\n" : "three\n";
    EXPECT_EQ(three.ReadTip(index), expected) << "index " << index;
  }
  const std::string longLine(650, 'x');
  test::WriteFile(dir.File("long"), longLine + "\nnext\n");
  TipsFile lines(dir.File("long"));
  EXPECT_EQ(lines.ReadTip(0), longLine.substr(0, 299));
  EXPECT_EQ(lines.ReadTip(0), longLine.substr(0, 299));
  EXPECT_EQ(lines.ReadTip(0), std::string(52, 'x') + "\n");
  EXPECT_EQ(lines.ReadTip(0), "next\n");
  test::WriteFile(dir.File("empty"), "");
  EXPECT_EQ(TipsFile(dir.File("empty")).ReadTip(3), "");
}

class TipOfDayTest : public ::testing::Test {
 protected:
  TipOfDayTest() { test::WriteFile(tips, "first\nsecond\nthird\n"); }
  std::unique_ptr<TipOfDay> Make(const std::string& path) {
    return std::make_unique<TipOfDay>(path, profile, prompt, [this] { return ++second; });
  }
  QSettings Ini() {
    return QSettings(QString::fromStdString(dir.File("tips.ini")), QSettings::IniFormat);
  }

  test::TempDir dir;
  std::string tips = dir.File("DayTips.dat");
  TipsProfile profile{dir.File("tips.ini")};
  test::RecordingPrompt prompt;
  std::int64_t second = 1700000000;
};

TEST_F(TipOfDayTest, StartUpOffStillReadsATipAndStoresThePosition) {
  profile.SetStartUp(1);
  {
    auto tip = Make(tips);
    EXPECT_FALSE(tip->showAtStartup());
    ASSERT_TRUE(tip->lastIndex());
    EXPECT_FALSE(tip->tip().empty());
  }
  EXPECT_GT(profile.FilePosition(), 0);
  EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(TipOfDayTest, NextTipNeverRepeatsTheIndexJustShown) {
  auto tip = Make(tips);
  for (int i = 0; i < 60; ++i) {
    const auto before = tip->lastIndex();
    tip->NextTip();
    EXPECT_NE(tip->lastIndex(), before);
  }
}

TEST_F(TipOfDayTest, AReplacedFileResetsThePositionAndStoresItsStamp) {
  // A stored position that cannot be sought to shows the trouble message...
  TipsFile probe(tips);
  profile.SetTimeStamp(probe.TimeStamp());
  profile.SetFilePosition(-5);
  Make(tips).reset();
  EXPECT_EQ(prompt.messages, std::vector<std::string>{kTipsTroubleText});
  // ...but not once the file's stamp changed: the position starts over at 0.
  prompt.messages.clear();
  profile.SetTimeStamp("Thu Jan  1 00:00:00 1970");
  profile.SetFilePosition(-5);
  Make(tips).reset();
  EXPECT_TRUE(prompt.messages.empty());
  EXPECT_EQ(profile.TimeStamp(), probe.TimeStamp());
  EXPECT_FALSE(probe.TimeStamp().empty());
  EXPECT_GT(profile.FilePosition(), 0);
}

TEST_F(TipOfDayTest, AMissingFileGivesItsTextAndStoresNoPosition) {
  {
    auto tip = Make(dir.File("nowhere.dat"));
    EXPECT_FALSE(tip->fileOpen());
    EXPECT_EQ(tip->tip(), kMissingTipsText);
    tip->NextTip();
    EXPECT_EQ(tip->tip(), kMissingTipsText);
    tip->Close(false);
  }
  EXPECT_FALSE(Ini().contains(QStringLiteral("BrindlecastDayTip/BrindlecastFilePosition")));
  EXPECT_EQ(Ini().value(QStringLiteral("BrindlecastDayTip/BrindlecastStartUp")).toString(),
            QStringLiteral("1"));
}

}  // namespace
}  // namespace bc
