#include "tests/word_model/office_session.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/uri.hxx>

#include "tests/support/run_process.h"

namespace word_model_test {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;

constexpr const char* kOfficeProgram = "/usr/lib/libreoffice/program/soffice";
constexpr const char* kFundamentalRc =
    "vnd.sun.star.pathname:/usr/lib/libreoffice/program/fundamentalrc";

std::unique_ptr<OfficeSession> g_session;
std::string g_failure;  // why the office could not start, once tried
bool g_tried = false;

// Ends the office when the test program ends, whichever tests ran.
class OfficeEnvironment : public testing::Environment {
  public:
    void TearDown() override { OfficeSession::Shutdown(); }
};
[[maybe_unused]] testing::Environment* const g_environment =
    testing::AddGlobalTestEnvironment(new OfficeEnvironment);

// The office's launcher starts the office proper as its child; a hung office needs both ended.
std::vector<pid_t> ChildrenOf(pid_t pid) {
    std::vector<pid_t> children;
    std::ifstream list("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                       "/children");
    pid_t child = 0;
    while (list >> child) {
        children.push_back(child);
    }
    return children;
}

rtl::OUString U(const std::string& text) {
    return rtl::OStringToOUString(rtl::OString(text.c_str()), RTL_TEXTENCODING_UTF8);
}

css::beans::PropertyValue Property(const char* name, const css::uno::Any& value) {
    css::beans::PropertyValue property;
    property.Name = rtl::OUString::createFromAscii(name);
    property.Value = value;
    return property;
}

}  // namespace

std::string FileUrl(const std::string& path) {
    const std::string absolute = std::filesystem::absolute(path).string();
    rtl::OUString encoded = rtl::Uri::encode(U(absolute), rtl_UriCharClassUricNoSlash,
                                             rtl_UriEncodeKeepEscapes, RTL_TEXTENCODING_UTF8);
    // Slashes were escaped with the rest; a file URL keeps them.
    encoded = encoded.replaceAll("%2F", "/");
    return std::string("file://") + rtl::OUStringToOString(encoded, RTL_TEXTENCODING_UTF8).getStr();
}

OfficeSession* OfficeSession::Get(std::string* whyNot) {
    if (!g_tried) {
        g_tried = true;
        std::unique_ptr<OfficeSession> session(new OfficeSession());
        if (session->Start(&g_failure)) {
            g_session = std::move(session);
        }
    }
    if (!g_session && whyNot != nullptr) {
        *whyNot = g_failure;
    }
    return g_session.get();
}

void OfficeSession::Shutdown() {
    g_session.reset();
}

bool OfficeSession::Start(std::string* whyNot) {
    if (::access(kOfficeProgram, X_OK) != 0) {
        *whyNot = std::string("LibreOffice is not installed (no ") + kOfficeProgram + ")";
        return false;
    }
    ::setenv("URE_BOOTSTRAP", kFundamentalRc, 0);
    const std::string pipe = "tessaline_word_model_" + std::to_string(::getpid());
    const std::string accept = "pipe,name=" + pipe + ";urp;StarOffice.ComponentContext";
    pid_ = testing_support::StartProcess({kOfficeProgram, "--headless", "--invisible", "--nologo",
                                          "--norestore", "--nodefault", "--nolockcheck",
                                          "-env:UserInstallation=" + FileUrl(profile_.Str()),
                                          "--accept=" + accept});
    try {
        Reference<css::uno::XComponentContext> local =
            cppu::defaultBootstrap_InitialComponentContext();
        Reference<css::bridge::XUnoUrlResolver> resolver =
            css::bridge::UnoUrlResolver::create(local);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
        while (!context_.is()) {
            try {
                context_.set(resolver->resolve(U("uno:" + accept)), UNO_QUERY_THROW);
            } catch (const css::connection::NoConnectException&) {
                int status = 0;
                if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                    pid_ = -1;
                    *whyNot = "the office ended before it accepted a connection";
                    return false;
                }
                if (std::chrono::steady_clock::now() > deadline) {
                    *whyNot = "the office did not accept a connection within 90 seconds";
                    return false;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
            }
        }
        desktop_ = css::frame::Desktop::create(context_);
    } catch (const css::uno::Exception& e) {
        *whyNot = "cannot reach the office: " +
                  std::string(rtl::OUStringToOString(e.Message, RTL_TEXTENCODING_UTF8).getStr());
        return false;
    }
    return true;
}

OfficeSession::~OfficeSession() {
    if (desktop_.is()) {
        try {
            desktop_->terminate();
        } catch (const css::uno::Exception&) {
            // The connection drops while the office ends.
        }
    }
    desktop_.clear();
    context_.clear();
    if (pid_ > 0) {
        for (int i = 0; i < 100; ++i) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        for (pid_t child : ChildrenOf(pid_)) {
            ::kill(child, SIGKILL);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

Reference<css::frame::XModel> OfficeSession::Load(const std::string& path) {
    css::uno::Sequence<css::beans::PropertyValue> args(2);
    args[0] = Property("Hidden", css::uno::Any(true));
    args[1] = Property("ReadOnly", css::uno::Any(true));
    Reference<css::lang::XComponent> component =
        desktop_->loadComponentFromURL(U(FileUrl(path)), rtl::OUString("_blank"), 0, args);
    Reference<css::frame::XModel> model(component, css::uno::UNO_QUERY);
    if (!model.is()) {
        throw std::runtime_error("the office could not load " + path);
    }
    return model;
}

void OfficeSession::StoreTo(const Reference<css::frame::XModel>& document, const std::string& path,
                            const std::string& filter) {
    Reference<css::frame::XStorable> storable(document, UNO_QUERY_THROW);
    css::uno::Sequence<css::beans::PropertyValue> args(2);
    args[0] = Property("FilterName", css::uno::Any(U(filter)));
    args[1] = Property("Overwrite", css::uno::Any(true));
    storable->storeToURL(U(FileUrl(path)), args);
}

void OfficeSession::Close(const Reference<css::frame::XModel>& document) {
    Reference<css::util::XCloseable> closeable(document, css::uno::UNO_QUERY);
    if (closeable.is()) {
        try {
            closeable->close(true);
        } catch (const css::uno::Exception&) {
            // Closing is best effort: the office goes at the end anyway.
        }
    }
}

}  // namespace word_model_test
