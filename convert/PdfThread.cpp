#include "convert/PdfThread.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <random>
#include <string>

#include "common/ini/Ini.h"
#include "contracts/Installation.h"
#include "contracts/PdfEngine.h"
#include "convert/ConversionController.h"
#include "convert/JobFailure.h"
#include "convert/PdfOutline.h"
#include "convert/PostProcess.h"
#include "lang/LanguageProvider.h"
#include "platform/com_ptr.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

constexpr char kSettingSection[] = "Setting";
constexpr char kPagesSection[] = "EMFFiles";
constexpr char kCreator[] = "Tessaline";
// Page file paths longer than this are cut, as the hand-off file's reader always did.
constexpr DWORD kPagePathBytes = 127;

// The printed document's name as the hand-off file names it: at most 255 UTF-16 units.
constexpr std::size_t kDocumentNameUnits = 255;
constexpr DWORD kDocumentNameBytes = 4 * kDocumentNameUnits + 1;

constexpr std::uint32_t kEmrHeader = 1;
constexpr std::uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr std::size_t kHeaderBytes = 108;
constexpr std::size_t kHeaderBytesNeeded = 88;  // through szlMillimeters

std::int32_t ReadI32(const unsigned char* bytes, std::size_t offset) {
    std::uint32_t value = std::uint32_t{bytes[offset]} | (std::uint32_t{bytes[offset + 1]} << 8) |
                          (std::uint32_t{bytes[offset + 2]} << 16) |
                          (std::uint32_t{bytes[offset + 3]} << 24);
    return static_cast<std::int32_t>(value);
}

bool PathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::size_t LinkCount(const CConversionController& controller) {
    return std::min<std::size_t>(controller.m_links.size(),
                                 static_cast<std::size_t>(std::max(controller.m_nLinkCount, 0)));
}

// The web links of page `page` (1-based) on the engine's current page.
void AddWebLinks(const CConversionController& controller, IPDFDocument4* engine, int page) {
    const std::size_t count = LinkCount(controller);
    for (std::size_t i = 0; i < count; ++i) {
        const CHyperlinkRecord& link = controller.m_links[i];
        if (link.page != page || link.hasBookmarkTarget) {
            continue;
        }
        // The harvest leaves the URI a link opens. A local file named by its bare path opens as
        // a file URI; an absolute path here already brings its own leading "/", so "file://"
        // completes the "file:///" form.
        const bool barePath = link.isLocalFile && !link.target.starts_with("file:");
        const std::string target = !barePath                      ? link.target
                                   : link.target.starts_with('/') ? "file://" + link.target
                                                                  : "file:///" + link.target;
        CheckEngine(engine->AddWebLink(link.left, link.top, link.right, link.bottom,
                                       CEngineText::FromAnsi(target).Get()));
    }
}

// Links into the document, page by page; the records are discarded afterwards.
void AddPageLinks(CConversionController& controller, IPDFDocument4* engine) {
    const std::size_t count = LinkCount(controller);
    if (count == 0) {
        return;
    }
    LONG pages = 0;
    CheckEngine(engine->GetPageCount(&pages));
    for (LONG page = 0; page < pages; ++page) {
        CheckEngine(engine->SelectPage(page));
        for (std::size_t i = 0; i < count; ++i) {
            const CHyperlinkRecord& link = controller.m_links[i];
            if (link.page - 1 != page || !(link.hasBookmarkTarget || link.hasHeadingTarget)) {
                continue;
            }
            CheckEngine(engine->AddPageLink(link.left, link.top, link.right, link.bottom,
                                            static_cast<LONG>(link.destPage - 1), link.destY));
        }
    }
    controller.m_links.clear();
    controller.m_nLinkCount = 0;
}

