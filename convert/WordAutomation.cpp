#include "convert/WordAutomation.h"

#include <cctype>
#include <climits>
#include <vector>

#include "contracts/DispatchIds.h"
#include "contracts/Installation.h"
#include "convert/Dispatch.h"

namespace dispid = tessaline::contracts::dispid;

namespace word {

namespace {

using dispatch::Variant;

// Every optional argument omitted.
std::vector<Variant> Omitted(size_t count) {
    return std::vector<Variant>(count, Variant::Missing());
}

// The leading integer of a text, as atoi reads it; saturates instead of overflowing.
int LeadingInteger(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (value <= INT_MAX) {
            value = value * 10 + (text[i] - '0');
        }
    }
    if (value > INT_MAX) {
        value = INT_MAX;
    }
    return static_cast<int>(negative ? -value : value);
}

}  // namespace

ComPtr<IDispatch> CreateWordApplication() {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(tessaline::contracts::kWordApplicationOleProgId.data(), &clsid))) {
        return {};
    }
    ComPtr<IDispatch> application;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(application.Put())))) {
        return {};
    }
    return application;
}

int GetMajorVersion(IDispatch* application) {
    return LeadingInteger(dispatch::Get(application, dispid::kApplicationVersion).AsString());
}

ComPtr<IDispatch> GetDocuments(IDispatch* application) {
    return dispatch::GetObject(application, dispid::kApplicationDocuments);
}

ComPtr<IDispatch> OpenDocument(IDispatch* documents, const std::string& path, int majorVersion) {
    DISPID member = dispid::kDocumentsOpen11;
    size_t count = 16;
    if (majorVersion <= 9) {
        member = dispid::kDocumentsOpen9;
        count = 12;
    } else if (majorVersion == 10) {
        member = dispid::kDocumentsOpen10;
        count = 15;
    }
    std::vector<Variant> args = Omitted(count);
    args[0] = Variant::String(path);  // FileName
    return dispatch::RequireObject(dispatch::Call(documents, member, std::move(args)));
}

void PrintOutDocument(IDispatch* document, int majorVersion) {
    std::vector<Variant> args = Omitted(18);
    args[0] = Variant::Int16(1);  // Background
    args[1] = Variant::Int16(1);  // Append
    args[7] = Variant::Int32(1);  // Copies
    dispatch::Call(document,
                   majorVersion <= 9 ? dispid::kDocumentPrintOut9 : dispid::kDocumentPrintOut10,
                   std::move(args));
}

LONG CountHyperlinks(IDispatch* document) {
    ComPtr<IDispatch> hyperlinks = dispatch::GetObject(document, dispid::kDocumentHyperlinks);
    return dispatch::GetInt(hyperlinks.Get(), dispid::kHyperlinksCount);
}

void QuitWord(IDispatch* application) {
    // SaveChanges false; OriginalFormat and RouteDocument left empty.
    dispatch::Call(application, dispid::kApplicationQuit,
                   {Variant::Bool(false), Variant(), Variant()});
}

void QuitWordQuietly(IDispatch* application) {
    try {
        QuitWord(application);
    } catch (const _com_error&) {
    }
}

}  // namespace word
