// Document: PrintOut and Path here; its content and layout collections come from the document
// model.
#include <algorithm>
#include <filesystem>

#include "components/word/automation/Objects.h"
#include "components/word/office/PdfExport.h"
#include "contracts/DispatchIds.h"

// Set by the build when the print library is linked in.
#ifdef TESSALINE_WORD_CAN_PRINT
#include "components/word/print/PrintedDocument.h"
#endif

namespace dispid = tessaline::contracts::dispid;

namespace word_component {

namespace {

using namespace word_model;

// PrintOut's arguments, 1-based as Word documents them, that we read.
constexpr UINT kArgCopies = 8;
constexpr UINT kPrintOutArguments = 18;

// Word's Path: the folder, without a trailing separator (except for the root itself).
std::string FolderOf(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "/" : folder;
}

class Document final : public DispatchObject {
  public:
    Document(std::shared_ptr<WordInstance> instance, std::shared_ptr<OpenedDocument> document)
        : instance_(std::move(instance)), document_(std::move(document)) {}

    ~Document() override {
        std::lock_guard<std::mutex> lock(instance_->mutex);
        const auto& open = instance_->documents;
        if (std::find(open.begin(), open.end(), document_) != open.end()) {
            instance_->Close(document_);
        }
    }

  protected:
    HRESULT Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) override {
        std::lock_guard<std::mutex> lock(instance_->mutex);
        if (instance_->quit || !document_->model || !document_->loaded) {
            Fail(kDisconnected);
        }
        switch (id) {
            case dispid::kDocumentPrintOut9:
            case dispid::kDocumentPrintOut10:
                ExpectMethod(flags, args, 0, kPrintOutArguments);
                PrintOut(args);
                return S_OK;
            case dispid::kDocumentPath:
                ExpectProperty(flags, args);
                ReturnString(result, FolderOf(document_->loaded->path));
                return S_OK;
            default:
                return document_->model->Member(id, flags, args, result);
        }
    }

  private:
    void PrintOut(const Arguments& args) {
        int copies = 1;
        if (!args.Omitted(kArgCopies - 1)) {
            copies = args.Int(kArgCopies - 1);
            if (copies < 1 || copies > 32767) {
                FailWord(kWordCommandFailed, "The number must be between 1 and 32767.");
            }
        }
        std::string pdf;
        std::string error;
        if (!ExportPdf(*document_->loaded, &pdf, &error)) {
            FailWord(kWordCommandFailed, "Word could not print the document: " + error);
        }
#ifdef TESSALINE_WORD_CAN_PRINT
        const std::string name = std::filesystem::path(document_->loaded->path).filename();
        bool printed = true;
        for (int copy = 0; copy < copies && printed; ++copy) {
            printed = word_print::PrintPdfToDefaultPrinter(pdf, name, &error);
        }
        DiscardPdfExport(*document_->loaded);
        document_->loaded->printed = true;
        if (!printed) {
            FailWord(kWordCommandFailed, "Word could not print the document: " + error);
        }
#else
        FailWord(kWordCommandFailed,
                 "Word could not print the document: this build has no printing");
#endif
    }

    std::shared_ptr<WordInstance> instance_;
    std::shared_ptr<OpenedDocument> document_;
};

}  // namespace

ComPtr<IDispatch> MakeDocument(std::shared_ptr<WordInstance> instance,
                               std::shared_ptr<OpenedDocument> document) {
    return word_model::MakeObject<Document>(std::move(instance), std::move(document));
}

}  // namespace word_component
