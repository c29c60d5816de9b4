// What the program starts with from Config.ini in the program folder: the output folder and the
// interface language, with their defaults when the file or the value is missing.
#pragma once

#include <string>

// GetProgramFolder() followed by "Config.ini".
std::string ConfigFilePath();

// Setting/DestinationDir, or the personal documents folder followed by "/Tessaline" when it is
// empty; always ending in "/".
std::string StartupDestinationDir();

// AppLanguage/Language, or the default for the user's interface language when it is empty.
std::string StartupLanguageName();

// Creates the folder when nothing exists at that path (one level; a failure is left for the
// Convert command to report).
void CreateFolderIfMissing(const std::string& folder);

// Writes Setting/DestinationDir and AppLanguage/Language, as the window does when it closes. A
// file that cannot be written (a read-only program folder) is passed over: the next start uses
// the defaults.
void WriteStartupSettings(const std::string& destinationDir, const std::string& language);
