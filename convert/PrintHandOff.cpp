#include "convert/PrintHandOff.h"

#include <cstring>

#include "contracts/Installation.h"
#include "convert/ConversionController.h"
#include "convert/SharedStateLock.h"
#include "platform/handle.h"
#include "platform/named_pipe.h"
#include "platform/registry.h"
#include "platform/spooler.h"

namespace {
using tessaline::contracts::kHandOffPathValue;
using tessaline::contracts::kHandOffPipeName;
using tessaline::contracts::kSettingsKey;
constexpr DWORD kIniFileBufferSize = tessaline::contracts::kPathValueBufferSize;
}  // namespace

std::string CSpoolerPrinterControl::GetDefaultPrinter() {
    return platform::DefaultPrinterName();
}

bool CSpoolerPrinterControl::SetDefaultPrinter(const std::string& name) {
    return platform::MakeDefaultPrinter(name);
}

void CDefaultPrinterKeeper::SaveOriginal() {
    // The virtual printer is the default only while a batch of the user prints; that batch
    // puts the user's own printer back itself.
    const std::string current = printer_.GetDefaultPrinter();
    m_strOriginalPrinter =
        current == tessaline::contracts::kVirtualPrinter ? std::string() : current;
}

void CDefaultPrinterKeeper::RestoreOriginal() {
    // Never under a batch that is printing: its print job would go to the wrong printer.
    WhenNoBatchRuns([this] {
        if (!m_strOriginalPrinter.empty() && printer_.GetDefaultPrinter() != m_strOriginalPrinter) {
            printer_.SetDefaultPrinter(m_strOriginalPrinter);
        }
    });
}

bool CPipeHandOff::WaitForPages() {
    HANDLE pipe = CreateNamedPipeA(kHandOffPipeName, PIPE_ACCESS_DUPLEX, 0, 1, 0, 0, 1000, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        return false;
    }
    // The pipe is made here, on the UI thread; the host may wait for it on another thread.
    const bool connected = host_.WaitResponsively(
        [pipe, this] { return ConnectNamedPipeWithTimeout(pipe, waitLimitMs_) != FALSE; });
    CloseHandle(pipe);
    return connected;
}

std::string CPipeHandOff::ReadHandOffPath() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        host_.ShowMessageBox("Error: Can't read registry!", host_.DefaultCaption(), MB_OK);
        return {};
    }
    char value[kIniFileBufferSize] = {};
    DWORD size = kIniFileBufferSize;
    LSTATUS status = RegQueryValueExA(key, kHandOffPathValue, nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    // A value that fills the whole buffer leaves no room to be sure of its end: 80 bytes or
    // more, counting the terminator, is a failure like one that does not fit.
    if (status != ERROR_SUCCESS || size >= kIniFileBufferSize ||
        std::memchr(value, '\0', sizeof value) == nullptr) {
        host_.ShowMessageBox("Error: Read registry failed!", host_.DefaultCaption(), MB_OK);
        return {};
    }
    return value;
}
