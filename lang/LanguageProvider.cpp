#include "lang/LanguageProvider.h"

std::string LangText(const char* section, const char* key) {
    const char* text = GetText(section, key);
    return text != nullptr ? std::string(text) : std::string();
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
