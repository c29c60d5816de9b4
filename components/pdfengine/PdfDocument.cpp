#include "components/pdfengine/PdfDocument.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <exception>
#include <new>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "components/pdfengine/CairoLayer.h"
#include "components/pdfengine/DocumentWriter.h"
#include "components/pdfengine/EngineDocument.h"
#include "components/pdfengine/EngineResult.h"
#include "components/pdfengine/LinkUri.h"
#include "components/pdfengine/PageStore.h"
#include "components/pdfengine/PlacedPdf.h"
#include "components/pdfengine/emf/EmfReader.h"
#include "components/pdfengine/emf/EmfRenderer.h"
#include "contracts/PagePayload.h"
#include "contracts/PdfEngine.h"
#include "platform/com_object.h"
#include "platform/text.h"

namespace pdfengine {

namespace {

constexpr LONG kPointsPerInch = 72;
constexpr LONG kNewPageWidth = 595;  // A4
constexpr LONG kNewPageHeight = 842;
// PDF viewers handle pages up to 200 inches a side.
constexpr LONG kLargestPageSide = 14400;

std::string Utf8(BSTR text) {
    return text == nullptr ? std::string()
                           : platform::Utf16ToUtf8(std::u16string_view(text, SysStringLen(text)));
}

// An outline title as readers show it: word processors hand over a heading's text with its
// paragraph mark (and sometimes line breaks or tabs inside); those control characters are not
// part of the title, so inner ones become spaces and trailing ones go.
std::string OutlineTitle(BSTR text) {
    std::string title = Utf8(text);
    for (char& c : title) {
        if (static_cast<unsigned char>(c) < 0x20) {
            c = ' ';
        }
    }
    while (!title.empty() && title.back() == ' ') {
        title.pop_back();
    }
    return title;
}

bool Finite(std::initializer_list<double> values) {
    for (double value : values) {
        if (!std::isfinite(value)) {
            return false;
        }
    }
    return true;
}

HRESULT ReadFileBytes(const std::string& path, std::vector<std::uint8_t>* bytes) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return HresultFromErrno(errno, kStgReadFault);
    }
    HRESULT hr = S_OK;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        hr = kStgAccessDenied;
    } else {
        bytes->resize(static_cast<std::size_t>(info.st_size));
        std::size_t done = 0;
        while (SUCCEEDED(hr) && done < bytes->size()) {
            const ssize_t n =
                read(fd, reinterpret_cast<char*>(bytes->data()) + done, bytes->size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                hr = n < 0 ? HresultFromErrno(errno, kStgReadFault) : kStgReadFault;
            } else {
                done += static_cast<std::size_t>(n);
            }
        }
    }
    close(fd);
    return hr;
}

// Runs `body`, turning anything it throws into a result code.
template <typename Body>
HRESULT Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

class PdfDocument final : public platform::ComObject<IPDFDocument4> {
  public:
    PdfDocument() { document_.pages.push_back({kNewPageWidth, kNewPageHeight, {}, {}}); }

    bool Answers(REFIID riid) const override { return riid == IID_IPDFDocument4; }

    HRESULT GetResolution(LONG* unitsPerInch) override {
        if (unitsPerInch == nullptr) {
            return E_POINTER;
        }
        *unitsPerInch = kPointsPerInch;
        return S_OK;
    }
    HRESULT AddPage() override {
        return Guarded([&] {
            document_.pages.push_back({kNewPageWidth, kNewPageHeight, {}, {}});
            return S_OK;
        });
    }
    HRESULT SelectPage(LONG index) override {
        if (!IsPage(index)) {
            return E_INVALIDARG;
        }
        current_ = static_cast<std::size_t>(index);
        return S_OK;
    }
    HRESULT GetPageCount(LONG* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = static_cast<LONG>(document_.pages.size());
        return S_OK;
    }
    HRESULT SetPageHeight(LONG height) override { return SetSide(height, &EnginePage::height); }
    HRESULT SetPageWidth(LONG width) override { return SetSide(width, &EnginePage::width); }

    HRESULT DrawMetafile(BSTR path, FLOAT x, FLOAT y, FLOAT scaleX, FLOAT scaleY) override {
        if (!Finite({x, y, scaleX, scaleY}) || !(scaleX > 0) || !(scaleY > 0) ||
            SysStringLen(path) == 0) {
            return E_INVALIDARG;
        }
        return Guarded([&] { return Draw(Utf8(path), {x, y, scaleX, scaleY}); });
    }

    HRESULT AddWebLink(FLOAT left, FLOAT top, FLOAT right, FLOAT bottom, BSTR target) override {
        if (!Finite({left, top, right, bottom})) {
            return E_INVALIDARG;
        }
        // Links into the document come with no web target (they get their page link later);
        // an empty address opens nothing, so it makes no link area.
        if (SysStringLen(target) == 0) {
            return S_OK;
        }
        return Guarded([&] {
            CurrentPage().links.push_back(
                {{left, top, right, bottom}, EncodeLinkUri(Utf8(target)), {}});
            return S_OK;
        });
    }
    HRESULT AddPageLink(FLOAT left, FLOAT top, FLOAT right, FLOAT bottom, LONG page,
                        FLOAT y) override {
        if (!Finite({left, top, right, bottom, y}) || !IsPage(page)) {
            return E_INVALIDARG;
        }
        return Guarded([&] {
            CurrentPage().links.push_back({{left, top, right, bottom}, {}, {page, y}});
            return S_OK;
        });
    }

