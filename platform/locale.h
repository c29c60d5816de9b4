// The user's interface language as a Windows language id, derived from the POSIX locale.
#pragma once

#include <string_view>

#include "platform/win_types.h"

// LC_ALL, then LC_MESSAGES, then LANG: zh_CN gives 0x0804, en_US 0x0409. An unset, "C" or
// "POSIX" locale, and a language the table does not know, give 0x0409.
LANGID GetUserDefaultUILanguage();

namespace platform {
// The language id of one locale name such as "de_AT.UTF-8" or "zh_CN@pinyin"; 0 when unknown.
LANGID LanguageIdFromLocaleName(std::string_view name);
}  // namespace platform
