#include "speech/wav_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <numbers>
#include <utility>

namespace bc {
namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;

uint16_t Read16(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

uint32_t Read32(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v & 0xFF));
  out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

bool Is(std::span<const uint8_t> b, size_t at, const char (&tag)[5]) {
  return b[at] == static_cast<uint8_t>(tag[0]) && b[at + 1] == static_cast<uint8_t>(tag[1]) &&
         b[at + 2] == static_cast<uint8_t>(tag[2]) && b[at + 3] == static_cast<uint8_t>(tag[3]);
}

std::nullopt_t Fail(std::string* error, const char* reason) {
  if (error) {
    *error = reason;
  }
  return std::nullopt;
}

}  // namespace

double WavData::Seconds() const {
  const int rate = format.BytesPerSecond();
  return rate > 0 ? static_cast<double>(samples.size()) / rate : 0.0;
}

namespace {

// Reads `out.size()` bytes at `offset` of the image; false when they are not all there.
using ImageReader = std::function<bool(uint64_t offset, std::span<uint8_t> out)>;

struct WavExtent {
  WavFormat format;
  uint64_t dataOffset = 0;
  uint64_t dataBytes = 0;
};

std::optional<WavFormat> ReadFormat(std::span<const uint8_t> chunk, std::string* error) {
  uint16_t tag = Read16(chunk, 0);
  if (tag == kFormatExtensible && chunk.size() >= 40) {
    tag = Read16(chunk, 24);  // first two bytes of the sub-format GUID
  }
  if (tag != kFormatPcm) {
    return Fail(error, "not integer PCM");
  }
  WavFormat f;
  f.channels = Read16(chunk, 2);
  f.sampleRate = static_cast<int>(std::min<uint32_t>(Read32(chunk, 4), 1'000'000));
  f.bitsPerSample = Read16(chunk, 14);
  if (f.bitsPerSample != 8 && f.bitsPerSample != 16) {
    return Fail(error, "only 8- and 16-bit samples are supported");
  }
  if (f.channels == 0 || f.sampleRate == 0) {
    return Fail(error, "no channels or no sample rate");
  }
  // The byte rate is an int that players size their buffers from: a header
  // claiming tens of thousands of channels at a high rate must not overflow it.
  if (int64_t{f.channels} * (f.bitsPerSample / 8) * f.sampleRate > INT32_MAX) {
    return Fail(error, "too many channels at too high a rate");
  }
  return f;
}

// The chunk walk, reading only chunk headers and the format chunk: the same
// for an image in memory and for a file read piece by piece.
std::optional<WavExtent> WalkWav(uint64_t imageSize, const ImageReader& read, std::string* error) {
  std::array<uint8_t, 12> header{};
  if (imageSize < 12 || !read(0, header) || !Is(header, 0, "RIFF") || !Is(header, 8, "WAVE")) {
    return Fail(error, "not a RIFF WAVE file");
  }
  // Walk no further than the RIFF chunk claims, nor than the bytes we have.
  const uint64_t riffEnd = 8 + static_cast<uint64_t>(Read32(header, 4));
  const uint64_t end = std::min<uint64_t>(riffEnd, imageSize);

  std::optional<WavFormat> format;
  std::optional<WavExtent> data;
  uint64_t at = 12;
  while (at + 8 <= end) {
    std::array<uint8_t, 8> chunkHeader{};
    if (!read(at, chunkHeader)) {
      return Fail(error, "the file cannot be read");
    }
    uint64_t size = Read32(chunkHeader, 4);
    const uint64_t body = at + 8;
    const bool isData = Is(chunkHeader, 0, "data");
    if (body + size > imageSize) {
      // A stream's placeholder size: the samples run to the end of the file.
      // Anywhere else a chunk that claims more bytes than the file holds is
      // damage, not a hint (before the format, the format would lie inside it).
      if (!isData || !format || data) {
        return Fail(error, "a chunk runs past the end of the file");
      }
      size = imageSize - body;
    }
    if (Is(chunkHeader, 0, "fmt ")) {
      if (size < 16) {
        return Fail(error, "the format chunk is too short");
      }
      std::array<uint8_t, 40> chunk{};
      const auto used = std::span(chunk).first(static_cast<size_t>(std::min<uint64_t>(size, 40)));
      if (!read(body, used)) {
        return Fail(error, "the file cannot be read");
      }
      format = ReadFormat(used, error);
      if (!format) {
        return std::nullopt;
      }
    } else if (isData && !data) {
      data = WavExtent{{}, body, size};
    }
    at = body + size + (size & 1);
  }
  if (!format) {
    return Fail(error, "no format chunk");
  }
  if (!data) {
    return Fail(error, "no data chunk");
  }
  data->format = *format;
  const auto block = static_cast<uint64_t>(format->BlockAlign());
  data->dataBytes -= data->dataBytes % block;
  return data;
}

}  // namespace

