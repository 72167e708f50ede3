// The WAV Reader's commands and Save to WAV in the main window.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>

#include "config/paths.h"
#include "config/settings_store.h"
#include "gui/window/session_fixture.h"
#include "speech/speech_engine.h"
#include "speech/wav_file.h"
#include "speech/wav_stream_player.h"
#include "support/test_env.h"
#include "support/wait.h"
#include "ui/icon_button.h"
#include "ui/pages/email_list.h"
#include "ui/pages/envelope_table_model.h"
#include "ui/pages/text_pages.h"
#include "ui/pages/wav_page.h"
#include "ui/pages/waveform_view.h"

namespace bc {
namespace {

// How unlike the loudness over time (20 ms windows of 16-bit samples) of `b`'s
// start is to `a`'s, relative to `a`'s loudness: 0 for the same sound.
double LoudnessDistance(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  constexpr size_t kWindow = 2 * 441;
  const auto loudness = [](const std::vector<uint8_t>& s, size_t at) {
    double sum = 0;
    for (size_t i = at; i + 1 < at + kWindow && i + 1 < s.size(); i += 2) {
      sum += std::abs(static_cast<int16_t>(s[i] | (s[i + 1] << 8)));
    }
    return sum;
  };
  double difference = 0;
  double total = 0;
  for (size_t at = 0; at + kWindow <= std::min(a.size(), b.size()); at += kWindow) {
    difference += std::abs(loudness(a, at) - loudness(b, at));
    total += loudness(a, at);
  }
  return total > 0 ? difference / total : 1;
}

class WavCommandsTest : public test::SessionTest {
 protected:
  void SetUp() override {
    WriteSettings({"From", "Subject", "ShowEnvelopeInfo"});
    StartSession(SettingsFilePath(), {"Apples", "Bananas", "Cherries"});

    const WavFormat format{1, 8000, 16};
    const std::vector<uint8_t> image = EncodeWav(format, MakeBeep(format, 440, 2000).samples);
    wavPath_ = dir_.File("tone.wav");
    test::WriteFile(wavPath_, std::string(image.begin(), image.end()));
  }

