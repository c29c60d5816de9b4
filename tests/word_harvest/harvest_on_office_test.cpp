// The document analysis through the LibreOffice-backed word processor, on the example documents:
// every table-of-contents link must find its heading, and every bookmark link its bookmark, at
// the place where LibreOffice's own PDF export of the same document shows that text.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/HeadlessHost.h"
#include "contracts/DispatchIds.h"
#include "contracts/Installation.h"
#include "convert/ConversionController.h"
#include "convert/Dispatch.h"
#include "convert/DocumentHarvest.h"
#include "convert/WordAutomation.h"
#include "lang/LanguageProvider.h"
#include "platform/com.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

namespace dispid = tessaline::contracts::dispid;

namespace {

namespace fs = std::filesystem;
using testing_support::RunProcess;

const fs::path kExamples = fs::path(TESSALINE_SOURCE_DIR) / "examples";
const std::string kWordLibrary = TESSALINE_PROGRAM_DIR "/libTessalineWord.so";
const std::string kOffice = "/usr/lib/libreoffice/program/soffice.bin";
// The launcher restarts the office after it made a new profile, as a first conversion needs.
const std::string kOfficeLauncher = "/usr/lib/libreoffice/program/soffice";

struct Word {
    std::string text;
    double yMin = 0;
};
using PageWords = std::vector<std::vector<Word>>;  // per page, in reading order

std::string Unescape(std::string text) {
    const std::pair<const char*, const char*> entities[] = {
        {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}};
    for (const auto& [entity, plain] : entities) {
        for (std::size_t at; (at = text.find(entity)) != std::string::npos;) {
            text.replace(at, std::string(entity).size(), plain);
        }
    }
    return text;
}

// The words of every page of a PDF with their boxes, from `pdftotext -bbox`.
PageWords ReadWords(const fs::path& pdf) {
    auto result = RunProcess({"/usr/bin/pdftotext", "-bbox", pdf.string(), "-"});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    PageWords pages;
    static const std::regex element(
        R"re(<page |<word xMin="[^"]*" yMin="([^"]*)" xMax="[^"]*" yMax="[^"]*">([^<]*)</word>)re");
    for (std::sregex_iterator it(result.output.begin(), result.output.end(), element), end;
         it != end; ++it) {
        if ((*it)[0].str() == "<page ") {
            pages.emplace_back();
        } else if (!pages.empty()) {
            pages.back().push_back({Unescape((*it)[2].str()), std::stod((*it)[1].str())});
        }
    }
    return pages;
}

std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\x0b') {
            if (!word.empty()) {
                words.push_back(word);
            }
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    return words;
}

// The tops of every place on the page where `words` stand in a row.
std::vector<double> PlacesOf(const std::vector<Word>& page, const std::vector<std::string>& words) {
    std::vector<double> places;
    if (words.empty()) {
        return places;
    }
    for (std::size_t i = 0; i + words.size() <= page.size(); ++i) {
        bool match = true;
        for (std::size_t k = 0; k < words.size() && match; ++k) {
            match = page[i + k].text == words[k];
        }
        if (match) {
            places.push_back(page[i].yMin);
        }
    }
    return places;
}

// A table-of-contents entry's text is the heading's text, a tab and the page number.
std::vector<std::string> HeadingWordsOfEntry(const std::string& entry) {
    std::vector<std::string> words = SplitWords(entry.substr(0, entry.find('\t')));
    if (words.size() > 4) {
        words.resize(4);
    }
    return words;
}

struct LinkInfo {
    std::string address;
    std::string subAddress;
    std::string text;
};