std::optional<WavLayout> LocateWav(std::span<const uint8_t> image, std::string* error) {
  const auto read = [image](uint64_t offset, std::span<uint8_t> out) {
    if (offset > image.size() || out.size() > image.size() - offset) {
      return false;
    }
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return true;
  };
  const std::optional<WavExtent> extent = WalkWav(image.size(), read, error);
  if (!extent) {
    return std::nullopt;
  }
  return WavLayout{extent->format, image.subspan(static_cast<size_t>(extent->dataOffset),
                                                 static_cast<size_t>(extent->dataBytes))};
}

std::optional<WavData> ParseWav(std::span<const uint8_t> image, std::string* error) {
  const std::optional<WavLayout> layout = LocateWav(image, error);
  if (!layout) {
    return std::nullopt;
  }
  WavData result;
  result.format = layout->format;
  result.samples.assign(layout->samples.begin(), layout->samples.end());
  return result;
}

namespace {

// pread until `out` is full, the file ends or a read fails; returns the count.
size_t ReadAt(int fd, uint64_t offset, std::span<uint8_t> out) {
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t got =
        ::pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;
    }
    done += static_cast<size_t>(got);
  }
  return done;
}

}  // namespace

std::shared_ptr<const WavFileReader> WavFileReader::Open(const std::string& path,
                                                         std::string* error) {
  // Read only: showing and playing never writes, and a read-only file must play.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    Fail(error, "the file cannot be opened");
    return nullptr;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    Fail(error, "not a regular file");
    return nullptr;
  }
  const auto read = [fd](uint64_t offset, std::span<uint8_t> out) {
    return ReadAt(fd, offset, out) == out.size();
  };
  const std::optional<WavExtent> extent = WalkWav(static_cast<uint64_t>(info.st_size), read, error);
  if (!extent) {
    ::close(fd);
    return nullptr;
  }
  return std::shared_ptr<const WavFileReader>(
      new WavFileReader(fd, WavShape(extent->format, extent->dataBytes), extent->dataOffset));
}

bool WavFileReader::ReadSamples(uint64_t offset, std::span<uint8_t> out) const {
  const uint64_t size = shape_.sampleBytes;
  if (offset > size || out.size() > size - offset) {
    return false;
  }
  return ReadAt(fd_, dataOffset_ + offset, out) == out.size();
}

size_t WavFileReader::ReadSomeSamples(uint64_t offset, std::span<uint8_t> out) const {
  const uint64_t size = shape_.sampleBytes;
  if (offset >= size) {
    return 0;
  }
  const auto n = static_cast<size_t>(std::min<uint64_t>(out.size(), size - offset));
  return ReadAt(fd_, dataOffset_ + offset, out.first(n));
}

bool WavFileReader::ReadCachedSamples(uint64_t offset, std::span<uint8_t> out) const {
  const uint64_t size = shape_.sampleBytes;
  if (offset > size || out.size() > size - offset) {
    return false;
  }
  iovec into{out.data(), out.size()};
  // A short read is not an answer either: the rest may be on the disk.
  return ::preadv2(fd_, &into, 1, static_cast<off_t>(dataOffset_ + offset), RWF_NOWAIT) ==
         static_cast<ssize_t>(out.size());
}

void WavFileReader::Prefetch(uint64_t offset, uint64_t length) const {
  ::posix_fadvise(fd_, static_cast<off_t>(dataOffset_ + offset), static_cast<off_t>(length),
                  POSIX_FADV_WILLNEED);
}

WavFileReader::~WavFileReader() {
  ::close(fd_);
}

std::optional<WavData> ReadWavFile(const std::string& path, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return Fail(error, "the file cannot be opened");
  }
  std::vector<uint8_t> bytes;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && info.st_size > 0) {
    bytes.reserve(static_cast<size_t>(info.st_size));
  }
  // To the end as it is now: the size taken above may already be out of date.
  std::array<uint8_t, 64 * 1024> chunk{};
  for (;;) {
    const ssize_t got = ::read(fd, chunk.data(), chunk.size());
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      ::close(fd);
      return Fail(error, "the file cannot be read");
    }
    if (got == 0) {
      break;
    }
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
  }
  ::close(fd);
  return ParseWav(bytes, error);
}

std::vector<uint8_t> WavHeader(const WavFormat& format, uint32_t dataBytes) {
  std::vector<uint8_t> out;
  out.reserve(44);
  const auto tag = [&out](const char* t) { out.insert(out.end(), t, t + 4); };
  tag("RIFF");
  Put32(out, 36 + dataBytes + (dataBytes & 1));
  tag("WAVE");
  tag("fmt ");
  Put32(out, 16);
  Put16(out, kFormatPcm);
  Put16(out, static_cast<uint32_t>(format.channels));
  Put32(out, static_cast<uint32_t>(format.sampleRate));
  Put32(out, static_cast<uint32_t>(format.BytesPerSecond()));
  Put16(out, static_cast<uint32_t>(format.BlockAlign()));
  Put16(out, static_cast<uint32_t>(format.bitsPerSample));
  tag("data");
  Put32(out, dataBytes);
  return out;
}

