#include "speech/waveform_trace.h"

#include <algorithm>
#include <optional>

namespace bc {
namespace {

// Points per trace beyond which more only cost time and memory: a file gives
// about 15 per channel and column, so only a file with a nonsensical rate or
// channel count (a few hertz over hundreds of megabytes) reaches it.
constexpr uint64_t kMaxPointsPerTrace = uint64_t{1} << 20;

std::optional<int> ValueAt(const WavShape& wav, const SampleReader& read, uint64_t index,
                           int band) {
  uint8_t bytes[2] = {};
  if (wav.format.bitsPerSample == 8) {
    if (!read(index, std::span(bytes, 1))) {
      return std::nullopt;
    }
    return ((static_cast<int>(bytes[0]) - 128) * band) / 128;
  }
  if (!read(2 * index, std::span(bytes, 2))) {
    return std::nullopt;
  }
  const auto value = static_cast<int16_t>(bytes[0] | (bytes[1] << 8));
  return (value * band) / 32767;
}

}  // namespace

uint64_t WholeSeconds(const WavShape& wav) {
  const auto rate = static_cast<uint64_t>(wav.format.BytesPerSecond());
  return std::max<uint64_t>(1, rate ? wav.sampleBytes / rate : 0);
}

uint64_t ValueCount(const WavShape& wav) {
  return wav.format.bitsPerSample == 16 ? wav.sampleBytes / 2 : wav.sampleBytes;
}

uint64_t TraceStep(const WavShape& wav, int width) {
  const auto w = static_cast<uint64_t>(std::max(1, width));
  // A file longer than width * 15 seconds would divide by zero: one value per step then.
  const uint64_t perSecond = std::max<uint64_t>(1, (w * 15) / WholeSeconds(wav));
  const uint64_t step =
      std::max<uint64_t>(1, static_cast<uint64_t>(wav.format.sampleRate) / perSecond);
  return std::max(step, ValueCount(wav) / kMaxPointsPerTrace + 1);
}

WaveformTraces ComputeTraces(const WavLayout& wav, int width, int height) {
  return ComputeTraces(
      wav,
      [&wav](uint64_t offset, std::span<uint8_t> out) {
        if (offset > wav.samples.size() || out.size() > wav.samples.size() - offset) {
          return false;
        }
        std::copy_n(wav.samples.begin() + static_cast<std::ptrdiff_t>(offset), out.size(),
                    out.begin());
        return true;
      },
      width, height);
}

WaveformTraces ComputeTraces(const WavShape& wav, const SampleReader& read, int width, int height,
                             const std::atomic<bool>* cancel) {
  WaveformTraces traces;
  if (width < 1 || height < 1 || wav.format.channels < 1) {
    return traces;
  }
  const uint64_t n = ValueCount(wav);
  const uint64_t seconds = WholeSeconds(wav);
  const auto w = static_cast<uint64_t>(width);
  const int64_t margin = seconds < 10 ? static_cast<int64_t>(w - seconds * (w / 10)) : 0;
  const int64_t drawWidth = width - margin;
  const uint64_t step = TraceStep(wav, width);
  const int band = height / (2 * wav.format.channels);
  const auto nf = static_cast<float>(n);

  // Both traces in one pass, so the values of a point of each (neighbours in
  // the file) are read together.
  const int zero1 = band;
  const int zero2 = band / 2 + 2 * band;
  const bool two = wav.format.channels > 1;
  traces.first.reserve(static_cast<size_t>(n / step + 2));
  traces.first.push_back({0, zero1});
  if (two) {
    traces.second.reserve(static_cast<size_t>(n / step + 2));
    traces.second.push_back({0, zero2});
  }
  const auto point = [&](uint64_t i, int zero, std::vector<TracePoint>& out) {
    const auto x = static_cast<int>(static_cast<float>(drawWidth * static_cast<int64_t>(i)) / nf);
    const std::optional<int> value = ValueAt(wav, read, i, band);
    if (value) {
      out.push_back({x, zero - *value});
    }
    return value.has_value();
  };
  for (uint64_t i = 0; i < n; i += step) {
    if (cancel && ((i / step) & 1023) == 0 && cancel->load(std::memory_order_relaxed)) {
      break;
    }
    if (!point(i, zero1, traces.first) ||
        (two && i + 1 < n && !point(i + 1, zero2, traces.second))) {
      break;
    }
  }
  return traces;
}

uint64_t PlayStartByte(int column, int width, uint64_t sampleBytes, int blockAlign) {
  if (width < 1 || column < 0 || blockAlign < 1) {
    return 0;
  }
  const uint64_t percent =
      std::min<uint64_t>(100, static_cast<uint64_t>(column) * 100 / static_cast<uint64_t>(width));
  // Exact, and on a frame: a start inside a frame would swap channels or bytes.
  const uint64_t start = sampleBytes / 100 * percent + sampleBytes % 100 * percent / 100;
  return start - start % static_cast<uint64_t>(blockAlign);
}

int CaretWhilePlaying(uint64_t position, const WavShape& wav, int width) {
  const auto rate = static_cast<uint64_t>(std::max(1, wav.format.BytesPerSecond()));
  const uint64_t played = position / rate;
  const uint64_t total = WholeSeconds(wav);
  const double share = static_cast<double>(played) / static_cast<double>(total);
  return static_cast<int>((share * 100 + 1) * width * 0.01);
}

int RescaleColumn(int column, int oldWidth, int newWidth) {
  if (oldWidth < 1) {
    return column;
  }
  const int64_t percent = static_cast<int64_t>(column) * 100 / oldWidth;
  return static_cast<int>(percent * newWidth / 100 + 1);
}

}  // namespace bc
