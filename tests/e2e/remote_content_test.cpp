// Pictures a document links from the network, in its text and in its page header: converting
// it reads nothing from the network (the PDF shows the pictures' placeholders) unless the user
// allows it with TESSALINE_FETCH_REMOTE_CONTENT=1, also when an office that may fetch already
// runs for the platform root. A web server of the test's own on 127.0.0.1 counts the requests.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "tests/e2e/e2e_environment.h"
#include "tests/e2e/pdf_facts.h"
#include "tests/e2e/reference_exports.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

#ifdef E2E_HAS_WORD_OFFICE
#include "components/word/office/Office.h"
#endif

namespace e2e {
namespace {

// A 1x1 PNG.
const std::string kPicture(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00\x00"
    "\x01\x08\x02\x00\x00\x00\x90\x77\x53\xde\x00\x00\x00\x0c\x49\x44\x41\x54\x78\x9c\x63\xf8\xcf"
    "\xc0\x00\x00\x03\x01\x01\x00\xc9\xfe\x92\xef\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
    69);

// Answers every request on 127.0.0.1 with the picture (its headers alone for HEAD, nothing for
// OPTIONS and the like) and keeps each request's first line.
class PictureServer {
  public:
    PictureServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
            ::listen(listener_, 16) == 0 &&
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
            port_ = ntohs(address.sin_port);
        }
        serving_ = std::thread([this] { Serve(); });
    }
    ~PictureServer() {
        stop_ = true;
        serving_.join();
        ::close(listener_);
    }
    int Port() const { return port_; }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    void Forget() {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.clear();
    }

  private:
    void Serve() {
        while (!stop_) {
            pollfd waiting{listener_, POLLIN, 0};
            if (::poll(&waiting, 1, 100) <= 0) {
                continue;
            }
            const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) {
                continue;
            }
            std::string request;
            char buffer[4096];
            pollfd reading{connection, POLLIN, 0};
            while (request.find("\r\n\r\n") == std::string::npos && ::poll(&reading, 1, 2000) > 0) {
                const ssize_t got = ::read(connection, buffer, sizeof buffer);
                if (got <= 0) {
                    break;
                }
                request.append(buffer, static_cast<std::size_t>(got));
            }
            const std::string line = request.substr(0, request.find("\r\n"));
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(line);
            }
            const bool get = line.rfind("GET ", 0) == 0;
            const bool head = line.rfind("HEAD ", 0) == 0;
            std::string answer = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
            answer += get || head ? "Content-Type: image/png\r\nContent-Length: " +
                                        std::to_string(kPicture.size()) + "\r\n\r\n"
                                  : std::string("Content-Length: 0\r\n\r\n");
            if (get) {
                answer += kPicture;
            }
            ::send(connection, answer.data(), answer.size(), MSG_NOSIGNAL);
            ::close(connection);
        }
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread serving_;
    std::mutex mutex_;
    std::vector<std::string> requests_;
};

std::string LinkedPictures(int port) {
    const std::string base = "http://127.0.0.1:" + std::to_string(port) + "/";
    auto picture = [&](const std::string& name) {
        return R"(<draw:frame text:anchor-type="as-char" svg:width="2cm" svg:height="2cm">)"
               R"(<draw:image xlink:href=")" +
               base + name + R"(" xlink:type="simple" xlink:show="embed"/></draw:frame>)";
    };
    return std::string(kFlatOdtOpening) +
           R"( <office:automatic-styles><style:page-layout style:name="Page"><style:page-layout-properties
  fo:page-width="21cm" fo:page-height="29.7cm" fo:margin="2cm"/><style:header-style/>
 </style:page-layout></office:automatic-styles>
 <office:master-styles><style:master-page style:name="Standard" style:page-layout-name="Page">
  <style:header><text:p>Header )" +
           picture("header.png") + R"(</text:p></style:header></style:master-page>
 </office:master-styles>
 <office:body><office:text>
  <text:p>Before the picture.</text:p>
  <text:p>)" +
           picture("body.png") + R"(</text:p>
  <text:p>After the picture.</text:p>
 </office:text></office:body>
</office:document>
)";
}

