#include "tests/e2e/pdf_facts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <regex>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAnnotationObjectHelper.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include "tests/support/run_process.h"

namespace e2e {

namespace {

using testing_support::RunProcess;

std::string CollapseBlanks(const std::string& text) {
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\f') {
            blank = !out.empty();
            continue;
        }
        if (blank) {
            out += ' ';
            blank = false;
        }
        out += c;
    }
    return out;
}

// Page objects by object id, to turn a destination's page reference into a page number.
using PageNumbers = std::map<QPDFObjGen, int>;

// A destination as an explicit array ([page /XYZ left top zoom] and the like).
QPDFObjectHandle ExplicitDestination(QPDFObjectHandle destination,
                                     QPDFOutlineDocumentHelper& outlines) {
    if (destination.isName() || destination.isString()) {
        destination = outlines.resolveNamedDest(destination);
    }
    if (destination.isDictionary() && destination.hasKey("/D")) {
        destination = destination.getKey("/D");
    }
    return destination;
}

// The top a /XYZ destination names, in the PDF's own units from the page's bottom; nothing
// for other forms or an unset top.
std::optional<double> TopOfDestination(QPDFObjectHandle destination,
                                       QPDFOutlineDocumentHelper& outlines) {
    destination = ExplicitDestination(destination, outlines);
    if (!destination.isArray() || destination.getArrayNItems() < 4 ||
        !destination.getArrayItem(1).isNameAndEquals("/XYZ") ||
        !destination.getArrayItem(3).isNumber()) {
        return std::nullopt;
    }
    return destination.getArrayItem(3).getNumericValue();
}

int PageOfDestination(QPDFObjectHandle destination, QPDFOutlineDocumentHelper& outlines,
                      const PageNumbers& pages) {
    destination = ExplicitDestination(destination, outlines);
    if (!destination.isArray() || destination.getArrayNItems() < 1) {
        return 0;
    }
    QPDFObjectHandle page = destination.getArrayItem(0);
    if (page.isInteger()) {  // a page index, as remote destinations give it
        return page.getIntValueAsInt() + 1;
    }
    const auto found = pages.find(page.getObjGen());
    return found == pages.end() ? 0 : found->second;
}

void AddOutline(std::vector<QPDFOutlineObjectHelper> items, int depth, int parent,
                QPDFOutlineDocumentHelper& outlines, const PageNumbers& pages,
                std::vector<OutlineEntry>* entries) {
    for (QPDFOutlineObjectHelper& item : items) {
        OutlineEntry entry;
        entry.title = TrimBlanks(item.getTitle());
        entry.depth = depth;
        entry.parent = parent;
        entry.page = PageOfDestination(item.getDest(), outlines, pages);
        if (entry.page == 0) {
            QPDFObjectHandle page = item.getDestPage();
            const auto found = page.isNull() ? pages.end() : pages.find(page.getObjGen());
            entry.page = found == pages.end() ? 0 : found->second;
        }
        entries->push_back(entry);
        AddOutline(item.getKids(), depth + 1, static_cast<int>(entries->size()) - 1, outlines,
                   pages, entries);
    }
}

}  // namespace

double Area(const Box& box) {
    return std::max(0.0, box.right - box.left) * std::max(0.0, box.bottom - box.top);
}

