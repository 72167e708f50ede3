#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace bc {

/// Integer PCM as kept in a RIFF WAVE file.
struct WavFormat {
  int channels = 1;
  int sampleRate = 22050;
  int bitsPerSample = 16;  // 8 (unsigned) or 16 (signed little-endian)

  [[nodiscard]] int BlockAlign() const { return channels * (bitsPerSample / 8); }
  [[nodiscard]] int BytesPerSecond() const { return sampleRate * BlockAlign(); }
  bool operator==(const WavFormat&) const = default;
};

/// The format the speech engine produces and writes to WAV files.
inline constexpr WavFormat kSpeechFormat{1, 22050, 16};

/// A decoded WAV file: its format and its sample bytes, whole frames only.
struct WavData {
  WavFormat format;
  std::vector<uint8_t> samples;

  /// Length of the sound in seconds.
  [[nodiscard]] double Seconds() const;
};

/// Reads a RIFF WAVE image by walking its chunks ("fmt " and "data" in any
/// order, other chunks skipped, odd-sized chunks followed by one pad byte).
/// The bytes are untrusted: a chunk whose size runs past the end of the image,
/// a missing or short "fmt " or "data" chunk, a format other than integer PCM
/// (tag 1, or the extensible tag with the PCM sub-format), a sample width other
/// than 8 or 16 bits, or a channel count or rate of 0 are format errors. The
/// RIFF header's own size only narrows the walk (writers that stream often
/// leave it wrong); a missing pad byte at the very end is accepted.
///
/// One chunk may run past the end: a "data" chunk that follows the format
/// chunk. Tools that write to a pipe cannot go back to fill in the size and
/// leave a placeholder (0x7ffff000, 0xffffffff); its samples are then the
/// bytes to the end of the image, whole frames only. A chunk that would end
/// inside another is still an error.
/// Returns the data, or nullopt with `error` (when given) set to the reason.
[[nodiscard]] std::optional<WavData> ParseWav(std::span<const uint8_t> image,
                                              std::string* error = nullptr);

/// Where the parts of a RIFF WAVE image lie, as LocateWav finds them.
struct WavLayout {
  WavFormat format;
  /// The sample bytes inside the image, whole frames only.
  std::span<const uint8_t> samples;
};

/// The format and length of a file's samples, wherever they are kept.
struct WavShape {
  WavFormat format;
  uint64_t sampleBytes = 0;

  WavShape(WavFormat f, uint64_t bytes) : format(f), sampleBytes(bytes) {}
  // Implicit: a layout is a shape with its bytes at hand.
  WavShape(const WavLayout& layout) : format(layout.format), sampleBytes(layout.samples.size()) {}
};

/// The chunk walk of ParseWav without copying: the format and where the
/// samples lie inside `image`. Same rules and errors as ParseWav.
[[nodiscard]] std::optional<WavLayout> LocateWav(std::span<const uint8_t> image,
                                                 std::string* error = nullptr);

/// ParseWav on the contents of a file; an unreadable file is an error too.
[[nodiscard]] std::optional<WavData> ReadWavFile(const std::string& path,
                                                 std::string* error = nullptr);

/// A WAV file open for reading, for showing and playing files of any length
/// without reading them whole. Every byte is read with a read call, never
/// through a mapping: another program may shorten the file at any moment (a
/// recorder still writing, a download replaced), and a mapped page that is
/// gone kills the program, where a read just comes back short. The file is
/// opened for reading only, so a read-only file is shown and played like any
/// other. The chunk walk is that of ParseWav.
class WavFileReader {
 public:
  /// Opens and walks the file; on failure `error` (when given) says why.
  [[nodiscard]] static std::shared_ptr<const WavFileReader> Open(const std::string& path,
                                                                 std::string* error = nullptr);
  ~WavFileReader();
  WavFileReader(const WavFileReader&) = delete;
  WavFileReader& operator=(const WavFileReader&) = delete;

  [[nodiscard]] const WavFormat& format() const { return shape_.format; }
  [[nodiscard]] const WavShape& shape() const { return shape_; }
  /// The number of sample bytes the file held when it was opened.
  [[nodiscard]] uint64_t sampleBytes() const { return shape_.sampleBytes; }
  /// Copies sample bytes from `offset`. False past the end or when the file
  /// no longer holds them all (cut short meanwhile, or a failed read).
  bool ReadSamples(uint64_t offset, std::span<uint8_t> out) const;
  /// Copies what there still is of the sample bytes from `offset` into the
  /// start of `out` and returns how many: fewer than asked once the file was
  /// cut short (or a read failed), never past the samples' end at opening.
  size_t ReadSomeSamples(uint64_t offset, std::span<uint8_t> out) const;
  /// ReadSamples when the bytes are all in the system's cache already; false
  /// without waiting for the disk when they are not (or the system cannot tell).
  bool ReadCachedSamples(uint64_t offset, std::span<uint8_t> out) const;
  /// Asks the system to start reading these sample bytes from disk now, so
  /// that many reads queue at the disk at once instead of one after another.
  void Prefetch(uint64_t offset, uint64_t length) const;

 private:
  WavFileReader(int fd, WavShape shape, uint64_t dataOffset)
      : fd_(fd), dataOffset_(dataOffset), shape_(shape) {}
  int fd_ = -1;
  uint64_t dataOffset_ = 0;
  WavShape shape_;
};

/// The canonical 44-byte header of a PCM file holding `dataBytes` sample bytes.
[[nodiscard]] std::vector<uint8_t> WavHeader(const WavFormat& format, uint32_t dataBytes);

/// A complete WAV image: header, samples and the pad byte of an odd data size.
[[nodiscard]] std::vector<uint8_t> EncodeWav(const WavFormat& format,
                                             std::span<const uint8_t> samples);

/// Writes a WAV file by streaming samples into it. The file replaces any file
/// of that name only when Finish succeeds: until then the bytes go to a
/// temporary file beside it, so a render cut short leaves the old file intact.
class WavFileWriter {
 public:
  WavFileWriter(std::string path, WavFormat format);
  /// Discards the temporary file unless Finish succeeded.
  ~WavFileWriter();
  WavFileWriter(const WavFileWriter&) = delete;
  WavFileWriter& operator=(const WavFileWriter&) = delete;

  /// Creates the temporary file and writes a provisional header. Fails when the
  /// folder does not exist or cannot be written.
  [[nodiscard]] bool Open();
  /// Appends sample bytes. Returns false once any write has failed.
  bool Append(std::span<const uint8_t> samples);
  /// Fills in the header sizes and puts the file in place of the old one.
  /// Returns false when anything failed; the old file is then left alone.
  bool Finish();

  [[nodiscard]] const std::string& path() const { return path_; }
  [[nodiscard]] uint64_t dataBytes() const { return dataBytes_; }
  /// Why Open, Append or Finish failed, in the system's words.
  [[nodiscard]] const std::string& error() const { return error_; }

 private:
  struct File;
  bool Fail();  // notes errno's reason, drops the file; returns false
  std::string path_;
  WavFormat format_;
  uint64_t dataBytes_ = 0;
  bool failed_ = false;
  std::string error_;
  std::unique_ptr<File> file_;
};

/// A short sine tone with soft edges in `format` (mono or not): the sound played
/// when a notification sound cannot be played.
[[nodiscard]] WavData MakeBeep(const WavFormat& format = kSpeechFormat, int frequencyHz = 880,
                               int milliseconds = 180);

}  // namespace bc
