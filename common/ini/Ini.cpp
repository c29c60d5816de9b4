#include "common/ini/Ini.h"

#include <locale.h>
#include <stdio.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "platform/profile.h"
#include "platform/text.h"

namespace {

// Values grow in these steps while a read may have been cut.
constexpr DWORD kReadStep = 512;

// A key holding exactly this text counts as missing.
constexpr char kMissingKeyMarker[] = "{63788286-AE30-4D6B-95DF-3B451C1C79F9}";

using ListItemProc = BOOL (*)(LPCSTR item, LPVOID userData);

char* CopyText(LPCSTR text) {
    size_t length = std::strlen(text);
    char* copy = new char[length + 1];
    std::memcpy(copy, text, length + 1);
    return copy;
}

std::unique_ptr<char[]> ZeroedBuffer(size_t size) {
    return std::make_unique<char[]>(size);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Removes blanks, tabs, CR and LF from both ends in place; reports whether anything went.
BOOL TrimBlanks(LPSTR text) {
    size_t length = std::strlen(text);
    size_t end = length;
    while (end > 0 && IsBlank(text[end - 1])) {
        --end;
    }
    size_t start = 0;
    while (start < end && IsBlank(text[start])) {
        ++start;
    }
    if (start == 0 && end == length) {
        return FALSE;
    }
    std::memmove(text, text + start, end - start);
    text[end - start] = '\0';
    return TRUE;
}

int NormalizeBase(int base) {
    return base == 2 || base == 8 || base == 16 ? base : 10;
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'Z') {
        return c - 'A' + 10;
    }
    return 99;
}

// strtoul as on Windows, where unsigned long has 32 bits: leading white space, an optional
// sign, "0x" in base 16, stops at the first invalid character; overflow gives 0xFFFFFFFF and a
// '-' negates in 32 bits. The host's strtoul would work in 64 bits and wrap differently.
DWORD ParseUInt32(LPCSTR text, int base) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (base == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2]) < 16) {
        p += 2;
    }
    std::uint64_t value = 0;
    for (; DigitValue(*p) < base; ++p) {
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(DigitValue(*p));
        if (value > 0xFFFFFFFFu) {
            return 0xFFFFFFFFu;
        }
    }
    DWORD result = static_cast<DWORD>(value);
    return negative ? 0u - result : result;
}

BOOL ParseBool(LPCSTR text) {
    if (lstrcmpiA(text, "true") == 0 || lstrcmpiA(text, "yes") == 0) {
        return TRUE;
    }
    // Only zero or non-zero matters, which the unsigned reading keeps for signed text too.
    return ParseUInt32(text, 10) != 0 ? TRUE : FALSE;
}

// Numbers are read and written in the "C" locale whatever LC_NUMERIC the process has set.
locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return locale;
}

// Calls proc for each item of a double-NUL-terminated list until it returns 0. Returns 1 when
// the end of the list was reached.
BOOL ForEachInList(LPCSTR list, ListItemProc proc, LPVOID userData) {
    for (LPCSTR item = list; *item != '\0'; item += std::strlen(item) + 1) {
        if (!proc(item, userData)) {
            return FALSE;
        }
    }
    return TRUE;
}

// Appends one item to a list under construction in buffer[0, size), cut to the room left.
// One byte is always kept for the list's final NUL, so the list stays terminated inside the
// buffer; an item that cannot keep even one character is left out, as an empty item would end
// the list. Returns the bytes stored (item and its NUL).
DWORD AppendItem(LPCSTR item, size_t length, LPSTR buffer, DWORD size, DWORD used) {
    if (length == 0 || static_cast<size_t>(used) + 3 > size) {
        return 0;
    }
    size_t room = size - used - 2;
    size_t stored = length < room ? length : room;
    std::memcpy(buffer + used, item, stored);
    buffer[used + stored] = '\0';
    buffer[used + stored + 1] = '\0';
    return static_cast<DWORD>(stored + 1);
}

