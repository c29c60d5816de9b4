// A private headless LibreOffice for the document model's tests: started once per test program
// with its own user profile in a temporary folder, reached over a pipe through UNO, and ended
// when the program ends.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include "tests/support/scoped_environment.h"

namespace word_model_test {

class OfficeSession {
  public:
    // The program's office, started on first use; null with the reason when there is none.
    static OfficeSession* Get(std::string* whyNot);
    // Ends the office (at the end of the test program).
    static void Shutdown();
    ~OfficeSession();

    // Loads a document hidden, read-only; throws on failure.
    css::uno::Reference<css::frame::XModel> Load(const std::string& path);
    // Stores a loaded document with an export filter ("MS Word 2007 XML", "writer_pdf_Export").
    static void StoreTo(const css::uno::Reference<css::frame::XModel>& document,
                        const std::string& path, const std::string& filter);
    static void Close(const css::uno::Reference<css::frame::XModel>& document);

    const css::uno::Reference<css::uno::XComponentContext>& Context() const { return context_; }

    // A folder for the test's files, removed with the session.
    const std::filesystem::path& Folder() const { return files_.Path(); }

  private:
    OfficeSession() = default;
    bool Start(std::string* whyNot);

    testing_support::TempFolder profile_{"word-model-office"};
    testing_support::TempFolder files_{"word-model-files"};
    pid_t pid_ = -1;
    css::uno::Reference<css::uno::XComponentContext> context_;
    css::uno::Reference<css::frame::XDesktop2> desktop_;
};

// Path <-> file URL.
std::string FileUrl(const std::string& path);

}  // namespace word_model_test
