// A program that uses the component and then ends, for the test that no office outlives its
// process: word_component_child LIBRARY DOCUMENT FLAG exit|killed. It opens the document, writes
// FLAG, and then either waits for FLAG.go and returns without quitting (exit) or waits to be
// killed (killed).
#include <unistd.h>

#include <fstream>
#include <string>

#include "contracts/Installation.h"
#include "convert/WordAutomation.h"
#include "platform/com.h"

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
        const std::string go = std::string(argv[3]) + ".go";
        while (::access(go.c_str(), F_OK) != 0) {
            ::usleep(50000);
        }
        // Ends with the instance and its document still alive, as a crashed caller would.
        application.Detach();
        document.Detach();
        return 0;
    } catch (const _com_error& error) {
        return 5;
    }
}