// Splits text at every occurrence of delimiter (null: ",") into a list in buffer. Returns the
// bytes the stored items and their NULs take, without the list's final NUL.
DWORD SplitToList(LPCSTR text, LPSTR buffer, DWORD size, LPCSTR delimiter, BOOL trim) {
    if (size == 0) {
        return 0;
    }
    buffer[0] = '\0';
    if (*text == '\0') {
        return 0;
    }
    if (delimiter == nullptr) {
        delimiter = ",";
    }
    if (*delimiter == '\0') {
        // The whole text as one item; the returned count leaves out its NUL.
        DWORD stored = AppendItem(text, std::strlen(text), buffer, size, 0);
        return stored > 0 ? stored - 1 : 0;
    }
    size_t delimiterLength = std::strlen(delimiter);
    DWORD used = 0;
    std::string piece;
    LPCSTR start = text;
    for (;;) {
        LPCSTR found = std::strstr(start, delimiter);
        size_t length = found != nullptr ? static_cast<size_t>(found - start) : std::strlen(start);
        piece.assign(start, length);
        if (trim) {
            TrimBlanks(piece.data());
            piece.resize(std::strlen(piece.c_str()));
        }
        used += AppendItem(piece.c_str(), piece.size(), buffer, size, used);
        if (found == nullptr) {
            break;
        }
        start = found + delimiterLength;
    }
    return used;
}

// The size a listing needs (count plus both NULs), probed with a buffer growing in steps.
template <typename Read>
DWORD ProbeListSize(Read read) {
    for (DWORD size = kReadStep;; size += kReadStep) {
        auto buffer = ZeroedBuffer(size + 1);
        DWORD count = read(buffer.get(), size);
        if (count + 2 < size) {
            return count + 2;
        }
    }
}

void AppendHex(std::string& text, const BYTE* data, DWORD size) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    text.reserve(text.size() + static_cast<size_t>(size) * 2);
    for (DWORD i = 0; i < size; ++i) {
        text.push_back(kDigits[data[i] >> 4]);
        text.push_back(kDigits[data[i] & 0x0F]);
    }
}

void PutLong(BYTE* out, LONG value) {
    auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<BYTE>(bits >> (8 * i));
    }
}

LONG GetLong(const BYTE* in) {
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        bits |= static_cast<std::uint32_t>(in[i]) << (8 * i);
    }
    return static_cast<LONG>(bits);
}

// Formats an unsigned number in base 2, 8 or 16 (uppercase), or in decimal as signed or not.
std::string FormatNumber(DWORD bits, bool isSigned, int base) {
    char text[72] = {};
    switch (NormalizeBase(base)) {
        case 2: {
            // Most significant digit first, no leading zeros.
            char* p = text + sizeof(text) - 1;
            do {
                *--p = static_cast<char>('0' + (bits & 1));
                bits >>= 1;
            } while (bits != 0);
            return p;
        }
        case 8:
            snprintf(text, sizeof(text), "%o", bits);
            break;
        case 16:
            snprintf(text, sizeof(text), "%X", bits);
            break;
        default:
            if (isSigned) {
                snprintf(text, sizeof(text), "%d", static_cast<int>(bits));
            } else {
                snprintf(text, sizeof(text), "%u", bits);
            }
            break;
    }
    return text;
}

struct KeyNamesState {
    LPSTR buffer;
    DWORD size;
    DWORD used;
    std::string name;
};

BOOL CollectKeyName(LPCSTR line, LPVOID userData) {
    auto* state = static_cast<KeyNamesState*>(userData);
    LPCSTR equals = std::strchr(line, '=');
    if (equals == nullptr || equals == line) {
        return TRUE;
    }
    state->name.assign(line, equals);
    TrimBlanks(state->name.data());
    size_t length = std::strlen(state->name.c_str());
    if (state->buffer == nullptr) {
        // A blank name would end the list, so it is not counted either.
        state->used += length > 0 ? static_cast<DWORD>(length + 1) : 0;
    } else {
        state->used +=
            AppendItem(state->name.c_str(), length, state->buffer, state->size, state->used);
    }
    return TRUE;
}

