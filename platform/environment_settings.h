// The settings taken from the environment: every TESSALINE_* variable the system reads, in one
// table (README.md's table of settings shows the same), and one reader for each kind of value.
//
// A value is read anew on every call, so a process (or a test) that changes a variable sees the
// change. A value that is empty, or is not wholly a value of its kind (a negative or fractional
// count, "10s", "1e3"), is ignored: the setting's default applies, as when it is unset.
#pragma once

#include <chrono>
#include <span>
#include <string>

namespace platform {

enum class Setting {
    Root,
    OfficeProgram,
    Offices,
    OfficeCallSeconds,
    OfficeIdleSeconds,
    DocumentKeepSeconds,
    OfficeMaxDocuments,
    OfficeMaxMemoryMb,
    FetchRemoteContent,
    SpoolerWaitSeconds,
};

// The kind of value a setting takes, and so the reader that reads it.
enum class SettingKind {
    Duration,  // seconds, fractions allowed: "30", "0.5"
    Size,      // a whole number of MiB
    Count,     // a whole number
    Flag,      // on when exactly "1", off otherwise
    Path,      // any text but the empty one
};

struct SettingInfo {
    Setting setting;
    const char* name;  // the environment variable
    SettingKind kind;
    const char* defaultValue;  // written as the variable would be; "" when worked out elsewhere
    const char* meaning;
    bool zeroIsUnset = false;  // a number 0 is ignored as a bad value would be
};

// Every setting, in the order of Setting.
std::span<const SettingInfo> EnvironmentSettings();
const SettingInfo& DescribeSetting(Setting setting);

// The readers; each is for settings of its kind only.
std::chrono::milliseconds DurationSetting(Setting setting);
unsigned long SizeSettingMib(Setting setting);
unsigned long CountSetting(Setting setting);
bool FlagSetting(Setting setting);
// The value, else the default (which may be empty: the caller then works out its own).
std::string PathSetting(Setting setting);

}  // namespace platform
