#include "speech/wav_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QSaveFile>
#include <QString>
#include <cerrno>
#include <cmath>
#include <numbers>

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

std::optional<WavLayout> LocateWav(std::span<const uint8_t> image, std::string* error) {
  if (image.size() < 12 || !Is(image, 0, "RIFF") || !Is(image, 8, "WAVE")) {
    return Fail(error, "not a RIFF WAVE file");
  }
  // Walk no further than the RIFF chunk claims, nor than the bytes we have.
  const uint64_t riffEnd = 8 + static_cast<uint64_t>(Read32(image, 4));
  const uint64_t end = std::min<uint64_t>(riffEnd, image.size());

  std::optional<WavFormat> format;
  std::span<const uint8_t> data;
  bool haveData = false;
  uint64_t at = 12;
  while (at + 8 <= end) {
    const uint64_t size = Read32(image, static_cast<size_t>(at + 4));
    const uint64_t body = at + 8;
    // A chunk that claims more bytes than the file holds is damage, not a hint.
    if (body + size > image.size()) {
      return Fail(error, "a chunk runs past the end of the file");
    }
    const auto chunk = image.subspan(static_cast<size_t>(body), static_cast<size_t>(size));
    if (Is(image, static_cast<size_t>(at), "fmt ")) {
      if (size < 16) {
        return Fail(error, "the format chunk is too short");
      }
      uint16_t tag = Read16(chunk, 0);
      if (tag == kFormatExtensible && size >= 40) {
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
      format = f;
    } else if (Is(image, static_cast<size_t>(at), "data") && !haveData) {
      data = chunk;
      haveData = true;
    }
    at = body + size + (size & 1);
  }
  if (!format) {
    return Fail(error, "no format chunk");
  }
  if (!haveData) {
    return Fail(error, "no data chunk");
  }
  const size_t frames = data.size() / static_cast<size_t>(format->BlockAlign());
  return WavLayout{*format, data.first(frames * static_cast<size_t>(format->BlockAlign()))};
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

std::shared_ptr<const MappedWav> MappedWav::Open(const std::string& path, std::string* error) {
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
  if (info.st_size < 12) {
    ::close(fd);
    Fail(error, "not a RIFF WAVE file");
    return nullptr;
  }
  const auto length = static_cast<size_t>(info.st_size);
  void* address = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, 0);
  if (address == MAP_FAILED) {
    ::close(fd);
    Fail(error, "the file cannot be mapped");
    return nullptr;
  }
  std::shared_ptr<MappedWav> wav(new MappedWav);
  wav->fd_ = fd;
  wav->address_ = address;
  wav->length_ = length;
  const std::span<const uint8_t> image(static_cast<const uint8_t*>(address), length);
  std::optional<WavLayout> layout = LocateWav(image, error);
  if (!layout) {
    return nullptr;
  }
  wav->layout_ = *layout;
  wav->dataOffset_ = static_cast<uint64_t>(layout->samples.data() - image.data());
  return wav;
}

bool MappedWav::ReadSamples(uint64_t offset, std::span<uint8_t> out) const {
  const uint64_t size = layout_.samples.size();
  if (offset > size || out.size() > size - offset) {
    return false;
  }
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t got = ::pread(fd_, out.data() + done, out.size() - done,
                                static_cast<off_t>(dataOffset_ + offset + done));
    if (got <= 0) {
      if (got < 0 && errno == EINTR) {
        continue;
      }
      return false;
    }
    done += static_cast<size_t>(got);
  }
  return true;
}

void MappedWav::Prefetch(uint64_t offset, uint64_t length) const {
  ::posix_fadvise(fd_, static_cast<off_t>(dataOffset_ + offset), static_cast<off_t>(length),
                  POSIX_FADV_WILLNEED);
}

MappedWav::~MappedWav() {
  if (address_) {
    ::munmap(address_, length_);
  }
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

std::optional<WavData> ReadWavFile(const std::string& path, std::string* error) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    return Fail(error, "the file cannot be opened");
  }
  const QByteArray bytes = file.readAll();
  return ParseWav(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()),
                            static_cast<size_t>(bytes.size())),
                  error);
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

struct WavFileWriter::File {
  explicit File(const std::string& path) : file(QString::fromStdString(path)) {}
  QSaveFile file;
};

WavFileWriter::WavFileWriter(std::string path, WavFormat format)
    : path_(std::move(path)), format_(format) {}

WavFileWriter::~WavFileWriter() {
  if (file_) {
    file_->file.cancelWriting();
  }
}

bool WavFileWriter::Open() {
  file_ = std::make_unique<File>(path_);
  if (!file_->file.open(QIODevice::WriteOnly)) {
    file_.reset();
    failed_ = true;
    return false;
  }
  const auto header = WavHeader(format_, 0);
  failed_ = file_->file.write(reinterpret_cast<const char*>(header.data()),
                              static_cast<qint64>(header.size())) != 44;
  return !failed_;
}

bool WavFileWriter::Append(std::span<const uint8_t> samples) {
  if (!file_ || failed_) {
    return false;
  }
  const auto written = file_->file.write(reinterpret_cast<const char*>(samples.data()),
                                         static_cast<qint64>(samples.size()));
  failed_ = written != static_cast<qint64>(samples.size());
  dataBytes_ += samples.size();
  return !failed_;
}

bool WavFileWriter::Finish() {
  if (!file_ || failed_ || dataBytes_ > 0xFFFFFFFFull - 44) {
    return false;
  }
  const auto size = static_cast<uint32_t>(dataBytes_);
  if (size & 1) {
    failed_ = !file_->file.putChar('\0');
  }
  const auto header = WavHeader(format_, size);
  failed_ = failed_ || !file_->file.seek(0) ||
            file_->file.write(reinterpret_cast<const char*>(header.data()), 44) != 44;
  const bool ok = !failed_ && file_->file.commit();
  file_.reset();
  return ok;
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
