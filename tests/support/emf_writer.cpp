#include "tests/support/emf_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <stdexcept>

#include "contracts/PagePayload.h"

namespace testing_support {

void AppendU16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void AppendU32(Bytes& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void AppendI32(Bytes& out, std::int32_t value) {
    AppendU32(out, static_cast<std::uint32_t>(value));
}

void AppendF32(Bytes& out, float value) {
    AppendU32(out, std::bit_cast<std::uint32_t>(value));
}

void AppendUtf16(Bytes& out, std::u16string_view text) {
    for (char16_t unit : text) {
        AppendU16(out, static_cast<std::uint16_t>(unit));
    }
}

namespace {
void CheckRange(const Bytes& data, std::size_t offset, std::size_t length) {
    if (offset > data.size() || length > data.size() - offset) {
        throw std::out_of_range("read past the end of the buffer");
    }
}
}  // namespace

std::uint16_t ReadU16(const Bytes& data, std::size_t offset) {
    CheckRange(data, offset, 2);
    return static_cast<std::uint16_t>(data[offset] | (data[offset + 1] << 8));
}

std::uint32_t ReadU32(const Bytes& data, std::size_t offset) {
    CheckRange(data, offset, 4);
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | data[offset + static_cast<std::size_t>(i)];
    }
    return value;
}

std::int32_t ReadI32(const Bytes& data, std::size_t offset) {
    return static_cast<std::int32_t>(ReadU32(data, offset));
}

float ReadF32(const Bytes& data, std::size_t offset) {
    return std::bit_cast<float>(ReadU32(data, offset));
}

std::u16string ReadUtf16(const Bytes& data, std::size_t offset, std::size_t count) {
    if (count > data.size() / 2) {
        throw std::out_of_range("read past the end of the buffer");
    }
    CheckRange(data, offset, count * 2);
    std::u16string text;
    for (std::size_t i = 0; i < count; ++i) {
        text.push_back(static_cast<char16_t>(ReadU16(data, offset + 2 * i)));
    }
    return text;
}

void PatchU32(Bytes& data, std::size_t offset, std::uint32_t value) {
    CheckRange(data, offset, 4);
    for (std::size_t i = 0; i < 4; ++i) {
        data[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::string AsString(const Bytes& data) {
    return std::string(data.begin(), data.end());
}

Bytes AsBytes(std::string_view data) {
    return Bytes(data.begin(), data.end());
}

Bytes ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + path.string());
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

Bytes PatternBytes(std::size_t size, std::uint32_t seed) {
    Bytes out(size);
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::uint8_t& byte : out) {
        state = state * 1664525u + 1013904223u;  // LCG; the high byte varies well enough
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return out;
}

PageSize PageSize::Millimetres(double width, double height, std::int32_t dpi) {
    return {static_cast<std::int32_t>(std::lround(width * 100)),
            static_cast<std::int32_t>(std::lround(height * 100)), dpi};
}

std::int32_t PageSize::DeviceWidth() const {
    return static_cast<std::int32_t>(
        std::lround(widthHundredthsMm * static_cast<double>(dpi) / 2540.0));
}

std::int32_t PageSize::DeviceHeight() const {
    return static_cast<std::int32_t>(
        std::lround(heightHundredthsMm * static_cast<double>(dpi) / 2540.0));
}

std::vector<EmfRecordInfo> WalkEmfRecords(const Bytes& emf) {
    std::vector<EmfRecordInfo> records;
    std::size_t offset = 0;
    while (emf.size() - offset >= 8) {
        EmfRecordInfo record{ReadU32(emf, offset), offset, ReadU32(emf, offset + 4)};
        records.push_back(record);
        if (record.size < 8 || record.size % 4 != 0 || record.size > emf.size() - offset ||
            record.type == emr::kEof) {
            break;
        }
        offset += record.size;
    }
    return records;
}

std::string PagePayloadOf(const Bytes& emf) {
    for (const EmfRecordInfo& record : WalkEmfRecords(emf)) {
        if (record.type == emr::kComment && record.size >= 16 &&
            ReadU32(emf, record.offset + 12) == tessaline::contracts::kPagePayloadId) {
            const std::uint32_t length = ReadU32(emf, record.offset + 8) - 4;
            return std::string(reinterpret_cast<const char*>(emf.data()) + record.offset + 16,
                               length);
        }
    }
    return {};
}

namespace {
void AppendRect(Bytes& out, const RectL& r) {
    AppendI32(out, r.left);
    AppendI32(out, r.top);
    AppendI32(out, r.right);
    AppendI32(out, r.bottom);
}

void PadTo4(Bytes& out, std::uint8_t fill = 0) {
    while (out.size() % 4 != 0) {
        out.push_back(fill);
    }
}

constexpr std::size_t RoundUp4(std::size_t n) {
    return (n + 3) & ~std::size_t{3};
}

constexpr std::size_t kEofSize = tessaline::contracts::emf::kEofSize;
}  // namespace

EmfWriter::EmfWriter(const PageSize& page, std::u16string description)
    : page_(page), description_(std::move(description)) {
    if (!description_.empty()) {
        description_.push_back(u'\0');
    }
}

std::size_t EmfWriter::HeaderSize() const {
    return emf_header::kSize + RoundUp4(description_.size() * 2);
}

std::size_t EmfWriter::Size() const {
    return HeaderSize() + body_.size() + kEofSize;
}

void EmfWriter::Begin(std::uint32_t type) {
    recordStart_ = body_.size();
    AppendU32(body_, type);
    AppendU32(body_, 0);  // nSize, set by End()
}

void EmfWriter::End() {
    PadTo4(body_);
    PatchU32(body_, recordStart_ + 4, static_cast<std::uint32_t>(body_.size() - recordStart_));
    ++recordCount_;
}

void EmfWriter::Record(std::uint32_t type, const Bytes& parameters) {
    Begin(type);
    body_.insert(body_.end(), parameters.begin(), parameters.end());
    End();
}

void EmfWriter::PointRecord(std::uint32_t type, std::int32_t x, std::int32_t y) {
    Begin(type);
    AppendI32(body_, x);
    AppendI32(body_, y);
    End();
}

void EmfWriter::BoxRecord(std::uint32_t type, const RectL& box) {
    Begin(type);
    AppendRect(body_, box);
    End();
}

void EmfWriter::SetMapMode(std::int32_t mode) {
    Begin(emr::kSetMapMode);
    AppendI32(body_, mode);
    End();
}

void EmfWriter::SetWindowExtEx(std::int32_t cx, std::int32_t cy) {
    PointRecord(emr::kSetWindowExtEx, cx, cy);
}

void EmfWriter::SetWindowOrgEx(std::int32_t x, std::int32_t y) {
    PointRecord(emr::kSetWindowOrgEx, x, y);
}

void EmfWriter::SetViewportExtEx(std::int32_t cx, std::int32_t cy) {
    PointRecord(emr::kSetViewportExtEx, cx, cy);
}

void EmfWriter::SetViewportOrgEx(std::int32_t x, std::int32_t y) {
    PointRecord(emr::kSetViewportOrgEx, x, y);
}

void EmfWriter::SaveDC() {
    Begin(emr::kSaveDc);
    End();
}

void EmfWriter::RestoreDC(std::int32_t relative) {
    Begin(emr::kRestoreDc);
    AppendI32(body_, relative);
    End();
}

void EmfWriter::SetWorldTransform(const XForm& t) {
    Begin(emr::kSetWorldTransform);
    for (float value : {t.m11, t.m12, t.m21, t.m22, t.dx, t.dy}) {
        AppendF32(body_, value);
    }
    End();
}

void EmfWriter::SetTextColor(std::uint32_t color) {
    Begin(emr::kSetTextColor);
    AppendU32(body_, color);
    End();
}

void EmfWriter::SetBkMode(std::int32_t mode) {
    Begin(emr::kSetBkMode);
    AppendI32(body_, mode);
    End();
}

void EmfWriter::IntersectClipRect(const RectL& clip) {
    BoxRecord(emr::kIntersectClipRect, clip);
}

void EmfWriter::ValueRecord(std::uint32_t type, std::uint32_t value) {
    Begin(type);
    AppendU32(body_, value);
    End();
}

void EmfWriter::SetTextAlign(std::uint32_t align) {
    ValueRecord(emr::kSetTextAlign, align);
}

void EmfWriter::SetBkColor(std::uint32_t color) {
    ValueRecord(emr::kSetBkColor, color);
}

void EmfWriter::SetPolyFillMode(std::int32_t mode) {
    ValueRecord(emr::kSetPolyFillMode, static_cast<std::uint32_t>(mode));
}

void EmfWriter::ModifyWorldTransform(const XForm& t, std::uint32_t mode) {
    Begin(emr::kModifyWorldTransform);
    for (float value : {t.m11, t.m12, t.m21, t.m22, t.dx, t.dy}) {
        AppendF32(body_, value);
    }
    AppendU32(body_, mode);
    End();
}

void EmfWriter::ExtSelectClipRgn(std::uint32_t mode, const std::vector<RectL>& rects) {
    constexpr std::uint32_t kRegionHeaderSize = 32;
    Begin(emr::kExtSelectClipRgn);
    const auto dataSize =
        rects.empty() ? 0u : static_cast<std::uint32_t>(kRegionHeaderSize + rects.size() * 16);
    AppendU32(body_, dataSize);
    AppendU32(body_, mode);
    if (!rects.empty()) {
        RectL bounds = rects[0];
        for (const RectL& r : rects) {
            bounds = {std::min(bounds.left, r.left), std::min(bounds.top, r.top),
                      std::max(bounds.right, r.right), std::max(bounds.bottom, r.bottom)};
        }
        AppendU32(body_, kRegionHeaderSize);
        AppendU32(body_, 1);  // RDH_RECTANGLES
        AppendU32(body_, static_cast<std::uint32_t>(rects.size()));
        AppendU32(body_, static_cast<std::uint32_t>(rects.size() * 16));
        AppendRect(body_, bounds);
        for (const RectL& r : rects) {
            AppendRect(body_, r);
        }
    }
    End();
}

std::uint32_t EmfWriter::AllocateHandle() {
    auto free = std::find(handleInUse_.begin(), handleInUse_.end(), false);
    auto index = static_cast<std::uint32_t>(free - handleInUse_.begin());
    if (free == handleInUse_.end()) {
        handleInUse_.push_back(true);
    } else {
        *free = true;
    }
    highestHandle_ = std::max(highestHandle_, index);
    return index;
}

std::uint32_t EmfWriter::CreatePen(std::uint32_t style, std::int32_t width, std::uint32_t color) {
    std::uint32_t handle = AllocateHandle();
    Begin(emr::kCreatePen);
    AppendU32(body_, handle);
    AppendU32(body_, style);
    AppendI32(body_, width);  // LOGPEN width is a POINTL whose y is unused
    AppendI32(body_, 0);
    AppendU32(body_, color);
    End();
    return handle;
}

std::uint32_t EmfWriter::CreateBrushIndirect(std::uint32_t style, std::uint32_t color,
                                             std::uint32_t hatch) {
    std::uint32_t handle = AllocateHandle();
    Begin(emr::kCreateBrushIndirect);
    AppendU32(body_, handle);
    AppendU32(body_, style);
    AppendU32(body_, color);
    AppendU32(body_, hatch);
    End();
    return handle;
}

std::uint32_t EmfWriter::ExtCreateFontIndirectW(const FontOptions& font) {
    if (font.faceName.size() > 31) {
        throw std::invalid_argument("a LOGFONTW face name holds at most 31 characters");
    }
    std::uint32_t handle = AllocateHandle();
    Begin(emr::kExtCreateFontIndirectW);
    AppendU32(body_, handle);
    AppendI32(body_, font.height);
    AppendI32(body_, font.width);
    AppendI32(body_, font.escapement);
    AppendI32(body_, font.escapement);  // lfOrientation follows the escapement
    AppendI32(body_, font.weight);
    body_.push_back(font.italic ? 1 : 0);
    body_.push_back(font.underline ? 1 : 0);
    body_.push_back(0);  // lfStrikeOut
    body_.push_back(font.charSet);
    body_.push_back(0);  // lfOutPrecision: OUT_DEFAULT_PRECIS
    body_.push_back(0);  // lfClipPrecision: CLIP_DEFAULT_PRECIS
    body_.push_back(0);  // lfQuality: DEFAULT_QUALITY
    body_.push_back(0);  // lfPitchAndFamily
    std::u16string face = font.faceName;
    face.resize(32, u'\0');
    AppendUtf16(body_, face);
    End();
    fontHeights_[handle] = font.height;
    return handle;
}

void EmfWriter::SelectObject(std::uint32_t handle) {
    if (auto font = fontHeights_.find(handle); font != fontHeights_.end()) {
        selectedFontHeight_ = font->second;
    }
    Begin(emr::kSelectObject);
    AppendU32(body_, handle);
    End();
}

void EmfWriter::DeleteObject(std::uint32_t handle) {
    if (handle < handleInUse_.size()) {
        handleInUse_[handle] = handle == 0;  // the metafile's own slot stays taken
    }
    fontHeights_.erase(handle);
    Begin(emr::kDeleteObject);
    AppendU32(body_, handle);
    End();
}

void EmfWriter::MoveToEx(std::int32_t x, std::int32_t y) {
    PointRecord(emr::kMoveToEx, x, y);
}

void EmfWriter::LineTo(std::int32_t x, std::int32_t y) {
    PointRecord(emr::kLineTo, x, y);
}

void EmfWriter::Rectangle(const RectL& box) {
    BoxRecord(emr::kRectangle, box);
}

void EmfWriter::Ellipse(const RectL& box) {
    BoxRecord(emr::kEllipse, box);
}

void EmfWriter::RoundRect(const RectL& box, std::int32_t cornerWidth, std::int32_t cornerHeight) {
    Begin(emr::kRoundRect);
    AppendRect(body_, box);
    AppendI32(body_, cornerWidth);
    AppendI32(body_, cornerHeight);
    End();
}

void EmfWriter::Poly16(std::uint32_t type, const std::vector<Point16>& points) {
    RectL bounds{0, 0, -1, -1};  // empty when there are no points
    if (!points.empty()) {
        bounds = {points[0].x, points[0].y, points[0].x, points[0].y};
        for (const Point16& p : points) {
            bounds.left = std::min<std::int32_t>(bounds.left, p.x);
            bounds.top = std::min<std::int32_t>(bounds.top, p.y);
            bounds.right = std::max<std::int32_t>(bounds.right, p.x);
            bounds.bottom = std::max<std::int32_t>(bounds.bottom, p.y);
        }
    }
    Begin(type);
    AppendRect(body_, bounds);
    AppendU32(body_, static_cast<std::uint32_t>(points.size()));
    for (const Point16& p : points) {
        AppendU16(body_, static_cast<std::uint16_t>(p.x));
        AppendU16(body_, static_cast<std::uint16_t>(p.y));
    }
    End();
}

void EmfWriter::Polygon16(const std::vector<Point16>& points) {
    Poly16(emr::kPolygon16, points);
}

void EmfWriter::Polyline16(const std::vector<Point16>& points) {
    Poly16(emr::kPolyline16, points);
}

void EmfWriter::PolyBezier16(const std::vector<Point16>& points) {
    Poly16(emr::kPolyBezier16, points);
}

void EmfWriter::PolyBezierTo16(const std::vector<Point16>& points) {
    Poly16(emr::kPolyBezierTo16, points);
}

void EmfWriter::BeginPath() {
    Begin(emr::kBeginPath);
    End();
}

void EmfWriter::EndPath() {
    Begin(emr::kEndPath);
    End();
}

// The bounds of a path fill or stroke are only a hint to players; the whole page is safe.
void EmfWriter::FillPath() {
    BoxRecord(emr::kFillPath, {0, 0, page_.DeviceWidth() - 1, page_.DeviceHeight() - 1});
}

void EmfWriter::StrokePath() {
    BoxRecord(emr::kStrokePath, {0, 0, page_.DeviceWidth() - 1, page_.DeviceHeight() - 1});
}

void EmfWriter::ExtTextOutW(PointL reference, std::u16string_view text,
                            std::vector<std::int32_t> dx, std::uint32_t options,
                            const RectL& clip) {
    if (dx.empty()) {
        dx.assign(text.size(), std::max(1, std::abs(selectedFontHeight_) / 2));
    }
    if (dx.size() != text.size()) {
        throw std::invalid_argument("ExtTextOutW needs one advance per UTF-16 unit");
    }
    std::int64_t advance = 0;
    for (std::int32_t step : dx) {
        advance += step;
    }
    const RectL bounds{reference.x, reference.y, static_cast<std::int32_t>(reference.x + advance),
                       reference.y + std::abs(selectedFontHeight_)};
    constexpr std::uint32_t kFixedSize = 76;  // up to and including EMRTEXT.offDx
    const auto stringBytes = static_cast<std::uint32_t>(RoundUp4(text.size() * 2));
    // GM_COMPATIBLE scales from page units, here device pixels, to 0.01 mm.
    const float scale = 2540.0f / static_cast<float>(page_.dpi);

    Begin(emr::kExtTextOutW);
    AppendRect(body_, bounds);
    AppendU32(body_, 1);  // iGraphicsMode: GM_COMPATIBLE
    AppendF32(body_, scale);
    AppendF32(body_, scale);
    AppendI32(body_, reference.x);
    AppendI32(body_, reference.y);
    AppendU32(body_, static_cast<std::uint32_t>(text.size()));
    AppendU32(body_, kFixedSize);  // offString
    AppendU32(body_, options);
    AppendRect(body_, clip);
    AppendU32(body_, kFixedSize + stringBytes);  // offDx
    AppendUtf16(body_, text);
    PadTo4(body_);
    for (std::int32_t step : dx) {
        AppendI32(body_, step);
    }
    End();
}

void EmfWriter::StretchDIBits(PointL at, SizeL size, std::int32_t width, std::int32_t height,
                              const std::vector<std::uint32_t>& pixels) {
    if (width <= 0 || height <= 0 ||
        pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        throw std::invalid_argument("StretchDIBits needs width * height pixels");
    }
    constexpr std::uint32_t kFixedSize = 80;
    constexpr std::uint32_t kInfoSize = 40;  // BITMAPINFOHEADER, no colour table at 24 bits
    const auto rowBytes = static_cast<std::uint32_t>(RoundUp4(static_cast<std::size_t>(width) * 3));
    const std::uint32_t bitsSize = rowBytes * static_cast<std::uint32_t>(height);
    const auto pelsPerMetre = static_cast<std::int32_t>(std::lround(page_.dpi / 0.0254));

    Begin(emr::kStretchDiBits);
    AppendRect(body_, {at.x, at.y, at.x + size.cx - 1, at.y + size.cy - 1});
    AppendI32(body_, at.x);
    AppendI32(body_, at.y);
    AppendI32(body_, 0);       // xSrc
    AppendI32(body_, 0);       // ySrc
    AppendI32(body_, width);   // cxSrc
    AppendI32(body_, height);  // cySrc
    AppendU32(body_, kFixedSize);
    AppendU32(body_, kInfoSize);
    AppendU32(body_, kFixedSize + kInfoSize);
    AppendU32(body_, bitsSize);
    AppendU32(body_, 0);           // iUsageSrc: DIB_RGB_COLORS
    AppendU32(body_, 0x00CC0020);  // dwRop: SRCCOPY
    AppendI32(body_, size.cx);     // cxDest
    AppendI32(body_, size.cy);
    AppendU32(body_, kInfoSize);
    AppendI32(body_, width);
    AppendI32(body_, height);  // positive: bottom-up rows
    AppendU16(body_, 1);       // biPlanes
    AppendU16(body_, 24);      // biBitCount
    AppendU32(body_, 0);       // biCompression: BI_RGB
    AppendU32(body_, bitsSize);
    AppendI32(body_, pelsPerMetre);
    AppendI32(body_, pelsPerMetre);
    AppendU32(body_, 0);  // biClrUsed
    AppendU32(body_, 0);  // biClrImportant
    for (std::int32_t row = height - 1; row >= 0; --row) {
        const std::size_t rowStart = body_.size();
        for (std::int32_t column = 0; column < width; ++column) {
            const std::uint32_t rgb = pixels[static_cast<std::size_t>(row) * width + column];
            body_.push_back(static_cast<std::uint8_t>(rgb));        // blue
            body_.push_back(static_cast<std::uint8_t>(rgb >> 8));   // green
            body_.push_back(static_cast<std::uint8_t>(rgb >> 16));  // red
        }
        body_.resize(rowStart + rowBytes, 0);
    }
    End();
}

void EmfWriter::StretchDIBitsRaw(PointL at, SizeL size, std::int32_t width, std::int32_t height,
                                 const Bytes& bitmapInfo, const Bytes& bits) {
    constexpr std::uint32_t kFixedSize = 80;
    const auto infoSize = static_cast<std::uint32_t>(bitmapInfo.size());
    const auto bitsOffset = static_cast<std::uint32_t>(RoundUp4(kFixedSize + infoSize));
    Begin(emr::kStretchDiBits);
    AppendRect(body_, {at.x, at.y, at.x + size.cx - 1, at.y + size.cy - 1});
    AppendI32(body_, at.x);
    AppendI32(body_, at.y);
    AppendI32(body_, 0);  // xSrc
    AppendI32(body_, 0);  // ySrc
    AppendI32(body_, width);
    AppendI32(body_, height);
    AppendU32(body_, kFixedSize);
    AppendU32(body_, infoSize);
    AppendU32(body_, bitsOffset);
    AppendU32(body_, static_cast<std::uint32_t>(bits.size()));
    AppendU32(body_, 0);           // iUsageSrc: DIB_RGB_COLORS
    AppendU32(body_, 0x00CC0020);  // dwRop: SRCCOPY
    AppendI32(body_, size.cx);
    AppendI32(body_, size.cy);
    body_.insert(body_.end(), bitmapInfo.begin(), bitmapInfo.end());
    PadTo4(body_);
    body_.insert(body_.end(), bits.begin(), bits.end());
    End();
}

void EmfWriter::PatBlt(const RectL& box, std::uint32_t rop) {
    Begin(emr::kBitBlt);
    AppendRect(body_, box);
    AppendI32(body_, box.left);
    AppendI32(body_, box.top);
    AppendI32(body_, box.right - box.left);
    AppendI32(body_, box.bottom - box.top);
    AppendU32(body_, rop);
    AppendI32(body_, 0);                                        // xSrc
    AppendI32(body_, 0);                                        // ySrc
    for (float value : {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f}) {  // the source's transform
        AppendF32(body_, value);
    }
    AppendU32(body_, 0);  // crBkColorSrc
    AppendU32(body_, 0);  // iUsageSrc
    for (int i = 0; i < 4; ++i) {
        AppendU32(body_, 0);  // no bitmap: offsets and sizes all zero
    }
    End();
}

void EmfWriter::Comment(const Bytes& data) {
    Begin(emr::kComment);
    AppendU32(body_, static_cast<std::uint32_t>(data.size()));
    body_.insert(body_.end(), data.begin(), data.end());
    End();
}

void EmfWriter::PayloadComment(std::uint32_t identifier, const Bytes& body) {
    Begin(emr::kComment);
    AppendU32(body_, static_cast<std::uint32_t>(body.size() + 4));
    AppendU32(body_, identifier);
    body_.insert(body_.end(), body.begin(), body.end());
    End();
}

Bytes EmfWriter::Finish() const {
    const std::size_t total = Size();
    if (total > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("an EMF is limited to 4 GiB");
    }
    Bytes out;
    out.reserve(total);
    namespace layout = tessaline::contracts::emf;
    layout::Header header;
    header.headerSize = static_cast<std::uint32_t>(HeaderSize());
    header.bounds = {0, 0, page_.DeviceWidth() - 1, page_.DeviceHeight() - 1};
    header.frame = {0, 0, page_.widthHundredthsMm - 1, page_.heightHundredthsMm - 1};
    header.signature = emf_header::kSignatureValue;
    header.version = emf_header::kVersionValue;
    header.bytes = static_cast<std::uint32_t>(total);
    header.records = static_cast<std::uint32_t>(recordCount_ + 2);  // with header and EOF
    header.handles = static_cast<std::uint16_t>(HandleCount());
    header.descriptionLength = static_cast<std::uint32_t>(description_.size());
    header.descriptionOffset =
        description_.empty() ? 0 : static_cast<std::uint32_t>(emf_header::kSize);
    header.device = {page_.DeviceWidth(), page_.DeviceHeight()};
    header.millimeters = {static_cast<std::int32_t>(std::lround(page_.widthHundredthsMm / 100.0)),
                          static_cast<std::int32_t>(std::lround(page_.heightHundredthsMm / 100.0))};
    header.micrometers = layout::SizeL{page_.widthHundredthsMm * 10, page_.heightHundredthsMm * 10};
    std::string fixed;
    layout::AppendHeader(fixed, header);
    out.insert(out.end(), fixed.begin(), fixed.end());
    AppendUtf16(out, description_);
    PadTo4(out);
    out.insert(out.end(), body_.begin(), body_.end());
    std::string eof;
    layout::AppendEof(eof);
    out.insert(out.end(), eof.begin(), eof.end());
    return out;
}

namespace {
// Coordinates as fractions of the page, kept inside the 16-bit range of the *16 records.
struct PageGrid {
    std::int32_t width;
    std::int32_t height;
    std::int32_t X(double f) const { return static_cast<std::int32_t>(std::lround(width * f)); }
    std::int32_t Y(double f) const { return static_cast<std::int32_t>(std::lround(height * f)); }
    Point16 P(double fx, double fy) const {
        return {static_cast<std::int16_t>(std::min(X(fx), 32767)),
                static_cast<std::int16_t>(std::min(Y(fy), 32767))};
    }
};
}  // namespace

Bytes MakeSamplePage(const SamplePageOptions& options) {
    EmfWriter emf(options.page, options.description);
    const PageGrid g{options.page.DeviceWidth(), options.page.DeviceHeight()};

    emf.SetMapMode(kMmText);
    emf.SetBkMode(kTransparent);
    emf.SaveDC();
    const std::uint32_t pen = emf.CreatePen(kPsSolid, std::max(1, options.page.dpi / 150), 0);
    const std::uint32_t brush = emf.CreateBrushIndirect(kBsSolid, Rgb(0xCC, 0xDD, 0xFF));
    emf.SelectObject(pen);
    emf.SelectObject(brush);
    emf.IntersectClipRect({g.X(0.05), g.Y(0.05), g.X(0.95), g.Y(0.95)});
    emf.Rectangle({g.X(0.1), g.Y(0.1), g.X(0.9), g.Y(0.2)});
    emf.Ellipse({g.X(0.1), g.Y(0.25), g.X(0.4), g.Y(0.4)});
    emf.RoundRect({g.X(0.5), g.Y(0.25), g.X(0.9), g.Y(0.4)}, g.X(0.05), g.X(0.05));
    emf.Polygon16({g.P(0.1, 0.6), g.P(0.3, 0.45), g.P(0.5, 0.6)});
    emf.Polyline16({g.P(0.55, 0.6), g.P(0.7, 0.45), g.P(0.9, 0.6)});
    emf.BeginPath();
    emf.MoveToEx(g.X(0.1), g.Y(0.7));
    emf.PolyBezierTo16({g.P(0.3, 0.62), g.P(0.6, 0.78), g.P(0.9, 0.7)});
    emf.LineTo(g.X(0.9), g.Y(0.75));
    emf.LineTo(g.X(0.1), g.Y(0.75));
    emf.EndPath();
    emf.FillPath();
    emf.StretchDIBits({g.X(0.8), g.Y(0.8)}, {g.X(0.1), g.X(0.1)}, 2, 2,
                      {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
    const std::uint32_t font = emf.ExtCreateFontIndirectW({.height = -options.page.dpi / 6});
    emf.SelectObject(font);
    emf.SetTextColor(Rgb(0, 0, 0));
    emf.ExtTextOutW({g.X(0.1), g.Y(0.85)}, options.text);
    emf.RestoreDC(-1);
    emf.DeleteObject(font);
    emf.DeleteObject(brush);
    emf.DeleteObject(pen);
    if (options.payload) {
        emf.PayloadComment(options.payload->identifier, options.payload->body);
    }
    if (options.targetBytes > emf.Size()) {
        constexpr std::size_t kSmallestFiller = 16;  // head, cbData, identifier
        const std::size_t filler =
            std::max(kSmallestFiller, RoundUp4(options.targetBytes - emf.Size()));
        emf.PayloadComment(kFillerCommentId, PatternBytes(filler - kSmallestFiller));
    }
    return emf.Finish();
}

}  // namespace testing_support
