#include "tests/word/reference_office.h"

#include <com/sun/star/frame/XFrames.hpp>
#include <com/sun/star/frame/XFramesSupplier.hpp>

#include <dirent.h>
#include <fcntl.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <netinet/tcp.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <stdexcept>
#include <thread>

#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include "components/word/office/FileUrl.h"
#include "components/word/office/Office.h"
#include "components/word/office/OfficeProcess.h"
#include "components/word/office/PropertyList.h"
#include "components/word/model/Uno.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/wait_until.h"

namespace word_test {

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

rtl::OUString Url(const fs::path& path) {
    return rtl::OUString::fromUtf8(
        rtl::OString(word_component::FileUrlFromPath(path.string()).c_str()));
}

css::uno::Reference<css::lang::XComponent> Load(const word_component::OfficeSession& session,
                                                const fs::path& path) {
    return session.desktop->loadComponentFromURL(
        Url(path), "_blank", 0,
        word_component::PropertyList({word_component::Property("Hidden", css::uno::Any(true)),
                                      word_component::Property("ReadOnly", css::uno::Any(true))}));
}

void Close(const css::uno::Reference<css::lang::XComponent>& component) {
    css::uno::Reference<css::util::XCloseable> closeable(component, css::uno::UNO_QUERY);
    if (closeable.is()) {
        closeable->close(true);
    }
}

std::string FlatSpreadsheet() {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.3"
 office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:body><office:spreadsheet><table:table table:name="Sheet1">
  <table:table-row><table:table-cell><text:p>Not a letter</text:p></table:table-cell>
  <table:table-cell office:value-type="float" office:value="42"><text:p>42</text:p>
  </table:table-cell></table:table-row>
 </table:table></office:spreadsheet></office:body>
</office:document>
)";
}

std::string CollapseBlanks(const std::string& text) {
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
            blank = !out.empty();
            continue;
        }
        if (blank) {
            out += ' ';
            blank = false;
        }
        out += c;
    }
    return out;
}

}  // namespace

std::string OfficeMissingReason() {
    if (!word_component::OfficeProgramAvailable()) {
        return "LibreOffice is not installed (" + word_component::OfficeProgramPath() +
               " is missing)";
    }
    return {};
}

ReferenceOffice::ReferenceOffice(fs::path root) : root_(std::move(root)) {
    fs::create_directories(root_);
}

ReferenceOffice::~ReferenceOffice() {
    testing_support::ScopedEnvVar rootVar("TESSALINE_ROOT", root_.string());
    word_component::Office::Get().Shutdown();
}

bool ReferenceOffice::Convert(const fs::path& source, const fs::path& target,
                              const std::string& filter, const std::string& password,
                              std::string* error) {
    testing_support::ScopedEnvVar rootVar("TESSALINE_ROOT", root_.string());
    word_component::OfficeSession session;
    if (!word_component::Office::Get().Session(&session, error)) {
        return false;
    }
    try {
        auto document = Load(session, source);
        css::uno::Reference<css::frame::XStorable> storable(document, css::uno::UNO_QUERY_THROW);
        std::vector<css::beans::PropertyValue> properties = {word_component::Property(
            "FilterName", css::uno::Any(rtl::OUString::createFromAscii(filter.c_str())))};
        if (!password.empty()) {
            properties.push_back(word_component::Property(
                "Password", css::uno::Any(rtl::OUString::createFromAscii(password.c_str()))));
        }
        css::uno::Sequence<css::beans::PropertyValue> list(
            static_cast<sal_Int32>(properties.size()));
        std::copy(properties.begin(), properties.end(), list.getArray());
        storable->storeToURL(Url(target), list);
        Close(document);
        return true;
    } catch (const css::uno::Exception& e) {
        *error = "cannot convert " + source.string() + ": " + word_model::ToUtf8(e.Message);
        return false;
    }
}

bool ReferenceOffice::ExportPdf(const fs::path& document, const fs::path& pdf, std::string* error) {
    return Convert(document, pdf, "writer_pdf_Export", "", error);
}