class RemoteContent : public PipelineTest {
  protected:
    void SetUpPipeline() override {
        if (!fs::exists("/usr/bin/soffice")) {
            GTEST_SKIP() << "/usr/bin/soffice is missing";
        }
        ASSERT_NE(server_.Port(), 0) << "the test's web server did not start";
        // The office that makes the documents fetches the pictures; that is not what is counted.
        const fs::path source = platform_.Work() / "pictures.fodt";
        testing_support::WriteFile(source, LinkedPictures(server_.Port()));
        std::string error;
        ASSERT_TRUE(ConvertWithLibreOffice({source}, "docx:MS Word 2007 XML", Documents(), &error))
            << error;
        fs::copy_file(source, platform_.Work() / "pictures-97.fodt");
        ASSERT_TRUE(ConvertWithLibreOffice({platform_.Work() / "pictures-97.fodt"},
                                           "doc:MS Word 97", Documents(), &error))
            << error;
        server_.Forget();
        ASSERT_TRUE(InstallPlatform());
    }

    fs::path Documents() const { return platform_.Work() / "documents"; }

    // folvane-cli with links and bookmarks on the documents; true when every PDF came out.
    bool Convert(const std::vector<std::string>& names) {
        const fs::path output = platform_.Work() / "pdf";
        fs::create_directories(output);
        std::vector<std::string> arguments = {"--keep-links", "--keep-bookmarks", "-o",
                                              output.string()};
        for (const std::string& name : names) {
            arguments.push_back((Documents() / name).string());
        }
        const testing_support::ProcessResult run = RunCli(arguments, Documents());
        EXPECT_EQ(run.exitCode, 0) << run.output << run.errors;
        for (const std::string& name : names) {
            const fs::path pdf = output / (fs::path(name).stem().string() + ".pdf");
            if (!fs::exists(pdf) || QpdfCheckProblems(pdf) != "") {
                ADD_FAILURE() << "no sound PDF of " << name << ": " << run.output;
                return false;
            }
            EXPECT_NE(PageTexts(pdf).front().find("Before the picture."), std::string::npos);
            fs::remove(pdf);
        }
        return true;
    }

    testing_support::ScopedPlatform platform_;
    PictureServer server_;
};

TEST_F(RemoteContent, LinkedPicturesAreNotFetchedUnlessTheUserAllowsIt) {
    EXPECT_TRUE(Convert({"pictures.docx", "pictures-97.doc"}));
    EXPECT_EQ(server_.Requests(), std::vector<std::string>());

    testing_support::ScopedEnvVar allowed("TESSALINE_FETCH_REMOTE_CONTENT", "1");
    EXPECT_TRUE(Convert({"pictures-97.doc"}));
    const std::vector<std::string> requests = server_.Requests();
    for (const char* wanted : {"GET /body.png HTTP/1.1", "GET /header.png HTTP/1.1"}) {
        EXPECT_NE(std::find(requests.begin(), requests.end(), wanted), requests.end())
            << wanted << " is missing";
    }
}

#ifdef E2E_HAS_WORD_OFFICE
// Offices of one platform root are shared between processes: one that this test process starts
// under one setting must not be what a process under the other converts with.
TEST_F(RemoteContent, AProcessDoesNotConvertWithAnOfficeStartedUnderTheOtherSetting) {
    using word_component::Office;
    auto startOffice = [] {
        word_component::OfficeSession session;
        std::string error;
        EXPECT_TRUE(Office::Get().Session(&session, &error)) << error;
    };
    {
        testing_support::ScopedEnvVar allowed("TESSALINE_FETCH_REMOTE_CONTENT", "1");
        startOffice();
    }
    EXPECT_TRUE(Convert({"pictures.docx", "pictures-97.doc"}));
    EXPECT_EQ(server_.Requests(), std::vector<std::string>());

    startOffice();
    testing_support::ScopedEnvVar allowed("TESSALINE_FETCH_REMOTE_CONTENT", "1");
    EXPECT_TRUE(Convert({"pictures.docx"}));
    EXPECT_FALSE(server_.Requests().empty());
    Office::Get().Shutdown();
}
#endif

}  // namespace
}  // namespace e2e
