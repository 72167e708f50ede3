#pragma once

#include <chrono>
#include <functional>

namespace bc::test {

/// Checks `condition` until it holds or `limit` has passed, running the Qt event
/// loop between checks when there is an application object (queued calls to the
/// test's thread arrive that way). Returns whether the condition held.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(5));

}  // namespace bc::test