double ReferenceOffice::LoadSeconds(const fs::path& document, std::string* error) {
    testing_support::ScopedEnvVar rootVar("TESSALINE_ROOT", root_.string());
    word_component::OfficeSession session;
    if (!word_component::Office::Get().Session(&session, error)) {
        return -1;
    }
    try {
        const auto start = std::chrono::steady_clock::now();
        auto loaded = Load(session, document);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        Close(loaded);
        return took.count();
    } catch (const css::uno::Exception& e) {
        *error = word_model::ToUtf8(e.Message);
        return -1;
    }
}

std::string FlatTextDocument(int pages, int paragraphsPerPage) {
    std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" office:version="1.3"
 office:mimetype="application/vnd.oasis.opendocument.text">
 <office:automatic-styles>
  <style:style style:name="NewPage" style:family="paragraph">
   <style:paragraph-properties fo:break-before="page"/>
  </style:style>
 </office:automatic-styles>
 <office:body><office:text>
)";
    for (int page = 1; page <= pages; ++page) {
        xml += "  <text:h text:outline-level=\"1\"";
        if (page > 1) {
            xml += " text:style-name=\"NewPage\"";
        }
        xml += ">Page " + std::to_string(page) + " heading</text:h>\n";
        for (int p = 1; p <= paragraphsPerPage; ++p) {
            xml += "  <text:p>Paragraph " + std::to_string(p) + " of page " + std::to_string(page) +
                   " says something plain enough to be found again in the printed page.</text:p>\n";
        }
    }
    xml += " </office:text></office:body>\n</office:document>\n";
    return xml;
}

bool EnsureTestDocuments(const fs::path& folder, std::string* error) {
    fs::create_directories(folder);
    const int lock = ::open((folder / ".lock").c_str(), O_RDWR | O_CREAT, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0) {
        *error = "cannot lock " + folder.string();
        return false;
    }
    struct Unlock {
        int fd;
        ~Unlock() { ::close(fd); }
    } unlock{lock};
    if (fs::exists(folder / ".complete")) {
        return true;
    }
    const fs::path sources = folder / "sources";
    fs::create_directories(sources);
    WriteFile(sources / "two-pages.fodt", FlatTextDocument(2, 3));
    WriteFile(sources / "ten-pages.fodt", FlatTextDocument(10, 12));
    // Only the office's text module may be installed: the spreadsheet is written as it is.
    WriteFile(folder / "sheet.docx", FlatSpreadsheet());
    {
        ReferenceOffice office(folder / "office-root");
        if (!office.Convert(sources / "two-pages.fodt", folder / "two-pages.docx",
                            "MS Word 2007 XML", "", error) ||
            !office.Convert(sources / "two-pages.fodt", folder / "two-pages.doc", "MS Word 97", "",
                            error) ||
            !office.Convert(sources / "ten-pages.fodt", folder / "ten-pages.docx",
                            "MS Word 2007 XML", "", error) ||
            !office.Convert(sources / "two-pages.fodt", folder / "password.doc", "MS Word 97",
                            "secret", error)) {
            return false;
        }
    }
    const std::string docx = ReadFile(folder / "two-pages.docx");
    WriteFile(folder / "corrupt.docx", docx.substr(0, docx.size() / 2));
    WriteFile(folder / "empty.doc", "");
    std::mt19937 random(20261209);
    std::string noise(64 * 1024, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random() & 0xFF);
    }
    WriteFile(folder / "random.doc", noise);
    WriteFile(folder / ".complete", "");
    return true;
}

std::vector<std::string> PdfPageTexts(const fs::path& pdf) {
    const testing_support::ProcessResult result =
        testing_support::RunProcess({"/usr/bin/pdftotext", pdf.string(), "-"});
    std::vector<std::string> pages;
    if (result.exitCode != 0) {
        return pages;
    }
    // pdftotext ends every page with a form feed.
    size_t start = 0;
    for (size_t feed; (feed = result.output.find('\f', start)) != std::string::npos;
         start = feed + 1) {
        pages.push_back(CollapseBlanks(result.output.substr(start, feed - start)));
    }
    return pages;
}

