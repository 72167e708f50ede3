#include "speech/waveform_trace.h"

#include <algorithm>

namespace bc {
namespace {

// Points per trace beyond which more only cost time and memory: a file gives
// about 15 per channel and column, so only a file with a nonsensical rate or
// channel count (a few hertz over hundreds of megabytes) reaches it.
constexpr uint64_t kMaxPointsPerTrace = uint64_t{1} << 20;

int ValueAt(const WavLayout& wav, uint64_t index, int band) {
  if (wav.format.bitsPerSample == 8) {
    return ((static_cast<int>(wav.samples[index]) - 128) * band) / 128;
  }
  const auto value =
      static_cast<int16_t>(wav.samples[2 * index] | (wav.samples[2 * index + 1] << 8));
  return (value * band) / 32767;
}

}  // namespace

uint64_t WholeSeconds(const WavLayout& wav) {
  const auto rate = static_cast<uint64_t>(wav.format.BytesPerSecond());
  return std::max<uint64_t>(1, rate ? wav.samples.size() / rate : 0);
}

WaveformTraces ComputeTraces(const WavLayout& wav, int width, int height,
                             const std::atomic<bool>* cancel) {
  WaveformTraces traces;
  if (width < 1 || height < 1 || wav.format.channels < 1) {
    return traces;
  }
  const uint64_t n = wav.format.bitsPerSample == 16 ? wav.samples.size() / 2 : wav.samples.size();
  const uint64_t seconds = WholeSeconds(wav);
  const auto w = static_cast<uint64_t>(width);
  const int64_t margin = seconds < 10 ? static_cast<int64_t>(w - seconds * (w / 10)) : 0;
  const int64_t drawWidth = width - margin;
  // A file longer than width * 15 seconds would divide by zero: one value per step then.
  const uint64_t perSecond = std::max<uint64_t>(1, (w * 15) / seconds);
  uint64_t step = std::max<uint64_t>(1, static_cast<uint64_t>(wav.format.sampleRate) / perSecond);
  step = std::max(step, n / kMaxPointsPerTrace + 1);
  const int band = height / (2 * wav.format.channels);
  const auto nf = static_cast<float>(n);

  const auto trace = [&](std::vector<TracePoint>& out, uint64_t first, int zero) {
    out.reserve(static_cast<size_t>(n / step + 2));
    out.push_back({0, zero});
    for (uint64_t i = first; i < n; i += step) {
      if (cancel && ((i / step) & 1023) == 0 && cancel->load(std::memory_order_relaxed)) {
        return;
      }
      const auto x = static_cast<int>(static_cast<float>(drawWidth * static_cast<int64_t>(i)) / nf);
      out.push_back({x, zero - ValueAt(wav, i, band)});
    }
  };
  trace(traces.first, 0, band);
  if (wav.format.channels > 1) {
    trace(traces.second, 1, band / 2 + 2 * band);
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

int CaretWhilePlaying(uint64_t position, const WavLayout& wav, int width) {
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
