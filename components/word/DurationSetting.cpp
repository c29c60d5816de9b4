#include "DurationSetting.h"

#include <cstdlib>
#include <cstring>

namespace word_component {

std::chrono::milliseconds DurationSetting(const char* variable,
                                          std::chrono::milliseconds fallback) {
    const char* text = std::getenv(variable);
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (end == text || !(seconds >= 0)) {
        return fallback;
    }
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

bool SwitchSetting(const char* variable) {
    const char* text = std::getenv(variable);
    return text != nullptr && std::strcmp(text, "1") == 0;
}

}  // namespace word_component
