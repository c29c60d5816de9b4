// The layout of a Windows enhanced metafile (EMF) as the printer driver writes it and the PDF
// engine, the spool extractor and the conversion read it: record types, the ENHMETAHEADER
// fields and their offsets, and the one little-endian reader and writer of them. Every read is
// bounds-checked; nothing here trusts a size or offset field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>

namespace tessaline::contracts::emf {

// Record types (iType).
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

// Every record starts with its type and its size (nSize, this head included).
inline constexpr std::uint32_t kRecordHeadSize = 8;
// EMR_COMMENT: the head, then cbData, then the data.
inline constexpr std::uint32_t kCommentHeadSize = 12;
// EMR_EOF without palette entries: the head, nPalEntries, offPalEntries, nSizeLast.
inline constexpr std::uint32_t kEofSize = 20;

// Byte offsets of the ENHMETAHEADER fields from the start of the metafile.
namespace header {
inline constexpr std::size_t kBounds = 8;
inline constexpr std::size_t kFrame = 24;
inline constexpr std::size_t kSignature = 40;
inline constexpr std::size_t kVersion = 44;
inline constexpr std::size_t kBytes = 48;  // nBytes: the length of the whole metafile
inline constexpr std::size_t kRecords = 52;
inline constexpr std::size_t kHandles = 56;  // 16 bits
inline constexpr std::size_t kDescriptionLength = 60;
inline constexpr std::size_t kDescriptionOffset = 64;
inline constexpr std::size_t kPaletteEntries = 68;
inline constexpr std::size_t kDevice = 72;
inline constexpr std::size_t kMillimeters = 80;
inline constexpr std::size_t kPixelFormatSize = 88;  // first field after the base structure
inline constexpr std::size_t kPixelFormatOffset = 92;
inline constexpr std::size_t kOpenGl = 96;
inline constexpr std::size_t kMicrometers = 100;  // first field after the pixel format fields
inline constexpr std::size_t kSize = 108;
inline constexpr std::uint32_t kSignatureValue = 0x464D4520;  // " EMF"
inline constexpr std::uint32_t kVersionValue = 0x10000;
}  // namespace header

// The size of the fixed ENHMETAHEADER fields up to szlMillimeters, and of the whole structure.
inline constexpr std::uint32_t kHeaderBaseSize = header::kPixelFormatSize;
inline constexpr std::uint32_t kHeaderFullSize = header::kSize;
inline constexpr std::uint32_t kEmfSignature = header::kSignatureValue;

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

// Appends little-endian fields to a byte string.
class ByteWriter {
  public:
    explicit ByteWriter(std::string& out) : out_(out) {}

    void U16(std::uint16_t v) {
        out_.push_back(static_cast<char>(v & 0xFF));
        out_.push_back(static_cast<char>(v >> 8));
    }
    void I16(std::int16_t v) { U16(static_cast<std::uint16_t>(v)); }
    void U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            out_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        }
    }
    void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
    // Zero bytes up to a total length of `size` (nothing when the output is already as long).
    void PadTo(std::size_t size) {
        if (out_.size() < size) {
            out_.resize(size, '\0');
        }
    }

  private:
    std::string& out_;
};

// Whether the range [offset, offset + size) lies inside a buffer of `total` bytes, without
// overflow.
constexpr bool InRange(std::uint64_t offset, std::uint64_t size, std::uint64_t total) {
    return offset <= total && size <= total - offset;
}

