#include "components/pdfengine/emf/EmfFonts.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>

#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/text.h"

namespace emf {
namespace {

// The language a LOGFONTW character set asks for, so fallback fonts for Chinese text in a
// GB2312 font come from a Simplified Chinese face and not a Japanese one.
const char* LanguageOf(std::uint8_t charSet) {
    switch (charSet) {
        case 128:
            return "ja";
        case 129:
            return "ko";
        case 134:
            return "zh-cn";
        case 136:
            return "zh-tw";
        case 161:
            return "el";
        case 177:
            return "he";
        case 178:
            return "ar";
        case 204:
            return "ru";
        case 222:
            return "th";
        default:
            return nullptr;
    }
}

// One installed font: a cairo face and the characters it covers.
struct Face {
    cairo_font_face_t* face = nullptr;   // owned by the cache
    const FcCharSet* charset = nullptr;  // owned by the pattern the face came from
    std::string file;
};

constexpr std::size_t kMaxCachedRequests = 1024;

}  // namespace

struct FontSet::Impl {
    Impl() = default;
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    ~Impl() {
        if (fallbackOrder) {
            FcFontSetDestroy(fallbackOrder);
        }
        if (request) {
            FcPatternDestroy(request);
        }
    }

    FcPattern* request = nullptr;  // substituted, for the fallback order
    Face primary;
    FcFontSet* fallbackOrder = nullptr;  // sorted lazily, on the first character missing
    std::vector<std::optional<Face>> fallbacks;
};

namespace {

struct Cache {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<FontSet::Impl>> sets;
    std::map<std::string, Face> faces;  // by file and index
    std::vector<FcPattern*> patterns;   // keep each face's pattern (and charset) alive

    ~Cache() {
        for (auto& [key, face] : faces) {
            cairo_font_face_destroy(face.face);
        }
        sets.clear();
        for (FcPattern* pattern : patterns) {
            FcPatternDestroy(pattern);
        }
    }

    // The face of a rendered pattern (one with a file), made once per file and index. Takes
    // ownership of `pattern`.
    Face FaceOf(FcPattern* pattern) {
        FcChar8* file = nullptr;
        int index = 0;
        FcPatternGetString(pattern, FC_FILE, 0, &file);
        FcPatternGetInteger(pattern, FC_INDEX, 0, &index);
        const std::string path = file ? reinterpret_cast<const char*>(file) : "";
        const std::string key = path + "#" + std::to_string(index);
        if (auto found = faces.find(key); found != faces.end()) {
            FcPatternDestroy(pattern);
            return found->second;
        }
        // Vector output: outlines exactly as designed, advances unrounded.
        FcPatternDel(pattern, FC_HINTING);
        FcPatternAddBool(pattern, FC_HINTING, FcFalse);
        Face face;
        face.face = cairo_ft_font_face_create_for_pattern(pattern);
        FcCharSet* charset = nullptr;
        if (FcPatternGetCharSet(pattern, FC_CHARSET, 0, &charset) == FcResultMatch) {
            face.charset = charset;
        }
        face.file = path;
        patterns.push_back(pattern);
        faces.emplace(key, face);
        return face;
    }
};

Cache& TheCache() {
    static Cache cache;
    return cache;
}

FcPattern* RequestPattern(const FontRequest& request) {
    FcPattern* pattern = FcPatternCreate();
    const std::string family =
        request.faceName.empty() ? "sans-serif" : platform::Utf16ToUtf8(request.faceName);
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    const int weight = request.weight <= 0 ? 400 : std::min(request.weight, 1000);
    FcPatternAddDouble(pattern, FC_WEIGHT, FcWeightFromOpenTypeDouble(weight));
    FcPatternAddInteger(pattern, FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    if (const char* language = LanguageOf(request.charSet)) {
        FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(language));
    }
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    return pattern;
}

std::string KeyOf(const FontRequest& request) {
    const char* language = LanguageOf(request.charSet);
    return platform::Utf16ToUtf8(request.faceName) + "|" + std::to_string(request.weight) + "|" +
           (request.italic ? "i" : "r") + "|" + (language ? language : "");
}

bool Covers(const Face& face, char32_t c) {
    return face.face && face.charset && FcCharSetHasChar(face.charset, c);
}

}  // namespace

FontSet ResolveFont(const FontRequest& request) {
    Cache& cache = TheCache();
    std::lock_guard lock(cache.mutex);
    const std::string key = KeyOf(request);
    if (auto found = cache.sets.find(key); found != cache.sets.end()) {
        return FontSet(found->second);
    }
    auto set = std::make_shared<FontSet::Impl>();
    set->request = RequestPattern(request);
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(nullptr, set->request, &result)) {
        set->primary = cache.FaceOf(match);
    }
    // Requests are few in real documents; a metafile inventing face names by the thousand
    // still resolves them, only without keeping each.
    if (cache.sets.size() < kMaxCachedRequests) {
        cache.sets.emplace(key, set);
    }
    return FontSet(set);
}

cairo_font_face_t* FontSet::Primary() const {
    return impl_->primary.face;
}

std::string FontSet::PrimaryFile() const {
    return impl_->primary.file;
}

cairo_font_face_t* FontSet::FaceFor(char32_t c) const {
    if (Covers(impl_->primary, c) || c < 0x20) {
        return impl_->primary.face;
    }
    Cache& cache = TheCache();
    std::lock_guard lock(cache.mutex);
    if (!impl_->fallbackOrder) {
        FcResult result = FcResultNoMatch;
        impl_->fallbackOrder = FcFontSort(nullptr, impl_->request, FcTrue, nullptr, &result);
        if (!impl_->fallbackOrder) {
            impl_->fallbackOrder = FcFontSetCreate();
        }
        impl_->fallbacks.resize(static_cast<std::size_t>(impl_->fallbackOrder->nfont));
    }
    for (int i = 0; i < impl_->fallbackOrder->nfont; ++i) {
        FcPattern* font = impl_->fallbackOrder->fonts[i];
        FcCharSet* charset = nullptr;
        if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch ||
            !FcCharSetHasChar(charset, c)) {
            continue;
        }
        std::optional<Face>& fallback = impl_->fallbacks[static_cast<std::size_t>(i)];
        if (!fallback) {
            fallback = cache.FaceOf(FcFontRenderPrepare(nullptr, impl_->request, font));
        }
        if (fallback->face) {
            return fallback->face;
        }
    }
    return impl_->primary.face;
}

}  // namespace emf