// A new, empty file beside `outputPath` that only this job uses; empty when none can be made.
// It has the mode the PDF will have: that of the file it replaces, else the usual mode of a new
// file (the kernel applies the umask).
std::string ReserveFileBeside(const std::string& outputPath) {
    const std::size_t slash = outputPath.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : outputPath.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? outputPath : outputPath.substr(slash + 1);
    // Hidden, and short enough for the folder entry whatever the name's length.
    const std::string stem = folder + "." + name.substr(0, std::min<std::size_t>(name.size(), 200));
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x", random());
        const std::string path = stem + suffix;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return {};
        }
        struct stat existing {};
        if (::stat(outputPath.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
            ::fchmod(fd, existing.st_mode & 07777);
        }
        ::close(fd);
        return path;
    }
    errno = EEXIST;
    return {};
}

// Saves the PDF under `outputPath`. With PDF options, the engine's PDF is post-processed beside
// the output first and moved into place only when the options could be written: a PDF that lacks
// the passwords, permissions or information asked for never appears under the output name, and
// an existing PDF of that name stays as it was when anything fails.
bool SavePdf(const CWordRecord& job, IPDFDocument4* engine, const std::string& outputPath,
             std::string* failure) {
    if (!job.m_bOptionsSet) {
        CheckEngine(engine->SaveToFile(CEngineText::FromAnsi(outputPath).Get(), 0));
        return true;
    }
    const std::string draft = ReserveFileBeside(outputPath);
    if (draft.empty()) {
        *failure = JobFailureText(LangText(kJobFailure, "Save"), std::strerror(errno));
        return false;
    }
    try {
        CheckEngine(engine->SaveToFile(CEngineText::FromAnsi(draft).Get(), 0));
    } catch (...) {
        ::unlink(draft.c_str());
        throw;
    }
    std::string processFailure;
    // A job that asks for nothing the toolkit writes keeps the engine's PDF when the toolkit
    // cannot run: nothing asked for is missing from it.
    if (!PostProcessPdf(job, draft, &processFailure) && AsksForProtectionOrInformation(job)) {
        ::unlink(draft.c_str());
        *failure = processFailure;
        return false;
    }
    if (::rename(draft.c_str(), outputPath.c_str()) != 0) {
        const int error = errno;
        ::unlink(draft.c_str());
        *failure = JobFailureText(LangText(kJobFailure, "Save"), std::strerror(error));
        return false;
    }
    return true;
}

