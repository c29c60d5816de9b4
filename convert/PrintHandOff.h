// The program's side of the print hand-off: the default printer, the pipe the extractor signals
// through, and the registry value that names the hand-off file.
#pragma once

#include <string>

#include "convert/ControllerHost.h"
#include "convert/ConversionLegs.h"

// The spooler's default printer.
class CSpoolerPrinterControl : public IPrinterControl {
  public:
    std::string GetDefaultPrinter() override;
    bool SetDefaultPrinter(const std::string& name) override;
};

// Remembers the default printer when the main window opens and puts it back when the program
// really leaves, if it changed and no batch of the user is printing.
class CDefaultPrinterKeeper {
  public:
    explicit CDefaultPrinterKeeper(IPrinterControl& printer) : printer_(printer) {}
    void SaveOriginal();
    // Restores the saved printer when the current default differs (byte for byte) and no batch
    // holds the shared state; the result of the change is not looked at.
    void RestoreOriginal();
    const std::string& Original() const { return m_strOriginalPrinter; }

  private:
    IPrinterControl& printer_;
    std::string m_strOriginalPrinter;
};

// How long the program waits for the extractor's signal before it gives the job up.
constexpr unsigned kDefaultPageWaitMs = 5 * 60 * 1000;

// The hand-off pipe and registry value of contracts/Installation.h.
class CPipeHandOff : public IPrintHandOff {
  public:
    explicit CPipeHandOff(IControllerHost& host, unsigned waitLimitMs = kDefaultPageWaitMs)
        : host_(host), waitLimitMs_(waitLimitMs) {}

    // Creates a new pipe for this job and waits, within the time limit, for the one connection
    // that says the pages are ready; a client that connected before the wait began counts. The
    // wait runs through the host's WaitResponsively.
    bool WaitForPages() override;
    // Inifile under HKEY_CURRENT_USER\Software\Tessaline\, read into 80 bytes; a failure tells
    // the user and gives "".
    std::string ReadHandOffPath() override;

  private:
    IControllerHost& host_;
    unsigned waitLimitMs_;
};
