// Vernello, the language library: every user-visible text of the program, by section and key,
// in the language the user picked. Texts are NUL-terminated UTF-8 (the system code page).
//
// Language files: one language per XML file, UTF-8 (a byte-order mark or an encoding
// declaration for another encoding is honoured):
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   <Language name="English">
//     <Section name="MsgBox">
//       <Text key="MsgBoxTitle">Tessaline</Text>
//       <Text key="CF">Conversion finished.</Text>
//     </Section>
//   </Language>
//
// - The root element is <Language>; its name attribute is the name the library lists (the file
//   name without its extension when the attribute is missing or empty).
// - <Section name="..."> holds <Text key="...">; sections of the same name are merged, and the
//   first text of a key counts. Other elements are ignored.
// - A text is taken exactly as written between its tags, entities resolved and nothing
//   trimmed; a line break is written "&#10;".
// - Language, section and key names are compared byte for byte, case-sensitively.
// - A file that is not well-formed XML or whose root is not <Language> is skipped.
#pragma once

#define VERNELLO_API __attribute__((visibility("default")))

extern "C" {

// Reads every file matching the pattern, in the order the folder lists them (ascending,
// ignoring case), and drops the languages read before. "\" separates folders as "/" does; a
// relative pattern is taken from the program folder; "*" and "?" match in the file name. Then
// English is selected, or the first language when there is no English.
VERNELLO_API void LoadLanguages(const char* pattern);

// The number of languages read by the last LoadLanguages; 0 before.
VERNELLO_API int GetLanguageCount();

// The name of language index (0 .. count - 1), or "" out of range; never null. The pointer
// stays valid until the next LoadLanguages.
VERNELLO_API const char* GetLanguageName(int index);

// Selects the first language of that name. An unknown name selects English (or the first
// language when there is no English).
VERNELLO_API void SelectLanguage(const char* name);

// The text of (section, key) in the selected language; when that language lacks it, the
// English text; when no language has it, "". Never null. Safe to call from any thread while
// another selects a language; the pointer stays valid until the next LoadLanguages.
VERNELLO_API const char* GetText(const char* section, const char* key);

}  // extern "C"
