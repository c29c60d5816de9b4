// The program's window converting a document through the whole pipeline (offscreen): the PDF
// has the document's pages and text, as LibreOffice's own export does.
#include <QApplication>
#include <QLineEdit>
#include <chrono>

#include "components/vernello/Vernello.h"
#include "platform/com.h"
#include "platform/program_folder.h"
#include "tests/e2e/e2e_environment.h"
#include "tests/e2e/pdf_facts.h"
#include "tests/e2e/reference_exports.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/wait_until.h"
#include "tests/ui/window_fixture.h"
#include "ui/CMyCustomizeList.h"
#include "ui/JobCell.h"

namespace e2e {
namespace {

class WindowPipeline : public PipelineTest {
  protected:
    void SetUpPipeline() override {
        ASSERT_TRUE(InstallPlatform());
        testing_support::PrepareWindowProgramFolder(TESSALINE_PROGRAM_DIR);
        LoadLanguages((GetProgramFolder() + "Languages/*.xml").c_str());
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        comInitialised_ = true;
    }
    void TearDown() override {
        if (comInitialised_)
            CoUninitialize();
    }

    testing_support::ScopedPlatform platform_;
    bool comInitialised_ = false;
};

TEST_F(WindowPipeline, ConvertMakesAPdfWithTheDocumentsText) {
    const std::string name = "one-page-letter.doc";
    const fs::path document = CopyExamples({name}, platform_.Work() / "documents").front();
    const fs::path output = platform_.Work() / "pdf";
    testing_support::AnsweredWindow window;
    window.show();
    window.findChild<QLineEdit*>()->setText(QString::fromStdString(output.string()));
    window.chosen = {document.string()};
    window.OnAdd();
    window.OnCommand(IDC_CONVERT, BN_CLICKED, nullptr);
    ASSERT_TRUE(testing_support::WaitUntil(
        [&] {
            QApplication::processEvents();
            return window.Controller().IsIdle();
        },
        std::chrono::minutes(5), std::chrono::milliseconds(2)));

    const fs::path pdf = output / "one-page-letter.pdf";
    ASSERT_TRUE(fs::exists(pdf)) << (window.messages.empty() ? "" : window.messages.back());
    EXPECT_EQ(window.List().GetCellInfo(0, kProgressColumn).text, "one-page-letter.pdf");
    std::string error;
    const fs::path reference = ReferencePdf(name, &error);
    ASSERT_FALSE(reference.empty()) << error;
    EXPECT_EQ(PageTexts(pdf), PageTexts(reference));
}

}  // namespace
}  // namespace e2e