std::vector<uint8_t> EncodeWav(const WavFormat& format, std::span<const uint8_t> samples) {
  std::vector<uint8_t> out = WavHeader(format, static_cast<uint32_t>(samples.size()));
  out.insert(out.end(), samples.begin(), samples.end());
  if (samples.size() & 1) {
    out.push_back(0);
  }
  return out;
}

// The file being written: a new file beside its target, which takes the
// target's place once it is complete. Removed unless it got there.
struct WavFileWriter::File {
  int fd = -1;
  std::string target;
  std::string temporary;

  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() {
    if (fd >= 0) {
      ::close(fd);
    }
    if (!temporary.empty()) {
      ::unlink(temporary.c_str());
    }
  }

  bool Write(const uint8_t* data, size_t size) {
    while (size > 0) {
      const ssize_t n = ::write(fd, data, size);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n <= 0) {
        errno = n == 0 ? EIO : errno;
        return false;
      }
      data += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }
};

WavFileWriter::WavFileWriter(std::string path, WavFormat format)
    : path_(std::move(path)), format_(format) {}

WavFileWriter::~WavFileWriter() = default;

bool WavFileWriter::Fail() {
  error_ = std::strerror(errno);
  failed_ = true;
  file_.reset();
  return false;
}

bool WavFileWriter::Open() {
  file_ = std::make_unique<File>();
  // A symbolic link stays one: the file it leads to is the one replaced.
  std::array<char, PATH_MAX> resolved{};
  file_->target = ::realpath(path_.c_str(), resolved.data()) ? resolved.data() : path_;
  // Created as any new file is (the umask applies); a file replaced keeps its
  // permissions.
  for (int attempt = 0; file_->fd < 0; ++attempt) {
    file_->temporary =
        file_->target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    file_->fd = ::open(file_->temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file_->fd < 0 && (errno != EEXIST || attempt == 100)) {
      file_->temporary.clear();
      return Fail();
    }
  }
  struct stat old {};
  if (::stat(file_->target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(file_->fd, old.st_mode & 07777);
  }
  const auto header = WavHeader(format_, 0);
  return file_->Write(header.data(), header.size()) || Fail();
}

bool WavFileWriter::Append(std::span<const uint8_t> samples) {
  if (!file_ || failed_) {
    return false;
  }
  dataBytes_ += samples.size();
  return file_->Write(samples.data(), samples.size()) || Fail();
}

bool WavFileWriter::Finish() {
  if (!file_ || failed_) {
    return false;
  }
  if (dataBytes_ > 0xFFFFFFFFull - 44) {
    error_ = "more than a WAV file holds";
    file_.reset();
    return false;
  }
  const auto size = static_cast<uint32_t>(dataBytes_);
  const uint8_t pad = 0;
  if ((size & 1) && !file_->Write(&pad, 1)) {
    return Fail();
  }
  const auto header = WavHeader(format_, size);
  // On the disk before it takes the old file's place: a crash then leaves
  // the old file or the new one, never a part of it.
  if (::pwrite(file_->fd, header.data(), header.size(), 0) != static_cast<ssize_t>(header.size()) ||
      ::fsync(file_->fd) != 0) {
    return Fail();
  }
  const int fd = std::exchange(file_->fd, -1);
  if (::close(fd) != 0 || ::rename(file_->temporary.c_str(), file_->target.c_str()) != 0) {
    return Fail();
  }
  file_->temporary.clear();
  file_.reset();
  return true;
}

WavData MakeBeep(const WavFormat& format, int frequencyHz, int milliseconds) {
  WavData beep;
  beep.format = format;
  const int frames = format.sampleRate * milliseconds / 1000;
  const int fade = std::max(1, format.sampleRate / 100);  // 10 ms, so the tone does not click
  beep.samples.reserve(static_cast<size_t>(frames * format.BlockAlign()));
  for (int i = 0; i < frames; ++i) {
    double gain = 0.4;
    gain *= std::min({1.0, static_cast<double>(i) / fade, static_cast<double>(frames - i) / fade});
    const double v = gain * std::sin(2 * std::numbers::pi * frequencyHz * i / format.sampleRate);
    for (int c = 0; c < format.channels; ++c) {
      if (format.bitsPerSample == 8) {
        beep.samples.push_back(static_cast<uint8_t>(128 + std::lround(v * 127)));
      } else {
        const auto s = static_cast<int16_t>(std::lround(v * 32767));
        beep.samples.push_back(static_cast<uint8_t>(s & 0xFF));
        beep.samples.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
      }
    }
  }
  return beep;
}

}  // namespace bc
