#include "ui/StartupSettings.h"

#include <sys/stat.h>

#include "common/ini/Ini.h"
#include "lang/LanguageProvider.h"
#include "platform/locale.h"
#include "platform/profile.h"
#include "platform/program_folder.h"
#include "platform/shell.h"

std::string ConfigFilePath() {
    return GetProgramFolder() + "Config.ini";
}

std::string StartupDestinationDir() {
    CIni config(ConfigFilePath().c_str());
    std::string folder = config.GetString("Setting", "DestinationDir", "");
    if (folder.empty()) {
        folder = platform::PersonalDocumentsFolder() + "/Tessaline";
    }
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

std::string StartupLanguageName() {
    CIni config(ConfigFilePath().c_str());
    std::string name = config.GetString("AppLanguage", "Language", "");
    return name.empty() ? DefaultLanguageName(GetUserDefaultUILanguage()) : name;
}

void CreateFolderIfMissing(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        ::mkdir(folder.c_str(), 0777);
    }
}

void WriteStartupSettings(const std::string& destinationDir, const std::string& language) {
    const std::string file = ConfigFilePath();
    WritePrivateProfileStringA("Setting", "DestinationDir", destinationDir.c_str(), file.c_str());
    WritePrivateProfileStringA("AppLanguage", "Language", language.c_str(), file.c_str());
}
