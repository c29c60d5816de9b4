// folvane-cli: converts Word documents to PDF without a window, through the same controller and
// legs as the program. Exit status: 0 when every document was converted, 1 when any was not,
// 2 for a usage error.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/InterruptCleanup.h"
#include "ui/StartupSettings.h"
#include "app/cli/CliHost.h"
#include "app/cli/CliOptions.h"
#include "convert/ConversionController.h"
#include "convert/DocumentHarvest.h"
#include "convert/PdfThread.h"
#include "convert/PrintHandOff.h"
#include "lang/LanguageProvider.h"
#include "platform/com.h"
#include "platform/environment_settings.h"
#include "platform/program_folder.h"
#include "ui/AddFile.h"

namespace {

constexpr int kExitConverted = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr char kCli[] = "Cli";
constexpr char kMsgBox[] = "MsgBox";

bool IsKnownLanguage(const std::string& name) {
    for (const std::string& known : LanguageNames()) {
        if (known == name) {
            return true;
        }
    }
    return false;
}

// Documents are opened by their full path, as the file dialog gives them.
std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

// One line that says what is wrong, and where the whole usage is.
int UsageError(const std::string& what, const std::string& argument) {
    std::fprintf(stderr, "folvane-cli: %s%s%s\n%s\n", what.c_str(), argument.empty() ? "" : ": ",
                 argument.c_str(), LangText(kCli, "HelpHint").c_str());
    return kExitUsage;
}

// The output folder as -o names it, made with its parents when it does not exist yet, as
// command-line converters do; a failure is left for Convert to report. Empty stays empty: Convert
// refuses it.
std::string OutputFolderFromCommandLine(const std::string& given) {
    if (given.empty()) {
        return given;
    }
    std::string folder = AbsolutePath(given);
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

// The controller whose user's printer an interrupted run puts back.
std::atomic<CConversionController*> g_controller{nullptr};

}  // namespace

int main(int argc, char** argv) {
    LoadLanguages((GetProgramFolder() + "Languages/*.xml").c_str());

    CliOptions options;
    CliParseError parseError;
    const bool parsed =
        ParseCliOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &parseError);
    const bool languageKnown = options.language.empty() || IsKnownLanguage(options.language);
    SelectLanguage(!options.language.empty() && languageKnown ? options.language.c_str()
                                                              : StartupLanguageName().c_str());
    if (!parsed) {
        return UsageError(LangText(kCli, parseError.key.c_str()), parseError.argument);
    }
    if (!languageKnown) {
        return UsageError(LangText(kCli, "UnknownLanguage"), options.language);
    }
    if (options.help) {
        std::printf("%s\n", LangText(kCli, "Usage").c_str());
        return kExitConverted;
    }
    if (options.version) {
        std::printf("folvane-cli %s\n", TESSALINE_VERSION);
        return kExitConverted;
    }
    if (options.files.empty()) {
        return UsageError(LangText(kCli, "NoFiles"), "");
    }
    if (!ReadPasswordFiles(&options, std::cin, &parseError)) {
        return UsageError(LangText(kCli, parseError.key.c_str()), parseError.argument);
    }
    // Before any office starts, and before any other thread runs.
    if (options.fetchRemoteContent) {
        setenv(platform::DescribeSetting(platform::Setting::FetchRemoteContent).name, "1", 1);
    }

    std::string outputFolder;
    if (options.outputGiven) {
        outputFolder = OutputFolderFromCommandLine(options.outputFolder);
    } else {
        outputFolder = StartupDestinationDir();
        CreateFolderIfMissing(outputFolder);  // as the window does with its configured folder
    }
    // A write to a pipe whose reader has gone (a spooler worker, an office, the output) fails
    // and is reported as that step's failure; it does not end the batch.
    std::signal(SIGPIPE, SIG_IGN);
    InstallInterruptCleanup([] {
        if (CConversionController* controller = g_controller.load()) {
            controller->RestoreUserPrinter();
        }
    });

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return kExitFailed;
    }
    int status = kExitConverted;
    {
        CCliHost host(stdout, stderr, isatty(STDOUT_FILENO) != 0, options.keepExisting);
        CSpoolerPrinterControl printer;
        CDocumentHarvester harvester;
        CPipeHandOff handOff(host);
        CPdfBuilder pdfBuilder;
        CConversionController controller(host, {&printer, &harvester, &handOff, &pdfBuilder});
        g_controller = &controller;

        bool warnDuplicate = true;
        for (const std::string& file : options.files) {
            const std::string path = AbsolutePath(file);
            std::string refusal;
            const AddFileResult result =
                AddFile(controller.m_jobs, path, warnDuplicate,
                        [&refusal](const char* key, bool) { refusal = LangText(kMsgBox, key); });
            if (result == AddFileResult::NotWordDocument || result == AddFileResult::NotFound) {
                status = kExitFailed;
                std::fprintf(stderr, "%s: %s: %s\n", path.c_str(),
                             LangText(kCli, "NotAdded").c_str(),
                             result == AddFileResult::NotFound ? LangText(kCli, "Missing").c_str()
                                                               : refusal.c_str());
            } else if (result == AddFileResult::Duplicate && !refusal.empty()) {
                std::fprintf(stderr, "%s: %s\n", path.c_str(), refusal.c_str());
            }
        }
        if (options.pdfOptionsGiven) {
            for (auto& job : controller.m_jobs) {
                WritePdfOptions(options.pdf, *job);
                job->m_bOptionsSet = 1;
            }
        }

        host.Attach(&controller);
        host.SetDestinationDir(outputFolder);
        controller.OnConvert();
        host.RunUntilIdle();
        host.ReportJobsNotRun();

        int converted = 0;
        for (CCliHost::Outcome outcome : host.Outcomes()) {
            if (outcome == CCliHost::Outcome::Succeeded) {
                ++converted;
            } else {
                status = kExitFailed;
            }
        }
        if (controller.m_jobs.empty()) {
            status = kExitFailed;
        }
        std::printf("%d/%zu %s\n", converted, controller.m_jobs.size(),
                    LangText(kCli, "Summary").c_str());
        g_controller = nullptr;
    }
    CoUninitialize();
    return status;
}
