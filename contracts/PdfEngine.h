// The PDF engine: an outside component, created by its ProgID (kPdfDocumentProgId in
// contracts/Installation.h), that lays out PDF pages, draws metafiles on them, adds links and an
// outline, and saves the document. Every operation returns an HRESULT; results come back through
// the last (out) argument.
#pragma once

#include <string>
#include <string_view>

#include "platform/com.h"
#include "platform/text.h"

// {A6AF52AE-5767-49FA-8A9E-7D22643D6301}
inline constexpr IID IID_IPDFDocument4 = {
    0xA6AF52AE, 0x5767, 0x49FA, {0x8A, 0x9E, 0x7D, 0x22, 0x64, 0x3D, 0x63, 0x01}};

// A new engine object holds a document with one page, which is current. Page indices are
// 0-based; sizes are in engine units, GetResolution of them to the inch.
struct IPDFDocument4 : IUnknown {
    virtual HRESULT GetResolution(LONG* unitsPerInch) = 0;
    virtual HRESULT AddPage() = 0;
    virtual HRESULT SelectPage(LONG index) = 0;
    virtual HRESULT GetPageCount(LONG* count) = 0;
    virtual HRESULT SetPageHeight(LONG height) = 0;
    virtual HRESULT SetPageWidth(LONG width) = 0;
    virtual HRESULT DrawMetafile(BSTR path, FLOAT x, FLOAT y, FLOAT scaleX, FLOAT scaleY) = 0;
    virtual HRESULT AddWebLink(FLOAT left, FLOAT top, FLOAT right, FLOAT bottom, BSTR target) = 0;
    virtual HRESULT AddPageLink(FLOAT left, FLOAT top, FLOAT right, FLOAT bottom, LONG page,
                                FLOAT y) = 0;
    virtual HRESULT SetOutlineMode(LONG mode) = 0;
    virtual HRESULT GetOutlineRoot(LONG* root) = 0;
    virtual HRESULT AddOutlineChild(LONG parent, BSTR title, LONG charset, LONG* id) = 0;
    virtual HRESULT AddOutlineSibling(LONG previous, BSTR title, LONG charset, LONG* id) = 0;
    virtual HRESULT CreateDestination(LONG page, FLOAT y, LONG* id) = 0;
    virtual HRESULT SetOutlineDestination(LONG entry, LONG destination) = 0;
    virtual HRESULT SetCreator(BSTR text) = 0;
    virtual HRESULT SetProducer(BSTR text) = 0;
    virtual HRESULT SaveToFile(BSTR path, LONG flags) = 0;
    // Whether fonts a metafile uses are embedded; the conversion turns it off.
    virtual HRESULT SetEmbedMetafileFonts(VARIANT_BOOL embed) = 0;

  protected:
    ~IPDFDocument4() = default;
};

// Raises the engine's failure as a _com_error.
inline void CheckEngine(HRESULT hr) {
    if (FAILED(hr)) {
        _com_issue_error(hr);
    }
}

// A BSTR owned for the length of one engine call.
class CEngineText {
  public:
    explicit CEngineText(std::u16string_view text)
        : bstr_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (bstr_ == nullptr && !text.empty()) {
            _com_issue_error(E_OUTOFMEMORY);
        }
    }
    // From ANSI text (the system code page).
    static CEngineText FromAnsi(std::string_view text) {
        return CEngineText(platform::Utf8ToUtf16(text));
    }
    CEngineText(CEngineText&& other) noexcept : bstr_(other.bstr_) { other.bstr_ = nullptr; }
    CEngineText(const CEngineText&) = delete;
    CEngineText& operator=(const CEngineText&) = delete;
    CEngineText& operator=(CEngineText&&) = delete;
    ~CEngineText() { SysFreeString(bstr_); }
    BSTR Get() const { return bstr_; }

  private:
    BSTR bstr_;
};
