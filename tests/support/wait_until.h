// Waiting for something another thread or process brings about. The limit is generous (a
// loaded machine is slow): it only matters when the thing never happens, and then the caller
// fails with what it waited for. Header-only and without GoogleTest, so helper programs of the
// tests can use it too.
#pragma once

#include <chrono>
#include <thread>

namespace testing_support {

// Checks the condition until it holds or the limit has passed; true when it holds. Checked once
// more at the end, so a condition that holds late still counts.
template <class Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit,
               std::chrono::milliseconds interval = std::chrono::milliseconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return condition();
        }
        std::this_thread::sleep_for(interval);
    }
    return true;
}

}  // namespace testing_support