std::vector<LinkInfo> ReadLinks(IDispatch* document) {
    std::vector<LinkInfo> links;
    auto hyperlinks = dispatch::Get(document, dispid::kDocumentHyperlinks).AsDispatch();
    const LONG count = dispatch::Get(hyperlinks.Get(), dispid::kHyperlinksCount).AsInt();
    for (LONG i = 1; i <= count; ++i) {
        auto link = dispatch::Get(hyperlinks.Get(), dispid::kItem, {dispatch::Variant::Int32(i)})
                        .AsDispatch();
        auto range = dispatch::Get(link.Get(), dispid::kHyperlinkRange).AsDispatch();
        links.push_back({dispatch::Get(link.Get(), dispid::kHyperlinkAddress).AsString(),
                         dispatch::Get(link.Get(), dispid::kHyperlinkSubAddress).AsString(),
                         dispatch::Get(range.Get(), dispid::kRangeText).AsString()});
    }
    return links;
}

class HarvestOnOffice : public ::testing::TestWithParam<std::string> {
  public:
    static std::vector<std::string> Documents() {
        std::vector<std::string> names;
        if (fs::is_directory(kExamples)) {
            for (const auto& entry : fs::directory_iterator(kExamples)) {
                const std::string extension = entry.path().extension().string();
                if (extension == ".doc" || extension == ".docx") {
                    names.push_back(entry.path().filename().string());
                }
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  protected:
    static void SetUpTestSuite() {
        if (!fs::exists(kOffice) || !fs::exists(kWordLibrary) || !fs::is_directory(kExamples)) {
            return;
        }
        exports_ = new testing_support::TempFolder("tessaline-harvest-export");
        // A .doc and a .docx of the same name give PDFs of the same name: one folder each.
        for (const std::string extension : {".doc", ".docx"}) {
            std::vector<std::string> argv = {
                kOfficeLauncher,
                "--headless",
                "--norestore",
                "--nologo",
                "-env:UserInstallation=file://" + (exports_->Path() / "profile").string(),
                "--convert-to",
                "pdf",
                "--outdir",
                (exports_->Path() / extension).string()};
            for (const std::string& name : Documents()) {
                if (fs::path(name).extension() == extension) {
                    argv.push_back((kExamples / name).string());
                }
            }
            auto result = RunProcess(argv);
            ASSERT_EQ(result.exitCode, 0) << result.errors;
        }
    }
    static void TearDownTestSuite() {
        delete exports_;
        exports_ = nullptr;
    }

    void SetUp() override {
        if (!fs::exists(kOffice)) {
            GTEST_SKIP() << "LibreOffice (soffice.bin) is not installed";
        }
        if (!fs::exists(kWordLibrary)) {
            GTEST_SKIP() << "the word processor component was not built";
        }
        ASSERT_NE(exports_, nullptr);
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        ASSERT_EQ(
            platform::RegisterComClass(tessaline::contracts::kWordApplicationProgId,
                                       tessaline::contracts::kWordApplicationClsid, kWordLibrary),
            S_OK);
        LoadLanguages(TESSALINE_PROGRAM_DIR "/Languages/*.xml");
        SelectLanguage(kLanguageEnglish);
    }
    void TearDown() override {
        if (!IsSkipped()) {
            CoUninitialize();
        }
    }

    static testing_support::TempFolder* exports_;
    testing_support::ScopedPlatform platform_;
};

testing_support::TempFolder* HarvestOnOffice::exports_ = nullptr;

TEST_P(HarvestOnOffice, ContentsLinksFindTheirHeadingsAndBookmarkLinksTheirBookmarks) {
    const std::string name = GetParam();
    const fs::path document = kExamples / name;
    const PageWords pages = ReadWords(exports_->Path() / fs::path(name).extension() /
                                      (fs::path(name).stem().string() + ".pdf"));
    ASSERT_FALSE(pages.empty()) << "LibreOffice's export of " << name;

    CHeadlessHost host("Tessaline");
    CConversionController controller(host, {});
    controller.m_jobs.push_back(std::make_unique<CWordRecord>());
    controller.m_jobs[0]->m_strFilePath = document.string();
    controller.m_jobs[0]->m_bKeepLinks = 1;
    controller.m_jobs[0]->m_bKeepBookmarks = 1;
    controller.m_nCurrentJob = 0;
    controller.m_strCurrentFile = document.string();

    ComPtr<IDispatch> word = word::CreateWordApplication();
    ASSERT_TRUE(word) << "Word.Application could not be created";
    std::vector<LinkInfo> links;
    {
        const int major = word::GetMajorVersion(word.Get());
        auto documents = word::GetDocuments(word.Get());
        auto opened = word::OpenDocument(documents.Get(), document.string(), major);
        links = ReadLinks(opened.Get());
        EXPECT_EQ(HarvestDocument(controller, document.string(), opened.Get()), 1);
    }
    word::QuitWord(word.Get());

    // Every link of these documents has a layout, so the first records line up with the links;
    // the links beyond the hyperlinks (notes, cross-references, headers) follow them.
    ASSERT_GE(controller.m_links.size(), links.size());
    int contentsLinks = 0;
    int bookmarkLinks = 0;
    // Where each contents entry leads, by the bookmark it names.
    std::map<std::string, const CHyperlinkRecord*> entries;
    for (std::size_t i = 0; i < links.size(); ++i) {
        if (links[i].address.empty() && links[i].subAddress.starts_with('_') &&
            links[i].text.find('\t') != std::string::npos) {
            entries.emplace(links[i].subAddress, &controller.m_links[i]);
        }
    }
    for (std::size_t i = 0; i < links.size(); ++i) {
        const LinkInfo& link = links[i];
        const CHyperlinkRecord& record = controller.m_links[i];
        if (!link.address.empty() || link.subAddress.empty()) {
            continue;
        }
        SCOPED_TRACE(name + ", link " + std::to_string(i + 1) + " \"" + link.text + "\" to " +
                     link.subAddress);
        std::vector<std::string> words;
        if (link.subAddress[0] == '_') {
            ++contentsLinks;
            // A contents entry ("Heading<tab>page") finds its heading by text; a cross-reference
            // to the heading's "_Toc" bookmark ("see Heading") finds the bookmark. Either way it
            // leads to the heading's text.
            if (link.text.find('\t') == std::string::npos) {
                EXPECT_EQ(record.hasHeadingTarget + record.hasBookmarkTarget, 1)
                    << "the cross-reference leads nowhere";
                // Its text need not be the heading's: it must land where the entry does.
                if (auto entry = entries.find(link.subAddress); entry != entries.end()) {
                    EXPECT_EQ(record.destPage, entry->second->destPage);
                    EXPECT_LE(std::fabs(record.destY - entry->second->destY), 2.0)
                        << "destY " << record.destY << ", the contents entry's "
                        << entry->second->destY;
                }
                continue;
            }
            EXPECT_EQ(record.hasHeadingTarget, 1) << "no heading matched the contents entry";
            words = HeadingWordsOfEntry(link.text);
        } else {
            ++bookmarkLinks;
            EXPECT_EQ(record.hasBookmarkTarget, 1) << "the bookmark was not found";
            continue;  // a bookmark may be empty or inside a word: its page is checked by the PDF
        }
        ASSERT_GE(record.destPage, 1);
        ASSERT_LE(static_cast<std::size_t>(record.destPage), pages.size());
        const std::vector<double> places = PlacesOf(pages[record.destPage - 1], words);
        ASSERT_FALSE(places.empty())
            << "the heading's words are not on page " << record.destPage << " of the export";
        const double nearest =
            *std::min_element(places.begin(), places.end(), [&](double a, double b) {
                return std::fabs(a - record.destY) < std::fabs(b - record.destY);
            });
        EXPECT_LE(std::fabs(nearest - record.destY), 2.0)
            << "destY " << record.destY << ", heading text at " << nearest;
    }
    RecordProperty("contents_links", contentsLinks);
    RecordProperty("bookmark_links", bookmarkLinks);
}

std::string ParamName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Examples, HarvestOnOffice,
                         ::testing::ValuesIn(HarvestOnOffice::Documents()), ParamName);

}  // namespace
