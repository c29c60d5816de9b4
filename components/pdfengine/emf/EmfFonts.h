// Fonts for metafile text: a LOGFONTW face name, weight and slant resolved through fontconfig
// to a font file, opened as a cairo FreeType face, and for characters that font lacks, the
// closest installed font that has them. Faces are cached for the life of the process.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>

namespace emf {

struct FontRequest {
    std::u16string faceName;  // empty: the default sans-serif face
    std::int32_t weight = 400;
    bool italic = false;
    std::uint8_t charSet = 1;  // LOGFONTW lfCharSet; picks the language of fallback fonts
};

// A resolved font. The faces belong to the process-wide cache; copies share them.
class FontSet {
  public:
    // The face for the code point `c`: the requested font when it covers `c`, else the first
    // font in fontconfig's order for the request that does, else the requested font anyway.
    cairo_font_face_t* FaceFor(char32_t c) const;
    cairo_font_face_t* Primary() const;
    // The font file of the primary face, for diagnostics and tests.
    std::string PrimaryFile() const;

    struct Impl;
    explicit FontSet(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}

  private:
    std::shared_ptr<Impl> impl_;
};

// Thread-safe; never fails (fontconfig always answers with some font). A null face results only
// when no font at all is installed.
FontSet ResolveFont(const FontRequest& request);

}  // namespace emf
