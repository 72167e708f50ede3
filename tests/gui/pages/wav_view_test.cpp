// The waveform view and the WAV Reader page, playing through a real sound
// server (a private PulseAudio null sink; see CMakeLists.txt).
#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <functional>
#include <random>

#include "speech/wav_file.h"
#include "speech/wav_stream_player.h"
#include "support/test_env.h"
#include "ui/pages/wav_page.h"
#include "ui/pages/waveform_view.h"

namespace bc {
namespace {

const QRgb kBlue = qRgb(0, 88, 188);

bool WaitFor(const std::function<bool()>& condition, int ms = 10000) {
  QDeadlineTimer deadline(ms);
  while (!condition()) {
    if (deadline.hasExpired()) {
      return false;
    }
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// A file of `seconds` of a loud tone, 8 kHz mono 16-bit unless told.
std::string ToneFile(const test::TempDir& dir, const std::string& name, int seconds,
                     WavFormat format = {1, 8000, 16}) {
  WavData tone = MakeBeep(format, std::min(440, format.sampleRate / 4), seconds * 1000);
  const std::vector<uint8_t> image = EncodeWav(format, tone.samples);
  const std::string path = dir.File(name);
  test::WriteFile(path, std::string(image.begin(), image.end()));
  return path;
}

void Drag(QWidget* view, int from, int to) {
  const auto send = [view](QEvent::Type type, int x, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(x, 10), view->mapToGlobal(QPointF(x, 10)), Qt::LeftButton,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
  };
  send(QEvent::MouseButtonPress, from, Qt::LeftButton);
  if (to != from) {
    send(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::LeftButton);
  }
  send(QEvent::MouseButtonRelease, to, Qt::NoButton);
}

class WaveViewTest : public ::testing::Test {
 protected:
  // A shown view of `width` x 200 pixels on the file.
  CWaveViewCtrl& Show(const std::string& path, int width) {
    view_ = std::make_unique<CWaveViewCtrl>();
    view_->resize(width, 200);
    view_->LoadWave(path);
    view_->show();
    view_->EnsureSelectionAnchor();
    QObject::connect(view_.get(), &CWaveViewCtrl::PlaybackEnded, [this] { ++ended_; });
    return *view_;
  }

  test::TempDir dir_;
  std::unique_ptr<CWaveViewCtrl> view_;
  int ended_ = 0;
};

TEST_F(WaveViewTest, AThreeSecondFileFillsThreeTenthsInBlue) {
  CWaveViewCtrl& view = Show(ToneFile(dir_, "three.wav", 3), 400);
  ASSERT_TRUE(WaitFor([&] { return !view.bitmap().isNull(); }));
  const QImage image = view.bitmap();
  EXPECT_EQ(image.size(), QSize(400, 200));
  int lastBlue = -1;
  for (int x = 0; x < image.width(); ++x) {
    for (int y = 0; y < image.height(); ++y) {
      if (image.pixel(x, y) == kBlue) {
        lastBlue = x;
      }
    }
  }
  EXPECT_NEAR(lastBlue, 119, 1);
}

TEST_F(WaveViewTest, ANonPcmFileIsEmptyAndSilent) {
  const WavFormat format{1, 8000, 16};
  std::vector<uint8_t> image = EncodeWav(format, MakeBeep(format).samples);
  image[20] = 3;  // IEEE float
  const std::string path = dir_.File("float.wav");
  test::WriteFile(path, std::string(image.begin(), image.end()));
  CWaveViewCtrl& view = Show(path, 300);
  EXPECT_FALSE(view.IsLoaded());
  EXPECT_FALSE(view.PlayOrStop(true));
  EXPECT_EQ(view.player(), nullptr);
  const QImage shown = view.grab().toImage();
  for (int x = 0; x < shown.width(); x += 3) {
    for (int y = 0; y < shown.height(); y += 3) {
      ASSERT_NE(shown.pixel(x, y), kBlue);
    }
  }
}

TEST_F(WaveViewTest, ASelectionPlaysFromItsStartAndStopsAtItsEnd) {
  // 4 s in 400 pixels: the caret steps 4, 104, 204, 304; 300 is reached at 3 s.
  CWaveViewCtrl& view = Show(ToneFile(dir_, "four.wav", 4), 400);
  Drag(&view, 100, 300);
  ASSERT_TRUE(view.PlayOrStop(true));
  EXPECT_FALSE(view.player()->IsSilent()) << "no sound server: run through ctest";
  EXPECT_EQ(view.playStartByte(), 16000u);  // 25 % of 64000
  EXPECT_FALSE(view.selectionEnabled());
  ASSERT_TRUE(WaitFor([&] { return ended_ == 1; }));
  EXPECT_GE(view.player()->Position(), 48000u);
  EXPECT_LT(view.player()->Position(), 56000u);  // stopped before the last second
  EXPECT_EQ(view.caretX(), 300);
  EXPECT_EQ(view.selectionAnchor(), 100);
  EXPECT_TRUE(view.selectionEnabled());
}

TEST_F(WaveViewTest, WithoutASelectionPlaybackRunsOutAndTheCaretComesBack) {
  CWaveViewCtrl& view = Show(ToneFile(dir_, "one.wav", 1), 400);
  Drag(&view, 200, 200);
  ASSERT_TRUE(view.PlayOrStop(true));
  EXPECT_EQ(view.playStartByte(), 8000u);
  EXPECT_TRUE(view.PlayOrStop(true));  // already playing: nothing new
  EXPECT_EQ(view.playStartByte(), 8000u);
  ASSERT_TRUE(WaitFor([&] { return ended_ == 1; }));
  EXPECT_EQ(view.player()->Position(), 16000u);
  EXPECT_EQ(view.caretX(), 200);
  EXPECT_EQ(view.selectionAnchor(), 200);
}

TEST_F(WaveViewTest, PlaybackStartsAtTheWholePercentAndStopsOnRequest) {
  CWaveViewCtrl& view = Show(ToneFile(dir_, "ten.wav", 10), 1000);
  Drag(&view, 379, 379);
  ASSERT_TRUE(view.PlayOrStop(true));
  EXPECT_EQ(view.playStartByte(), 59200u);  // 37 % of 160000, not 37.9 %
  view.PlayOrStop(false);
  ASSERT_TRUE(WaitFor([&] { return ended_ == 1; }));
  EXPECT_FALSE(view.IsPlaying());
  EXPECT_EQ(view.caretX(), 379);
  // Resizing keeps the caret and anchor at their whole percent.
  view.resize(500, 200);
  EXPECT_EQ(view.caretX(), 186);
  EXPECT_EQ(view.selectionAnchor(), 186);
}

TEST_F(WaveViewTest, AFileCutShortWhilePlayingStopsAtItsNewEndAndSaysSo) {
  const std::string path = ToneFile(dir_, "ten.wav", 10);
  CWaveViewCtrl& view = Show(path, 400);
  ASSERT_TRUE(view.PlayOrStop(true));
  ASSERT_TRUE(WaitFor([&] { return view.player()->HasFirstAudio(); }));
  // A recorder or a download replacing the file: two seconds are left.
  ASSERT_EQ(::truncate(path.c_str(), 44 + 2 * 16000), 0);
  ASSERT_TRUE(WaitFor([&] { return ended_ == 1; }));
  EXPECT_EQ(view.player()->Position(), 32000u);
  EXPECT_TRUE(view.player()->WasCutShort());
  EXPECT_EQ(view.PlaybackNotice(), "Playback stopped: the file was cut short while it played.");
  EXPECT_TRUE(view.selectionEnabled());
  view.grab();  // and it still paints
}

TEST_F(WaveViewTest, RatesTheOutputCannotPlayAreRefusedWithAReason) {
  struct Row {
    int rate;
    bool plays;
  };
  for (const Row row : {Row{1, false}, Row{10, false}, Row{49, false}, Row{50, true}}) {
    SCOPED_TRACE(row.rate);
    ended_ = 0;
    const std::string name = std::to_string(row.rate) + ".wav";
    CWaveViewCtrl& view = Show(ToneFile(dir_, name, 1, {1, row.rate, 16}), 400);
    ASSERT_TRUE(view.IsLoaded());
    EXPECT_EQ(view.PlayOrStop(true), row.plays);
    if (row.plays) {
      EXPECT_FALSE(view.player()->IsSilent());
      ASSERT_TRUE(WaitFor([&] { return ended_ == 1; }));
      EXPECT_EQ(view.PlaybackNotice(), "");
    } else {
      EXPECT_EQ(view.player(), nullptr);
      EXPECT_NE(view.PlaybackNotice().find("sample rate of " + std::to_string(row.rate) + " Hz"),
                std::string::npos);
    }
  }
}

TEST_F(WaveViewTest, AFileStreamedByASpeechToolShowsAndPlaysToItsEnd) {
  // espeak-ng --stdout: the data size is a placeholder far past the end.
  CWaveViewCtrl& view = Show(std::string(BC_TEST_DATA_DIR) + "/wav/espeak-stdout.wav", 400);
  ASSERT_TRUE(view.IsLoaded()) << view.LoadError();
  ASSERT_TRUE(WaitFor([&] { return !view.bitmap().isNull(); }));
  ASSERT_TRUE(view.PlayOrStop(true));
  ASSERT_TRUE(WaitFor([&] { return ended_ == 1; }));
  EXPECT_EQ(view.player()->Position(), 27908u);
  EXPECT_FALSE(view.player()->WasCutShort());
}

TEST_F(WaveViewTest, ThePageMakesOneViewPerFileAndKeepsThePath) {
  WavReaderPage page(true);
  EXPECT_EQ(page.pathBox()->text().toStdString(), kWavPrompt);
  EXPECT_FALSE(page.HasFile());
  const std::string path = ToneFile(dir_, "one.wav", 1);
  page.ShowFile(path);
  EXPECT_TRUE(page.HasFile());
  ASSERT_NE(page.view(), nullptr);
  EXPECT_TRUE(page.view()->IsLoaded());
  page.ReleaseView();
  EXPECT_EQ(page.view(), nullptr);
  EXPECT_EQ(page.Path(), path);
  page.ShowFile(dir_.File("missing.wav"));  // shown, empty, silent
  ASSERT_NE(page.view(), nullptr);
  EXPECT_FALSE(page.view()->IsLoaded());
  EXPECT_EQ(page.view()->LoadError(), "the file cannot be opened");
}

// The pixels a one-pixel pen draws for a polyline, as the view draws traces.
QImage Drawn(const QPolygon& line) {
  QImage image(320, 120, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setPen(QPen(QColor(kBlue), 0));
  painter.drawPolyline(line);
  return image;
}

TEST(TraceOutlineTest, CoversExactlyThePixelsOfTheWholeTrace) {
  std::mt19937 random(7);
  // Points per column: one (a short file), a few, many (a long file), and a
  // long last column; values anywhere, or a slow swing that stays in a band.
  for (const int perColumn : {1, 3, 5, 40}) {
    for (const bool swing : {false, true}) {
      std::vector<TracePoint> trace;
      for (int x = 0; x < 300; ++x) {
        const int count = x == 299 ? 60 : perColumn;
        for (int i = 0; i < count; ++i) {
          const int y = swing ? 60 + (x % 20) * 2 - i % 3 : static_cast<int>(random() % 120);
          trace.push_back({x, y});
        }
      }
      QPolygon whole;
      for (const TracePoint& point : trace) {
        whole.append(QPoint(point.x, point.y));
      }
      const QPolygon outline = TraceOutline(trace);
      EXPECT_EQ(Drawn(outline), Drawn(whole)) << perColumn << " per column, swing " << swing;
      EXPECT_LE(outline.size(), 300 * 4 + 60);
    }
  }
}

}  // namespace
}  // namespace bc
