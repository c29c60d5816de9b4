// Time limits that tests and administrators may change through the environment.
#pragma once

#include <chrono>

namespace word_component {

// The variable's value in seconds (fractions allowed), read anew on every call; the fallback
// when it is unset, empty, not a number or negative.
std::chrono::milliseconds DurationSetting(const char* variable, std::chrono::milliseconds fallback);

}  // namespace word_component
