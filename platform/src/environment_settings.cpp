#include "platform/environment_settings.h"

#include <cassert>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace platform {
namespace {

constexpr SettingInfo kSettings[] = {
    {Setting::Root, "TESSALINE_ROOT", SettingKind::Path, "",
     "The platform root, which holds every per-user file; unset: "
     "${XDG_DATA_HOME:-$HOME/.local/share}/tessaline"},
    {Setting::OfficeProgram, "TESSALINE_OFFICE_PROGRAM", SettingKind::Path,
     "/usr/lib/libreoffice/program/soffice.bin", "The office program the word processor runs"},
    {Setting::Offices, "TESSALINE_OFFICES", SettingKind::Count, "0",
     "Lowers the number of offices a process may run; 0: one per processor core, two at most"},
    {Setting::OfficeCallSeconds, "TESSALINE_OFFICE_CALL_SECONDS", SettingKind::Duration, "30",
     "A call an office does not answer in this time fails its document, and the office is "
     "replaced; 0 counts as unset",
     true},
    {Setting::OfficeIdleSeconds, "TESSALINE_OFFICE_IDLE_SECONDS", SettingKind::Duration, "60",
     "Offices end after this time without users"},
    {Setting::DocumentKeepSeconds, "TESSALINE_DOCUMENT_KEEP_SECONDS", SettingKind::Duration, "30",
     "A document just closed stays loaded this long; 0 keeps none"},
    {Setting::OfficeMaxDocuments, "TESSALINE_OFFICE_MAX_DOCUMENTS", SettingKind::Count, "200",
     "An office that has loaded this many documents is replaced between documents; 0: no bound"},
    {Setting::OfficeMaxMemoryMb, "TESSALINE_OFFICE_MAX_MEMORY_MB", SettingKind::Size, "1024",
     "An office whose resident memory exceeds this is replaced between documents; 0: no bound"},
    {Setting::FetchRemoteContent, "TESSALINE_FETCH_REMOTE_CONTENT", SettingKind::Flag, "0",
     "1 lets the offices fetch content documents link from the network, as "
     "--fetch-linked-pictures does"},
    {Setting::SpoolerWaitSeconds, "TESSALINE_SPOOLER_WAIT_SECONDS", SettingKind::Duration, "300",
     "How long the spooler service waits for the printing program's pipe before it drops the "
     "job"},
};

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool AllDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// A whole number that fits.
std::optional<unsigned long> WholeNumber(std::string_view text) {
    text = Trimmed(text);
    if (!AllDigits(text)) {
        return std::nullopt;
    }
    const std::string digits(text);
    errno = 0;
    const unsigned long number = std::strtoul(digits.c_str(), nullptr, 10);
    if (errno == ERANGE) {
        return std::nullopt;
    }
    return number;
}

// Seconds written as digits with at most one decimal point ("30", "0.5", "2."), in milliseconds.
std::optional<std::chrono::milliseconds> Seconds(std::string_view text) {
    text = Trimmed(text);
    const auto point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if ((whole.empty() && fraction.empty()) || (!whole.empty() && !AllDigits(whole)) ||
        (!fraction.empty() && !AllDigits(fraction))) {
        return std::nullopt;
    }
    const double seconds = std::strtod(std::string(text).c_str(), nullptr);
    // Beyond this, milliseconds would not fit; nobody means a wait of three hundred years.
    if (!std::isfinite(seconds) || seconds > 1e10) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(std::llround(seconds * 1000));
}

// The variable's value; nothing when it is unset or empty.
std::optional<std::string_view> Value(const SettingInfo& info) {
    const char* value = std::getenv(info.name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string_view(value);
}

// The value as `parse` reads it; the default when it is unset or not of its kind.
template <typename T>
T Read(Setting setting, SettingKind kind, std::optional<T> (*parse)(std::string_view)) {
    const SettingInfo& info = DescribeSetting(setting);
    assert(info.kind == kind);
    (void)kind;
    if (const auto value = Value(info)) {
        const std::optional<T> parsed = parse(*value);
        if (parsed && !(info.zeroIsUnset && *parsed == T{})) {
            return *parsed;
        }
    }
    const std::optional<T> fallback = parse(info.defaultValue);
    assert(fallback.has_value());
    return fallback.value_or(T{});
}

}  // namespace

std::span<const SettingInfo> EnvironmentSettings() {
    return kSettings;
}

const SettingInfo& DescribeSetting(Setting setting) {
    const SettingInfo& info = kSettings[static_cast<size_t>(setting)];
    assert(info.setting == setting);
    return info;
}

std::chrono::milliseconds DurationSetting(Setting setting) {
    return Read(setting, SettingKind::Duration, Seconds);
}

unsigned long SizeSettingMib(Setting setting) {
    return Read(setting, SettingKind::Size, WholeNumber);
}

unsigned long CountSetting(Setting setting) {
    return Read(setting, SettingKind::Count, WholeNumber);
}

bool FlagSetting(Setting setting) {
    const SettingInfo& info = DescribeSetting(setting);
    assert(info.kind == SettingKind::Flag);
    return Value(info).value_or(info.defaultValue) == "1";
}

std::string PathSetting(Setting setting) {
    const SettingInfo& info = DescribeSetting(setting);
    assert(info.kind == SettingKind::Path);
    return std::string(Value(info).value_or(info.defaultValue));
}

}  // namespace platform
