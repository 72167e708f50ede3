#include "speech/speech_engine.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>

#include "config/settings_store.h"
#include "speech/sound_player.h"
#include "speech/wav_file.h"
#include "support/test_env.h"

namespace bc {
namespace {

using namespace std::chrono_literals;

// Runs the event loop until `done` holds or `limit` passes; returns `done`.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 15s) {
  if (done()) {
    return true;
  }
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (done()) {
      loop.quit();
    }
  });
  QTimer::singleShot(limit, &loop, &QEventLoop::quit);
  poll.start(5);
  loop.exec();
  return done();
}

// The events of an engine as a string: "S" started, "F" finished.
class Events {
 public:
  explicit Events(SpeechEngine& engine) {
    QObject::connect(&engine, &SpeechEngine::SpeakingStarted, [this] { log += 'S'; });
    QObject::connect(&engine, &SpeechEngine::SpeakingFinished, [this] { log += 'F'; });
  }
  std::string log;
};

// The same rows run twice: on the silent sink, and (with the argument
// --real-sound, which CTest passes beside a private PulseAudio null sink) on a
// real sound server, whose device timing the silent sink cannot show.
bool OnRealDevice() {
  static const bool real = [] {
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    std::string arg;
    while (std::getline(file, arg, '\0')) {
      if (arg == "--real-sound") {
        return true;
      }
    }
    return false;
  }();
  return real;
}

// An engine on the sink under test must really use it.
void ExpectSink(const SpeechEngine& engine) {
  if (OnRealDevice()) {
    EXPECT_FALSE(engine.HasSilentOutput()) << "no sound server at " << std::getenv("PULSE_SERVER");
  }
}

// Flushes events already posted to this thread (there is nothing to wait for).
void FlushPosted() {
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
}

