#include "speech/wav_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <iterator>

#include "support/test_env.h"

namespace bc {
namespace {

const std::string kData = std::string(BC_TEST_DATA_DIR) + "/speech/";

std::vector<uint8_t> Bytes(const std::string& s) {
  return {s.begin(), s.end()};
}

std::vector<uint8_t> Chunk(const char* tag, std::vector<uint8_t> body, bool pad = true) {
  std::vector<uint8_t> c(tag, tag + 4);
  const auto n = static_cast<uint32_t>(body.size());
  for (int i = 0; i < 4; ++i) {
    c.push_back(static_cast<uint8_t>(n >> (8 * i)));
  }
  c.insert(c.end(), body.begin(), body.end());
  if (pad && (body.size() & 1)) {
    c.push_back(0);
  }
  return c;
}

std::vector<uint8_t> Riff(std::vector<std::vector<uint8_t>> chunks) {
  std::vector<uint8_t> body = Bytes("WAVE");
  for (const auto& c : chunks) {
    body.insert(body.end(), c.begin(), c.end());
  }
  return Chunk("RIFF", body, false);
}

std::vector<uint8_t> Fmt(int channels, int rate, int bits, int tag = 1) {
  std::vector<uint8_t> header = WavHeader({channels, rate, bits}, 0);
  std::vector<uint8_t> body(header.begin() + 20, header.begin() + 36);
  body[0] = static_cast<uint8_t>(tag);
  body[1] = static_cast<uint8_t>(tag >> 8);
  return Chunk("fmt ", body);
}

TEST(WavFileTest, EncodedFileReadsBackWithOddDataPadded) {
  const std::vector<uint8_t> samples = {1, 2, 3};  // 8-bit mono, odd length
  const WavFormat format{1, 8000, 8};
  const auto image = EncodeWav(format, samples);
  EXPECT_EQ(image.size(), 44u + 4u);  // three bytes plus the pad byte
  const auto wav = ParseWav(image);
  ASSERT_TRUE(wav);
  EXPECT_EQ(wav->format, format);
  EXPECT_EQ(wav->samples, samples);
}

TEST(WavFileTest, WalksPastOddChunksInARealFile) {
  const auto wav = ReadWavFile(kData + "stereo8_odd_chunk.wav");
  ASSERT_TRUE(wav);
  EXPECT_EQ(wav->format, (WavFormat{2, 8000, 8}));
  EXPECT_EQ(wav->samples.size(), 1600u);
  EXPECT_NEAR(wav->Seconds(), 0.1, 1e-9);
}

TEST(WavFileTest, AcceptedVariants) {
  const std::vector<uint8_t> pcm = {0x10, 0x20, 0x30, 0x40};
  // Data before fmt, an unknown chunk in between, a RIFF size that is wrong
  // (streaming writers leave it 0xFFFFFFFF), a half frame at the end.
  auto image = Riff({Chunk("data", {1, 2, 3, 4, 5}), Chunk("junk", {9}), Fmt(1, 22050, 16)});
  std::memset(image.data() + 4, 0xFF, 4);
  auto wav = ParseWav(image);
  ASSERT_TRUE(wav);
  EXPECT_EQ(wav->samples, (std::vector<uint8_t>{1, 2, 3, 4}));

  // The last odd chunk may lack its pad byte at the very end of the file.
  image = Riff({Fmt(1, 8000, 8), Chunk("data", {7, 8, 9}, false)});
  wav = ParseWav(image);
  ASSERT_TRUE(wav);
  EXPECT_EQ(wav->samples.size(), 3u);

  // The extensible format with the PCM sub-format.
  std::vector<uint8_t> ext(40, 0);
  ext[0] = 0xFE;
  ext[1] = 0xFF;
  ext[2] = 1;     // channels
  ext[4] = 0x40;  // 8000 Hz
  ext[5] = 0x1F;
  ext[14] = 16;  // bits
  ext[24] = 1;   // sub-format GUID starts with the PCM tag
  wav = ParseWav(Riff({Chunk("fmt ", ext), Chunk("data", pcm)}));
  ASSERT_TRUE(wav);
  EXPECT_EQ(wav->format, (WavFormat{1, 8000, 16}));
}

TEST(WavFileTest, RejectedFiles) {
  const std::vector<uint8_t> pcm = {0, 0, 0, 0};
  struct Case {
    const char* name;
    std::vector<uint8_t> image;
  };
  // A chunk other than the samples that claims more bytes than the file holds
  // is damage; so are samples running past the end ahead of the format.
  std::vector<uint8_t> fmtPastEnd = Riff({Fmt(1, 8000, 8), Chunk("data", pcm)});
  fmtPastEnd[16] = 40;
  std::vector<uint8_t> junkPastEnd =
      Riff({Fmt(1, 8000, 8), Chunk("junk", pcm), Chunk("data", pcm)});
  std::memset(junkPastEnd.data() + 40, 0xFF, 4);  // a huge size must not wrap the check around
  std::vector<uint8_t> dataFirstPastEnd = Riff({Chunk("data", pcm), Fmt(1, 8000, 8)});
  dataFirstPastEnd[16] = 40;
  const Case cases[] = {
      {"empty", {}},
      {"not RIFF", Bytes(std::string("RIFX\4\0\0\0WAVE", 12))},
      {"not WAVE", Bytes(std::string("RIFF\4\0\0\0AVI ", 12))},
      {"no fmt", Riff({Chunk("data", pcm)})},
      {"no data", Riff({Fmt(1, 8000, 8)})},
      {"short fmt", Riff({Chunk("fmt ", {1, 0, 1, 0}), Chunk("data", pcm)})},
      {"float samples", Riff({Fmt(1, 8000, 32, 3), Chunk("data", pcm)})},
      {"24-bit", Riff({Fmt(1, 8000, 24), Chunk("data", pcm)})},
      {"no channels", Riff({Fmt(0, 8000, 8), Chunk("data", pcm)})},
      {"fmt past end", fmtPastEnd},
      {"junk past end", junkPastEnd},
      {"data before fmt past end", dataFirstPastEnd},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseWav(c.image, &error)) << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
  }
  EXPECT_FALSE(ReadWavFile(kData + "no_such_file.wav"));
}

// Tools writing to a pipe cannot fill in the data size and leave a
// placeholder: the samples are the bytes to the end of the file.
TEST(WavFileTest, StreamedFilesReadToTheirEnd) {
  struct Row {
    const char* file;
    WavFormat format;
    size_t sampleBytes;
  };
  const std::string wavData = std::string(BC_TEST_DATA_DIR) + "/wav/";
  for (const Row& row : {Row{"espeak-stdout.wav", {1, 22050, 16}, 27908},  // espeak-ng --stdout
                         Row{"sox-pipe.wav", {2, 8000, 16}, 1600},         // sox -t wav - | cat
                         Row{"../speech/data_past_end.wav", {2, 8000, 8}, 1600}}) {
    SCOPED_TRACE(row.file);
    std::string error;
    const auto wav = ReadWavFile(wavData + row.file, &error);
    ASSERT_TRUE(wav) << error;
    EXPECT_EQ(wav->format, row.format);
    EXPECT_EQ(wav->samples.size(), row.sampleBytes);
    const auto reader = WavFileReader::Open(wavData + row.file, &error);
    ASSERT_TRUE(reader) << error;
    EXPECT_EQ(reader->sampleBytes(), row.sampleBytes);
  }
  // 0xFFFFFFFF, and a half frame at the end that is left out.
  auto image = Riff({Fmt(1, 8000, 16), Chunk("data", {1, 2, 3, 4, 5}, false)});
  std::memset(image.data() + 40, 0xFF, 4);
  const auto wav = ParseWav(image);
  ASSERT_TRUE(wav);
  EXPECT_EQ(wav->samples, (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST(WavFileTest, WriterReplacesOnlyOnFinish) {
  test::TempDir dir;
  const std::string path = dir.File("out.wav");
  test::WriteFile(path, "old contents");
  {
    WavFileWriter abandoned(path, kSpeechFormat);
    ASSERT_TRUE(abandoned.Open());
    abandoned.Append(std::vector<uint8_t>(100, 1));
  }
  EXPECT_EQ(test::ReadFile(path), "old contents");

  WavFileWriter writer(path, kSpeechFormat);
  ASSERT_TRUE(writer.Open());
  const std::vector<uint8_t> a(1000, 7), b(2000, 9);
  EXPECT_TRUE(writer.Append(a));
  EXPECT_TRUE(writer.Append(b));
  EXPECT_TRUE(writer.Finish());
  const auto wav = ReadWavFile(path);
  ASSERT_TRUE(wav);
  EXPECT_EQ(wav->format, kSpeechFormat);
  EXPECT_EQ(wav->samples.size(), 3000u);
  EXPECT_EQ(wav->samples.back(), 9);

  WavFileWriter nowhere(dir.File("missing/out.wav"), kSpeechFormat);
  EXPECT_FALSE(nowhere.Open());
  EXPECT_NE(nowhere.error(), "");
  EXPECT_FALSE(nowhere.Finish());

  // Written through a link, the file it leads to is replaced and keeps its
  // permissions; nothing else is left in the folder.
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  const std::string link = dir.File("link.wav");
  ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
  WavFileWriter through(link, kSpeechFormat);
  ASSERT_TRUE(through.Open());
  EXPECT_TRUE(through.Finish());
  struct stat info {};
  ASSERT_EQ(::lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(ReadWavFile(path)->samples.size(), 0u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST(WavFileTest, BeepIsAShortAudibleTone) {
  for (const WavFormat format : {kSpeechFormat, WavFormat{2, 8000, 8}}) {
    const WavData beep = MakeBeep(format, 880, 200);
    EXPECT_NEAR(beep.Seconds(), 0.2, 0.001);
    int peak = 0;
    for (size_t i = 0; i + 1 < beep.samples.size(); i += 2) {
      const int v =
          format.bitsPerSample == 8
              ? std::abs(beep.samples[i] - 128) * 256
              : std::abs(static_cast<int16_t>(beep.samples[i] | beep.samples[i + 1] << 8));
      peak = std::max(peak, v);
    }
    EXPECT_GT(peak, 8000);
    // Soft edges: the first frame is silence, so the tone does not click.
    EXPECT_EQ(beep.samples[0], format.bitsPerSample == 8 ? 128 : 0);
  }
}

}  // namespace
}  // namespace bc