// Everything between creating the engine and releasing it. False for a job that fails without
// an engine error (no page list, an unreadable page), with the reason in *failure; engine
// failures raise _com_error.
bool BuildPdf(CConversionController& controller, CWordRecord& job, IPDFDocument4* engine,
              std::string* failure) {
    CIni ini(controller.m_strIniFile.c_str());
    const UINT pageCount = ini.GetUInt(kSettingSection, "EMFCount", 0);
    if (pageCount == 0) {
        *failure = LangText(kJobFailure, "NoPages");
        return false;
    }
    // Pages printed for another document (a print job left by a batch that ended before its
    // pages came) are never taken for this one's.
    char printed[kDocumentNameBytes] = {};
    ini.GetString(kSettingSection, "CurrentDoc", printed, sizeof printed);
    if (printed != SpoolDocumentName(controller.m_strCurrentFile)) {
        *failure = JobFailureText(LangText(kJobFailure, "ForeignPages"), printed);
        return false;
    }
    CheckEngine(engine->SetEmbedMetafileFonts(VARIANT_FALSE));

    for (unsigned page = 1;; ++page) {
        const std::string key = "EMF" + std::to_string(page);
        if (!ini.HasKey(kPagesSection, key.c_str())) {
            break;
        }
        char pathBuffer[kPagePathBytes + 1] = {};
        ini.GetString(kPagesSection, key.c_str(), pathBuffer, kPagePathBytes);
        const std::string pagePath = pathBuffer;

        EmfPageHeader header;
        if (!ReadEmfPageHeader(pagePath, &header)) {
            *failure = JobFailureText(LangText(kJobFailure, "PageFile"), pagePath);
            return false;
        }
        if (page > 1) {
            CheckEngine(engine->AddPage());
            CheckEngine(engine->SelectPage(static_cast<LONG>(page - 1)));
        }
        LONG resolution = 0;
        CheckEngine(engine->GetResolution(&resolution));
        PdfPageGeometry geometry;
        if (!ComputePageGeometry(header, resolution, &geometry)) {
            *failure = JobFailureText(LangText(kJobFailure, "PageFile"), pagePath);
            return false;
        }
        CheckEngine(engine->SetPageHeight(geometry.pageHeight));
        CheckEngine(engine->SetPageWidth(geometry.pageWidth));
        const auto scale = static_cast<FLOAT>(geometry.scale);
        CheckEngine(
            engine->DrawMetafile(CEngineText::FromAnsi(pagePath).Get(), 0.0F, 0.0F, scale, scale));
        if (job.m_bKeepLinks) {
            AddWebLinks(controller, engine, static_cast<int>(page));
        }

        job.m_bShowProgress = true;
        job.m_nProgress = static_cast<INT>(50 + (page * 50) / pageCount);
        controller.Host().RedrawJob(controller.m_nCurrentJob);
    }

    // Every page is drawn: the printer, the pipe and the page files are free for another batch.
    controller.PagesRead();

    if (job.m_bKeepLinks) {
        AddPageLinks(controller, engine);
        BuildOutline(controller, engine);
    }
    if (job.m_bKeepBookmarks) {
        BuildOutline(controller, engine);  // does nothing once the entries are gone
    }
    CheckEngine(engine->SetCreator(CEngineText::FromAnsi(kCreator).Get()));
    CheckEngine(engine->SetProducer(CEngineText::FromAnsi(kCreator).Get()));

    // A PDF another job of the list has made (documents of the same name from two folders, or
    // report.doc beside report.docx) is kept as if the user had asked to keep existing files:
    // one batch never overwrites its own results.
    const std::string plainPath =
        MakePdfOutputPath(controller.m_strCurrentFile, controller.m_strOutputFolder, false);
    const bool madeByAnotherJob =
        std::any_of(controller.m_jobs.begin(), controller.m_jobs.end(), [&](const auto& other) {
            return other.get() != &job && other->m_strOutputPath == plainPath;
        });
    const std::string outputPath =
        MakePdfOutputPath(controller.m_strCurrentFile, controller.m_strOutputFolder,
                          controller.m_bRenameExisting || madeByAnotherJob);
    if (!SavePdf(job, engine, outputPath, failure)) {
        return false;
    }
    // Only a PDF that is really there is shown as the job's result.
    const std::size_t slash = outputPath.rfind('/');
    job.m_strOutputName = slash == std::string::npos ? outputPath : outputPath.substr(slash + 1);
    job.m_strOutputPath = outputPath;
    job.m_bDone = true;
    return true;
}

}  // namespace

bool ReadEmfPageHeader(const std::string& path, EmfPageHeader* header) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    unsigned char bytes[kHeaderBytes] = {};
    file.read(reinterpret_cast<char*>(bytes), kHeaderBytes);
    if (static_cast<std::size_t>(file.gcount()) < kHeaderBytesNeeded) {
        return false;
    }
    if (static_cast<std::uint32_t>(ReadI32(bytes, 0)) != kEmrHeader ||
        static_cast<std::uint32_t>(ReadI32(bytes, 40)) != kEmfSignature) {
        return false;
    }
    header->boundsLeft = ReadI32(bytes, 8);
    header->boundsTop = ReadI32(bytes, 12);
    header->boundsRight = ReadI32(bytes, 16);
    header->boundsBottom = ReadI32(bytes, 20);
    header->frameRight = ReadI32(bytes, 32);
    header->frameBottom = ReadI32(bytes, 36);
    header->bytes = static_cast<std::uint32_t>(ReadI32(bytes, 48));
    header->deviceCx = ReadI32(bytes, 72);
    header->deviceCy = ReadI32(bytes, 76);
    header->millimetresCx = ReadI32(bytes, 80);
    header->millimetresCy = ReadI32(bytes, 84);
    return true;
}

