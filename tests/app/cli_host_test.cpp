// The command line's host through a batch with the controller and the scripted word processor.
#include "app/cli/CliHost.h"

#include <cstdio>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "convert/ConversionController.h"
#include "convert/PrintHandOff.h"
#include "lang/LanguageProvider.h"
#include "platform/spooler.h"
#include "tests/support/fake_word.h"
#include "tests/support/scoped_environment.h"

namespace {

std::string ReadBack(std::FILE* file) {
    std::string text;
    std::rewind(file);
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        text += static_cast<char>(c);
    }
    return text;
}

}  // namespace

TEST(CliHost, AFailedJobIsToldOnItsOwnLineAndTheBatchEndsWithoutTheWindowsMessage) {
    testing_support::ScopedPlatform platform;
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    LoadLanguages(TESSALINE_PROGRAM_DIR "/Languages/*.xml");
    SelectLanguage(kLanguageEnglish);
    auto word = testing_support::FakeWord::Install();
    ASSERT_TRUE(platform::AddPrinter("Tessaline", "Tessaline EMF Driver"));
    const std::string document = (platform.Work() / "broken.docx").string();
    testing_support::WriteFile(document, "open: fail\n");

    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    {
        CCliHost host(out, err, /*progressBars=*/false, /*keepExisting=*/false);
        CSpoolerPrinterControl printer;
        CConversionController controller(host, {&printer, nullptr, nullptr, nullptr});
        auto job = std::make_unique<CWordRecord>();
        job->m_strFilePath = document;
        job->m_bChecked = true;
        controller.m_jobs.push_back(std::move(job));
        host.Attach(&controller);
        host.SetDestinationDir(platform.Work().string());
        controller.OnConvert();
        host.RunUntilIdle();
        EXPECT_EQ(host.Outcomes(), std::vector<CCliHost::Outcome>{CCliHost::Outcome::Failed});
    }
    const std::string printed = ReadBack(out);
    EXPECT_EQ(printed.rfind(document + ": failed: " + LangText("JobFailure", "Open") + ": ", 0), 0u)
        << printed;
    EXPECT_EQ(ReadBack(err), "");
    std::fclose(out);
    std::fclose(err);
    word.reset();
    CoUninitialize();
}