// Inclusive-inclusive, as EMF bounds and frames are.
struct RectL {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

inline RectL ReadRect(ByteReader& in) {
    RectL r;
    r.left = in.I32();
    r.top = in.I32();
    r.right = in.I32();
    r.bottom = in.I32();
    return r;
}

struct SizeL {
    std::int32_t cx = 0;
    std::int32_t cy = 0;
};

inline SizeL ReadSize(ByteReader& in) {
    SizeL s;
    s.cx = in.I32();
    s.cy = in.I32();
    return s;
}

// ENHMETAHEADER's fields as stored. The fields after szlMillimeters exist only when nSize
// covers them.
struct Header {
    std::uint32_t headerSize = 0;  // nSize of the header record
    RectL bounds;                  // device pixels
    RectL frame;                   // 0.01 mm
    std::uint32_t signature = 0;
    std::uint32_t version = 0;
    std::uint32_t bytes = 0;    // nBytes: the whole metafile
    std::uint32_t records = 0;  // nRecords, header and EMR_EOF included
    std::uint16_t handles = 0;
    std::uint32_t descriptionLength = 0;  // UTF-16 units
    std::uint32_t descriptionOffset = 0;  // from the start of the metafile
    std::uint32_t paletteEntries = 0;
    SizeL device;       // the reference device in pixels
    SizeL millimeters;  // the reference device in millimetres
    std::optional<std::uint32_t> pixelFormatSize;
    std::optional<std::uint32_t> pixelFormatOffset;
    std::optional<std::uint32_t> openGl;
    std::optional<SizeL> micrometers;  // the reference device in micrometres, as stored
};

enum class HeaderStatus {
    kOk,
    kTooShort,         // fewer bytes than the fixed fields through szlMillimeters
    kNotHeaderRecord,  // the first record is not EMR_HEADER
    kBadSignature,     // dSignature is not " EMF"
};

// Reads ENHMETAHEADER from the start of `bytes`: the fixed fields, and those after
// szlMillimeters that nSize announces and `bytes` hold. Checks only what makes the bytes an EMF
// header; whether its sizes and offsets hold together is the caller's to judge.
inline HeaderStatus ReadHeader(std::span<const std::uint8_t> bytes, Header* out) {
    if (bytes.size() < kHeaderBaseSize) {
        return HeaderStatus::kTooShort;
    }
    ByteReader in(bytes);
    const std::uint32_t type = in.U32();
    Header h;
    h.headerSize = in.U32();
    if (type != record::kHeader) {
        return HeaderStatus::kNotHeaderRecord;
    }
    h.bounds = ReadRect(in);
    h.frame = ReadRect(in);
    h.signature = in.U32();
    h.version = in.U32();
    h.bytes = in.U32();
    h.records = in.U32();
    h.handles = in.U16();
    in.U16();  // sReserved
    h.descriptionLength = in.U32();
    h.descriptionOffset = in.U32();
    h.paletteEntries = in.U32();
    h.device = ReadSize(in);
    h.millimeters = ReadSize(in);
    if (h.signature != kEmfSignature) {
        return HeaderStatus::kBadSignature;
    }
    if (h.headerSize >= header::kMicrometers && in.Has(header::kMicrometers - kHeaderBaseSize)) {
        h.pixelFormatSize = in.U32();
        h.pixelFormatOffset = in.U32();
        h.openGl = in.U32();
    }
    if (h.headerSize >= kHeaderFullSize && in.Has(kHeaderFullSize - header::kMicrometers)) {
        h.micrometers = ReadSize(in);
    }
    *out = h;
    return HeaderStatus::kOk;
}

// Appends the whole ENHMETAHEADER structure (kHeaderFullSize bytes) for `h`; absent optional
// fields are written as zero. A header whose nSize is larger is followed by its description.
inline void AppendHeader(std::string& out, const Header& h) {
    ByteWriter w(out);
    w.U32(record::kHeader);
    w.U32(h.headerSize);
    for (const RectL& r : {h.bounds, h.frame}) {
        w.I32(r.left);
        w.I32(r.top);
        w.I32(r.right);
        w.I32(r.bottom);
    }
    w.U32(h.signature);
    w.U32(h.version);
    w.U32(h.bytes);
    w.U32(h.records);
    w.U16(h.handles);
    w.U16(0);  // sReserved
    w.U32(h.descriptionLength);
    w.U32(h.descriptionOffset);
    w.U32(h.paletteEntries);
    w.I32(h.device.cx);
    w.I32(h.device.cy);
    w.I32(h.millimeters.cx);
    w.I32(h.millimeters.cy);
    w.U32(h.pixelFormatSize.value_or(0));
    w.U32(h.pixelFormatOffset.value_or(0));
    w.U32(h.openGl.value_or(0));
    const SizeL micrometers = h.micrometers.value_or(SizeL{});
    w.I32(micrometers.cx);
    w.I32(micrometers.cy);
}

// Appends the head of an EMR_COMMENT record of `recordSize` bytes carrying `dataSize` bytes.
inline void AppendCommentHead(std::string& out, std::uint32_t recordSize, std::uint32_t dataSize) {
    ByteWriter w(out);
    w.U32(record::kComment);
    w.U32(recordSize);
    w.U32(dataSize);
}

// Appends EMR_EOF without palette entries.
inline void AppendEof(std::string& out) {
    ByteWriter w(out);
    w.U32(record::kEof);
    w.U32(kEofSize);
    w.U32(0);         // nPalEntries
    w.U32(16);        // offPalEntries: where the entries would start
    w.U32(kEofSize);  // nSizeLast
}

}  // namespace tessaline::contracts::emf
