// Create, open and quit "Word.Application" on a ten-page document: cold (the office starts)
// and warm (the office runs), against the office's own load time of the same document through
// UNO on the same office. Prints the medians and the ratio warm / own.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "contracts/Installation.h"
#include "convert/WordAutomation.h"
#include "platform/com.h"
#include "tests/support/scoped_environment.h"
#include "tests/word/reference_office.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

// One leg of the conversion: create, version, documents, open, release, quit.
double OpenAndQuit(const fs::path& document) {
    const auto start = Clock::now();
    ComPtr<IDispatch> word = word::CreateWordApplication();
    if (!word) {
        std::fprintf(stderr, "Word.Application cannot be created\n");
        std::exit(1);
    }
    const int major = word::GetMajorVersion(word.Get());
    {
        ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
        ComPtr<IDispatch> opened = word::OpenDocument(documents.Get(), document.string(), major);
    }
    word::QuitWord(word.Get());
    word.Reset();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Lets the component's office end, as it does when idle.
void WaitForOfficeEnd(const fs::path& root) {
    ::setenv("TESSALINE_OFFICE_IDLE_SECONDS", "0.1", 1);
    while (!word_test::OfficeProcessesOfRoot(root).empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::setenv("TESSALINE_OFFICE_IDLE_SECONDS", "600", 1);
}

}  // namespace

int main() {
    const std::string missing = word_test::OfficeMissingReason();
    if (!missing.empty()) {
        std::printf("skipped: %s\n", missing.c_str());
        return 0;
    }
    testing_support::ScopedPlatform platform;
    ::setenv("TESSALINE_OFFICE_IDLE_SECONDS", "600", 1);
    fs::path document = fs::path(TESSALINE_SOURCE_DIR) / "examples/ten-pages.docx";
    if (!fs::exists(document)) {
        std::string error;
        if (!word_test::EnsureTestDocuments(platform.Work() / "documents", &error)) {
            std::fprintf(stderr, "cannot make the document: %s\n", error.c_str());
            return 1;
        }
        document = platform.Work() / "documents/ten-pages.docx";
    }
    if (FAILED(platform::RegisterComClass(tessaline::contracts::kWordApplicationProgId,
                                          tessaline::contracts::kWordApplicationClsid,
                                          TESSALINE_WORD_LIBRARY)) ||
        FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fprintf(stderr, "cannot register or initialise\n");
        return 1;
    }
    constexpr int kRuns = 5;

    // Cold: every run starts the office (the first one also makes its profile).
    std::vector<double> cold;
    for (int run = 0; run < kRuns; ++run) {
        WaitForOfficeEnd(platform.Root());
        cold.push_back(OpenAndQuit(document));
    }

    // Warm, each open loading the document anew.
    ::setenv("TESSALINE_DOCUMENT_KEEP_SECONDS", "0", 1);
    std::vector<double> warm;
    for (int run = 0; run < kRuns; ++run) {
        warm.push_back(OpenAndQuit(document));
    }
    // Warm, as the conversion does it: the second open of a document follows the first.
    ::setenv("TESSALINE_DOCUMENT_KEEP_SECONDS", "30", 1);
    std::vector<double> reopened;
    for (int run = 0; run < kRuns; ++run) {
        OpenAndQuit(document);
        reopened.push_back(OpenAndQuit(document));
    }

    // The office's own load of the same document, on the same office.
    std::vector<double> own;
    {
        word_test::ReferenceOffice office(platform.Root());
        for (int run = 0; run < kRuns; ++run) {
            std::string error;
            const double seconds = office.LoadSeconds(document, &error);
            if (seconds < 0) {
                std::fprintf(stderr, "the office's own load failed: %s\n", error.c_str());
                return 1;
            }
            own.push_back(seconds);
        }
    }
    CoUninitialize();

    const double warmMedian = Median(warm);
    const double ownMedian = Median(own);
    std::printf("document: %s\n", document.c_str());
    std::printf("create+open+quit, cold (office starts):   %8.1f ms\n", Median(cold) * 1000);
    std::printf("create+open+quit, warm (document loaded): %8.1f ms\n", warmMedian * 1000);
    std::printf("create+open+quit, warm second open:       %8.1f ms\n", Median(reopened) * 1000);
    std::printf("office's own load (loadComponentFromURL): %8.1f ms\n", ownMedian * 1000);
    std::printf("ratio warm / own: %.2f (target <= 1.3)\n", warmMedian / ownMedian);
    return 0;
}