  bool Enabled(ToolButton button) { return window_->button(button)->isEnabled(); }
  int SaveRequests() {
    return static_cast<int>(
        std::count_if(prompt_.fileRequests.begin(), prompt_.fileRequests.end(),
                      [](const std::string& r) { return r.rfind("save:", 0) == 0; }));
  }
  std::vector<uint8_t> SaveSelection(const std::vector<int>& rows, const std::string& name) {
    EmailList& list = window_->emailList();
    list.SelectOnly(rows.front());
    for (int row : rows) {
      list.view()->selectionModel()->select(
          list.model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    prompt_.chosenFile = dir_.File(name);
    window_->SaveToWav();
    const auto wav = ReadWavFile(prompt_.chosenFile);
    return wav ? wav->samples : std::vector<uint8_t>{};
  }

  std::string wavPath_;
};

TEST_F(WavCommandsTest, OpenShowsTheFileAndCancellingReadWavPutsThePromptBack) {
  prompt_.chosenFile = wavPath_;
  window_->OpenWavFile();
  EXPECT_EQ(prompt_.fileRequests.back(), "Open|WAV (*.wav)|wav");
  EXPECT_EQ(window_->CurrentTab(), Tab::Wav);
  WavReaderPage& page = window_->wavPage();
  EXPECT_EQ(page.Path(), wavPath_);
  ASSERT_NE(page.view(), nullptr);
  EXPECT_FALSE(page.view()->IsPlaying());  // opening does not play
  EXPECT_TRUE(Enabled(ToolButton::Play));
  EXPECT_TRUE(Enabled(ToolButton::Open));
  EXPECT_FALSE(window_->action(Command::SaveToWav)->isEnabled());

  prompt_.chosenFile.clear();
  window_->ReadWav();
  EXPECT_EQ(page.pathBox()->text().toStdString(), kWavPrompt);
  window_->Play();
  EXPECT_FALSE(page.view() && page.view()->IsPlaying());
  EXPECT_TRUE(Enabled(ToolButton::Play));
}

TEST_F(WavCommandsTest, ReadWavPlaysAndTheEndOfPlaybackRestoresTheButtons) {
  prompt_.chosenFile = wavPath_;
  window_->ReadWav();
  CWaveViewCtrl* view = window_->wavPage().view();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->IsPlaying());
  EXPECT_FALSE(Enabled(ToolButton::Play));
  QDeadlineTimer deadline(10000);
  while (!Enabled(ToolButton::Play) && !deadline.hasExpired()) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  EXPECT_TRUE(Enabled(ToolButton::Play));
  EXPECT_FALSE(view->IsPlaying());
}

TEST_F(WavCommandsTest, PauseHoldsAPlayingFileAndSaysResume) {
  prompt_.chosenFile = wavPath_;
  window_->ReadWav();
  CWaveViewCtrl* view = window_->wavPage().view();
  ASSERT_TRUE(view != nullptr && view->IsPlaying());
  ASSERT_TRUE(Enabled(ToolButton::Pause));
  window_->Pause();
  EXPECT_TRUE(view->IsPaused());
  EXPECT_EQ(window_->action(Command::Pause)->text(), QStringLiteral("Res&ume"));
  EXPECT_EQ(window_->button(ToolButton::Pause)->toolTip(), QStringLiteral("Resume playing"));
  const uint64_t held = view->player()->Position();
  QTest::qWait(300);
  EXPECT_EQ(view->player()->Position(), held);
  EXPECT_TRUE(view->IsPlaying());
  window_->Pause();
  EXPECT_FALSE(view->IsPaused());
  EXPECT_EQ(window_->action(Command::Pause)->text(), QStringLiteral("Pa&use"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return view->player()->Position() > held; }, 5000));
  window_->Stop();
  EXPECT_FALSE(view->IsPlaying());
}

TEST_F(WavCommandsTest, LeavingThePageDropsTheViewAndComingBackMakesItWithoutPlaying) {
  prompt_.chosenFile = wavPath_;
  window_->OpenWavFile();
  prompt_.chosenFile.clear();
  window_->tabs().setCurrentIndex(IndexOf(Tab::Email));
  EXPECT_EQ(window_->wavPage().view(), nullptr);
  const size_t dialogs = prompt_.fileRequests.size();
  window_->tabs().setCurrentIndex(IndexOf(Tab::Wav));
  EXPECT_EQ(prompt_.fileRequests.size(), dialogs);  // a file is loaded: no dialog
  ASSERT_NE(window_->wavPage().view(), nullptr);
  EXPECT_TRUE(window_->wavPage().view()->IsLoaded());
  EXPECT_FALSE(window_->wavPage().view()->IsPlaying());
}

TEST_F(WavCommandsTest, SaveWritesTheSelectedMessagesInListOrder) {
  window_->Refresh();
  ASSERT_TRUE(test::WaitForWorkers(window_->controller()));
  ASSERT_EQ(window_->emailList().RowCount(), 3);
  window_->speech().StopSpeaking();
  const std::vector<uint8_t> first = SaveSelection({0}, "first.wav");
  const std::vector<uint8_t> third = SaveSelection({2}, "third.wav");
  const std::vector<uint8_t> both = SaveSelection({0, 2}, "both.wav");
  EXPECT_EQ(SaveRequests(), 3);
  ASSERT_GT(first.size(), 22050u);  // over half a second of speech
  EXPECT_NE(first, third);
  // Both texts, first then third. The synthesiser's noise differs from run to
  // run, so the order is judged by the loudness over time of the start.
  ASSERT_NEAR(static_cast<double>(both.size()), static_cast<double>(first.size() + third.size()),
              400);
  const double likeFirst = LoudnessDistance(first, both);
  const double likeThird = LoudnessDistance(third, both);
  EXPECT_LT(likeFirst, 0.2);
  EXPECT_LT(likeFirst * 2, likeThird);
  EXPECT_GT(*std::max_element(both.begin(), both.end()), 0x40);  // not silence
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("Brindlecast"));
  EXPECT_FALSE(window_->speech().IsVoiceBusy());
  // Where it went is told in the window, not in a box to close.
  EXPECT_EQ(window_->statusBar()->currentMessage().toStdString(),
            "Saved to " + dir_.File("both.wav"));
  EXPECT_TRUE(window_->statusBar()->isVisible());
  EXPECT_TRUE(prompt_.messages.empty());
}

TEST_F(WavCommandsTest, CtrlSSavesOnlyWhileItsMenuItemIsEnabled) {
  window_->activateWindow();
  QApplication::setActiveWindow(window_);
  prompt_.chosenFile = wavPath_;
  window_->OpenWavFile();
  prompt_.chosenFile.clear();
  ASSERT_FALSE(window_->action(Command::SaveToWav)->isEnabled());
  QTest::keyClick(window_, Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(SaveRequests(), 0);
  // On the Text Reader the item is on, and the same keys ask where to save.
  window_->textPage().SetText(QStringLiteral("Some text."));
  window_->tabs().setCurrentIndex(IndexOf(Tab::Text));
  ASSERT_TRUE(window_->action(Command::SaveToWav)->isEnabled());
  QTest::keyClick(window_, Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(SaveRequests(), 1);
}

TEST_F(WavCommandsTest, CommandsThatShowAnotherPageLetTheFileGo) {
  const std::string text = dir_.File("words.txt");
  test::WriteFile(text, "A few words.");
  QApplication::clipboard()->setText(QStringLiteral("Clipboard words."));
  const std::pair<const char*, void (MainWindow::*)()> commands[] = {
      {"Read Email", &MainWindow::ReadEmail},
      {"Check Emails", &MainWindow::CheckEmails},
      {"Open Text File", &MainWindow::OpenTextFile},
      {"Read File", &MainWindow::ReadFile},
      {"Paste Clipboard", &MainWindow::PasteClipboard},
      {"Read Clipboard", &MainWindow::ReadClipboard},
  };
  for (const auto& [name, command] : commands) {
    SCOPED_TRACE(name);
    prompt_.chosenFile = wavPath_;
    window_->OpenWavFile();
    ASSERT_NE(window_->wavPage().view(), nullptr);
    prompt_.chosenFile = text;
    (window_->*command)();
    EXPECT_NE(window_->CurrentTab(), Tab::Wav);
    EXPECT_EQ(window_->wavPage().view(), nullptr);
    window_->Stop();
  }
  ASSERT_TRUE(test::WaitForWorkers(window_->controller()));
}

TEST_F(WavCommandsTest, SavingWhereNoFileCanBeMadeFailsAtOnceWithoutSpeaking) {
  int spoken = 0;
  QObject::connect(&window_->speech(), &SpeechEngine::SpeakingStarted, [&] { ++spoken; });
  window_->textPage().SetText(QStringLiteral("A text that would take a while to say aloud."));
  window_->tabs().setCurrentIndex(IndexOf(Tab::Text));
  prompt_.chosenFile = dir_.File("no/such/folder/out.wav");
  window_->SaveToWav();
  EXPECT_FALSE(window_->speech().IsVoiceBusy());
  QApplication::processEvents();
  EXPECT_EQ(spoken, 0);
  ASSERT_FALSE(prompt_.messages.empty());
  EXPECT_EQ(prompt_.messages.back().rfind(
                "The WAV file could not be written: " + prompt_.chosenFile + " (", 0),
            0u)
      << prompt_.messages.back();
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("Brindlecast"));
  EXPECT_TRUE(Enabled(ToolButton::Play));
}

}  // namespace
}  // namespace bc
