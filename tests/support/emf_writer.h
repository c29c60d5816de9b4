// Builds Windows enhanced metafiles (EMF) byte by byte for tests: a page header that describes
// the printed page, ordinary drawing records, payload comments and the closing EMR_EOF.
// All fields are little-endian, as on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "contracts/EmfLayout.h"

namespace testing_support {

using Bytes = std::vector<std::uint8_t>;

// Little-endian access to a byte buffer. The readers throw std::out_of_range past the end.
void AppendU16(Bytes& out, std::uint16_t value);
void AppendU32(Bytes& out, std::uint32_t value);
void AppendI32(Bytes& out, std::int32_t value);
void AppendF32(Bytes& out, float value);
void AppendUtf16(Bytes& out, std::u16string_view text);
std::uint16_t ReadU16(const Bytes& data, std::size_t offset);
std::uint32_t ReadU32(const Bytes& data, std::size_t offset);
std::int32_t ReadI32(const Bytes& data, std::size_t offset);
float ReadF32(const Bytes& data, std::size_t offset);
// `count` UTF-16 code units starting at `offset`.
std::u16string ReadUtf16(const Bytes& data, std::size_t offset, std::size_t count);
void PatchU32(Bytes& data, std::size_t offset, std::uint32_t value);

// Conversions to and from the std::string that ReadFile/WriteFile use.
std::string AsString(const Bytes& data);
Bytes AsBytes(std::string_view data);
Bytes ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const Bytes& data);

// A run of `size` bytes that is not constant, so a shifted or cut copy does not compare equal.
Bytes PatternBytes(std::size_t size, std::uint32_t seed = 1);

// EMF record types and the byte offsets of the EMR_HEADER fields (contracts/EmfLayout.h).
namespace emr = tessaline::contracts::emf::record;
namespace emf_header = tessaline::contracts::emf::header;

// A few GDI constants the drawing methods take.
inline constexpr std::int32_t kMmText = 1;
inline constexpr std::int32_t kMmAnisotropic = 8;
inline constexpr std::int32_t kTransparent = 1;
inline constexpr std::int32_t kOpaque = 2;
inline constexpr std::uint32_t kPsSolid = 0;
inline constexpr std::uint32_t kPsDash = 1;
inline constexpr std::uint32_t kPsNull = 5;
inline constexpr std::uint32_t kBsSolid = 0;
inline constexpr std::uint32_t kBsNull = 1;
inline constexpr std::uint32_t kEtoOpaque = 0x2;
inline constexpr std::uint32_t kEtoClipped = 0x4;
inline constexpr std::uint32_t kWhiteBrush = 0;
inline constexpr std::uint32_t kNullBrush = 5;
inline constexpr std::uint32_t kBlackPen = 7;
inline constexpr std::uint32_t kNullPen = 8;

// COLORREF: 0x00BBGGRR.
constexpr std::uint32_t Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return std::uint32_t{r} | (std::uint32_t{g} << 8) | (std::uint32_t{b} << 16);
}

// The handle SelectObject takes for a stock object (WHITE_BRUSH, BLACK_PEN, ...).
constexpr std::uint32_t StockObject(std::uint32_t index) {
    return 0x80000000u | index;
}

// The 32-bit value whose little-endian bytes are the four characters in order, so FourCc("TSPG")
// appears as "TSPG" in the file.
constexpr std::uint32_t FourCc(const char (&chars)[5]) {
    return std::uint32_t{static_cast<std::uint8_t>(chars[0])} |
           (std::uint32_t{static_cast<std::uint8_t>(chars[1])} << 8) |
           (std::uint32_t{static_cast<std::uint8_t>(chars[2])} << 16) |
           (std::uint32_t{static_cast<std::uint8_t>(chars[3])} << 24);
}

struct PointL {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

struct SizeL {
    std::int32_t cx = 0;
    std::int32_t cy = 0;
};

// Inclusive-inclusive, as EMF bounds are.
struct RectL {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

struct Point16 {
    std::int16_t x = 0;
    std::int16_t y = 0;
};

struct XForm {
    float m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
};

// The printed page a metafile describes.
struct PageSize {
    std::int32_t widthHundredthsMm = 21000;
    std::int32_t heightHundredthsMm = 29700;
    std::int32_t dpi = 600;

