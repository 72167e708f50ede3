// The waveform view's core: the file reader, the traces it draws and the
// rules that turn columns into bytes and back.
#include <gtest/gtest.h>

#include <algorithm>

#include "speech/wav_file.h"
#include "speech/waveform_trace.h"
#include "support/test_env.h"

namespace bc {
namespace {

const std::string kData = std::string(BC_TEST_DATA_DIR) + "/speech/";

// `seconds` of a full-scale square wave, so every point lies off the zero line.
std::vector<uint8_t> Square(const WavFormat& format, int seconds) {
  std::vector<uint8_t> out;
  const int frames = format.sampleRate * seconds;
  for (int i = 0; i < frames; ++i) {
    for (int c = 0; c < format.channels; ++c) {
      const bool high = (i / 10) % 2 == 0;
      if (format.bitsPerSample == 8) {
        out.push_back(high ? 255 : 0);
      } else {
        const int16_t v = high ? 32767 : -32767;
        out.push_back(static_cast<uint8_t>(v & 0xFF));
        out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
      }
    }
  }
  return out;
}

int MaxX(const std::vector<TracePoint>& trace) {
  int x = 0;
  for (const TracePoint& p : trace) {
    x = std::max(x, p.x);
  }
  return x;
}

struct WidthCase {
  int seconds;
  int expectedMaxX;  // the last column drawn in a 400-pixel view
};

TEST(WaveformTraceTest, ShortFilesTakeATenthOfTheWidthPerSecond) {
  const WavFormat mono{1, 8000, 16};
  for (const WidthCase& row :
       {WidthCase{3, 119}, WidthCase{1, 39}, WidthCase{10, 399}, WidthCase{25, 399}}) {
    SCOPED_TRACE(row.seconds);
    const std::vector<uint8_t> samples = Square(mono, row.seconds);
    const WaveformTraces t = ComputeTraces({mono, samples}, 400, 200);
    EXPECT_EQ(t.first.front(), (TracePoint{0, 100}));  // mono: zero line at h/2
    EXPECT_NEAR(MaxX(t.first), row.expectedMaxX, 1);
    EXPECT_TRUE(t.second.empty());
  }
}

TEST(WaveformTraceTest, StereoTracesSitAtAQuarterAndFiveEighths) {
  for (const int bits : {8, 16}) {
    SCOPED_TRACE(bits);
    const WavFormat stereo{2, 8000, bits};
    const std::vector<uint8_t> samples = Square(stereo, 12);
    const WaveformTraces t = ComputeTraces({stereo, samples}, 400, 400);
    EXPECT_EQ(t.first.front(), (TracePoint{0, 100}));
    EXPECT_EQ(t.second.front(), (TracePoint{0, 250}));
    // Full scale swings the whole band (A = 100) either way of each zero line.
    const auto [lo1, hi1] = std::minmax_element(t.first.begin() + 1, t.first.end(),
                                                [](auto a, auto b) { return a.y < b.y; });
    EXPECT_EQ(lo1->y, bits == 16 ? 0 : 1);  // 8-bit: 255 is 127/128 of the band
    EXPECT_EQ(hi1->y, 200);
    EXPECT_GT(t.second.size(), 100u);
  }
}

TEST(WaveformTraceTest, AFileLongerThanTheWidthCanHoldStillDraws) {
  // 1 Hz for 8000 s in a 400-pixel view: width * 15 / seconds is 0.
  const WavFormat slow{1, 1, 8};
  const std::vector<uint8_t> samples(8000, 200);
  const WaveformTraces t = ComputeTraces({slow, samples}, 400, 100);
  EXPECT_EQ(t.first.size(), 8001u);
  EXPECT_EQ(MaxX(t.first), 399);
}

TEST(WaveformTraceTest, ColumnsAndBytes) {
  // Playback starts at the whole percent the column lies at, on a frame.
  EXPECT_EQ(PlayStartByte(379, 1000, 100000, 4), 37000u);  // 37.9 % -> 37 %
  EXPECT_EQ(PlayStartByte(100, 400, 176400, 4), 44100u);
  EXPECT_EQ(PlayStartByte(1, 1000, 4000002, 2), 0u);
  EXPECT_EQ(PlayStartByte(333, 1000, 1001, 4), 328u);  // 33 % of 1001 is 330.33: a frame below
  EXPECT_EQ(PlayStartByte(5000, 1000, 1000, 1), 1000u);
  // The caret moves in whole seconds: 4 s file, 400 pixels.
  const WavFormat mono{1, 8000, 8};
  const std::vector<uint8_t> fourSeconds(32000);
  const WavLayout wav{mono, fourSeconds};
  EXPECT_EQ(CaretWhilePlaying(0, wav, 400), 4);
  EXPECT_EQ(CaretWhilePlaying(15999, wav, 400), 104);
  EXPECT_EQ(CaretWhilePlaying(24000, wav, 400), 304);
  // Resizing keeps the whole percent, one column on.
  EXPECT_EQ(RescaleColumn(150, 400, 800), 297);  // 37.5 % -> 37 % of 800, + 1
  EXPECT_EQ(RescaleColumn(0, 400, 200), 1);
}

TEST(WavFileReaderTest, ReadsWhatTheCopyingReaderReads) {
  std::string error;
  const auto file = WavFileReader::Open(kData + "stereo8_odd_chunk.wav", &error);
  ASSERT_TRUE(file) << error;
  const auto copied = ReadWavFile(kData + "stereo8_odd_chunk.wav");
  ASSERT_TRUE(copied);
  EXPECT_EQ(file->format(), copied->format);
  std::vector<uint8_t> all(file->sampleBytes());
  ASSERT_TRUE(file->ReadSamples(0, all));
  EXPECT_EQ(all, copied->samples);
  std::vector<uint8_t> tail(3);
  const uint64_t end = file->sampleBytes();
  ASSERT_TRUE(file->ReadSamples(end - 3, tail));
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), copied->samples.end() - 3));
  EXPECT_FALSE(file->ReadSamples(end - 2, tail));
  EXPECT_EQ(file->ReadSomeSamples(end - 2, tail), 2u);
}

TEST(WavFileReaderTest, RefusesWhatIsNotAPcmWave) {
  test::TempDir dir;
  const WavFormat mono{1, 8000, 16};
  std::vector<uint8_t> good = EncodeWav(mono, Square(mono, 1));
  std::vector<uint8_t> floatTag = good;
  floatTag[20] = 3;                                                       // IEEE float
  const std::vector<uint8_t> truncated(good.begin(), good.begin() + 30);  // inside the format
  struct Row {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* error;
  };
  for (const Row& row : {Row{"float", floatTag, "not integer PCM"},
                         Row{"truncated", truncated, "a chunk runs past the end of the file"},
                         Row{"empty", {}, "not a RIFF WAVE file"},
                         Row{"text", {'h', 'e', 'l', 'l', 'o', '\n'}, "not a RIFF WAVE file"}}) {
    SCOPED_TRACE(row.name);
    const std::string path = dir.File(row.name);
    test::WriteFile(path, std::string(row.bytes.begin(), row.bytes.end()));
    std::string error;
    EXPECT_FALSE(WavFileReader::Open(path, &error));
    EXPECT_EQ(error, row.error);
  }
  std::string error;
  EXPECT_FALSE(WavFileReader::Open(dir.File("missing.wav"), &error));
  EXPECT_EQ(error, "the file cannot be opened");
  EXPECT_FALSE(WavFileReader::Open(dir.path(), &error));
  EXPECT_EQ(error, "not a regular file");
}

}  // namespace
}  // namespace bc
