#include "MetafileLayout.h"

#include <cstdint>

#include "PagePayload.h"

namespace pdfengine {

namespace {

constexpr std::uint32_t kEmrHeader = 1;
constexpr std::uint32_t kEmrEof = 14;
constexpr std::uint32_t kEmrComment = 70;
constexpr std::uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr std::size_t kHeaderBytesNeeded = 88;       // through szlMillimeters
constexpr std::size_t kHeaderWithMicrometres = 108;

std::uint32_t U32(std::string_view bytes, std::size_t offset) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + offset);
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

std::int32_t I32(std::string_view bytes, std::size_t offset) {
    return static_cast<std::int32_t>(U32(bytes, offset));
}

// Records that only set up state (mapping, objects, clipping, transforms) draw nothing by
// themselves; a metafile of only these and comments needs no rendering pass.
bool IsStateRecord(std::uint32_t type) {
    return (type >= 9 && type <= 40) ||  // window/viewport, modes, colours, clip, DC, objects
           type == 48 || type == 49 ||   // SelectPalette, CreatePalette
           type == 59 || type == 60 ||   // BeginPath, EndPath
           type == 67 || type == 82 ||   // SelectClipPath, ExtCreateFontIndirectW
           type == 75 || type == 98 ||   // ExtSelectClipRgn, SetICMMode
           type == 115;                  // SetLayout
}

}  // namespace

bool ReadMetafileLayout(std::string_view bytes, MetafileLayout* layout) {
    if (bytes.size() < kHeaderBytesNeeded || U32(bytes, 0) != kEmrHeader ||
        U32(bytes, 40) != kEmfSignature) {
        return false;
    }
    const std::uint32_t headerSize = U32(bytes, 4);
    if (headerSize < kHeaderBytesNeeded || headerSize > bytes.size()) {
        return false;
    }
    const double deviceCx = I32(bytes, 72);
    const double deviceCy = I32(bytes, 76);
    // Millimetres are whole numbers; the micrometre size that newer headers carry is exact.
    double widthUm = 1000.0 * I32(bytes, 80);
    double heightUm = 1000.0 * I32(bytes, 84);
    if (headerSize >= kHeaderWithMicrometres && I32(bytes, 100) > 0 && I32(bytes, 104) > 0) {
        widthUm = I32(bytes, 100);
        heightUm = I32(bytes, 104);
    }
    if (deviceCx <= 0 || deviceCy <= 0 || widthUm <= 0 || heightUm <= 0) {
        return false;
    }
    // rclFrame is in 0.01 mm.
    const double xPixelsPerHundredth = deviceCx * 10.0 / widthUm;
    const double yPixelsPerHundredth = deviceCy * 10.0 / heightUm;
    layout->frame = {I32(bytes, 24) * xPixelsPerHundredth, I32(bytes, 28) * yPixelsPerHundredth,
                     I32(bytes, 32) * xPixelsPerHundredth, I32(bytes, 36) * yPixelsPerHundredth};
    layout->deviceWidth = deviceCx;
    layout->deviceHeight = deviceCy;
    layout->payloads.clear();
    layout->hasDrawingRecords = false;

    for (std::size_t offset = headerSize; offset + 8 <= bytes.size();) {
        const std::uint32_t type = U32(bytes, offset);
        const std::uint32_t size = U32(bytes, offset + 4);
        if (size < 8 || size % 4 != 0 || size > bytes.size() - offset) {
            return false;
        }
        if (type == kEmrEof) {
            return true;
        }
        if (type == kEmrComment) {
            const std::uint32_t dataSize = size >= 12 ? U32(bytes, offset + 8) : 0;
            if (dataSize > size - 12) {
                return false;
            }
            if (dataSize >= 4 && U32(bytes, offset + 12) == printer::kPagePayloadId) {
                layout->payloads.push_back(bytes.substr(offset + 16, dataSize - 4));
            }
        } else if (type == kEmrHeader) {
            return false;
        } else if (!IsStateRecord(type)) {
            layout->hasDrawingRecords = true;
        }
        offset += size;
    }
    return false;  // no EMR_EOF
}

}  // namespace pdfengine
