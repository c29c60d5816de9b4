#include "platform/locale.h"

#include <cstdlib>
#include <string>

#include "platform/text.h"

namespace platform {
namespace {

struct LanguageEntry {
    const char* name;  // "ll" or "ll_TT"
    LANGID id;
};

// Windows language ids of the locales a user is likely to run; a language without its
// territory gets its primary language with the default sublanguage.
constexpr LanguageEntry kLanguages[] = {
    {"zh_CN", 0x0804}, {"zh_SG", 0x1004}, {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"zh_MO", 0x1404},
    {"zh", 0x0804},    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009},
    {"en_NZ", 0x1409}, {"en_IE", 0x1809}, {"en_ZA", 0x1C09}, {"en_IN", 0x4009}, {"en", 0x0409},
    {"de_DE", 0x0407}, {"de_CH", 0x0807}, {"de_AT", 0x0C07}, {"de_LU", 0x1007}, {"de", 0x0407},
    {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"fr", 0x040C},
    {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"es_AR", 0x2C0A}, {"es", 0x0C0A},    {"it_IT", 0x0410},
    {"it_CH", 0x0810}, {"it", 0x0410},    {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"pt", 0x0416},
    {"nl_NL", 0x0413}, {"nl_BE", 0x0813}, {"nl", 0x0413},    {"ja", 0x0411},    {"ko", 0x0412},
    {"ru", 0x0419},    {"uk", 0x0422},    {"pl", 0x0415},    {"cs", 0x0405},    {"sk", 0x041B},
    {"hu", 0x040E},    {"ro", 0x0418},    {"bg", 0x0402},    {"el", 0x0408},    {"tr", 0x041F},
    {"sv", 0x041D},    {"da", 0x0406},    {"fi", 0x040B},    {"nb", 0x0414},    {"no", 0x0414},
    {"nn", 0x0814},    {"is", 0x040F},    {"et", 0x0425},    {"lv", 0x0426},    {"lt", 0x0427},
    {"sl", 0x0424},    {"hr", 0x041A},    {"sr", 0x081A},    {"ca", 0x0403},    {"he", 0x040D},
    {"ar", 0x0401},    {"fa", 0x0429},    {"hi", 0x0439},    {"th", 0x041E},    {"vi", 0x042A},
    {"id", 0x0421},    {"ms", 0x043E},    {"be", 0x0423},
};

constexpr LANGID kEnglishUnitedStates = 0x0409;

const char* LocaleForMessages() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return nullptr;
}

LANGID Lookup(std::string_view name) {
    for (const LanguageEntry& entry : kLanguages) {
        if (EqualsNoCase(entry.name, name)) {
            return entry.id;
        }
    }
    return 0;
}

}  // namespace

LANGID LanguageIdFromLocaleName(std::string_view name) {
    // "ll_TT.codeset@modifier": the codeset and modifier do not change the language.
    name = name.substr(0, name.find_first_of(".@"));
    std::string normalized(name);
    for (char& c : normalized) {
        if (c == '-') {
            c = '_';
        }
    }
    if (LANGID id = Lookup(normalized)) {
        return id;
    }
    return Lookup(std::string_view(normalized).substr(0, normalized.find('_')));
}

}  // namespace platform

LANGID GetUserDefaultUILanguage() {
    const char* locale = platform::LocaleForMessages();
    if (locale == nullptr) {
        return platform::kEnglishUnitedStates;
    }
    LANGID id = platform::LanguageIdFromLocaleName(locale);
    return id != 0 ? id : platform::kEnglishUnitedStates;
}
