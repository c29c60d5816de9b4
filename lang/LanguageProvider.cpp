#include "lang/LanguageProvider.h"

std::string LangText(const char* section, const char* key) {
    const char* text = GetText(section, key);
    return text != nullptr ? std::string(text) : std::string();
}

std::string FillPlaceholders(const std::string& text, const std::vector<std::string>& values) {
    std::string filled;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t open = text.find('{', at);
        const std::size_t close = open == std::string::npos ? open : text.find('}', open);
        if (close == std::string::npos) {
            break;
        }
        filled.append(text, at, open - at);
        const std::string index = text.substr(open + 1, close - open - 1);
        const bool digits = !index.empty() && index.size() < 4 &&
                            index.find_first_not_of("0123456789") == std::string::npos;
        if (digits && std::stoul(index) < values.size()) {
            filled += values[std::stoul(index)];
            at = close + 1;
        } else {
            filled += '{';
            at = open + 1;
        }
    }
    filled.append(text, at, std::string::npos);
    return filled;
}

std::vector<std::string> LanguageNames() {
    std::vector<std::string> names;
    const int count = GetLanguageCount();
    for (int index = 0; index < count; ++index) {
        const char* name = GetLanguageName(index);
        names.emplace_back(name != nullptr ? name : "");
    }
    return names;
}

const char* DefaultLanguageName(unsigned uiLanguageId) {
    return uiLanguageId == kLangIdChineseSimplified ? kLanguageChinese : kLanguageEnglish;
}
