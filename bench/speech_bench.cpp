// Speech benchmarks.
//   BM_SynthesisSpeed: seconds of audio produced per second of CPU time
//     (counter "x_realtime"; the goal is at least 10).
//   BM_FirstAudio: time from Speak of a short announcement to its first audio
//     reaching the sink, measured as the arrival of SpeakingStarted on this
//     thread, which is posted when the first bytes are handed to the output
//     (the goal is under 150 ms).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <ctime>

#include "speech/espeak_voice.h"
#include "speech/speech_engine.h"

namespace {

constexpr const char* kParagraph =
    "You have received a new email: Mail from: Sales Desk; Subject is: Quarterly figures; "
    "size is: 12.500 KB; Received time: Tuesday, 14 May 2024 10:42; Mail Account is: alice; "
    "attachment: 1; content is: Please find attached the figures for the second quarter, "
    "with the notes from Monday's meeting and the revised forecast for the autumn.";

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void BM_SynthesisSpeed(benchmark::State& state) {
  const std::string text = bc::ToSpeechText(kParagraph);
  double audioSeconds = 0;
  double cpu = 0;
  for (auto _ : state) {
    size_t samples = 0;
    const double before = CpuSeconds();
    bc::Synthesize(text, bc::kFallbackVoiceId, [&samples](std::span<const int16_t> chunk) {
      samples += chunk.size();
      return true;
    });
    cpu += CpuSeconds() - before;
    audioSeconds += static_cast<double>(samples) / 22050;
    benchmark::DoNotOptimize(samples);
  }
  state.counters["audio_s"] = audioSeconds / static_cast<double>(state.iterations());
  state.counters["x_realtime"] = audioSeconds / cpu;
}
BENCHMARK(BM_SynthesisSpeed)->Unit(benchmark::kMillisecond);

void BM_FirstAudio(benchmark::State& state) {
  bc::SpeechEngine engine({}, state.range(0) != 0);
  QEventLoop loop;
  std::chrono::steady_clock::time_point started;
  QObject::connect(&engine, &bc::SpeechEngine::SpeakingStarted, [&] {
    started = std::chrono::steady_clock::now();
    loop.quit();
  });
  double worst = 0;
  for (auto _ : state) {
    const auto before = std::chrono::steady_clock::now();
    engine.Speak("You have received a new email: Mail from: Sales Desk; ");
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    const double seconds = std::chrono::duration<double>(started - before).count();
    worst = std::max(worst, seconds);
    state.SetIterationTime(seconds);
    engine.StopSpeaking();
  }
  state.counters["worst_ms"] = worst * 1000;
  state.counters["silent_sink"] = engine.HasSilentOutput() ? 1 : 0;
}
// Argument 1: the silent sink; 0: the default audio output when there is one.
BENCHMARK(BM_FirstAudio)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
