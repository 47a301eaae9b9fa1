#pragma once

// Waiting in tests for something another thread or program brings about: the condition is
// asked again every millisecond until it holds or the time limit has passed, so that a test
// goes on as soon as it may and a fault shows as a failed check, not as a test that hangs.

#include <chrono>
#include <thread>

namespace nandell::testing {

/// Asks `condition` until it returns true or `limit` has passed; returns its last answer.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace nandell::testing