struct FindNameState {
    LPCSTR name;
};

BOOL DiffersFromName(LPCSTR item, LPVOID userData) {
    return lstrcmpiA(item, static_cast<FindNameState*>(userData)->name) != 0 ? TRUE : FALSE;
}

}  // namespace

CIni::CIni() = default;

CIni::CIni(LPCSTR path) {
    SetPath(path);
}

CIni::CIni(const CIni& other) {
    if (other.m_pszPath != nullptr) {
        m_pszPath = CopyText(other.m_pszPath);
    }
}

CIni& CIni::operator=(const CIni& other) {
    if (this != &other) {
        char* copy = other.m_pszPath != nullptr ? CopyText(other.m_pszPath) : nullptr;
        delete[] m_pszPath;
        m_pszPath = copy;
    }
    return *this;
}

CIni::~CIni() {
    delete[] m_pszPath;
}

void CIni::SetPath(LPCSTR path) {
    if (path == nullptr) {
        if (m_pszPath != nullptr) {
            m_pszPath[0] = '\0';
        }
        return;
    }
    // Copied before the old text goes, in case path points into it.
    char* copy = CopyText(path);
    delete[] m_pszPath;
    m_pszPath = copy;
}

DWORD CIni::GetPath(LPSTR buffer, DWORD size) const {
    size_t length = std::strlen(Path());
    if (buffer == nullptr) {
        return static_cast<DWORD>(length);
    }
    if (size == 0) {
        return 0;
    }
    size_t copied = length < size ? length : size - 1;
    std::memcpy(buffer, Path(), copied);
    buffer[copied] = '\0';
    return static_cast<DWORD>(copied);
}

LPCSTR CIni::Path() const {
    return m_pszPath != nullptr ? m_pszPath : "";
}

std::unique_ptr<char[]> CIni::ReadValue(LPCSTR section, LPCSTR key, LPCSTR defaultValue) const {
    if (section == nullptr || key == nullptr) {
        auto copy = ZeroedBuffer(defaultValue != nullptr ? std::strlen(defaultValue) + 1 : 1);
        if (defaultValue != nullptr) {
            std::strcpy(copy.get(), defaultValue);
        }
        return copy;
    }
    for (DWORD size = kReadStep;; size += kReadStep) {
        auto buffer = ZeroedBuffer(size + 1);
        DWORD count = GetPrivateProfileStringA(section, key, defaultValue ? defaultValue : "",
                                               buffer.get(), size, Path());
        // A count of size - 1 may mean the value was cut.
        if (count + 1 < size) {
            return buffer;
        }
    }
}

DWORD CIni::GetString(LPCSTR section, LPCSTR key, LPSTR buffer, DWORD size,
                      LPCSTR defaultValue) const {
    if (buffer != nullptr && size > 0) {
        buffer[0] = '\0';
    }
    auto value = ReadValue(section, key, defaultValue);
    size_t length = std::strlen(value.get());
    if (buffer == nullptr) {
        return static_cast<DWORD>(length);
    }
    size_t copied = length < size ? length : size;
    std::memcpy(buffer, value.get(), copied);
    if (copied < size) {
        buffer[copied] = '\0';
    }
    return static_cast<DWORD>(copied);
}

#ifdef TESSALINE_INI_OWNED_STRING
std::string CIni::GetString(LPCSTR section, LPCSTR key, LPCSTR defaultValue) const {
    return ReadValue(section, key, defaultValue).get();
}
#endif

BOOL CIni::WriteString(LPCSTR section, LPCSTR key, LPCSTR value) const {
    if (section == nullptr || key == nullptr) {
        return FALSE;
    }
    return WritePrivateProfileStringA(section, key, value != nullptr ? value : "", Path());
}

BOOL CIni::AppendString(LPCSTR section, LPCSTR key, LPCSTR text) const {
    if (text == nullptr) {
        return FALSE;
    }
    std::string value = ReadValue(section, key, nullptr).get();
    value += text;
    return WriteString(section, key, value.c_str());
}

