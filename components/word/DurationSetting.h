// Time limits and bounds that tests and administrators may change through the environment.
#pragma once

#include <chrono>

namespace word_component {

// The variable's value in seconds (fractions allowed), read anew on every call; the fallback
// when it is unset, empty, not a number or negative.
std::chrono::milliseconds DurationSetting(const char* variable, std::chrono::milliseconds fallback);

// The variable's value as a number, read anew on every call; the fallback as above.
double NumberSetting(const char* variable, double fallback);

}  // namespace word_component
