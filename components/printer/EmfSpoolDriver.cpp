#include "components/printer/EmfSpoolDriver.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "contracts/PagePayload.h"
#include "contracts/PrintJob.h"
#include "contracts/SpoolLayout.h"
#include "platform/atomic_file.h"
#include "platform/text.h"

namespace printer {
namespace {

namespace emf = tessaline::contracts::emf;
namespace spool = tessaline::contracts::spool;
using tessaline::contracts::kMaxPagePayloadBytes;
using tessaline::contracts::kMaxPageSizePoints;
using tessaline::contracts::PageEmfHead;
using tessaline::contracts::PageEmfSize;
using tessaline::contracts::PageEmfTail;
using tessaline::contracts::PrintedPage;
using tessaline::contracts::PrintJobReader;

// The resolution the driver reports for its device, in pixels per inch on both axes.
constexpr int kDeviceDpi = 600;
constexpr std::int64_t kHundredthsMmPerInch = 2540;

// DEVMODEW without driver-private data.
constexpr std::size_t kDevmodeSize = 220;

// The little-endian writer, with the fixed-length UTF-16 fields of DEVMODEW.
class ByteWriter {
  public:
    void U16(std::uint16_t v) { writer_.U16(v); }
    void U32(std::uint32_t v) { writer_.U32(v); }
    void I16(std::int16_t v) { writer_.I16(v); }
    // A fixed field of `units` UTF-16 units, cut to leave room for the NUL, zero-filled.
    void FixedUtf16(std::u16string_view text, std::size_t units) {
        text = text.substr(0, std::min(text.size(), units - 1));
        for (char16_t c : text) {
            U16(c);
        }
        for (std::size_t i = text.size(); i < units; ++i) {
            U16(0);
        }
    }
    void PadTo(std::size_t size) { writer_.PadTo(size); }
    std::string& Str() { return out_; }