DWORD CIni::GetList(LPCSTR section, LPCSTR key, LPSTR buffer, DWORD size, LPCSTR delimiter,
                    BOOL trim) const {
    if (buffer != nullptr && size > 0) {
        buffer[0] = '\0';
    }
    if (section == nullptr || key == nullptr) {
        return 0;
    }
    auto value = ReadValue(section, key, nullptr);
    size_t length = std::strlen(value.get());
    if (length == 0) {
        return 0;
    }
    if (buffer != nullptr) {
        return SplitToList(value.get(), buffer, size, delimiter, trim);
    }
    // The items and their NULs never take more than the text plus two bytes.
    auto scratch = ZeroedBuffer(length + 2);
    return SplitToList(value.get(), scratch.get(), static_cast<DWORD>(length + 2), delimiter, trim);
}

int CIni::GetInt(LPCSTR section, LPCSTR key, int defaultValue, int base) const {
    return static_cast<int>(GetUInt(section, key, static_cast<UINT>(defaultValue), base));
}

UINT CIni::GetUInt(LPCSTR section, LPCSTR key, UINT defaultValue, int base) const {
    char text[65] = {};
    GetString(section, key, text, 64);
    if (text[0] == '\0') {
        return defaultValue;
    }
    return ParseUInt32(text, NormalizeBase(base));
}

BOOL CIni::GetBool(LPCSTR section, LPCSTR key, BOOL defaultValue) const {
    char text[65] = {};
    GetString(section, key, text, 64);
    if (text[0] == '\0') {
        return defaultValue;
    }
    return ParseBool(text);
}

double CIni::GetDouble(LPCSTR section, LPCSTR key, double defaultValue) const {
    char text[65] = {};
    GetString(section, key, text, 64);
    if (text[0] == '\0') {
        return defaultValue;
    }
    return strtod_l(text, nullptr, CLocale());
}

char CIni::GetChar(LPCSTR section, LPCSTR key, char defaultValue) const {
    char text[2] = {};
    GetString(section, key, text, 1);
    return text[0] != '\0' ? text[0] : defaultValue;
}

BOOL CIni::WriteInt(LPCSTR section, LPCSTR key, int value, int base) const {
    return WriteString(section, key, FormatNumber(static_cast<DWORD>(value), true, base).c_str());
}

BOOL CIni::WriteUInt(LPCSTR section, LPCSTR key, UINT value, int base) const {
    return WriteString(section, key, FormatNumber(value, false, base).c_str());
}

BOOL CIni::WriteBool(LPCSTR section, LPCSTR key, BOOL value) const {
    return WriteInt(section, key, value ? 1 : 0, 10);
}

BOOL CIni::WriteDouble(LPCSTR section, LPCSTR key, double value, int precision) const {
    char format[32] = "%f";
    if (precision > 0) {
        snprintf(format, sizeof(format), "%%.%df", precision);
    }
    locale_t previous = uselocale(CLocale());
    // Large values and precisions can need hundreds of digits: measure first.
    int length = snprintf(nullptr, 0, format, value);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    snprintf(text.data(), text.size() + 1, format, value);
    uselocale(previous);
    return WriteString(section, key, text.c_str());
}

BOOL CIni::WriteChar(LPCSTR section, LPCSTR key, char value) const {
    const char text[2] = {value, '\0'};
    return WriteString(section, key, text);
}

BOOL CIni::AddToInt(LPCSTR section, LPCSTR key, int increment, int base) const {
    // Added in 32-bit unsigned arithmetic, which wraps where a signed sum could overflow.
    DWORD sum = static_cast<DWORD>(GetInt(section, key, 0, base)) + static_cast<DWORD>(increment);
    return WriteInt(section, key, static_cast<int>(sum), base);
}

BOOL CIni::AddToUInt(LPCSTR section, LPCSTR key, UINT increment, int base) const {
    return WriteUInt(section, key, GetUInt(section, key, 0, base) + increment, base);
}

BOOL CIni::AddToDouble(LPCSTR section, LPCSTR key, double increment, int precision) const {
    return WriteDouble(section, key, GetDouble(section, key, 0.0) + increment, precision);
}

