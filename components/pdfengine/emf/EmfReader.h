// Reading a Windows enhanced metafile (EMF) from memory: the header, the records with strict
// bounds checks, and the comment records that carry private data. A metafile that does not
// hold together is refused with an error message; nothing here trusts a size or offset field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "components/pdfengine/emf/EmfRecords.h"
#include "contracts/EmfLayout.h"

namespace emf {

using tessaline::contracts::emf::ReadRect;
using tessaline::contracts::emf::RectL;
using tessaline::contracts::emf::SizeL;

// ENHMETAHEADER (contracts/EmfLayout.h) with its description. The micrometre size is kept only
// when both its sides are positive.
struct EmfHeader : tessaline::contracts::emf::Header {
    std::u16string description;  // as stored, NULs included

    // Device pixels per millimetre on each axis, from the most precise size present.
    double PixelsPerMmX() const;
    double PixelsPerMmY() const;
};

struct EmfRecord {
    std::uint32_t type = 0;
    std::uint32_t size = 0;  // nSize, the 8-byte record head included
    std::size_t offset = 0;  // from the start of the metafile
    // The bytes after the record head (size - 8 bytes).
    std::span<const std::uint8_t> parameters;
};

// The data of one EMR_COMMENT record (cbData bytes).
struct EmfComment {
    std::size_t recordIndex = 0;
    std::span<const std::uint8_t> data;
};

// A validated metafile. It owns its bytes; the spans in its records point into them, so it can
// be moved but not copied.
class EmfMetafile {
  public:
    EmfMetafile() = default;
    EmfMetafile(EmfMetafile&&) = default;
    EmfMetafile& operator=(EmfMetafile&&) = default;
    EmfMetafile(const EmfMetafile&) = delete;
    EmfMetafile& operator=(const EmfMetafile&) = delete;

    // Checks the header and walks every record up to EMR_EOF. On failure returns false, leaves
    // `out` untouched and says why in `error`.
    static bool Parse(std::vector<std::uint8_t> bytes, EmfMetafile* out, std::string* error);
    static bool Parse(std::span<const std::uint8_t> bytes, EmfMetafile* out, std::string* error);

    const EmfHeader& Header() const { return header_; }
    // Every record in file order, the header first and EMR_EOF last.
    const std::vector<EmfRecord>& Records() const { return records_; }
    std::span<const std::uint8_t> Bytes() const { return bytes_; }

    std::vector<EmfComment> Comments() const;
    // The data after the identifier of every comment whose data starts with the 32-bit
    // little-endian `identifier`, in file order.
    std::vector<std::span<const std::uint8_t>> CommentsWithIdentifier(
        std::uint32_t identifier) const;

  private:
    std::vector<std::uint8_t> bytes_;
    EmfHeader header_;
    std::vector<EmfRecord> records_;
};

using tessaline::contracts::emf::kEmfSignature;
using tessaline::contracts::emf::kHeaderBaseSize;
using tessaline::contracts::emf::kHeaderFullSize;

}  // namespace emf