std::string PdfText(const std::string& pdfBytes) {
    testing_support::TempFolder folder("word-payload");
    WriteFile(folder.Path() / "page.pdf", pdfBytes);
    const std::vector<std::string> pages = PdfPageTexts(folder.Path() / "page.pdf");
    std::string text;
    for (const std::string& page : pages) {
        text += page;
    }
    return pages.size() == 1 ? text : "(" + std::to_string(pages.size()) + " pages) " + text;
}

namespace {

// Runs `ask` in the component's office of that slot through a bridge of our own; once more
// through a new bridge when the office behind the old one has been replaced meanwhile. False
// when no such office runs.
bool AskOfficeOf(const fs::path& root, unsigned slot,
                 const std::function<void(const word_component::OfficeSession&)>& ask) {
    if (OfficeProcessesOfRoot(root, slot).empty()) {
        return false;
    }
    testing_support::ScopedEnvVar rootVar("TESSALINE_ROOT", root.string());
    word_component::Office& office = word_component::Office::At(slot);
    for (int attempt = 0; attempt < 2; ++attempt) {
        word_component::OfficeSession session;
        std::string error;
        if (!office.Session(&session, &error)) {
            return false;
        }
        try {
            ask(session);
            return true;
        } catch (const css::uno::RuntimeException&) {
            office.ReportBroken(session.generation);
        }
    }
    return false;
}

}  // namespace

std::vector<css::uno::Reference<css::frame::XModel>> DocumentsLoadedInOfficeOf(const fs::path& root,
                                                                               unsigned slot) {
    std::vector<css::uno::Reference<css::frame::XModel>> documents;
    AskOfficeOf(root, slot, [&](const word_component::OfficeSession& session) {
        documents.clear();
        auto enumeration = session.desktop->getComponents()->createEnumeration();
        while (enumeration->hasMoreElements()) {
            css::uno::Reference<css::frame::XModel> model(enumeration->nextElement(),
                                                          css::uno::UNO_QUERY);
            if (model.is()) {
                documents.push_back(model);
            }
        }
    });
    return documents;
}

std::size_t FramesInOfficeOf(const fs::path& root, unsigned slot) {
    std::size_t count = 0;
    AskOfficeOf(root, slot, [&](const word_component::OfficeSession& session) {
        css::uno::Reference<css::frame::XFramesSupplier> frames(session.desktop,
                                                                css::uno::UNO_QUERY);
        count = frames.is() ? static_cast<std::size_t>(frames->getFrames()->getCount()) : 0;
    });
    return count;
}

namespace {

// The socket the office of that slot listens on (the office's own, in /tmp).
std::string OfficePipeSocket(const fs::path& root, unsigned slot) {
    return "/tmp/OSL_PIPE_" + std::to_string(::getuid()) + "_" +
           word_component::IdentityForRoot(root.string(), slot).pipeName;
}

}  // namespace

bool WaitUntilOfficeListens(const fs::path& root, unsigned slot, std::chrono::seconds limit) {
    const fs::path socket = OfficePipeSocket(root, slot);
    return testing_support::WaitUntil(
        [&] { return fs::exists(socket) && !OfficeProcessesOfRoot(root, slot).empty(); }, limit,
        std::chrono::milliseconds(100));
}