BOOL CIni::ToggleBool(LPCSTR section, LPCSTR key) const {
    return WriteBool(section, key, !GetBool(section, key, FALSE));
}

DWORD CIni::GetHexBlock(LPCSTR section, LPCSTR key, LPVOID buffer, DWORD size, DWORD offset) const {
    auto value = ReadValue(section, key, nullptr);
    LPCSTR text = value.get();
    size_t length = std::strlen(text);
    if (std::strspn(text, "0123456789abcdefABCDEF") != length) {
        return 0;
    }
    size_t bytes = length / 2;
    if (offset >= bytes) {
        return 0;
    }
    size_t available = bytes - offset;
    if (buffer == nullptr) {
        return static_cast<DWORD>(available);
    }
    size_t count = available < size ? available : size;
    auto* out = static_cast<BYTE*>(buffer);
    LPCSTR in = text + static_cast<size_t>(offset) * 2;
    for (size_t i = 0; i < count; ++i) {
        out[i] = static_cast<BYTE>(DigitValue(in[2 * i]) << 4 | DigitValue(in[2 * i + 1]));
    }
    return static_cast<DWORD>(count);
}

BOOL CIni::WriteHexBlock(LPCSTR section, LPCSTR key, LPCVOID data, DWORD size) const {
    if (data == nullptr) {
        return FALSE;
    }
    std::string text;
    AppendHex(text, static_cast<const BYTE*>(data), size);
    return WriteString(section, key, text.c_str());
}

BOOL CIni::AppendHexBlock(LPCSTR section, LPCSTR key, LPCVOID data, DWORD size) const {
    if (data == nullptr) {
        return FALSE;
    }
    std::string text;
    AppendHex(text, static_cast<const BYTE*>(data), size);
    return AppendString(section, key, text.c_str());
}

POINT CIni::GetPoint(LPCSTR section, LPCSTR key, POINT defaultValue) const {
    BYTE bytes[8] = {};
    if (GetHexBlock(section, key, bytes, sizeof(bytes), 0) != sizeof(bytes)) {
        return defaultValue;
    }
    return POINT{GetLong(bytes), GetLong(bytes + 4)};
}

RECT CIni::GetRect(LPCSTR section, LPCSTR key, RECT defaultValue) const {
    BYTE bytes[16] = {};
    if (GetHexBlock(section, key, bytes, sizeof(bytes), 0) != sizeof(bytes)) {
        return defaultValue;
    }
    return RECT{GetLong(bytes), GetLong(bytes + 4), GetLong(bytes + 8), GetLong(bytes + 12)};
}

BOOL CIni::WritePoint(LPCSTR section, LPCSTR key, POINT value) const {
    BYTE bytes[8];
    PutLong(bytes, value.x);
    PutLong(bytes + 4, value.y);
    return WriteHexBlock(section, key, bytes, sizeof(bytes));
}

BOOL CIni::WriteRect(LPCSTR section, LPCSTR key, RECT value) const {
    BYTE bytes[16];
    PutLong(bytes, value.left);
    PutLong(bytes + 4, value.top);
    PutLong(bytes + 8, value.right);
    PutLong(bytes + 12, value.bottom);
    return WriteHexBlock(section, key, bytes, sizeof(bytes));
}

DWORD CIni::GetSectionLines(LPCSTR section, LPSTR buffer, DWORD size) const {
    if (buffer != nullptr && size > 0) {
        buffer[0] = '\0';
    }
    if (section == nullptr) {
        return 0;
    }
    if (buffer != nullptr) {
        return GetPrivateProfileSectionA(section, buffer, size, Path());
    }
    return ProbeListSize([&](LPSTR probe, DWORD probeSize) {
        return GetPrivateProfileSectionA(section, probe, probeSize, Path());
    });
}