  private:
    std::string out_;
    emf::ByteWriter writer_{out_};
};

std::uint32_t PadTo4(std::uint64_t n) {
    return static_cast<std::uint32_t>((n + 3) & ~std::uint64_t{3});
}

bool ValidPage(double widthPoints, double heightPoints, std::size_t payloadSize) {
    const auto valid = [](double points) {
        return std::isfinite(points) && points > 0 && points <= kMaxPageSizePoints;
    };
    return valid(widthPoints) && valid(heightPoints) && payloadSize <= kMaxPagePayloadBytes;
}

std::int32_t Pixels(double points) {
    return std::max<std::int32_t>(
        1, static_cast<std::int32_t>(std::llround(points / 72.0 * kDeviceDpi)));
}

std::int32_t FrameFor(std::int64_t pixels) {
    return static_cast<std::int32_t>((pixels * kHundredthsMmPerInch + kDeviceDpi - 1) / kDeviceDpi);
}

// The PDF engine takes its scale from the vertical resolution ceil(height px * 2540 / frame
// bottom). A frame in whole 0.01 mm that gives exactly the device's 600 exists for every height
// from 134 px up, but not for some shorter ones; those pages grow to the next height that has
// one (at most 16 px, 2 points), so every page comes out at the device's true scale.
std::int32_t HeightWithExactFrame(std::int64_t pixels) {
    for (;; ++pixels) {
        const std::int64_t frame = FrameFor(pixels);
        if ((pixels * kHundredthsMmPerInch + frame - 1) / frame == kDeviceDpi) {
            return static_cast<std::int32_t>(pixels);
        }
    }
}

// The page's EMF header: its geometry; the rest is the payload form's.
emf::Header PageHeader(double widthPoints, double heightPoints) {
    const std::int32_t widthPx = Pixels(widthPoints);
    const std::int32_t heightPx = HeightWithExactFrame(Pixels(heightPoints));
    const auto rounded = [](double value) {
        return static_cast<std::int32_t>(std::llround(value));
    };
    emf::Header header;
    header.bounds = {0, 0, widthPx - 1, heightPx - 1};  // the whole device surface, inclusive
    header.frame = {0, 0, FrameFor(widthPx), FrameFor(heightPx)};
    header.device = {widthPx, heightPx};
    header.millimeters = {rounded(widthPoints * 25.4 / 72.0), rounded(heightPoints * 25.4 / 72.0)};
    header.micrometers =
        emf::SizeL{rounded(widthPoints * 25400.0 / 72.0), rounded(heightPoints * 25400.0 / 72.0)};
    return header;
}

std::string EmfHead(double widthPoints, double heightPoints, std::size_t payloadSize) {
    return PageEmfHead(PageHeader(widthPoints, heightPoints), payloadSize);
}

struct Paper {
    std::int16_t id;
    double shortSide, longSide;  // points
    const char16_t* form;
};

constexpr Paper kPapers[] = {
    {9, 595.28, 841.89, u"A4"},  {1, 612, 792, u"Letter"},    {5, 612, 1008, u"Legal"},
    {8, 841.89, 1190.55, u"A3"}, {11, 419.53, 595.28, u"A5"}, {7, 522, 756, u"Executive"},
};
constexpr std::int16_t kDmpaperUser = 256;

std::int16_t TenthsMm(double points) {
    // dmPaperWidth/Length are 16-bit; the largest pages do not fit and are capped.
    return static_cast<std::int16_t>(
        std::min<long long>(32767, std::llround(points * 254.0 / 72.0)));
}

// The driver's DEVMODEW for the job: the paper and orientation of its first page.
std::string MakeDevmode(double widthPoints, double heightPoints) {
    const double shortSide = std::min(widthPoints, heightPoints);
    const double longSide = std::max(widthPoints, heightPoints);
    const Paper* paper = nullptr;
    for (const Paper& p : kPapers) {
        if (std::abs(p.shortSide - shortSide) < 1.0 && std::abs(p.longSide - longSide) < 1.0) {
            paper = &p;
        }
    }
    // DM_ORIENTATION, DM_PAPERSIZE/LENGTH/WIDTH, DM_SCALE, DM_COPIES, DM_DEFAULTSOURCE,
    // DM_PRINTQUALITY, DM_COLOR, DM_DUPLEX, DM_YRESOLUTION, DM_TTOPTION, DM_COLLATE, and
    // DM_FORMNAME for a standard paper.
    std::uint32_t fields = 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x100 | 0x200 | 0x400 | 0x800 | 0x1000 |
                           0x2000 | 0x4000 | 0x8000;
    if (paper != nullptr) {
        fields |= 0x10000;
    }
    ByteWriter w;
    w.FixedUtf16(u"Tessaline", 32);
    w.U16(0x0401);  // dmSpecVersion
    w.U16(0x0001);  // dmDriverVersion
    w.U16(kDevmodeSize);
    w.U16(0);  // dmDriverExtra
    w.U32(fields);
    w.I16(widthPoints > heightPoints ? 2 : 1);  // DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT
    w.I16(paper != nullptr ? paper->id : kDmpaperUser);
    w.I16(TenthsMm(longSide));   // dmPaperLength: the sheet as fed, portrait
    w.I16(TenthsMm(shortSide));  // dmPaperWidth
    w.I16(100);                  // dmScale, percent
    w.I16(1);                    // dmCopies
    w.I16(7);                    // dmDefaultSource: DMBIN_AUTO
    w.I16(kDeviceDpi);           // dmPrintQuality
    w.I16(2);                    // dmColor: DMCOLOR_COLOR
    w.I16(1);                    // dmDuplex: DMDUP_SIMPLEX
    w.I16(kDeviceDpi);           // dmYResolution
    w.I16(2);                    // dmTTOption: DMTT_DOWNLOAD
    w.I16(0);                    // dmCollate: DMCOLLATE_FALSE
    w.FixedUtf16(paper != nullptr ? paper->form : u"", 32);
    w.PadTo(kDevmodeSize);  // dmLogPixels to dmPanningHeight: display fields
    return std::move(w.Str());
}

std::string SpoolHeader(const std::string& documentName) {
    const std::u16string name = platform::Utf8ToUtf16(documentName);
    const std::uint32_t headerSize = PadTo4(spool::kFixedHeaderSize + 2 * (name.size() + 1));
    ByteWriter w;
    w.U32(spool::kVersion);
    w.U32(headerSize);
    w.U32(spool::kFixedHeaderSize);  // document name offset
    w.U32(0);                        // no output name
    for (char16_t c : name) {
        w.U16(c);
    }
    w.PadTo(headerSize);  // the name's NUL and the padding
    return std::move(w.Str());
}

std::string RecordHead(std::uint32_t type, std::uint32_t size) {
    ByteWriter w;
    w.U32(type);
    w.U32(size);
    return std::move(w.Str());
}

// The spool file under its temporary name; removed unless committed.
class SpoolOutput {
  public:
    SpoolOutput(const std::string& path, std::string* error) : path_(path), error_(error) {}