std::vector<std::size_t> UnreadOnOfficeConnections(const fs::path& root, unsigned slot) {
    // The kernel's socket diagnostics: the office's end of a connection is bound to the name it
    // listens on; the connecting end has none.
    const std::string name = OfficePipeSocket(root, slot);
    const int diag = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (diag < 0) {
        throw std::runtime_error("no socket diagnostics: " + std::string(strerror(errno)));
    }
    struct {
        nlmsghdr header;
        unix_diag_req request;
    } query{};
    query.header.nlmsg_len = sizeof(query);
    query.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    query.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    query.request.sdiag_family = AF_UNIX;
    query.request.udiag_states = 1u << TCP_ESTABLISHED;
    query.request.udiag_show = UDIAG_SHOW_NAME | UDIAG_SHOW_RQLEN;
    if (::send(diag, &query, sizeof(query), 0) != static_cast<ssize_t>(sizeof(query))) {
        ::close(diag);
        throw std::runtime_error("the socket diagnostics query failed");
    }
    std::vector<std::size_t> unread;
    alignas(nlmsghdr) char buffer[32768];
    for (bool done = false; !done;) {
        const ssize_t got = ::recv(diag, buffer, sizeof(buffer), 0);
        if (got <= 0) {
            ::close(diag);
            throw std::runtime_error("the socket diagnostics answer failed");
        }
        int left = static_cast<int>(got);
        for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(message, left);
             message = NLMSG_NEXT(message, left)) {
            if (message->nlmsg_type == NLMSG_DONE || message->nlmsg_type == NLMSG_ERROR) {
                done = true;
                break;
            }
            auto* socketSeen = static_cast<unix_diag_msg*>(NLMSG_DATA(message));
            int attributesLeft =
                static_cast<int>(message->nlmsg_len - NLMSG_LENGTH(sizeof(*socketSeen)));
            std::string bound;
            std::optional<std::size_t> queued;
            for (auto* attribute = reinterpret_cast<rtattr*>(socketSeen + 1);
                 RTA_OK(attribute, attributesLeft);
                 attribute = RTA_NEXT(attribute, attributesLeft)) {
                if (attribute->rta_type == UNIX_DIAG_NAME) {
                    // The name as bound, which may be padded with zeros.
                    const auto* text = static_cast<const char*>(RTA_DATA(attribute));
                    bound.assign(text, ::strnlen(text, RTA_PAYLOAD(attribute)));
                } else if (attribute->rta_type == UNIX_DIAG_RQLEN) {
                    queued = static_cast<const unix_diag_rqlen*>(RTA_DATA(attribute))->udiag_rqueue;
                }
            }
            if (bound == name && queued) {
                unread.push_back(*queued);
            }
        }
    }
    ::close(diag);
    return unread;
}

bool ProcessEnded(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) {
        return true;
    }
    // "pid (name) state ...": the name may hold anything, the state follows its last ')'.
    const std::size_t close = stat.rfind(')');
    const char state =
        close != std::string::npos && close + 2 < stat.size() ? stat[close + 2] : '?';
    if (state != 'Z' && state != 'X') {
        return false;
    }
    // Its first thread shows dead while the others are still ending; till then it cannot be
    // reaped.
    std::error_code error;
    const auto threads = fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error);
    return error || std::distance(threads, fs::directory_iterator()) <= 1;
}

std::vector<pid_t> OfficeProcessesOfRoot(const fs::path& root, std::optional<unsigned> slot) {
    // Without a slot: the offices of every program of the root, whichever index they claimed.
    std::vector<std::string> profiles;
    for (unsigned s = 0; s < word_component::Office::kMostIndices; ++s) {
        if (!slot || *slot == s) {
            profiles.push_back(word_component::IdentityForRoot(root.string(), s).profileArgument);
        }
    }
    std::vector<pid_t> found;
    DIR* proc = ::opendir("/proc");
    while (dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') {
            continue;
        }
        // A process that ends while it is read fails the read: it is no office any more.
        std::ifstream in(std::string("/proc/") + entry->d_name + "/cmdline", std::ios::binary);
        std::string cmdline;
        try {
            cmdline.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        } catch (const std::exception&) {
            continue;
        }
        const bool ours = std::any_of(profiles.begin(), profiles.end(), [&](const auto& profile) {
            return cmdline.find(profile + '\0') != std::string::npos;
        });
        if (cmdline.find("soffice") != std::string::npos && ours) {
            found.push_back(static_cast<pid_t>(std::stol(entry->d_name)));
        }
    }
    ::closedir(proc);
    return found;
}

}  // namespace word_test
