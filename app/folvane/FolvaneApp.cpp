#include "app/folvane/FolvaneApp.h"

#include <atomic>
#include <csignal>

#include "app/InterruptCleanup.h"
#include "components/vernello/Vernello.h"
#include "platform/com.h"
#include "platform/program_folder.h"
#include "ui/CFolvaneDlg.h"

namespace {

// The window whose batch an interrupted program stops; its user's printer is put back.
std::atomic<CFolvaneDlg*> g_mainWindow{nullptr};

}  // namespace

CFolvaneApp::CFolvaneApp(int& argc, char** argv)
    : m_application(std::make_unique<QApplication>(argc, argv)) {}

CFolvaneApp::~CFolvaneApp() = default;

int CFolvaneApp::Run() {
    InitInstance();
    return ExitInstance();
}

bool CFolvaneApp::InitInstance() {
    // Languages come from the program folder whatever the working folder; the window selects one.
    LoadLanguages((GetProgramFolder() + "Languages/*.xml").c_str());
    // A write to a pipe whose reader has gone fails as that step's failure, never the program.
    std::signal(SIGPIPE, SIG_IGN);
    InstallInterruptCleanup([] {
        if (CFolvaneDlg* window = g_mainWindow.load()) {
            window->Controller().RestoreUserPrinter();
        }
    });
    // The UI thread prints the documents through the word processor's automation.
    m_bComInitialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    {
        CFolvaneDlg dialog;
        g_mainWindow = &dialog;
        dialog.exec();
        g_mainWindow = nullptr;
    }
    return false;
}

int CFolvaneApp::ExitInstance() {
    if (m_bComInitialised)
        CoUninitialize();
    return 0;
}