    static PageSize Millimetres(double width, double height, std::int32_t dpi = 600);
    static PageSize A4(std::int32_t dpi = 600) { return {21000, 29700, dpi}; }
    static PageSize Letter(std::int32_t dpi = 600) { return {21590, 27940, dpi}; }

    // The page in device pixels at `dpi`, rounded to the nearest pixel.
    std::int32_t DeviceWidth() const;
    std::int32_t DeviceHeight() const;
};

struct FontOptions {
    std::int32_t height = -100;  // negative: character height in logical units (12 pt at 600 dpi)
    std::int32_t width = 0;
    std::int32_t escapement = 0;
    std::int32_t weight = 400;
    bool italic = false;
    bool underline = false;
    std::uint8_t charSet = 1;                       // DEFAULT_CHARSET
    std::u16string faceName = u"Liberation Serif";  // at most 31 units
};

// One record found by walking record sizes from the start of a metafile.
struct EmfRecordInfo {
    std::uint32_t type = 0;
    std::size_t offset = 0;
    std::uint32_t size = 0;
};

// Walks an EMF from offset 0 by each record's nSize. Stops at EMR_EOF (included), at a record
// that does not fit, or at a size below 8 or not a multiple of 4 (the bad record is included so
// a test can see it).
std::vector<EmfRecordInfo> WalkEmfRecords(const Bytes& emf);

// The page payload a printed page's EMF carries in its payload comment; empty without one.
std::string PagePayloadOf(const Bytes& emf);

// Records an EMF in memory. Every record is padded to a multiple of 4 bytes. Object handles
// are allocated as GDI does, lowest free index first, index 0 being the metafile itself.
class EmfWriter {
  public:
    // A non-empty description is written as given followed by one NUL (nDescription counts it).
    explicit EmfWriter(const PageSize& page = PageSize::A4(), std::u16string description = {});

    // Device context state.
    void SetMapMode(std::int32_t mode);
    void SetWindowExtEx(std::int32_t cx, std::int32_t cy);
    void SetWindowOrgEx(std::int32_t x, std::int32_t y);
    void SetViewportExtEx(std::int32_t cx, std::int32_t cy);
    void SetViewportOrgEx(std::int32_t x, std::int32_t y);
    void SaveDC();
    void RestoreDC(std::int32_t relative = -1);
    void SetWorldTransform(const XForm& transform);
    void SetTextColor(std::uint32_t color);
    void SetBkMode(std::int32_t mode);
    void IntersectClipRect(const RectL& clip);
    void SetTextAlign(std::uint32_t align);
    void SetBkColor(std::uint32_t color);
    void SetPolyFillMode(std::int32_t mode);
    // mode: MWT_IDENTITY 1, MWT_LEFTMULTIPLY 2, MWT_RIGHTMULTIPLY 3, MWT_SET 4.
    void ModifyWorldTransform(const XForm& transform, std::uint32_t mode);
    // A region of device-pixel rectangles combined with the clip by `mode` (RGN_AND 1 ..
    // RGN_COPY 5); RGN_COPY with no rectangles restores the default clip.
    void ExtSelectClipRgn(std::uint32_t mode, const std::vector<RectL>& rects);

    // Objects: each Create returns the handle index to select and delete.
    std::uint32_t CreatePen(std::uint32_t style, std::int32_t width, std::uint32_t color);
    std::uint32_t CreateBrushIndirect(std::uint32_t style, std::uint32_t color,
                                      std::uint32_t hatch = 0);
    // Written in the fixed-length LOGFONTW form (record size 104).
    std::uint32_t ExtCreateFontIndirectW(const FontOptions& font);
    void SelectObject(std::uint32_t handle);
    void DeleteObject(std::uint32_t handle);

    // Drawing.
    void MoveToEx(std::int32_t x, std::int32_t y);
    void LineTo(std::int32_t x, std::int32_t y);
    void Rectangle(const RectL& box);
    void Ellipse(const RectL& box);
    void RoundRect(const RectL& box, std::int32_t cornerWidth, std::int32_t cornerHeight);
    void Polygon16(const std::vector<Point16>& points);
    void Polyline16(const std::vector<Point16>& points);
    void PolyBezier16(const std::vector<Point16>& points);
    void PolyBezierTo16(const std::vector<Point16>& points);
    void BeginPath();
    void EndPath();
    void FillPath();
    void StrokePath();