    bool Create() {
        // Mode 0600 keeps the content private. The temporary's name ends in a random suffix, so
        // it does not match the extractor's "*.SPL" while it is written.
        return file_.Begin(path_, platform::FileReplacement::Permissions::kPrivate) ||
               Fail("cannot create");
    }

    bool Write(std::string_view bytes) { return file_.Write(bytes) || Fail("cannot write"); }

    bool Commit() {
        if (!file_.Close()) {
            return Fail("cannot write");
        }
        return file_.Commit() || Fail("cannot move into place");
    }

  private:
    bool Fail(const char* what) {
        const int code = errno;
        if (error_ != nullptr) {
            *error_ = std::string("spool file ") + path_ + ": " + what + ": " + std::strerror(code);
        }
        return false;
    }

    std::string path_;
    std::string* error_;
    platform::FileReplacement file_;
};

bool WritePage(SpoolOutput& out, const PrintedPage& page) {
    const std::size_t size = page.payload.size();
    return out.Write(RecordHead(spool::kMetafileDataRecord, PageEmfSize(size))) &&
           out.Write(EmfHead(page.widthPoints, page.heightPoints, size)) &&
           out.Write(page.payload) && out.Write(PageEmfTail(size));
}

}  // namespace

std::string MakePageEmf(double widthPoints, double heightPoints, std::string_view payload) {
    if (!ValidPage(widthPoints, heightPoints, payload.size())) {
        return {};
    }
    std::string emf = EmfHead(widthPoints, heightPoints, payload.size());
    emf.reserve(PageEmfSize(payload.size()));
    emf.append(payload);
    emf.append(PageEmfTail(payload.size()));
    return emf;
}

bool WriteSpoolFile(const std::string& jobPath, const std::string& spoolPath, std::string* error) {
    std::string ignored;
    std::string* why = error != nullptr ? error : &ignored;
    PrintJobReader job;
    if (!job.Open(jobPath, why)) {
        return false;
    }
    // The devmode describes the first page's paper, so that page is read before it is written.
    PrintedPage page;
    const bool hasPage = job.NextPage(&page, why);
    if (!hasPage && !why->empty()) {
        return false;
    }
    SpoolOutput out(spoolPath, why);
    if (!out.Create() || !out.Write(SpoolHeader(job.DocumentName())) ||
        !out.Write(RecordHead(spool::kDevmodeRecord, kDevmodeSize))) {
        return false;
    }
    // A job without pages still gets the driver's default paper, A4 portrait.
    if (!out.Write(hasPage ? MakeDevmode(page.widthPoints, page.heightPoints)
                           : MakeDevmode(595.28, 841.89))) {
        return false;
    }
    for (bool more = hasPage; more; more = job.NextPage(&page, why)) {
        if (!WritePage(out, page)) {
            return false;
        }
    }
    if (!why->empty()) {
        return false;
    }
    return out.Commit();
}

}  // namespace printer
