#pragma once

#include <chrono>
#include <functional>

namespace bc::test {

/// Checks `condition` until it holds or `limit` has passed, running the Qt event
/// loop between checks when there is an application object (queued calls to the
/// test's thread arrive that way). Returns whether the condition held.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(5));

/// Delivers the calls already queued to this thread; returns true.
bool DeliverQueuedCalls();

/// Waits until the mail controller is idle (no worker runs, the tray shows its
/// resting picture), then delivers what the workers queued before they ended.
template <typename Controller>
bool WaitForWorkers(const Controller& controller,
                    std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  return WaitUntil([&controller] { return controller.idle(); }, limit) && DeliverQueuedCalls();
}

}  // namespace bc::test
