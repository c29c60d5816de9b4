#include "platform/text.h"

#include <locale.h>
#include <wctype.h>

#include <cstring>

#include "platform/last_error.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at text[i]; advances i. Returns false for an invalid sequence
// (overlong, surrogate, beyond U+10FFFF, truncated), consuming one byte.
bool DecodeUtf8(const unsigned char* text, size_t length, size_t& i, char32_t& out) {
    unsigned char lead = text[i];
    if (lead < 0x80) {
        out = lead;
        ++i;
        return true;
    }
    int extra;
    char32_t min;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        min = 0x80;
        out = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        min = 0x800;
        out = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        min = 0x10000;
        out = lead & 0x07;
    } else {
        ++i;
        return false;
    }
    if (length - i <= static_cast<size_t>(extra)) {
        ++i;
        return false;
    }
    for (int k = 1; k <= extra; ++k) {
        unsigned char next = text[i + k];
        if ((next & 0xC0) != 0x80) {
            ++i;
            return false;
        }
        out = (out << 6) | (next & 0x3F);
    }
    if (out < min || out > 0x10FFFF || (out >= 0xD800 && out <= 0xDFFF)) {
        ++i;
        return false;
    }
    i += extra + 1;
    return true;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

// UTF-8 to UTF-16; false when strict and the input is invalid.
bool ConvertToUtf16(std::string_view in, bool strict, std::u16string& out) {
    out.clear();
    out.reserve(in.size());
    const auto* bytes = reinterpret_cast<const unsigned char*>(in.data());
    size_t i = 0;
    while (i < in.size()) {
        char32_t c;
        if (!DecodeUtf8(bytes, in.size(), i, c)) {
            if (strict) {
                return false;
            }
            c = kReplacement;
        }
        AppendUtf16(out, c);
    }
    return true;
}

bool ConvertToUtf8(std::u16string_view in, bool strict, std::string& out) {
    out.clear();
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        char32_t c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
            in[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            if (strict) {
                return false;
            }
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return true;
}

bool SupportedCodePage(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP ||
           codePage == CP_UTF8;
}

// The C.UTF-8 locale's case tables, independent of the process locale.
locale_t Utf8CaseLocale() {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return utf8;
}

// Folds one code point to lower case.
char32_t FoldCase(char32_t c) {
    if (c < 0x80) {
        return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
    }
    locale_t utf8 = Utf8CaseLocale();
    if (utf8 == static_cast<locale_t>(0)) {
        return c;
    }
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), utf8));
}

char32_t UpperCase(char32_t c) {
    if (c < 0x80) {
        return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
    }
    locale_t utf8 = Utf8CaseLocale();
    if (utf8 == static_cast<locale_t>(0)) {
        return c;
    }
    return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), utf8));
}

// Compares case-insensitively code point by code point; invalid bytes compare as themselves.
int CompareNoCase(std::string_view a, std::string_view b) {
    const auto* pa = reinterpret_cast<const unsigned char*>(a.data());
    const auto* pb = reinterpret_cast<const unsigned char*>(b.data());
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        char32_t ca;
        char32_t cb;
        size_t si = i;
        size_t sj = j;
        if (!DecodeUtf8(pa, a.size(), i, ca)) {
            ca = 0x110000 + pa[si];
        }
        if (!DecodeUtf8(pb, b.size(), j, cb)) {
            cb = 0x110000 + pb[sj];
        }
        ca = FoldCase(ca);
        cb = FoldCase(cb);
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    if (i < a.size()) {
        return 1;
    }
    if (j < b.size()) {
        return -1;
    }
    return 0;
}

}  // namespace

UINT GetACP() {
    return CP_UTF8;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int cbMultiByte,
                        LPWSTR wideChar, int cchWideChar) {
    if (!SupportedCodePage(codePage) || multiByte == nullptr || cbMultiByte == 0 ||
        cchWideChar < 0 || (cchWideChar > 0 && wideChar == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = cbMultiByte < 0 ? std::strlen(multiByte) + 1 : static_cast<size_t>(cbMultiByte);
    std::u16string converted;
    if (!ConvertToUtf16(std::string_view(multiByte, length), (flags & MB_ERR_INVALID_CHARS) != 0,
                        converted)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (cchWideChar == 0) {
        return static_cast<int>(converted.size());
    }
    if (converted.size() > static_cast<size_t>(cchWideChar)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(wideChar, converted.data(), converted.size() * sizeof(WCHAR));
    return static_cast<int>(converted.size());
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideChar, int cchWideChar,
                        LPSTR multiByte, int cbMultiByte, LPCSTR defaultChar,
                        LPBOOL usedDefaultChar) {
    if (!SupportedCodePage(codePage) || wideChar == nullptr || cchWideChar == 0 ||
        cbMultiByte < 0 || (cbMultiByte > 0 && multiByte == nullptr) || defaultChar != nullptr ||
        usedDefaultChar != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = cchWideChar < 0 ? static_cast<size_t>(lstrlenW(wideChar)) + 1
                                    : static_cast<size_t>(cchWideChar);
    std::string converted;
    if (!ConvertToUtf8(std::u16string_view(wideChar, length), (flags & WC_ERR_INVALID_CHARS) != 0,
                       converted)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (cbMultiByte == 0) {
        return static_cast<int>(converted.size());
    }
    if (converted.size() > static_cast<size_t>(cbMultiByte)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(multiByte, converted.data(), converted.size());
    return static_cast<int>(converted.size());
}

int lstrlenW(LPCWSTR text) {
    if (text == nullptr) {
        return 0;
    }
    int n = 0;
    while (text[n] != 0) {
        ++n;
    }
    return n;
}

int lstrcmpiA(LPCSTR a, LPCSTR b) {
    return CompareNoCase(a != nullptr ? a : "", b != nullptr ? b : "");
}

namespace platform {

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    ConvertToUtf16(utf8, false, out);
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    ConvertToUtf8(utf16, false, out);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return CompareNoCase(a, b) == 0;
}

std::u16string UpcaseUtf16(std::string_view utf8) {
    std::u16string out;
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    size_t i = 0;
    while (i < utf8.size()) {
        char32_t c;
        if (!DecodeUtf8(bytes, utf8.size(), i, c)) {
            c = kReplacement;
        }
        AppendUtf16(out, UpperCase(c));
    }
    return out;
}

}  // namespace platform