bool ComputePageGeometry(const EmfPageHeader& header, LONG resolution, PdfPageGeometry* geometry) {
    if (header.frameBottom <= 0) {
        return false;
    }
    // The device size is trusted when the frame agrees with the size in millimetres (or the
    // drawing does not start at the left/top edge); otherwise the drawn bounds are the page.
    const auto pick = [](std::int32_t frameEdge, std::int32_t millimetres, std::int32_t boundsStart,
                         std::int32_t device, std::int32_t boundsEnd) {
        const std::int64_t difference = std::int64_t{frameEdge / 100} - millimetres;
        const bool frameAgrees = difference > -2 && difference < 2;
        return frameAgrees || boundsStart != 0 ? device : boundsEnd;
    };
    geometry->widthPixels = pick(header.frameRight, header.millimetresCx, header.boundsLeft,
                                 header.deviceCx, header.boundsRight);
    geometry->heightPixels = pick(header.frameBottom, header.millimetresCy, header.boundsTop,
                                  header.deviceCy, header.boundsBottom);
    // ceil(height * 2540 / frameBottom) in integers; the frame is in 0.01 mm.
    const std::int64_t numerator = std::int64_t{geometry->heightPixels} * 2540;
    std::int64_t dpi = numerator / header.frameBottom;
    if (dpi * header.frameBottom < numerator) {
        ++dpi;
    }
    if (dpi <= 0) {
        return false;
    }
    geometry->verticalDpi = dpi;
    geometry->scale = static_cast<double>(resolution) / static_cast<double>(dpi);
    geometry->pageHeight = static_cast<LONG>(geometry->heightPixels * geometry->scale);
    geometry->pageWidth = static_cast<LONG>(geometry->widthPixels * geometry->scale);
    return true;
}

std::string MakePdfOutputPath(const std::string& currentFile, const std::string& outputFolder,
                              bool renameExisting) {
    const std::size_t slash = currentFile.rfind('/');
    std::string name = slash == std::string::npos ? std::string() : currentFile.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        name.resize(dot);
    }
    std::string path = outputFolder + name + ".pdf";
    if (renameExisting && PathExists(path)) {
        const std::size_t split = path.rfind('.');
        const std::string head = path.substr(0, split);
        const std::string tail = path.substr(split);
        for (unsigned n = 1;; ++n) {
            std::string candidate = head + "(" + std::to_string(n) + ")" + tail;
            if (!PathExists(candidate)) {
                path = std::move(candidate);
                break;
            }
        }
    }
    return path;
}

std::string SpoolDocumentName(const std::string& documentPath) {
    const std::size_t slash = documentPath.rfind('/');
    std::u16string name = platform::Utf8ToUtf16(
        slash == std::string::npos ? documentPath : documentPath.substr(slash + 1));
    if (name.size() > kDocumentNameUnits) {
        name.resize(kDocumentNameUnits);
    }
    return platform::Utf16ToUtf8(name);
}

void PdfThread(CConversionController& controller) {
    CWordRecord& job = *controller.m_jobs[controller.m_nCurrentJob];
    const bool apartment = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    WPARAM result = JOB_FAILED;
    std::string failure = LangText(kJobFailure, "Engine");
    if (apartment) {
        ComPtr<IPDFDocument4> engine;
        CLSID clsid{};
        if (SUCCEEDED(
                CLSIDFromProgID(tessaline::contracts::kPdfDocumentOleProgId.data(), &clsid)) &&
            SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IPDFDocument4,
                                       reinterpret_cast<void**>(engine.Put()))) &&
            engine) {
            try {
                result =
                    BuildPdf(controller, job, engine.Get(), &failure) ? JOB_SUCCEEDED : JOB_FAILED;
            } catch (const _com_error& error) {
                result = JOB_FAILED;
                failure = JobFailureText(LangText(kJobFailure, "Pdf"), DescribeComError(error));
            } catch (const std::exception& error) {
                result = JOB_FAILED;
                failure = JobFailureText(LangText(kJobFailure, "Pdf"), error.what());
            }
        }
        engine.Reset();  // before the apartment goes
        CoUninitialize();
    }
    controller.PagesRead();  // also when the job failed before its pages were all read
    if (result != JOB_SUCCEEDED) {
        controller.Host().NoteJobFailure(controller.m_nCurrentJob, failure);
    }
    controller.Host().PostMessageToUi(WM_JOB_FINISHED, result, 0);
}
