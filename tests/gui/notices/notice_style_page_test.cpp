#include <gtest/gtest.h>

#include <QComboBox>

#include "props_test_util.h"
#include "ui/props/property_sheet.h"

namespace bc {
namespace {

constexpr int kGeneralPage = 1;
constexpr int kUntouched = -1;

// Opens the General page, picks `entry` in the notice style list (unless
// kUntouched), remembers the entry shown on opening, and confirms.
test::DialogScript::Step PickNoticeStyle(int entry, int& shownOnOpen) {
  return [entry, &shownOnOpen](QDialog& d) {
    static_cast<PropertySheet&>(d).SetActivePage(kGeneralPage);
    QComboBox* box = test::Find<QComboBox>(d, "noticeStyleCombo");
    ASSERT_NE(box, nullptr);
    shownOnOpen = box->currentIndex();
    if (entry != kUntouched) {
      box->setCurrentIndex(entry);
    }
    test::Ok(d);
  };
}

TEST(NoticeStylePage, ChoiceIsStoredAndReadBack) {
  struct Row {
    const char* stored;
    int shownEntry;  // 0 automatic, 1 own window, 2 desktop notifications
    int picked;
    const char* saved;
  };
  const Row rows[] = {
      {"", 0, 2, "1"},
      {"1", 2, 1, "0"},
      {"0", 1, 0, ""},
      {"1", 2, kUntouched, "1"},
      {"7", 0, kUntouched, "7"},  // unknown text: automatic, kept as
                                  // stored
      {"7", 0, 2, "1"},
  };
  for (const Row& row : rows) {
    test::PropsFixture f;
    test::QuietHost host;
    Settings settings;
    settings.options.NoticeStyle = row.stored;
    ASSERT_TRUE(SaveSettings(f.store, settings));
    settings = LoadSettings(f.store);

    int shown = kUntouched;
    f.script.Then(PickNoticeStyle(row.picked, shown));
    PropertiesCommand().Run(nullptr, settings, host, f.context);
    EXPECT_EQ(shown, row.shownEntry) << row.stored;
    ASSERT_TRUE(SaveSettings(f.store, settings));
    EXPECT_EQ(f.Stored("", "NoticeStyle"), row.saved) << row.stored << " -> " << row.picked;
  }
}

}  // namespace
}  // namespace bc
