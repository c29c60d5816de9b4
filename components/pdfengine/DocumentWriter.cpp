#include "components/pdfengine/DocumentWriter.h"

#include <algorithm>
#include <exception>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFMatrix.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include "components/pdfengine/FileReplacement.h"
#include "components/pdfengine/ObjectImporter.h"
#include "components/pdfengine/PlacedPdf.h"

namespace pdfengine {

namespace {

using Handle = QPDFObjectHandle;

Handle Real(double value) {
    return Handle::newReal(value, 4);
}

Handle NumberArray(std::initializer_list<double> values) {
    Handle array = Handle::newArray();
    for (double value : values) {
        array.appendItem(Real(value));
    }
    return array;
}

// [llx lly urx ury] in PDF space of a page `pageHeight` points high.
Handle PdfRect(const TopDownRect& area, double pageHeight) {
    const auto [left, right] = std::minmax(area.left, area.right);
    const auto [top, bottom] = std::minmax(area.top, area.bottom);
    return NumberArray({left, pageHeight - bottom, right, pageHeight - top});
}

// Content operators that draw `form` (named `name` in the page's resources) stretched over
// `area`.
std::string Placement(Handle form, const std::string& name, const TopDownRect& area,
                      double pageHeight) {
    Handle dictionary = form.getDict();
    Handle boxObject = dictionary.getKey("/BBox");
    if (!boxObject.isRectangle()) {
        throw std::runtime_error("placed page without a bounding box");
    }
    const QPDFMatrix formMatrix = dictionary.getKey("/Matrix").isMatrix()
                                      ? QPDFMatrix(dictionary.getKey("/Matrix").getArrayAsMatrix())
                                      : QPDFMatrix();
    const Handle::Rectangle box = formMatrix.transformRectangle(boxObject.getArrayAsRectangle());
    const double boxWidth = box.urx - box.llx;
    const double boxHeight = box.ury - box.lly;
    if (!(boxWidth > 0) || !(boxHeight > 0)) {
        throw std::runtime_error("placed page with an empty bounding box");
    }
    const double left = std::min(area.left, area.right);
    const double bottom = pageHeight - std::max(area.top, area.bottom);
    const double sx = std::abs(area.right - area.left) / boxWidth;
    const double sy = std::abs(area.bottom - area.top) / boxHeight;
    const QPDFMatrix place(sx, 0, 0, sy, left - box.llx * sx, bottom - box.lly * sy);
    return "q " + place.unparse() + " cm " + name + " Do Q\n";
}

class Assembly {
  public:
    Assembly(const EngineDocument& document, const PageStore& store)
        : document_(document), store_(store), importer_(pdf_) {
        pdf_.emptyPDF();
        pdf_.setSuppressWarnings(true);
    }

    HRESULT Build() {
        for (const EnginePage& page : document_.pages) {
            const HRESULT hr = AddPage(page);
            if (FAILED(hr)) {
                return hr;
            }
        }
        pages_ = QPDFPageDocumentHelper(pdf_).getAllPages();
        for (std::size_t i = 0; i < pages_.size(); ++i) {
            AddLinks(document_.pages[i], pages_[i]);
        }
        AddOutline();
        AddInformation();
        return S_OK;
    }

    void Write(std::FILE* file, const std::string& description) {
        QPDFWriter writer(pdf_);
        writer.setOutputFile(description.c_str(), file, false);
        writer.setObjectStreamMode(qpdf_o_generate);
        writer.setCompressStreams(true);
        writer.setDeterministicID(true);
        writer.setMinimumPDFVersion(version_);
        writer.write();
    }

  private:
    HRESULT AddPage(const EnginePage& page) {
        Handle xobjects = Handle::newDictionary();
        std::string content;
        for (std::size_t i = 0; i < page.layers.size(); ++i) {
            const PlacedPdf& layer = page.layers[i];
            std::string bytes;
            const HRESULT hr = store_.Read(layer.pdf, &bytes);
            if (FAILED(hr)) {
                return hr;
            }
            Handle form;
            {
                // The source lives only while its objects are copied.
                QPDF source;
                QPDFPageObjectHelper sourcePage = OpenPlacedPdf(source, bytes);
                version_ = std::max(version_, source.getPDFVersion());
                form = importer_.Import(sourcePage.getFormXObjectForPage());
                importer_.EndSource();
            }
            const std::string name = "/Fx" + std::to_string(i);
            xobjects.replaceKey(name, form);
            content += Placement(form, name, layer.area, page.height);
        }
        Handle resources = Handle::newDictionary();
        resources.replaceKey("/XObject", xobjects);
        Handle dictionary = Handle::newDictionary();
        dictionary.replaceKey("/Type", Handle::newName("/Page"));
        dictionary.replaceKey("/MediaBox", NumberArray({0, 0, page.width, page.height}));
        dictionary.replaceKey("/Resources", resources);
        dictionary.replaceKey("/Contents", pdf_.newStream(content));
        QPDFPageDocumentHelper(pdf_).addPage(pdf_.makeIndirectObject(dictionary), false);
        return S_OK;
    }

