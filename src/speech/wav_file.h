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
/// Returns the data, or nullopt with `error` (when given) set to the reason.
[[nodiscard]] std::optional<WavData> ParseWav(std::span<const uint8_t> image,
                                              std::string* error = nullptr);

/// Where the parts of a RIFF WAVE image lie, as LocateWav finds them.
struct WavLayout {
  WavFormat format;
  /// The sample bytes inside the image, whole frames only.
  std::span<const uint8_t> samples;
};

/// The chunk walk of ParseWav without copying: the format and where the
/// samples lie inside `image`. Same rules and errors as ParseWav.
[[nodiscard]] std::optional<WavLayout> LocateWav(std::span<const uint8_t> image,
                                                 std::string* error = nullptr);

/// ParseWav on the contents of a file; an unreadable file is an error too.
[[nodiscard]] std::optional<WavData> ReadWavFile(const std::string& path,
                                                 std::string* error = nullptr);

/// A WAV file mapped into memory read-only, for showing and playing files of
/// any length without reading them whole. The file is opened for reading only,
/// so a read-only file is shown and played like any other. Pages are read from
/// disk only when touched. The bytes stay valid for the object's lifetime.
class MappedWav {
 public:
  /// Maps and walks the file; on failure `error` (when given) says why.
  [[nodiscard]] static std::shared_ptr<const MappedWav> Open(const std::string& path,
                                                             std::string* error = nullptr);
  ~MappedWav();
  MappedWav(const MappedWav&) = delete;
  MappedWav& operator=(const MappedWav&) = delete;

  [[nodiscard]] const WavLayout& layout() const { return layout_; }
  [[nodiscard]] const WavFormat& format() const { return layout_.format; }
  [[nodiscard]] std::span<const uint8_t> samples() const { return layout_.samples; }
  /// Copies sample bytes from `offset` with a read call rather than through
  /// the mapping: reading a value here and there across a long file costs a
  /// page fault per value through the mapping, several times a read's cost,
  /// and maps the pages around each one. False past the end or on a failed
  /// read (a file cut short meanwhile).
  bool ReadSamples(uint64_t offset, std::span<uint8_t> out) const;
  /// Asks the system to start reading these sample bytes from disk now, so
  /// that many reads queue at the disk at once instead of one after another.
  void Prefetch(uint64_t offset, uint64_t length) const;

 private:
  MappedWav() = default;
  int fd_ = -1;
  uint64_t dataOffset_ = 0;
  void* address_ = nullptr;
  size_t length_ = 0;
  WavLayout layout_;
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

 private:
  struct File;
  std::string path_;
  WavFormat format_;
  uint64_t dataBytes_ = 0;
  bool failed_ = false;
  std::unique_ptr<File> file_;
};

/// A short sine tone with soft edges in `format` (mono or not): the sound played
/// when a notification sound cannot be played.
[[nodiscard]] WavData MakeBeep(const WavFormat& format = kSpeechFormat, int frequencyHz = 880,
                               int milliseconds = 180);

}  // namespace bc
