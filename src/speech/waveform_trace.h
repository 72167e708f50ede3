#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "speech/wav_file.h"

namespace bc {

/// One point of a trace, in pixels of the waveform bitmap.
struct TracePoint {
  int x = 0;
  int y = 0;
  bool operator==(const TracePoint&) const = default;
};

/// The two polylines the waveform view draws for a file in a bitmap of
/// `width` x `height` pixels. Trace 1 starts at (0, A) and steps through the
/// interleaved sample values from index 0; trace 2 (files of more than one
/// channel) starts at (0, A/2 + 2A) and steps from index 1. A is the band
/// half-height height / (2 * channels).
///
/// Each whole second of a file under 10 s takes a tenth of the width (the
/// rest stays empty); longer files fill it. The index step is the sample rate
/// divided by (width * 15 / seconds), at least 1, so a long file reads one
/// value in thousands: only the pages it touches are read from disk.
struct WaveformTraces {
  std::vector<TracePoint> first;
  std::vector<TracePoint> second;
};

/// Reads `out.size()` sample bytes from byte `offset` of the samples; false
/// when they cannot be read.
using SampleReader = std::function<bool(uint64_t offset, std::span<uint8_t> out)>;

/// Computes the traces of samples read through `read`. `cancel`, when given
/// and set, ends the work early (the result is then incomplete), as does a
/// failed read. A width or height below 1 gives no traces.
[[nodiscard]] WaveformTraces ComputeTraces(const WavShape& wav, const SampleReader& read, int width,
                                           int height, const std::atomic<bool>* cancel = nullptr);
/// The same for samples in memory (`wav.samples`).
[[nodiscard]] WaveformTraces ComputeTraces(const WavLayout& wav, int width, int height);

/// The number of sample values (not frames): bytes / 2 for 16-bit samples.
[[nodiscard]] uint64_t ValueCount(const WavShape& wav);
/// How many values the traces step over between two points in a bitmap
/// `width` pixels wide (each trace reads value i and i + 1 of every step).
[[nodiscard]] uint64_t TraceStep(const WavShape& wav, int width);

/// The length in whole seconds the view works with: sample bytes divided by
/// the byte rate, at least 1.
[[nodiscard]] uint64_t WholeSeconds(const WavShape& wav);

/// Where playback starts for a start column in a view `width` pixels wide:
/// the whole percent of the width the column lies at, as that percent of the
/// sample bytes, on a frame boundary.
[[nodiscard]] uint64_t PlayStartByte(int column, int width, uint64_t sampleBytes, int blockAlign);

/// The caret column while playing: the played time in whole seconds as a
/// share of the whole length, plus one percent, of the width.
[[nodiscard]] int CaretWhilePlaying(uint64_t position, const WavShape& wav, int width);

/// A column of a view resized from `oldWidth` to `newWidth`, kept at the same
/// whole percent, one column to the right.
[[nodiscard]] int RescaleColumn(int column, int oldWidth, int newWidth);

}  // namespace bc
