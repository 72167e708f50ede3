// How long the program waits at exit for the last device stream to finish
// closing (see audio_outputs.h).
#include <atomic>
#include <chrono>
#include <thread>

#include "speech/audio_outputs.h"

namespace bc {
namespace {

using Clock = std::chrono::steady_clock;

// Long enough for the sound server to answer a stream's drain and disconnect
// on a loaded machine; short enough not to be noticed after the last sound.
constexpr std::chrono::milliseconds kStreamSettle{200};

std::atomic<Clock::rep> lastClose{0};  // 0: no stream was ever closed

}  // namespace

void NoteStreamClosed() {
  lastClose = Clock::now().time_since_epoch().count();
}

void WaitForClosedStreams() {
  const Clock::rep closed = lastClose.load();
  if (closed == 0) {
    return;
  }
  const Clock::time_point settled = Clock::time_point(Clock::duration(closed)) + kStreamSettle;
  std::this_thread::sleep_until(settled);
}

}  // namespace bc