Box Intersection(const Box& a, const Box& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

Box Union(const Box& a, const Box& b) {
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

std::string TrimBlanks(const std::string& text) {
    const char* blanks = " \t\r\n\f\v";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

PdfFacts ReadPdfFacts(const fs::path& pdf, const std::string& password) {
    PdfFacts facts;
    try {
        QPDF qpdf;
        qpdf.processFile(pdf.c_str(), password.empty() ? nullptr : password.c_str());
        QPDFOutlineDocumentHelper outlines(qpdf);
        PageNumbers pageNumbers;
        std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(qpdf).getAllPages();
        for (std::size_t i = 0; i < pages.size(); ++i) {
            pageNumbers[pages[i].getObjectHandle().getObjGen()] = static_cast<int>(i) + 1;
        }
        for (std::size_t i = 0; i < pages.size(); ++i) {
            const QPDFObjectHandle::Rectangle media = pages[i].getMediaBox().getArrayAsRectangle();
            facts.pageHeights.push_back(media.ury - media.lly);
            for (QPDFAnnotationObjectHelper& annotation : pages[i].getAnnotations("/Link")) {
                const QPDFObjectHandle::Rectangle rect = annotation.getRect();
                PdfLink link;
                link.page = static_cast<int>(i) + 1;
                link.box = {std::min(rect.llx, rect.urx) - media.llx,
                            media.ury - std::max(rect.lly, rect.ury),
                            std::max(rect.llx, rect.urx) - media.llx,
                            media.ury - std::min(rect.lly, rect.ury)};
                QPDFObjectHandle dictionary = annotation.getObjectHandle();
                QPDFObjectHandle action = dictionary.getKey("/A");
                if (action.isDictionary() && action.getKey("/S").isNameAndEquals("/URI")) {
                    link.uri = action.getKey("/URI").getUTF8Value();
                } else {
                    const QPDFObjectHandle destination =
                        action.isDictionary() && action.getKey("/S").isNameAndEquals("/GoTo")
                            ? action.getKey("/D")
                            : dictionary.getKey("/Dest");
                    link.destinationPage = PageOfDestination(destination, outlines, pageNumbers);
                    if (std::optional<double> top = TopOfDestination(destination, outlines);
                        top && link.destinationPage >= 1 &&
                        link.destinationPage <= static_cast<int>(pages.size())) {
                        const QPDFObjectHandle::Rectangle target =
                            pages[link.destinationPage - 1].getMediaBox().getArrayAsRectangle();
                        link.destinationTop = target.ury - *top;
                    }
                }
                facts.links.push_back(link);
            }
        }
        AddOutline(outlines.getTopLevelOutlines(), 0, -1, outlines, pageNumbers, &facts.outline);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "qpdf cannot read " << pdf << ": " << e.what();
    }
    return facts;
}

std::vector<PdfImage> ImagesIn(const fs::path& pdf) {
    std::vector<PdfImage> images;
    try {
        QPDF qpdf;
        qpdf.processFile(pdf.c_str());
        for (QPDFObjectHandle object : qpdf.getAllObjects()) {
            if (!object.isStream() ||
                !object.getDict().getKey("/Subtype").isNameAndEquals("/Image")) {
                continue;
            }
            QPDFObjectHandle dictionary = object.getDict();
            QPDFObjectHandle filter = dictionary.getKey("/Filter");
            if (filter.isArray() && filter.getArrayNItems() > 0) {
                filter = filter.getArrayItem(filter.getArrayNItems() - 1);
            }
            images.push_back({dictionary.getKey("/Width").getIntValueAsInt(),
                              dictionary.getKey("/Height").getIntValueAsInt(),
                              filter.isName() ? filter.getName() : std::string()});
        }
    } catch (const std::exception& e) {
        ADD_FAILURE() << "qpdf cannot read " << pdf << ": " << e.what();
    }
    return images;
}

std::vector<std::string> PageTexts(const fs::path& pdf) {
    const testing_support::ProcessResult result =
        RunProcess({"/usr/bin/pdftotext", "-enc", "UTF-8", pdf.string(), "-"});
    std::vector<std::string> pages;
    if (result.exitCode != 0) {
        ADD_FAILURE() << "pdftotext " << pdf << ": " << result.errors;
        return pages;
    }
    // pdftotext ends every page with a form feed.
    std::size_t start = 0;
    for (std::size_t feed; (feed = result.output.find('\f', start)) != std::string::npos;
         start = feed + 1) {
        pages.push_back(CollapseBlanks(result.output.substr(start, feed - start)));
    }
    return pages;
}

std::vector<TextWord> PageWords(const fs::path& pdf, int page) {
    const std::string number = std::to_string(page);
    const testing_support::ProcessResult result =
        RunProcess({"/usr/bin/pdftotext", "-bbox", "-enc", "UTF-8", "-f", number, "-l", number,
                    pdf.string(), "-"});
    std::vector<TextWord> words;
    static const std::regex word(
        R"re(<word xMin="([-0-9.]+)" yMin="([-0-9.]+)" xMax="([-0-9.]+)" yMax="([-0-9.]+)">([^<]*)</word>)re");
    for (auto it = std::sregex_iterator(result.output.begin(), result.output.end(), word);
         it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        words.push_back({m[5].str(),
                         {std::stod(m[1].str()), std::stod(m[2].str()), std::stod(m[3].str()),
                          std::stod(m[4].str())}});
    }
    return words;
}

std::string PdfInfo::Field(const std::string& name) const {
    for (const auto& [key, value] : fields) {
        if (key == name) {
            return value;
        }
    }
    return {};
}

PdfInfo ReadPdfInfo(const fs::path& pdf, const std::string& passwordOption,
                    const std::string& password) {
    std::vector<std::string> argv = {"/usr/bin/pdfinfo", "-enc", "UTF-8"};
    if (!passwordOption.empty()) {
        argv.insert(argv.end(), {passwordOption, password});
    }
    argv.push_back(pdf.string());
    const testing_support::ProcessResult result = RunProcess(argv);
    PdfInfo info;
    info.exitCode = result.exitCode;
    std::size_t start = 0;
    while (start < result.output.size()) {
        std::size_t end = result.output.find('\n', start);
        if (end == std::string::npos) {
            end = result.output.size();
        }
        const std::string line = result.output.substr(start, end - start);
        if (const std::size_t colon = line.find(':'); colon != std::string::npos) {
            info.fields.emplace_back(line.substr(0, colon), TrimBlanks(line.substr(colon + 1)));
        }
        start = end + 1;
    }
    return info;
}

std::string QpdfCheckProblems(const fs::path& pdf, const std::string& password) {
    std::vector<std::string> argv = {"/usr/bin/qpdf", "--check"};
    if (!password.empty()) {
        argv.push_back("--password=" + password);
    }
    argv.push_back(pdf.string());
    const testing_support::ProcessResult result = RunProcess(argv);
    return result.exitCode == 0 ? std::string() : result.output + result.errors;
}

}  // namespace e2e