TEST(SpeechTextTest, InvalidBytesReadAsLatin1) {
  EXPECT_EQ(ToSpeechText("caf\xE9"), "caf\xC3\xA9");  // 0xE9 -> U+00E9
  EXPECT_EQ(ToSpeechText("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xC3\xA9 \xE2\x82\xAC");  // valid kept
  EXPECT_EQ(ToSpeechText("\xC3"), "\xC3\x83");              // truncated sequence
  EXPECT_EQ(ToSpeechText("\xC0\xAF"), "\xC3\x80\xC2\xAF");  // overlong form
  EXPECT_EQ(ToSpeechText(std::string("a\0b", 3)), "a b");
}

TEST(SpeechTextTest, PiecesEndAtSentencesAndCutRunOnTextAtABlank) {
  using Pieces = std::vector<std::string_view>;
  EXPECT_EQ(SpeechPieces("One. Two!\nThree? 3.5 four"),
            (Pieces{"One.", " Two!", "\n", "Three?", " 3.5 four"}));
  EXPECT_EQ(SpeechPieces(""), Pieces{});
  const std::string runOn = std::string(250, 'a') + " " + std::string(100, 'b');
  EXPECT_EQ(SpeechPieces(runOn),
            (Pieces{std::string_view(runOn).substr(0, 251), std::string_view(runOn).substr(251)}));
  // No blank at all: cut on a character boundary, never inside a sequence.
  std::string accents;
  for (int i = 0; i < 400; ++i) {
    accents += "\xC3\xA9";
  }
  std::string joined;
  for (std::string_view piece : SpeechPieces(accents)) {
    EXPECT_EQ(ToSpeechText(piece), piece);  // each piece is valid UTF-8 alone
    joined += piece;
  }
  EXPECT_EQ(joined, accents);
}

TEST(SpeechEngineTest, VoicesAreListedAtOnceWhileALongTextIsSpoken) {
  SpeechEngine engine({}, !OnRealDevice());
  ExpectSink(engine);
  Events events(engine);
  std::string text;
  for (int i = 0; i < 20; ++i) {
    text += "This sentence is spoken while the voices are listed. ";
  }
  engine.Speak(text);
  ASSERT_TRUE(WaitFor([&] { return events.log == "S"; }));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(SpeechEngine::ListVoices().empty());
  EXPECT_TRUE(IsInstalledVoice(kFallbackVoiceId));
  // The text lasts about a minute; the list must not wait for it.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(engine.State(), RunState::Speaking);
}

TEST(SpeechTextTest, TheVoiceInUseIsTheDesktopLanguagesElseEnglish) {
  const auto& voices = InstalledVoices();
  const struct {
    const char* locale;
    const char* voice;
  } rows[] = {
      {"de_DE.UTF-8", "gmw/de"},     {"en_US.UTF-8", "gmw/en-US"}, {"en_IE.UTF-8@euro", "gmw/en"},
      {"pt_BR", "roa/pt-BR"},        {"fr_CH.UTF-8", "roa/fr-CH"}, {"C", kFallbackVoiceId},
      {"C.UTF-8", kFallbackVoiceId}, {"", kFallbackVoiceId},       {"xx_YY", kFallbackVoiceId},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(VoiceForLocale(voices, row.locale), row.voice) << row.locale;
  }
  // With no voice chosen the engine speaks, and lists first, the desktop's.
  const char* saved = std::getenv("LC_ALL");
  const std::string savedValue = saved ? saved : "";
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  {
    SpeechEngine engine({}, true);
    EXPECT_EQ(engine.Voice(), "gmw/de");
    EXPECT_EQ(engine.VoicesInUseFirst().front().id, "gmw/de");
  }
  saved ? setenv("LC_ALL", savedValue.c_str(), 1) : unsetenv("LC_ALL");
}

TEST(SpeechEngineTest, VoicesAreListedWithNameAndLanguage) {
  ASSERT_TRUE(SynthesizerAvailable());
  const auto voices = SpeechEngine::ListVoices();
  ASSERT_FALSE(voices.empty());
  EXPECT_TRUE(IsInstalledVoice(kFallbackVoiceId));
  const auto en = std::find_if(voices.begin(), voices.end(),
                               [](const VoiceInfo& v) { return v.id == "gmw/en-US"; });
  ASSERT_NE(en, voices.end());
  EXPECT_EQ(VoiceDescription(*en), "English (America) (en-us)");
  EXPECT_FALSE(IsInstalledVoice("no/such-voice"));
}

TEST(SpeechEngineTest, TextsGiveStartedFinishedInOrderAndEmptyTextNothing) {
  SpeechEngine engine({}, !OnRealDevice());
  ExpectSink(engine);
  Events events(engine);
  engine.Speak("");
  EXPECT_FALSE(engine.IsVoiceBusy());
  engine.Speak("One.");
  engine.Speak("Two.");
  EXPECT_EQ(engine.State(), RunState::Speaking);
  ASSERT_TRUE(WaitFor([&] { return events.log.size() == 4; }));
  EXPECT_EQ(events.log, "SFSF");
  EXPECT_EQ(engine.State(), RunState::Done);
  FlushPosted();
  EXPECT_EQ(events.log, "SFSF");
}

// After the output has gone idle and reopened, each text still ends when its
// own audio has played, not when the device later runs dry. (The device counts
// afresh from its reopening, so a count mixed up with the audio before the
// idle makes the second text end with the third.)
TEST(SpeechEngineTest, TextsAfterTheOutputWentIdleEndOnTime) {
  SpeechEngine engine({}, !OnRealDevice());
  ExpectSink(engine);
  Events events(engine);
  engine.Speak(
      "This first text is long enough to take a few seconds to say aloud, "
      "so much audio has played before the output goes idle.");
  ASSERT_TRUE(WaitFor([&] { return events.log == "SF"; }, 30s));
  std::this_thread::sleep_for(300ms);  // the output goes idle and closes
  std::vector<std::chrono::steady_clock::time_point> finished;
  QObject::connect(&engine, &SpeechEngine::SpeakingFinished,
                   [&] { finished.push_back(std::chrono::steady_clock::now()); });
  engine.Speak("Two.");
  engine.Speak("And the third text takes a second or two.");
  ASSERT_TRUE(WaitFor([&] { return finished.size() == 2; }, 30s));
  EXPECT_EQ(events.log, "SFSFSF");
  // The third text's audio plays between the two ends.
  EXPECT_GT(finished[1] - finished[0], 1s);
}

TEST(SpeechEngineTest, SpeechTakesRealTime) {
  SpeechEngine engine({}, !OnRealDevice());
  ExpectSink(engine);
  Events events(engine);
  const auto start = std::chrono::steady_clock::now();
  engine.Speak("You have received a new email");
  ASSERT_TRUE(WaitFor([&] { return events.log == "SF"; }));
  // The phrase is well over a second of audio; it must not vanish at once.
  EXPECT_GT(std::chrono::steady_clock::now() - start, 1s);
}

TEST(SpeechEngineTest, StopOnAPausedVoiceLeavesItIdleAndTheNextTextIsHeard) {
  SpeechEngine engine({}, !OnRealDevice());
  ExpectSink(engine);
  Events events(engine);
  engine.TogglePause();  // idle: resumes, harmless
  EXPECT_EQ(engine.State(), RunState::Done);

  engine.Speak("This sentence is long enough to be paused while it is being spoken aloud.");
  engine.Speak("And this one waits behind it.");
  ASSERT_TRUE(WaitFor([&] { return events.log == "S"; }));
  engine.TogglePause();
  EXPECT_EQ(engine.State(), RunState::Paused);
  EXPECT_TRUE(engine.IsVoiceBusy());
  EXPECT_FALSE(engine.WaitUntilDone(300ms));  // a paused voice does not finish
  EXPECT_EQ(events.log, "S");

  engine.StopSpeaking();
  EXPECT_EQ(engine.State(), RunState::Done);
  EXPECT_FALSE(engine.IsVoiceBusy());
  engine.Speak("Hi.");
  ASSERT_TRUE(WaitFor([&] { return events.log == "SSF"; }));
  // Nothing of the texts cut off arrives later.
  FlushPosted();
  EXPECT_EQ(events.log, "SSF");
}

TEST(SpeechEngineTest, PauseHoldsAndResumeCarriesOn) {
  SpeechEngine engine({}, !OnRealDevice());
  ExpectSink(engine);
  Events events(engine);
  engine.Speak("Hello there.");
  ASSERT_TRUE(WaitFor([&] { return events.log == "S"; }));
  engine.TogglePause();
  EXPECT_EQ(engine.State(), RunState::Paused);
  engine.TogglePause();
  EXPECT_EQ(engine.State(), RunState::Speaking);
  ASSERT_TRUE(WaitFor([&] { return events.log == "SF"; }));
}

TEST(SpeechEngineTest, SpeakIsSafeFromWorkerThreads) {
  SpeechEngine engine({}, !OnRealDevice());
  ExpectSink(engine);
  Events events(engine);
  std::vector<std::thread> workers;
  for (int t = 0; t < 3; ++t) {
    workers.emplace_back([&engine] {
      engine.Speak("A.");
      engine.Speak("B.");
    });
  }
  for (auto& w : workers) {
    w.join();
  }
  ASSERT_TRUE(WaitFor([&] { return events.log.size() == 12; }, 30s));
  EXPECT_EQ(events.log, "SFSFSFSFSFSF");
  // The events arrive on the engine's thread, the one running this test.
}

TEST(SpeechEngineTest, SpeakToWaveFileRendersFastAndReplacesTheFile) {
  test::TempDir dir;
  const std::string path = dir.File("speech.wav");
  test::WriteFile(path, std::string(1'000'000, 'x'));  // an old, larger file
  SpeechEngine engine({}, !OnRealDevice());
  ExpectSink(engine);
  Events events(engine);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(engine.SpeakToWaveFile(path, [&] {
    engine.Speak("You have received a new email.");
    engine.Speak("Mail from: Sales Desk.");
  }));
  const auto took = std::chrono::steady_clock::now() - start;
  const auto wav = ReadWavFile(path);
  ASSERT_TRUE(wav);
  EXPECT_EQ(wav->format, kSpeechFormat);
  // Two short sentences: a few seconds of speech, rendered in far less.
  EXPECT_GT(wav->Seconds(), 2.0);
  EXPECT_LT(wav->Seconds(), 6.0);
  EXPECT_LT(took, std::chrono::duration<double>(wav->Seconds() / 2));
  double energy = 0;
  for (size_t i = 0; i + 1 < wav->samples.size(); i += 2) {
    const auto s = static_cast<int16_t>(wav->samples[i] | wav->samples[i + 1] << 8);
    energy += static_cast<double>(s) * s;
  }
  EXPECT_GT(std::sqrt(energy / (wav->samples.size() / 2.0)), 500.0);  // audible speech
  // Events still come, after the render, in order.
  EXPECT_EQ(events.log, "");
  ASSERT_TRUE(WaitFor([&] { return events.log == "SFSF"; }));

  // The same text rendered again gives the same length: the file's audio is the speech.
  const double first = wav->Seconds();
  ASSERT_TRUE(
      engine.SpeakToWaveFile(path, [&] { engine.Speak("You have received a new email."); }));
  const auto again = ReadWavFile(path);
  ASSERT_TRUE(again);
  EXPECT_LT(again->Seconds(), first);
}

TEST(SpeechEngineTest, AFileThatCannotBeCreatedFailsBeforeAnySpeech) {
  test::TempDir dir;
  SpeechEngine engine({}, !OnRealDevice());
  ExpectSink(engine);
  Events events(engine);
  bool read = false;
  std::string error;
  EXPECT_FALSE(engine.SpeakToWaveFile(
      dir.File("no/such/folder/x.wav"),
      [&] {
        read = true;
        engine.Speak("Hello there.");
      },
      &error));
  EXPECT_FALSE(read);
  EXPECT_NE(error, "");
  EXPECT_FALSE(engine.IsVoiceBusy());
  QCoreApplication::processEvents();
  EXPECT_EQ(events.log, "");
}

TEST(SpeechEngineTest, DefaultVoiceIsKeptInTheSettings) {
  test::TempDir dir;
  test::RecordingPrompt prompt;
  const std::string file = dir.File("Brindlecast.conf");
  SpeechEngine engine({}, !OnRealDevice());
  ExpectSink(engine);
  {
    SettingsStore store(file, prompt);
    EXPECT_EQ(SpeechEngine::StoredDefaultVoice(store), "");
    const std::string inUse = VoiceForLocale(InstalledVoices(), DesktopLocale());
    EXPECT_EQ(engine.Voice(), inUse);
    EXPECT_FALSE(engine.SetDefaultVoice(store, "no/such-voice"));
    EXPECT_EQ(engine.Voice(), inUse);
    EXPECT_TRUE(engine.SetDefaultVoice(store, "gmw/en-GB-x-rp"));
    EXPECT_EQ(engine.Voice(), "gmw/en-GB-x-rp");
    EXPECT_EQ(engine.VoicesInUseFirst().front().id, "gmw/en-GB-x-rp");
    EXPECT_EQ(engine.VoicesInUseFirst().size(), InstalledVoices().size());
  }
  SettingsStore reopened(file, prompt);
  EXPECT_EQ(SpeechEngine::StoredDefaultVoice(reopened), "gmw/en-GB-x-rp");
  EXPECT_EQ(SpeechEngine::StoredDefaultVoice(file, prompt), "gmw/en-GB-x-rp");
  EXPECT_NE(test::ReadFile(file).find("[Voices]"), std::string::npos);
  EXPECT_TRUE(prompt.messages.empty());
}

TEST(SoundPlayerTest, PlaysFilesAndFallsBackToTheBeep) {
  SoundPlayer player(!OnRealDevice());
  player.PlaySoundFile(std::string(BC_TEST_DATA_DIR) + "/speech/stereo8_odd_chunk.wav");
  EXPECT_TRUE(player.IsPlaying());
  EXPECT_FALSE(player.LastWasBeep());
  EXPECT_NEAR(player.LastSoundSeconds(), 0.1, 1e-9);
  ASSERT_TRUE(WaitFor([&] { return !player.IsPlaying(); }));

  for (const char* bad :
       {"", "/no/such/sound.wav", BC_TEST_DATA_DIR "/wav/fuzz/byte-rate-overflow"}) {
    player.PlaySoundFile(bad);
    EXPECT_TRUE(player.LastWasBeep()) << bad;
  }
  player.StopSound();
  EXPECT_FALSE(player.IsPlaying());
  // A new sound replaces the one playing.
  player.PlaySoundFile("");
  player.PlaySoundFile(std::string(BC_TEST_DATA_DIR) + "/speech/stereo8_odd_chunk.wav");
  EXPECT_FALSE(player.LastWasBeep());
  ASSERT_TRUE(WaitFor([&] { return !player.IsPlaying(); }));
}

}  // namespace
}  // namespace bc
