#include "platform/environment_settings.h"

#include <fstream>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/scoped_environment.h"

using platform::Setting;
using testing_support::ScopedEnvVar;
using namespace std::chrono_literals;

namespace {

const char* Name(Setting setting) {
    return platform::DescribeSetting(setting).name;
}

}  // namespace

TEST(EnvironmentSettings, DurationsAreSecondsAndABadValueGivesTheDefault) {
    const Setting keep = Setting::DocumentKeepSeconds;  // default 30
    {
        ScopedEnvVar unset(Name(keep), std::nullopt);
        EXPECT_EQ(platform::DurationSetting(keep), 30s);
    }
    const std::map<std::string, std::chrono::milliseconds> good = {
        {"0", 0ms}, {"2.5", 2500ms}, {" 7 ", 7s}, {".25", 250ms}, {"600", 600s}};
    for (const auto& [text, expected] : good) {
        ScopedEnvVar value(Name(keep), text);
        EXPECT_EQ(platform::DurationSetting(keep), expected) << '"' << text << '"';
    }
    for (const char* bad : {"", "-1", "abc", "10s", "1e3", "inf", ".", "1.2.3", "99999999999"}) {
        ScopedEnvVar value(Name(keep), bad);
        EXPECT_EQ(platform::DurationSetting(keep), 30s) << '"' << bad << '"';
    }
    // No limit on calls into the office would let a hung office hold its document for ever.
    ScopedEnvVar noLimit(Name(Setting::OfficeCallSeconds), "0");
    EXPECT_EQ(platform::DurationSetting(Setting::OfficeCallSeconds), 30s);
}

TEST(EnvironmentSettings, CountsAndSizesAreWholeNumbers) {
    const Setting documents = Setting::OfficeMaxDocuments;  // default 200
    const Setting memory = Setting::OfficeMaxMemoryMb;      // default 1024
    {
        ScopedEnvVar count(Name(documents), "0");
        ScopedEnvVar size(Name(memory), " 512");
        EXPECT_EQ(platform::CountSetting(documents), 0u) << "0 turns the bound off";
        EXPECT_EQ(platform::SizeSettingMib(memory), 512u);
    }
    for (const char* bad : {"", "2.5", "-2", "x", "3 documents", "99999999999999999999999"}) {
        ScopedEnvVar count(Name(documents), bad);
        ScopedEnvVar size(Name(memory), bad);
        EXPECT_EQ(platform::CountSetting(documents), 200u) << '"' << bad << '"';
        EXPECT_EQ(platform::SizeSettingMib(memory), 1024u) << '"' << bad << '"';
    }
}

TEST(EnvironmentSettings, AFlagIsOnOnlyAsOneAndAnEmptyPathIsUnset) {
    const Setting fetch = Setting::FetchRemoteContent;
    for (const char* off : {"", "0", "yes", "true", " 1"}) {
        ScopedEnvVar value(Name(fetch), off);
        EXPECT_FALSE(platform::FlagSetting(fetch)) << '"' << off << '"';
    }
    ScopedEnvVar on(Name(fetch), "1");
    EXPECT_TRUE(platform::FlagSetting(fetch));

    const Setting program = Setting::OfficeProgram;
    {
        ScopedEnvVar empty(Name(program), "");
        EXPECT_EQ(platform::PathSetting(program), "/usr/lib/libreoffice/program/soffice.bin");
    }
    ScopedEnvVar spaced(Name(program), "/opt/an office/soffice.bin");
    EXPECT_EQ(platform::PathSetting(program), "/opt/an office/soffice.bin");
}

// README.md's table is the users' list: every setting there once, with its unit and default.
TEST(EnvironmentSettings, TheReadmeTableListsEverySettingWithItsDefault) {
    std::ifstream readme(std::string(TESSALINE_SOURCE_DIR) + "/README.md");
    ASSERT_TRUE(readme) << "README.md not found";
    std::map<std::string, std::string> rows;  // variable -> the rest of its row
    for (std::string line; std::getline(readme, line);) {
        const std::string start = "| `TESSALINE_";
        if (line.compare(0, start.size(), start) == 0) {
            const auto end = line.find('`', 3);
            EXPECT_TRUE(rows.emplace(line.substr(3, end - 3), line.substr(end + 1)).second) << line;
        }
    }
    const std::map<platform::SettingKind, std::string> units = {
        {platform::SettingKind::Duration, "seconds"},
        {platform::SettingKind::Size, "MiB"},
        {platform::SettingKind::Count, "count"},
        {platform::SettingKind::Flag, "flag"},
        {platform::SettingKind::Path, "path"}};
    for (const platform::SettingInfo& info : platform::EnvironmentSettings()) {
        const auto row = rows.find(info.name);
        ASSERT_NE(row, rows.end()) << info.name << " is not in README.md's table";
        EXPECT_EQ(row->second.find(" | " + units.at(info.kind) + " | "), 0u) << row->second;
        if (*info.defaultValue != '\0') {
            EXPECT_NE(row->second.find("| `" + std::string(info.defaultValue) + "`"),
                      std::string::npos)
                << info.name << " has another default in README.md";
        }
        rows.erase(row);
    }
    for (const auto& [name, row] : rows) {
        ADD_FAILURE() << name << " is in README.md's table but is read nowhere";
    }
}
