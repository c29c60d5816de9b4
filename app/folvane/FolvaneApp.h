// The desktop program: prepares the process, loads the languages from the program folder, runs
// the main window modally and ends when it closes. Command-line arguments are not used.
#pragma once

#include <QApplication>
#include <memory>

class CFolvaneApp {
  public:
    CFolvaneApp(int& argc, char** argv);
    ~CFolvaneApp();

    // The whole life of the window; returns the process's exit code.
    int Run();

  private:
    bool InitInstance();
    int ExitInstance();

    std::unique_ptr<QApplication> m_application;
    bool m_bComInitialised = false;
};