DWORD CIni::GetKeyNames(LPCSTR section, LPSTR buffer, DWORD size) const {
    if (buffer != nullptr && size > 0) {
        buffer[0] = '\0';
    }
    if (section == nullptr) {
        return 0;
    }
    DWORD needed = GetSectionLines(section, nullptr, 0);
    // One spare zero byte keeps the list terminated even if the file grew meanwhile.
    auto lines = ZeroedBuffer(static_cast<size_t>(needed) + 1);
    GetSectionLines(section, lines.get(), needed);
    KeyNamesState state{buffer, size, 0, {}};
    ForEachInList(lines.get(), CollectKeyName, &state);
    return state.used;
}

DWORD CIni::GetSectionNames(LPSTR buffer, DWORD size) const {
    if (buffer != nullptr) {
        return GetPrivateProfileSectionNamesA(buffer, size, Path());
    }
    return ProbeListSize([&](LPSTR probe, DWORD probeSize) {
        return GetPrivateProfileSectionNamesA(probe, probeSize, Path());
    });
}

BOOL CIni::HasSection(LPCSTR section) const {
    if (section == nullptr) {
        return FALSE;
    }
    DWORD needed = GetSectionNames(nullptr, 0);
    auto names = ZeroedBuffer(static_cast<size_t>(needed) + 1);
    GetSectionNames(names.get(), needed);
    FindNameState state{section};
    return ForEachInList(names.get(), DiffersFromName, &state) ? FALSE : TRUE;
}

BOOL CIni::HasKey(LPCSTR section, LPCSTR key) const {
    if (section == nullptr || key == nullptr) {
        return FALSE;
    }
    auto value = ReadValue(section, key, kMissingKeyMarker);
    return std::strcmp(value.get(), kMissingKeyMarker) != 0 ? TRUE : FALSE;
}

BOOL CIni::DeleteSection(LPCSTR section) const {
    if (section == nullptr) {
        return FALSE;
    }
    return WritePrivateProfileStringA(section, nullptr, "", Path());
}

BOOL CIni::DeleteKey(LPCSTR section, LPCSTR key) const {
    // A null key would make the profile function delete the whole section.
    if (section == nullptr || key == nullptr) {
        return FALSE;
    }
    return WritePrivateProfileStringA(section, key, nullptr, Path());
}

BOOL CIni::CopySection(LPCSTR from, LPCSTR to, BOOL failIfExists) const {
    if (from == nullptr || to == nullptr || lstrcmpiA(from, to) == 0 || !HasSection(from)) {
        return FALSE;
    }
    if (failIfExists && HasSection(to)) {
        return FALSE;
    }
    DeleteSection(to);
    DWORD size = GetSectionLines(from, nullptr, 0) + 2;
    auto lines = ZeroedBuffer(size);
    GetSectionLines(from, lines.get(), size);
    return WritePrivateProfileSectionA(to, lines.get(), Path());
}

BOOL CIni::CopyKey(LPCSTR fromSection, LPCSTR fromKey, LPCSTR toSection, LPCSTR toKey,
                   BOOL failIfExists) const {
    if (fromSection == nullptr || fromKey == nullptr || toSection == nullptr || toKey == nullptr) {
        return FALSE;
    }
    if (lstrcmpiA(fromSection, toSection) == 0 && lstrcmpiA(fromKey, toKey) == 0) {
        return FALSE;
    }
    if (!HasKey(fromSection, fromKey) || (failIfExists && HasKey(toSection, toKey))) {
        return FALSE;
    }
    auto value = ReadValue(fromSection, fromKey, nullptr);
    return WriteString(toSection, toKey, value.get());
}

BOOL CIni::MoveSection(LPCSTR from, LPCSTR to, BOOL failIfExists) const {
    // The source goes only once the copy is in place; a failed copy must not lose it.
    if (!CopySection(from, to, failIfExists)) {
        return FALSE;
    }
    return DeleteSection(from);
}

BOOL CIni::MoveKey(LPCSTR fromSection, LPCSTR fromKey, LPCSTR toSection, LPCSTR toKey,
                   BOOL failIfExists) const {
    if (!CopyKey(fromSection, fromKey, toSection, toKey, failIfExists)) {
        return FALSE;
    }
    return DeleteKey(fromSection, fromKey);
}
