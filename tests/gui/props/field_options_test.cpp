#include "ui/props/field_options.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>

#include "props_test_util.h"

namespace bc {
namespace {

using Rows = std::vector<std::string>;

class FieldOptionsTest : public ::testing::Test {
 protected:
  QListWidget* List(QDialog& d) { return test::Find<QListWidget>(d, "fieldList"); }

  Rows RowTexts(QDialog& d) {
    Rows rows;
    for (int i = 0; i < List(d)->count(); ++i) {
      rows.push_back(List(d)->item(i)->text().toStdString());
    }
    return rows;
  }

  std::vector<bool> Checks(QDialog& d) {
    std::vector<bool> checks;
    for (int i = 0; i < List(d)->count(); ++i) {
      checks.push_back(List(d)->item(i)->checkState() == Qt::Checked);
    }
    return checks;
  }

  int Selected(QDialog& d) {
    QListWidgetItem* item = List(d)->currentItem();
    return item && item->isSelected() ? List(d)->row(item) : -1;
  }

  void SetCheck(QDialog& d, int row, bool on) {
    List(d)->item(row)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  }

  test::RecordingPrompt prompt;
  test::FakeVoices voices;
  AppOptions options;
};

TEST_F(FieldOptionsTest, DefaultOrdersGiveTheirRowsAndOkWritesThemBackUnchanged) {
  CEnvelopeOptionsDlg envelope(options, false, prompt);
  EXPECT_EQ(
      RowTexts(envelope),
      (Rows{"Received:", "From:", "Subject:", "Size:", "Account:", "Attachment:", "Address:"}));
  EXPECT_EQ(Selected(envelope), 0);
  EXPECT_FALSE(test::Enabled(envelope, "upButton"));
  EXPECT_TRUE(test::Enabled(envelope, "downButton"));
  test::Ok(envelope);
  EXPECT_EQ(options.ColumnOrder, kDefaultColumnOrder);

  CSpeechOptionsDlg speech(options, false, prompt, voices);
  EXPECT_EQ(RowTexts(speech), (Rows{"From:", "Subject:", "Size:", "Received:", "Account:",
                                    "Attachment:", "Content:", "Address:"}));
  EXPECT_EQ(Selected(speech), -1);
  test::Ok(speech);
  EXPECT_EQ(options.SpeakOrder, kDefaultSpeakOrder);
}

TEST_F(FieldOptionsTest, DownOnRowTwoMovesChecksAndSelectsIt) {
  options.Subject = 0;
  options.size = 1;
  CEnvelopeOptionsDlg dialog(options, false, prompt);
  List(dialog)->setCurrentRow(2);
  test::Click(dialog, "downButton");
  EXPECT_EQ(RowTexts(dialog)[2], "Size:");
  EXPECT_EQ(RowTexts(dialog)[3], "Subject:");
  EXPECT_EQ(Selected(dialog), 3);
  EXPECT_TRUE(Checks(dialog)[3]);
  test::Ok(dialog);
  EXPECT_EQ(options.ColumnOrder,
            "from=1,subject=3,address=6,received=0,size=2,account=4,attachment=5,");
  EXPECT_EQ(options.Subject, 1);
  EXPECT_EQ(options.size, 1);
  EXPECT_EQ(options.From, 0);
}

TEST_F(FieldOptionsTest, UpAndDownStopAtTheEndsAndNeedASelection) {
  CSpeechOptionsDlg dialog(options, false, prompt, voices);
  test::Click(dialog, "downButton");
  EXPECT_EQ(prompt.messages, (Rows{"There is no item be selected"}));
  EXPECT_EQ(RowTexts(dialog)[0], "From:");

  List(dialog)->setCurrentRow(7);
  EXPECT_FALSE(test::Enabled(dialog, "downButton"));
  EXPECT_TRUE(test::Enabled(dialog, "upButton"));
  test::Click(dialog, "upButton");
  EXPECT_EQ(RowTexts(dialog)[6], "Address:");
  EXPECT_TRUE(test::Enabled(dialog, "downButton"));
  List(dialog)->setCurrentRow(0);
  EXPECT_FALSE(test::Enabled(dialog, "upButton"));
  test::Cancel(dialog);
  EXPECT_EQ(options.SpeakOrder, kDefaultSpeakOrder);
}

TEST_F(FieldOptionsTest, SelectAllRules) {
  options.From = options.Subject = 1;
  // The rows show the stored flags; a remembered Select All (an empty memory
  // at first start counts as on) ticks the box only when every row is on.
  {
    CEnvelopeOptionsDlg dialog(options, true, prompt);
    EXPECT_EQ(Checks(dialog), (std::vector<bool>{false, true, true, false, false, false, false}));
    EXPECT_FALSE(test::Find<QCheckBox>(dialog, "selectAllCheck")->isChecked());
    test::Ok(dialog);
    EXPECT_FALSE(dialog.SelectAll());
    EXPECT_EQ(
        options.Received + options.size + options.Account + options.Attachment + options.Address,
        0);
  }
  CEnvelopeOptionsDlg dialog(options, true, prompt);
  auto* all = test::Find<QCheckBox>(dialog, "selectAllCheck");
  all->click();
  EXPECT_EQ(Checks(dialog), std::vector<bool>(7, true));
  all->click();
  EXPECT_EQ(Checks(dialog), std::vector<bool>(7, false));
  all->click();
  EXPECT_EQ(Checks(dialog), std::vector<bool>(7, true));
  // Unchecking the selected row's box leaves the box alone; a selection change clears it.
  SetCheck(dialog, 0, false);
  EXPECT_TRUE(all->isChecked());
  List(dialog)->setCurrentRow(1);
  EXPECT_FALSE(all->isChecked());
  List(dialog)->setCurrentRow(0);
  test::Ok(dialog);
  EXPECT_FALSE(dialog.SelectAll());
  EXPECT_EQ(options.Received, 0);
  EXPECT_EQ(options.From, 1);
}

TEST_F(FieldOptionsTest, AMalformedOrderIsRepairedWithEveryKeyWritten) {
  options.ColumnOrder = "received=2,size=2,from=1";
  options.Address = 1;
  CEnvelopeOptionsDlg dialog(options, false, prompt);
  // "from=1" without its comma reads as 0; Size loses position 2 to Received.
  EXPECT_EQ(RowTexts(dialog), (Rows{"From:", "", "Received:", "", "", "", ""}));
  test::Ok(dialog);
  EXPECT_EQ(options.ColumnOrder,
            "from=0,subject=1,address=3,received=2,size=4,account=5,attachment=6,");
  EXPECT_EQ(options.Address, 1);
}

TEST_F(FieldOptionsTest, TheVoiceInUseIsChosenAndOnlyOkMakesAChoiceTheDefault) {
  {
    CSpeechOptionsDlg dialog(options, false, prompt, voices);
    auto* combo = test::Find<QComboBox>(dialog, "voiceCombo");
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->currentIndex(), 1);
    combo->setCurrentIndex(2);
    test::Cancel(dialog);
  }
  EXPECT_TRUE(voices.madeDefault.empty());
  CSpeechOptionsDlg dialog(options, false, prompt, voices);
  test::Find<QComboBox>(dialog, "voiceCombo")->setCurrentIndex(2);
  test::Ok(dialog);
  EXPECT_EQ(voices.madeDefault, (Rows{"roa/fr"}));
}

}  // namespace
}  // namespace bc
