// EMF record types and the little-endian, bounds-checked reading of record parameters shared by
// the metafile reader and the renderer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace emf {

// Record types (iType) of the records this library reads or plays.
namespace record {
inline constexpr std::uint32_t kHeader = 1;
inline constexpr std::uint32_t kPolyBezier = 2;
inline constexpr std::uint32_t kPolygon = 3;
inline constexpr std::uint32_t kPolyline = 4;
inline constexpr std::uint32_t kPolyBezierTo = 5;
inline constexpr std::uint32_t kPolyLineTo = 6;
inline constexpr std::uint32_t kPolyPolyline = 7;
inline constexpr std::uint32_t kPolyPolygon = 8;
inline constexpr std::uint32_t kSetWindowExtEx = 9;
inline constexpr std::uint32_t kSetWindowOrgEx = 10;
inline constexpr std::uint32_t kSetViewportExtEx = 11;
inline constexpr std::uint32_t kSetViewportOrgEx = 12;
inline constexpr std::uint32_t kEof = 14;
inline constexpr std::uint32_t kSetMapMode = 17;
inline constexpr std::uint32_t kSetBkMode = 18;
inline constexpr std::uint32_t kSetPolyFillMode = 19;
inline constexpr std::uint32_t kSetStretchBltMode = 21;
inline constexpr std::uint32_t kSetTextAlign = 22;
inline constexpr std::uint32_t kSetTextColor = 24;
inline constexpr std::uint32_t kSetBkColor = 25;
inline constexpr std::uint32_t kMoveToEx = 27;
inline constexpr std::uint32_t kExcludeClipRect = 29;
inline constexpr std::uint32_t kIntersectClipRect = 30;
inline constexpr std::uint32_t kScaleViewportExtEx = 31;
inline constexpr std::uint32_t kScaleWindowExtEx = 32;
inline constexpr std::uint32_t kSaveDc = 33;
inline constexpr std::uint32_t kRestoreDc = 34;
inline constexpr std::uint32_t kSetWorldTransform = 35;
inline constexpr std::uint32_t kModifyWorldTransform = 36;
inline constexpr std::uint32_t kSelectObject = 37;
inline constexpr std::uint32_t kCreatePen = 38;
inline constexpr std::uint32_t kCreateBrushIndirect = 39;
inline constexpr std::uint32_t kDeleteObject = 40;
inline constexpr std::uint32_t kEllipse = 42;
inline constexpr std::uint32_t kRectangle = 43;
inline constexpr std::uint32_t kRoundRect = 44;
inline constexpr std::uint32_t kArc = 45;
inline constexpr std::uint32_t kChord = 46;
inline constexpr std::uint32_t kPie = 47;
inline constexpr std::uint32_t kLineTo = 54;
inline constexpr std::uint32_t kArcTo = 55;
inline constexpr std::uint32_t kSetArcDirection = 57;
inline constexpr std::uint32_t kSetMiterLimit = 58;
inline constexpr std::uint32_t kBeginPath = 59;
inline constexpr std::uint32_t kEndPath = 60;
inline constexpr std::uint32_t kCloseFigure = 61;
inline constexpr std::uint32_t kFillPath = 62;
inline constexpr std::uint32_t kStrokeAndFillPath = 63;
inline constexpr std::uint32_t kStrokePath = 64;
inline constexpr std::uint32_t kSelectClipPath = 67;
inline constexpr std::uint32_t kAbortPath = 68;
inline constexpr std::uint32_t kComment = 70;
inline constexpr std::uint32_t kExtSelectClipRgn = 75;
inline constexpr std::uint32_t kBitBlt = 76;
inline constexpr std::uint32_t kStretchBlt = 77;
inline constexpr std::uint32_t kStretchDiBits = 81;
inline constexpr std::uint32_t kExtCreateFontIndirectW = 82;
inline constexpr std::uint32_t kExtTextOutW = 84;
inline constexpr std::uint32_t kPolyBezier16 = 85;
inline constexpr std::uint32_t kPolygon16 = 86;
inline constexpr std::uint32_t kPolyline16 = 87;
inline constexpr std::uint32_t kPolyBezierTo16 = 88;
inline constexpr std::uint32_t kPolyLineTo16 = 89;
inline constexpr std::uint32_t kPolyPolyline16 = 90;
inline constexpr std::uint32_t kPolyPolygon16 = 91;
inline constexpr std::uint32_t kExtCreatePen = 95;
}  // namespace record

// Reads little-endian fields from a span. Every read checks the bounds: a read past the end
// yields zero and marks the reader failed, so a caller checks Ok() once after a group of reads.
class ByteReader {
  public:
    explicit ByteReader(std::span<const std::uint8_t> data, std::size_t offset = 0)
        : data_(data), offset_(offset) {}

    std::uint8_t U8() { return Read<std::uint8_t>(); }
    std::uint16_t U16() { return Read<std::uint16_t>(); }
    std::int16_t I16() { return static_cast<std::int16_t>(Read<std::uint16_t>()); }
    std::uint32_t U32() { return Read<std::uint32_t>(); }
    std::int32_t I32() { return static_cast<std::int32_t>(Read<std::uint32_t>()); }
    float F32() {
        const std::uint32_t bits = U32();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    // Whether `count` more bytes are available from the current offset.
    bool Has(std::uint64_t count) const { return ok_ && count <= data_.size() - offset_; }
    void Seek(std::size_t offset) {
        if (offset > data_.size()) {
            ok_ = false;
        } else {
            offset_ = offset;
        }
    }
    void Skip(std::size_t count) { Seek(Has(count) ? offset_ + count : data_.size() + 1); }
    std::size_t Offset() const { return offset_; }
    bool Ok() const { return ok_; }

  private:
    template <typename T>
    T Read() {
        if (!Has(sizeof(T))) {
            ok_ = false;
            return 0;
        }
        T value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            value = static_cast<T>(value | (static_cast<T>(data_[offset_ + i]) << (8 * i)));
        }
        offset_ += sizeof(T);
        return value;
    }

    std::span<const std::uint8_t> data_;
    std::size_t offset_ = 0;
    bool ok_ = true;
};

// Whether the range [offset, offset + size) lies inside a buffer of `total` bytes, without
// overflow.
constexpr bool InRange(std::uint64_t offset, std::uint64_t size, std::uint64_t total) {
    return offset <= total && size <= total - offset;
}

}  // namespace emf
