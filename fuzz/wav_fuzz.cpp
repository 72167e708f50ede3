// Reads fuzzed bytes as a WAV file, as the notification sound and the spoken
// text are read back and as the waveform view loads and draws a file, and
// checks what a caller relies on. AddressSanitizer
// catches a chunk read past the end of the image (libFuzzer hands the input in
// a buffer of exactly its size).
//
// The checks live in bc::fuzz::CheckWavInput so the regression test replays a
// saved input exactly as the fuzzer does; it returns the first broken rule.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "speech/wav_file.h"
#include "speech/waveform_trace.h"

namespace bc::fuzz {

std::string CheckWavInput(std::span<const uint8_t> image);

namespace {

std::string CheckFormat(const WavData& wav, size_t imageSize) {
  const WavFormat& f = wav.format;
  if (f.channels < 1 || f.channels > 65535 || f.sampleRate < 1 || f.sampleRate > 1'000'000 ||
      (f.bitsPerSample != 8 && f.bitsPerSample != 16)) {
    return "accepted a format that is not 8- or 16-bit PCM with channels and a rate";
  }
  if (wav.samples.size() > imageSize ||
      wav.samples.size() % static_cast<size_t>(f.BlockAlign()) != 0) {
    return "the samples are longer than the file or end inside a frame";
  }
  // Players size their buffers from the byte rate and the length.
  if (f.BytesPerSecond() <= 0 || !std::isfinite(wav.Seconds()) || wav.Seconds() < 0) {
    return "the byte rate or the length is not a positive number";
  }
  return {};
}

// The view's loader finds the same samples in place, and its traces stay
// inside the bitmap.
std::string CheckView(std::span<const uint8_t> image, const WavData& wav) {
  const std::optional<WavLayout> layout = LocateWav(image);
  if (!layout || layout->format != wav.format ||
      !std::equal(layout->samples.begin(), layout->samples.end(), wav.samples.begin(),
                  wav.samples.end())) {
    return "the view's loader disagrees with the reader";
  }
  for (const auto& [w, h] : {std::pair{1, 1}, std::pair{400, 300}}) {
    const WaveformTraces traces = ComputeTraces(*layout, w, h);
    for (const auto* trace : {&traces.first, &traces.second}) {
      for (const TracePoint& p : *trace) {
        if (p.x < 0 || p.x > w || p.y < 0 || p.y > h) {
          return "a trace point lies outside the bitmap";
        }
      }
    }
  }
  return {};
}

}  // namespace

std::string CheckWavInput(std::span<const uint8_t> image) {
  std::string error;
  const std::optional<WavData> wav = ParseWav(image, &error);
  if (!wav) {
    return error.empty() ? "a rejected file has no reason" : "";
  }
  if (auto why = CheckFormat(*wav, image.size()); !why.empty()) {
    return why;
  }
  if (auto why = CheckView(image, *wav); !why.empty()) {
    return why;
  }
  // What was read, written out again, reads back the same.
  const std::vector<uint8_t> again = EncodeWav(wav->format, wav->samples);
  const std::optional<WavData> reread = ParseWav(again, &error);
  if (!reread || reread->format != wav->format || reread->samples != wav->samples) {
    return "a file written from what was read does not read back: " + error;
  }
  return {};
}

}  // namespace bc::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string why = bc::fuzz::CheckWavInput(std::span<const uint8_t>(data, size));
  if (!why.empty()) {
    std::fprintf(stderr, "wav_fuzz: %s\n", why.c_str());
    std::abort();
  }
  return 0;
}