    // Text at `reference` with one advance per UTF-16 unit in `dx`; an empty `dx` gives every
    // unit the same advance, half the selected font's height. Throws std::invalid_argument when
    // `dx` is neither empty nor as long as `text`.
    void ExtTextOutW(PointL reference, std::u16string_view text, std::vector<std::int32_t> dx = {},
                     std::uint32_t options = 0, const RectL& clip = {});

    // A 24-bit bottom-up DIB of width x height pixels stretched over `size` logical units at
    // `at`. `pixels` are 0x00RRGGBB, row by row from the top.
    void StretchDIBits(PointL at, SizeL size, std::int32_t width, std::int32_t height,
                       const std::vector<std::uint32_t>& pixels);

    // A DIB given as its BITMAPINFO (header and colour table) and pixel rows, stretched from
    // all its width x height pixels over `size` logical units at `at`.
    void StretchDIBitsRaw(PointL at, SizeL size, std::int32_t width, std::int32_t height,
                          const Bytes& bitmapInfo, const Bytes& bits);
    // EMR_BITBLT without a source bitmap: the raster operation `rop` (PATCOPY 0x00F00021 fills
    // with the selected brush) over `box` in logical units.
    void PatBlt(const RectL& box, std::uint32_t rop);

    // EMR_COMMENT with arbitrary data.
    void Comment(const Bytes& data);
    // EMR_COMMENT whose data is the 32-bit identifier followed by `body`: how a page carries
    // its content as a payload.
    void PayloadComment(std::uint32_t identifier, const Bytes& body);

    // Any other record: `type`, then the given parameters, padded to 4 bytes.
    void Record(std::uint32_t type, const Bytes& parameters);

    // Records so far, without the header and EMR_EOF.
    std::size_t RecordCount() const { return recordCount_; }
    // The size Finish() would return now.
    std::size_t Size() const;
    std::uint32_t HandleCount() const { return highestHandle_ + 1; }
    const PageSize& Page() const { return page_; }

    // The complete metafile: header, the records so far, EMR_EOF. May be called more than once.
    Bytes Finish() const;

  private:
    std::uint32_t AllocateHandle();
    void Begin(std::uint32_t type);
    void End();
    void PointRecord(std::uint32_t type, std::int32_t x, std::int32_t y);
    // A record whose only parameter is one 32-bit value.
    void ValueRecord(std::uint32_t type, std::uint32_t value);
    void BoxRecord(std::uint32_t type, const RectL& box);
    void Poly16(std::uint32_t type, const std::vector<Point16>& points);
    std::size_t HeaderSize() const;

    PageSize page_;
    std::u16string description_;
    Bytes body_;
    std::size_t recordStart_ = 0;
    std::size_t recordCount_ = 0;
    std::uint32_t highestHandle_ = 0;
    std::vector<bool> handleInUse_{true};                // index 0 is the metafile
    std::map<std::uint32_t, std::int32_t> fontHeights_;  // live font handles
    std::int32_t selectedFontHeight_ = 0;
};

struct Payload {
    std::uint32_t identifier = 0;
    Bytes body{};
};

struct SamplePageOptions {
    PageSize page = PageSize::A4();
    // Written as given plus a NUL: application name, NUL, picture name, NUL, NUL.
    std::u16string description = std::u16string(u"Tessaline\0Sample page\0", 22);
    std::u16string text = u"Tessaline sample page";
    std::optional<Payload> payload{};
    // When larger than the page would be without it, a filler comment of pattern bytes (after
    // everything else) brings the file to this size rounded up to 4; a gap under 16 bytes, the
    // smallest comment with an identifier, is overshot to 16.
    std::size_t targetBytes = 0;
};

// Identifies the filler comment of a sample page; chosen not to look like a payload.
inline constexpr std::uint32_t kFillerCommentId = FourCc("FILL");

// A plausible printed page: pens, brushes, shapes, a path, a clip, a line of text, a small
// bitmap, then the payload and filler comments when asked.
Bytes MakeSamplePage(const SamplePageOptions& options = {});

}  // namespace testing_support