    // 1 opens the document with the outline shown, 0 leaves that to the reader.
    HRESULT SetOutlineMode(LONG mode) override {
        if (mode != 0 && mode != 1) {
            return E_INVALIDARG;
        }
        document_.openWithOutline = mode == 1;
        return S_OK;
    }
    HRESULT GetOutlineRoot(LONG* root) override {
        if (root == nullptr) {
            return E_POINTER;
        }
        *root = OutlineTree::kRootId;
        return S_OK;
    }
    // Titles arrive as UTF-16 and are written as PDF text strings (UTF-16 when they are not
    // plain ASCII). The character set names the code page the caller converted the title from;
    // once the title is Unicode it changes nothing, so any value is accepted.
    HRESULT AddOutlineChild(LONG parent, BSTR title, LONG /*charset*/, LONG* id) override {
        return Guarded([&] { return document_.outline.AddChild(parent, OutlineTitle(title), id); });
    }
    HRESULT AddOutlineSibling(LONG previous, BSTR title, LONG /*charset*/, LONG* id) override {
        return Guarded(
            [&] { return document_.outline.AddSibling(previous, OutlineTitle(title), id); });
    }
    HRESULT CreateDestination(LONG page, FLOAT y, LONG* id) override {
        if (id == nullptr) {
            return E_POINTER;
        }
        if (!IsPage(page) || !std::isfinite(y)) {
            return E_INVALIDARG;
        }
        return Guarded([&] {
            *id = document_.outline.AddDestination({page, y});
            return S_OK;
        });
    }
    HRESULT SetOutlineDestination(LONG entry, LONG destination) override {
        return document_.outline.SetDestination(entry, destination);
    }

    HRESULT SetCreator(BSTR text) override {
        return Guarded([&] {
            document_.creator = Utf8(text);
            return S_OK;
        });
    }
    HRESULT SetProducer(BSTR text) override {
        return Guarded([&] {
            document_.producer = Utf8(text);
            return S_OK;
        });
    }

    HRESULT SaveToFile(BSTR path, LONG flags) override {
        if (SysStringLen(path) == 0 || flags != 0) {
            return E_INVALIDARG;
        }
        return Guarded([&] { return WriteDocument(document_, store_, Utf8(path)); });
    }

    // Placed pages keep the fonts they were made with, embedded, whatever this says: a payload
    // PDF carries its fonts and the engine never draws text with fonts of its own choosing. The
    // setting is kept for callers that read their own choice back.
    HRESULT SetEmbedMetafileFonts(VARIANT_BOOL embed) override {
        embedMetafileFonts_ = embed != VARIANT_FALSE;
        return S_OK;
    }

  private:
    ~PdfDocument() override = default;

    bool IsPage(LONG index) const {
        return index >= 0 && static_cast<std::size_t>(index) < document_.pages.size();
    }
    EnginePage& CurrentPage() { return document_.pages[current_]; }

    HRESULT SetSide(LONG points, double EnginePage::*side) {
        if (points <= 0 || points > kLargestPageSide) {
            return E_INVALIDARG;
        }
        CurrentPage().*side = points;
        return S_OK;
    }

    // The metafile's ordinary drawing records are rendered with cairo into a layer the size of
    // the page; its payloads go over its frame. Both at (x, y), scaled from device pixels to
    // points. A failure adds nothing to the page.
    HRESULT Draw(const std::string& path, const MetafilePlacement& placement) {
        std::vector<std::uint8_t> bytes;
        HRESULT hr = ReadFileBytes(path, &bytes);
        if (FAILED(hr)) {
            return hr;
        }
        emf::EmfMetafile metafile;
        std::string error;
        if (!emf::EmfMetafile::Parse(std::move(bytes), &metafile, &error)) {
            return E_FAIL;
        }
        // rclFrame is in 0.01 mm.
        const emf::EmfHeader& header = metafile.Header();
        const double xPixels = header.PixelsPerMmX() / 100.0;
        const double yPixels = header.PixelsPerMmY() / 100.0;
        if (!Finite({xPixels, yPixels}) || !(xPixels > 0) || !(yPixels > 0)) {
            return E_FAIL;
        }
        const auto pointsX = [&](double hundredths) {
            return placement.x + hundredths * xPixels * placement.scaleX;
        };
        const auto pointsY = [&](double hundredths) {
            return placement.y + hundredths * yPixels * placement.scaleY;
        };
        const TopDownRect frame{pointsX(header.frame.left), pointsY(header.frame.top),
                                pointsX(header.frame.right), pointsY(header.frame.bottom)};

        EnginePage& page = CurrentPage();
        std::vector<PlacedPdf> layers;
        if (emf::HasDrawingRecords(metafile)) {
            std::string rendered;
            hr = RenderMetafileLayer(metafile, page.width, page.height, placement, &rendered);
            PlacedPdf layer{{}, {0, 0, page.width, page.height}};
            if (SUCCEEDED(hr)) {
                hr = store_.Append(rendered, &layer.pdf);
            }
            if (FAILED(hr)) {
                return hr;
            }
            layers.push_back(layer);
        }
        for (std::span<const std::uint8_t> data :
             metafile.CommentsWithIdentifier(tessaline::contracts::kPagePayloadId)) {
            const std::string_view payload(reinterpret_cast<const char*>(data.data()), data.size());
            if (!IsPlaceablePdf(payload)) {
                return E_FAIL;
            }
            PlacedPdf layer{{}, frame};
            hr = store_.Append(payload, &layer.pdf);
            if (FAILED(hr)) {
                return hr;
            }
            layers.push_back(layer);
        }
        page.layers.insert(page.layers.end(), layers.begin(), layers.end());
        return S_OK;
    }

    EngineDocument document_;
    PageStore store_;
    std::size_t current_ = 0;
    bool embedMetafileFonts_ = true;
};

}  // namespace

HRESULT CreatePdfDocument(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    try {
        return platform::HandOutNewObject(new PdfDocument, riid, object);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace pdfengine
