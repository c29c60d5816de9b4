#include "convert/PdfThread.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>

#include "common/ini/Ini.h"
#include "contracts/EmfLayout.h"
#include "contracts/Installation.h"
#include "contracts/PdfEngine.h"
#include "convert/ConversionController.h"
#include "convert/JobFailure.h"
#include "convert/PdfOutline.h"
#include "convert/PostProcess.h"
#include "lang/LanguageProvider.h"
#include "platform/atomic_file.h"
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
    // The draft is a new, empty file beside the output that only this job uses, with the mode
    // the PDF will have; it is removed unless it is moved into place. Its name keeps at most 200
    // bytes of the output's, so that any name leaves room for the suffix.
    platform::FileReplacement draft;
    if (!draft.Reserve(outputPath, platform::FileReplacement::Permissions::kLikeReplaced, 200)) {
        *failure = JobFailureText(LangText(kJobFailure, "Save"), std::strerror(errno));
        return false;
    }
    CheckEngine(engine->SaveToFile(CEngineText::FromAnsi(draft.TemporaryPath()).Get(), 0));
    std::string processFailure;
    // A job that asks for nothing the toolkit writes keeps the engine's PDF when the toolkit
    // cannot run: nothing asked for is missing from it.
    if (!PostProcessPdf(job, draft.TemporaryPath(), &processFailure) &&
        AsksForProtectionOrInformation(job)) {
        *failure = processFailure;
        return false;
    }
    if (!draft.Commit()) {
        *failure = JobFailureText(LangText(kJobFailure, "Save"), std::strerror(errno));
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
    namespace emf = tessaline::contracts::emf;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    unsigned char bytes[emf::kHeaderFullSize] = {};
    file.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    emf::Header read;
    if (emf::ReadHeader({bytes, static_cast<std::size_t>(file.gcount())}, &read) !=
        emf::HeaderStatus::kOk) {
        return false;
    }
    header->boundsLeft = read.bounds.left;
    header->boundsTop = read.bounds.top;
    header->boundsRight = read.bounds.right;
    header->boundsBottom = read.bounds.bottom;
    header->frameRight = read.frame.right;
    header->frameBottom = read.frame.bottom;
    header->bytes = read.bytes;
    header->deviceCx = read.device.cx;
    header->deviceCy = read.device.cy;
    header->millimetresCx = read.millimeters.cx;
    header->millimetresCy = read.millimeters.cy;
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
        controller.ReportJobFailure(failure);
    }
    controller.Host().PostMessageToUi(WM_JOB_FINISHED, result, 0);
}
