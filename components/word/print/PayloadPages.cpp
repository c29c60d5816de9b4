#include "components/word/print/PayloadPages.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>

#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "components/word/print/UsedResources.h"
#include "contracts/PrintJob.h"

namespace word_print {
namespace {

// Enough for a thousandth of a point after any scaling a page may carry.
constexpr int kDecimalPlaces = 6;

// qpdf keeps every object it has read until the file is closed; reading the file afresh now and
// then keeps that to the objects of a few hundred pages however long the document is.
constexpr std::size_t kPagesPerOpening = 256;

struct Box {
    double llx = 0;
    double lly = 0;
    double urx = 0;
    double ury = 0;
    double Width() const { return urx - llx; }
    double Height() const { return ury - lly; }
};

// A rectangle in either corner order, or nullopt when the object is not one.
std::optional<Box> ReadBox(QPDFObjectHandle array) {
    if (!array.isArray() || array.getArrayNItems() != 4) {
        return std::nullopt;
    }
    double v[4];
    for (int i = 0; i < 4; ++i) {
        if (!array.getArrayItem(i).getValueAsNumber(v[i]) || !std::isfinite(v[i])) {
            return std::nullopt;
        }
    }
    return Box{std::min(v[0], v[2]), std::min(v[1], v[3]), std::max(v[0], v[2]),
               std::max(v[1], v[3])};
}

// /Rotate as 0, 90, 180 or 270; viewers ignore a value that is not a multiple of 90.
int ReadRotation(QPDFObjectHandle rotate) {
    double value = 0;
    if (!rotate.getValueAsNumber(value) || !std::isfinite(value) || std::fmod(value, 90) != 0 ||
        std::fabs(value) > 1e6) {
        return 0;
    }
    return ((static_cast<int>(value) % 360) + 360) % 360;
}

double ReadUserUnit(QPDFObjectHandle unit) {
    double value = 1;
    if (!unit.getValueAsNumber(value) || !std::isfinite(value) || value <= 0) {
        return 1;
    }
    return value;
}

// Where the page's visible area lands on the upright sheet: a PDF matrix [a b c d e f] from the
// source page's user space to the payload's, and the sheet's size.
struct Placement {
    double matrix[6] = {1, 0, 0, 1, 0, 0};
    double width = 0;
    double height = 0;
    bool IsIdentity() const {
        return matrix[0] == 1 && matrix[1] == 0 && matrix[2] == 0 && matrix[3] == 1 &&
               matrix[4] == 0 && matrix[5] == 0;
    }
};

Placement PlaceOnSheet(const Box& visible, int rotation, double userUnit) {
    const double w = visible.Width();
    const double h = visible.Height();
    // The turn about the visible area's own corner; /Rotate turns the page clockwise.
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    switch (rotation) {
        case 90:
            a = 0, b = -1, c = 1, d = 0, e = 0, f = w;
            break;
        case 180:
            a = -1, b = 0, c = 0, d = -1, e = w, f = h;
            break;
        case 270:
            a = 0, b = 1, c = -1, d = 0, e = h, f = 0;
            break;
        default:
            break;
    }
    Placement placement;
    const double u = userUnit;
    // Moved to the origin first, turned, then scaled from user units to points.
    const double m[6] = {a * u,
                         b * u,
                         c * u,
                         d * u,
                         (e - a * visible.llx - c * visible.lly) * u,
                         (f - b * visible.llx - d * visible.lly) * u};
    for (int i = 0; i < 6; ++i) {
        // No negative zero in the content stream.
        placement.matrix[i] = m[i] == 0 ? 0 : m[i];
    }
    const bool quarterTurn = rotation == 90 || rotation == 270;
    placement.width = (quarterTurn ? h : w) * u;
    placement.height = (quarterTurn ? w : h) * u;
    return placement;
}

std::string Number(double value) {
    return QUtil::double_to_string(value, kDecimalPlaces, true);
}

QPDFObjectHandle NumberObject(double value) {
    return QPDFObjectHandle::newReal(value, kDecimalPlaces, true);
}

// The first warning qpdf collected, if any: a warning means it had to guess at damaged data.
std::optional<std::string> FirstWarning(QPDF& pdf) {
    if (!pdf.anyWarnings()) {
        return std::nullopt;
    }
    std::vector<QPDFExc> warnings = pdf.getWarnings();
    return warnings.empty() ? std::string("damaged data") : std::string(warnings.front().what());
}

// Copies an object of the source into `out`. Indirect objects go through copyForeignObject, which
// copies each source object once however often it is reached. Direct containers are rebuilt
// around their copied items: copyForeignObject takes indirect objects only, and giving the source
// a new indirect object would make qpdf resolve every object of the file to number it.
QPDFObjectHandle CopyFrom(QPDF& out, QPDFObjectHandle object) {
    if (object.isIndirect()) {
        return out.copyForeignObject(object);
    }
    if (object.isArray()) {
        std::vector<QPDFObjectHandle> items;
        for (QPDFObjectHandle item : object.aitems()) {
            items.push_back(CopyFrom(out, item));
        }
        return QPDFObjectHandle::newArray(items);
    }
    if (object.isDictionary()) {
        QPDFObjectHandle copy = QPDFObjectHandle::newDictionary();
        for (const auto& [key, value] : object.ditems()) {
            copy.replaceKey(key, CopyFrom(out, value));
        }
        return copy;
    }
    // A scalar: a fresh object with no tie to the source.
    return QPDFObjectHandle::parse(object.unparse());
}

// A resource dictionary's copy that keeps, of each category that content names, only the entries
// named in `used`.
QPDFObjectHandle CopyUsedResources(QPDF& out, QPDFObjectHandle resources,
                                   const std::set<std::string>& used) {
    if (!resources.isDictionary()) {
        return CopyFrom(out, resources);
    }
    QPDFObjectHandle copy = QPDFObjectHandle::newDictionary();
    for (auto [category, entries] : resources.ditems()) {
        if (!IsNamedCategory(category) || !entries.isDictionary()) {
            copy.replaceKey(category, CopyFrom(out, entries));
            continue;
        }
        QPDFObjectHandle kept = QPDFObjectHandle::newDictionary();
        for (auto [name, value] : entries.ditems()) {
            if (used.count(name) != 0) {
                kept.replaceKey(name, CopyFrom(out, value));
            }
        }
        copy.replaceKey(category, kept);
    }
    return copy;
}

// A page's content streams: /Contents is one stream or an array of them.
std::vector<QPDFObjectHandle> StreamsOf(QPDFObjectHandle contents) {
    std::vector<QPDFObjectHandle> streams;
    if (contents.isStream()) {
        streams.push_back(contents);
    } else if (contents.isArray()) {
        for (QPDFObjectHandle item : contents.aitems()) {
            if (item.isStream()) {
                streams.push_back(item);
            }
        }
    }
    return streams;
}

// "<file>: page <n>", how every page's failure begins.
std::string PageLabel(const std::string& path, std::size_t index) {
    return path + ": page " + std::to_string(index + 1);
}

}  // namespace

struct PayloadPages::Source {
    QPDF pdf;
    std::vector<QPDFObjectHandle> pages;
    std::size_t pagesMade = 0;
};

PayloadPages::PayloadPages() = default;
PayloadPages::~PayloadPages() = default;

std::size_t PayloadPages::PageCount() const {
    return source_ ? source_->pages.size() : 0;
}

std::unique_ptr<PayloadPages::Source> PayloadPages::Load(std::string* error) const {
    auto source = std::make_unique<Source>();
    try {
        source->pdf.setSuppressWarnings(true);
        // A damaged file is refused, not pieced together: a guess could print the wrong pages.
        source->pdf.setAttemptRecovery(false);
        source->pdf.processFile(path_.c_str());
        if (source->pdf.isEncrypted()) {
            *error = path_ + ": the PDF is encrypted";
            return nullptr;
        }
        source->pages = source->pdf.getAllPages();
        if (auto warning = FirstWarning(source->pdf)) {
            *error = path_ + ": damaged PDF: " + *warning;
            return nullptr;
        }
    } catch (const QPDFExc& e) {
        *error = e.getErrorCode() == qpdf_e_password
                     ? path_ + ": the PDF is encrypted"
                     : std::string("cannot read the PDF: ") + e.what();
        return nullptr;
    } catch (const std::exception& e) {
        *error = path_ + ": cannot read the PDF: " + e.what();
        return nullptr;
    }
    return source;
}

bool PayloadPages::Open(const std::string& pdfPath, std::string* error) {
    source_.reset();
    path_ = pdfPath;
    std::unique_ptr<Source> source = Load(error);
    if (!source) {
        return false;
    }
    if (source->pages.empty()) {
        *error = pdfPath + ": the PDF has no pages";
        return false;
    }
    source_ = std::move(source);
    return true;
}

bool PayloadPages::MakePage(std::size_t index, PayloadPage* page, std::string* error) {
    if (!source_ || index >= source_->pages.size()) {
        *error = PageLabel(path_, index) + ": no such page";
        return false;
    }
    if (++source_->pagesMade > kPagesPerOpening) {
        std::unique_ptr<Source> fresh = Load(error);
        if (!fresh) {
            return false;
        }
        if (fresh->pages.size() != source_->pages.size()) {
            *error = path_ + ": the PDF changed while it was being printed";
            return false;
        }
        fresh->pagesMade = 1;
        source_ = std::move(fresh);
    }
    QPDF& src = source_->pdf;
    try {
        QPDFPageObjectHelper sourcePage(source_->pages[index]);
        const std::optional<Box> media = ReadBox(sourcePage.getMediaBox());
        if (!media) {
            *error = PageLabel(path_, index) + " has no valid MediaBox";
            return false;
        }
        // The visible area: the CropBox, cut to the MediaBox.
        Box visible = *media;
        if (std::optional<Box> crop = ReadBox(sourcePage.getAttribute("/CropBox", false))) {
            visible = Box{std::max(crop->llx, media->llx), std::max(crop->lly, media->lly),
                          std::min(crop->urx, media->urx), std::min(crop->ury, media->ury)};
        }
        const Placement placement =
            PlaceOnSheet(visible, ReadRotation(sourcePage.getAttribute("/Rotate", false)),
                         ReadUserUnit(sourcePage.getObjectHandle().getKey("/UserUnit")));
        if (!(placement.width > 0 && placement.height > 0 &&
              placement.width <= tessaline::contracts::kMaxPageSizePoints &&
              placement.height <= tessaline::contracts::kMaxPageSizePoints)) {
            *error = PageLabel(path_, index) + " measures " + Number(placement.width) + " x " +
                     Number(placement.height) + " points, which cannot be printed";
            return false;
        }

        QPDF out;
        out.setSuppressWarnings(true);
        out.emptyPDF();
        QPDFObjectHandle pageDict = sourcePage.getObjectHandle();
        QPDFObjectHandle sourceResources = sourcePage.getAttribute("/Resources", false);
        // Documents often share one resource dictionary among all pages; a payload keeps only
        // what its own content names.
        const std::optional<std::set<std::string>> used =
            NamesUsedByPage(StreamsOf(pageDict.getKey("/Contents")), sourceResources);
        QPDFObjectHandle resources =
            used ? CopyUsedResources(out, sourceResources, *used) : CopyFrom(out, sourceResources);
        QPDFObjectHandle contents = CopyFrom(out, pageDict.getKey("/Contents"));
        QPDFObjectHandle group = CopyFrom(out, pageDict.getKey("/Group"));

        std::vector<QPDFObjectHandle> streams = StreamsOf(contents);
        if (!placement.IsIdentity() && !streams.empty()) {
            const double* m = placement.matrix;
            std::string before = "q " + Number(m[0]) + " " + Number(m[1]) + " " + Number(m[2]) +
                                 " " + Number(m[3]) + " " + Number(m[4]) + " " + Number(m[5]) +
                                 " cm " + Number(visible.llx) + " " + Number(visible.lly) + " " +
                                 Number(visible.Width()) + " " + Number(visible.Height()) +
                                 " re W n\n";
            streams.insert(streams.begin(), out.newStream(before));
            streams.push_back(out.newStream("\nQ\n"));
        }

        QPDFObjectHandle dict = QPDFObjectHandle::newDictionary();
        dict.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        dict.replaceKey("/MediaBox",
                        QPDFObjectHandle::newArray(
                            {QPDFObjectHandle::newInteger(0), QPDFObjectHandle::newInteger(0),
                             NumberObject(placement.width), NumberObject(placement.height)}));
        dict.replaceKey("/Resources",
                        resources.isDictionary() ? resources : QPDFObjectHandle::newDictionary());
        dict.replaceKey("/Contents", QPDFObjectHandle::newArray(streams));
        if (group.isDictionary()) {
            dict.replaceKey("/Group", group);
        }
        QPDFObjectHandle newPage = out.makeIndirectObject(dict);
        out.addPage(newPage, false);

        QPDFWriter writer(out);
        writer.setOutputMemory();
        writer.setObjectStreamMode(qpdf_o_disable);
        // Every stream is written as the source stores it: shared ones stay identical across
        // payloads and nothing is encoded again for each page.
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(false);
        writer.setDeterministicID(true);
        writer.setMinimumPDFVersion(src.getPDFVersion(), src.getExtensionLevel());
        writer.write();

        for (QPDF* pdf : {&src, &out}) {
            if (auto warning = FirstWarning(*pdf)) {
                *error = PageLabel(path_, index) + ": damaged PDF: " + *warning;
                return false;
            }
        }
        std::shared_ptr<Buffer> bytes = writer.getBufferSharedPointer();
        page->pdf.assign(reinterpret_cast<const char*>(bytes->getBuffer()), bytes->getSize());
        page->widthPoints = placement.width;
        page->heightPoints = placement.height;
        return true;
    } catch (const std::exception& e) {
        *error = PageLabel(path_, index) + ": " + e.what();
        return false;
    }
}

}  // namespace word_print
