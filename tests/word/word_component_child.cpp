// A program that uses the component and then ends, for the test that no office outlives its
// process: word_component_child LIBRARY DOCUMENT FLAG exit|killed. It opens the document, writes
// FLAG, and then either waits for FLAG.go and returns without quitting (exit) or waits to be
// killed (killed).
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>

#include "contracts/Installation.h"
#include "convert/WordAutomation.h"
#include "platform/com.h"
#include "tests/support/wait_until.h"
#include "tools/install/installer.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        return 2;
    }
    if (FAILED(platform::RegisterComClass(tessaline::contracts::kWordApplicationProgId,
                                          tessaline::contracts::kWordApplicationClsid, argv[1])) ||
        FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 3;
    }
    ComPtr<IDispatch> application = word::CreateWordApplication();
    if (!application) {
        return 4;
    }
    try {
        ComPtr<IDispatch> documents = word::GetDocuments(application.Get());
        ComPtr<IDispatch> document = word::OpenDocument(documents.Get(), argv[2], 16);
        std::ofstream(argv[3]) << "opened\n";
        if (std::string(argv[4]) == "killed") {
            for (;;) {
                ::pause();
            }
        }
        // Waits for the test's word to end; a test that is gone leaves no child behind for long.
        const std::string go = std::string(argv[3]) + ".go";
        if (!testing_support::WaitUntil([&] { return ::access(go.c_str(), F_OK) == 0; },
                                        std::chrono::minutes(5), std::chrono::milliseconds(50))) {
            return 6;
        }
        // Ends with the instance and its document still alive, as a crashed caller would.
        application.Detach();
        document.Detach();
        return 0;
    } catch (const _com_error& error) {
        return 5;
    }
}