    // [page /XYZ null y null]: the page at the given height, zoom and left edge unchanged.
    Handle Destination(const pdfengine::Destination& destination) {
        const auto index = static_cast<std::size_t>(destination.page);
        if (destination.page < 0 || index >= pages_.size()) {
            throw std::invalid_argument("destination page out of range");
        }
        Handle array = Handle::newArray();
        array.appendItem(pages_[index].getObjectHandle());
        array.appendItem(Handle::newName("/XYZ"));
        array.appendItem(Handle::newNull());
        array.appendItem(Real(document_.pages[index].height - destination.y));
        array.appendItem(Handle::newNull());
        return array;
    }

    void AddLinks(const EnginePage& page, QPDFPageObjectHelper& pdfPage) {
        if (page.links.empty()) {
            return;
        }
        Handle annotations = Handle::newArray();
        for (const LinkArea& link : page.links) {
            Handle annotation = Handle::newDictionary();
            annotation.replaceKey("/Type", Handle::newName("/Annot"));
            annotation.replaceKey("/Subtype", Handle::newName("/Link"));
            annotation.replaceKey("/Rect", PdfRect(link.area, page.height));
            annotation.replaceKey("/Border", NumberArray({0, 0, 0}));
            if (!link.uri.empty()) {
                Handle action = Handle::newDictionary();
                action.replaceKey("/S", Handle::newName("/URI"));
                action.replaceKey("/URI", Handle::newString(link.uri));
                annotation.replaceKey("/A", action);
            } else {
                annotation.replaceKey("/Dest", Destination(link.destination));
            }
            annotations.appendItem(pdf_.makeIndirectObject(annotation));
        }
        pdfPage.getObjectHandle().replaceKey("/Annots", annotations);
    }

    // The outline items, made without recursion so that any depth is fine. Entries with
    // children start closed (negative /Count): the reader sees the top level first.
    void AddOutline() {
        const OutlineTree& tree = document_.outline;
        if (tree.Empty()) {
            return;
        }
        Handle root = pdf_.makeIndirectObject(Handle::newDictionary());
        root.replaceKey("/Type", Handle::newName("/Outlines"));
        std::vector<std::pair<LONG, Handle>> pending{{OutlineTree::kRootId, root}};
        while (!pending.empty()) {
            auto [id, parent] = pending.back();
            pending.pop_back();
            const std::vector<LONG>& children = tree.Get(id).children;
            if (children.empty()) {
                continue;
            }
            Handle previous;
            for (LONG child : children) {
                const OutlineTree::Entry& entry = tree.Get(child);
                Handle item = pdf_.makeIndirectObject(Handle::newDictionary());
                item.replaceKey("/Title", Handle::newUnicodeString(entry.title));
                item.replaceKey("/Parent", parent);
                if (entry.destination) {
                    item.replaceKey("/Dest", Destination(tree.GetDestination(*entry.destination)));
                }
                if (previous.isInitialized()) {
                    previous.replaceKey("/Next", item);
                    item.replaceKey("/Prev", previous);
                } else {
                    parent.replaceKey("/First", item);
                }
                previous = item;
                pending.emplace_back(child, item);
            }
            parent.replaceKey("/Last", previous);
            const auto count = static_cast<long long>(children.size());
            parent.replaceKey("/Count",
                              Handle::newInteger(id == OutlineTree::kRootId ? count : -count));
        }
        Handle catalog = pdf_.getRoot();
        catalog.replaceKey("/Outlines", root);
        if (document_.openWithOutline) {
            catalog.replaceKey("/PageMode", Handle::newName("/UseOutlines"));
        }
    }

    void AddInformation() {
        Handle info = Handle::newDictionary();
        if (!document_.creator.empty()) {
            info.replaceKey("/Creator", Handle::newUnicodeString(document_.creator));
        }
        if (!document_.producer.empty()) {
            info.replaceKey("/Producer", Handle::newUnicodeString(document_.producer));
        }
        if (!info.getKeys().empty()) {
            pdf_.getTrailer().replaceKey("/Info", pdf_.makeIndirectObject(info));
        }
    }

    const EngineDocument& document_;
    const PageStore& store_;
    QPDF pdf_;
    ObjectImporter importer_;
    std::vector<QPDFPageObjectHelper> pages_;
    std::string version_ = "1.4";
};

}  // namespace

HRESULT WriteDocument(const EngineDocument& document, const PageStore& store,
                      const std::string& path) {
    try {
        Assembly assembly(document, store);
        const HRESULT hr = assembly.Build();
        if (FAILED(hr)) {
            return hr;
        }
        return ReplaceFile(path, [&](std::FILE* file) {
            assembly.Write(file, path);
            return S_OK;
        });
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

}  // namespace pdfengine
