#include "components/word/office/DurationSetting.h"

#include <cstdlib>
#include <cstring>

namespace word_component {

double NumberSetting(const char* variable, double fallback) {
    const char* text = std::getenv(variable);
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    char* end = nullptr;
    const double number = std::strtod(text, &end);
    return end == text || !(number >= 0) ? fallback : number;
}

std::chrono::milliseconds DurationSetting(const char* variable,
                                          std::chrono::milliseconds fallback) {
    const double seconds = NumberSetting(variable, -1);
    return seconds < 0 ? fallback
                       : std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

bool SwitchSetting(const char* variable) {
    const char* text = std::getenv(variable);
    return text != nullptr && std::strcmp(text, "1") == 0;
}

}  // namespace word_component
