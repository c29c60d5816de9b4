// Settings that tests and administrators may change through the environment: time limits,
// bounds and switches.
#pragma once

#include <chrono>

namespace word_component {

// The variable's value in seconds (fractions allowed), read anew on every call; the fallback
// when it is unset, empty, not a number or negative.
std::chrono::milliseconds DurationSetting(const char* variable, std::chrono::milliseconds fallback);

// True when the variable is "1", read anew on every call; anything else, or unset, is false.
bool SwitchSetting(const char* variable);
// The variable's value as a number, read anew on every call; the fallback as above.
double NumberSetting(const char* variable, double fallback);

}  // namespace word_component
