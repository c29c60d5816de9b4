// The program's view of the language library: its five calls (Vernello.h), and copies of texts
// and names for code that keeps them beyond the library's next call.
#pragma once

#include <string>
#include <vector>

#include "components/vernello/Vernello.h"

// The pattern the program loads its languages with at start-up, relative to the program folder.
inline constexpr char kLanguagePattern[] = "Languages\\*.xml";

inline constexpr char kLanguageEnglish[] = "English";
inline constexpr char kLanguageChinese[] = "Chinese";

// Chinese (PRC) as a user-interface language id.
inline constexpr unsigned kLangIdChineseSimplified = 0x0804;

// The text of (section, key) in the selected language, copied.
std::string LangText(const char* section, const char* key);

// `text` with each "{n}" replaced by values[n], as plain text: a translation may place them in
// any order, and nothing in a text or a value is read as a format. A "{n}" without a value
// stays as it is.
std::string FillPlaceholders(const std::string& text, const std::vector<std::string>& values);

// The languages the library lists, in its order, each name copied at once.
std::vector<std::string> LanguageNames();

// The language used when none is configured: Chinese on a Chinese (PRC) user interface,
// English on any other.
const char* DefaultLanguageName(unsigned uiLanguageId);
