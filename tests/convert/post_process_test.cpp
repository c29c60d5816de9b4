// The post-processing with the real toolkit library on real PDFs (read back with qpdf and, when
// installed, pdfinfo), and with a recording toolkit for the exact calls it makes.
#include <dlfcn.h>
#include <sys/stat.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert/PostProcess.h"
#include "lang/LanguageProvider.h"
#include "tests/support/process_resources.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

namespace fs = std::filesystem;
using testing_support::ScopedEnvVar;
using testing_support::TempFolder;

namespace {

const char kChineseTitle[] = "季度报告：销售与市场";

// A one-page PDF with a line of text.
void MakePdf(const std::string& path) {
    QPDF pdf;
    pdf.emptyPDF();
    QPDFObjectHandle font = pdf.makeIndirectObject(
        QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"));
    QPDFObjectHandle contents =
        QPDFObjectHandle::newStream(&pdf, "BT /F1 24 Tf 72 700 Td (Hello) Tj ET\n");
    QPDFObjectHandle page = pdf.makeIndirectObject(
        QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 612 792] >>"));
    page.replaceKey("/Contents", contents);
    page.replaceKey("/Resources", QPDFObjectHandle::parse("<< >>"));
    page.getKey("/Resources").replaceKey("/Font", QPDFObjectHandle::newDictionary());
    page.getKey("/Resources").getKey("/Font").replaceKey("/F1", font);
    QPDFPageDocumentHelper(pdf).addPage(page, false);
    QPDFWriter writer(pdf, path.c_str());
    writer.write();
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::unique_ptr<QPDF> OpenPdf(const fs::path& path, const std::string& password = "") {
    auto pdf = std::make_unique<QPDF>();
    pdf->setSuppressWarnings(true);
    pdf->processFile(path.c_str(), password.c_str());
    return pdf;
}

std::string InfoText(QPDF& pdf, const char* key) {
    QPDFObjectHandle info = pdf.getTrailer().getKey("/Info");
    if (!info.isDictionary() || !info.getKey(key).isString()) {
        return "<absent>";
    }
    return info.getKey(key).getUTF8Value();
}

// A field of pdfinfo's report ("Name:   value").
std::string PdfInfoField(const std::string& report, const std::string& name) {
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(name + ":", 0) == 0) {
            const auto value = line.find_first_not_of(' ', name.size() + 1);
            return value == std::string::npos ? "" : line.substr(value);
        }
    }
    return "<absent>";
}

// A job with options set, the values given.
struct JobValues {
    std::string author, title, subject, keywords, owner, user;
    int noPrint = 0, noChange = 0, noCopy = 0;
};

std::unique_ptr<CWordRecord> MakeJob(const JobValues& v) {
    auto job = std::make_unique<CWordRecord>();
    job->m_strAuthor = v.author;
    job->m_strTitle = v.title;
    job->m_strSubject = v.subject;
    job->m_strKeywords = v.keywords;
    job->m_strOwnerPassword = v.owner;
    job->m_strUserPassword = v.user;
    job->m_bNoPrint = v.noPrint;
    job->m_bNoChange = v.noChange;
    job->m_bNoCopy = v.noCopy;
    job->m_bOptionsSet = 1;
    return job;
}

// The post-processing's answer; its failure text goes to *failure when asked for.
bool Protect(const CWordRecord& job, const std::string& pdf, const std::string& library,
             std::string* failure = nullptr) {
    std::string reason;
    const bool done = PostProcessPdf(job, pdf, library, &reason);
    EXPECT_EQ(done, reason.empty()) << reason;
    if (failure != nullptr) {
        *failure = reason;
    }
    return done;
}

void LoadEnglish() {
    LoadLanguages(TESSALINE_PROGRAM_DIR "/Languages/*.xml");
    SelectLanguage(kLanguageEnglish);
}

class PostProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        LoadEnglish();
        pdfPath_ = folder_.Path() / "out.pdf";
        MakePdf(pdfPath_.string());
    }
    TempFolder folder_{"tessaline-postprocess"};
    fs::path pdfPath_;
};

}  // namespace

TEST(ToolkitLibraryTest, BuiltIntoTheProgramFolderExportingOnlyTheToolkitFunctions) {
    EXPECT_EQ(fs::path(TOOLKIT_LIBRARY_PATH).parent_path(), fs::path(TESSALINE_PROGRAM_DIR));
    EXPECT_EQ(fs::path(TOOLKIT_LIBRARY_PATH).filename(), kToolkitLibraryName);

    auto nm = testing_support::RunProcess(
        {"/bin/sh", "-c", std::string("nm -D --defined-only ") + TOOLKIT_LIBRARY_PATH});
    if (nm.exitCode != 0) {
        GTEST_SKIP() << "skipped: nm is not available to list the exported symbols";
    }
    std::istringstream lines(nm.output);
    std::vector<std::string> names;
    for (std::string line; std::getline(lines, line);) {
        names.push_back(line.substr(line.rfind(' ') + 1));
    }
    std::sort(names.begin(), names.end());
    const std::vector<std::string> expected = {
        "QuickPDFAddToBuffer",       "QuickPDFCreateBuffer",   "QuickPDFCreateLibrary",
        "QuickPDFEncodePermissions", "QuickPDFEncrypt",        "QuickPDFLoadFromFile",
        "QuickPDFReleaseBuffer",     "QuickPDFReleaseLibrary", "QuickPDFSaveToFile",
        "QuickPDFSecurityInfo",      "QuickPDFSetInformation"};
    EXPECT_EQ(names, expected);
}

TEST_F(PostProcessTest, WritesTheFourInformationTextsWholeIncludingChineseAndLongTexts) {
    const std::string longTitle(300, 'T');
    JobValues v;
    v.author = "Zoë Müller";
    v.title = kChineseTitle;
    v.subject = longTitle;
    v.keywords = "alpha, beta";
    v.user = "reader";
    v.owner = "boss";
    ASSERT_TRUE(Protect(*MakeJob(v), pdfPath_.string(), TOOLKIT_LIBRARY_PATH));

    auto pdf = OpenPdf(pdfPath_, "reader");
    EXPECT_EQ(InfoText(*pdf, "/Author"), "Zoë Müller");
    EXPECT_EQ(InfoText(*pdf, "/Title"), kChineseTitle);
    EXPECT_EQ(InfoText(*pdf, "/Subject"), longTitle);
    EXPECT_EQ(InfoText(*pdf, "/Keywords"), "alpha, beta");
    // Text outside PDFDocEncoding is stored as UTF-16BE with a byte order mark.
    EXPECT_EQ(pdf->getTrailer().getKey("/Info").getKey("/Title").getStringValue().substr(0, 2),
              "\xFE\xFF");
    EXPECT_EQ(pdf->getAllPages().size(), 1u);

    if (std::system("command -v pdfinfo >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "skipped: pdfinfo (poppler-utils) is not installed";
    }
    auto info = testing_support::RunProcess(
        {"/bin/sh", "-c", "exec pdfinfo -upw reader \"$1\"", "sh", pdfPath_.string()});
    ASSERT_EQ(info.exitCode, 0) << info.errors;
    EXPECT_EQ(PdfInfoField(info.output, "Title"), kChineseTitle);
    EXPECT_EQ(PdfInfoField(info.output, "Author"), "Zoë Müller");
    EXPECT_EQ(PdfInfoField(info.output, "Subject"), longTitle);
}

TEST_F(PostProcessTest, EncryptsWithAes256AndThePermissionsTheFlagsAskFor) {
    struct Case {
        int noPrint, noChange, noCopy;
    };
    for (const Case c :
         {Case{0, 0, 0}, Case{1, 0, 0}, Case{0, 1, 0}, Case{0, 0, 1}, Case{1, 1, 1}}) {
        SCOPED_TRACE("noPrint " + std::to_string(c.noPrint) + " noChange " +
                     std::to_string(c.noChange) + " noCopy " + std::to_string(c.noCopy));
        MakePdf(pdfPath_.string());
        JobValues v;
        v.owner = "owner-pw";
        v.user = "user-pw";
        v.noPrint = c.noPrint;
        v.noChange = c.noChange;
        v.noCopy = c.noCopy;
        ASSERT_TRUE(Protect(*MakeJob(v), pdfPath_.string(), TOOLKIT_LIBRARY_PATH));

        auto pdf = OpenPdf(pdfPath_, "user-pw");
        int R = 0, P = 0, V = 0;
        QPDF::encryption_method_e stream, string, file;
        ASSERT_TRUE(pdf->isEncrypted(R, P, V, stream, string, file));
        EXPECT_EQ(R, 6);
        EXPECT_EQ(V, 5);
        EXPECT_EQ(stream, QPDF::e_aesv3);
        EXPECT_EQ(string, QPDF::e_aesv3);
        EXPECT_TRUE(pdf->userPasswordMatched());
        EXPECT_FALSE(pdf->ownerPasswordMatched());
        EXPECT_EQ(pdf->allowPrintLowRes(), c.noPrint == 0);
        EXPECT_EQ(pdf->allowPrintHighRes(), c.noPrint == 0);
        EXPECT_EQ(pdf->allowModifyOther(), c.noChange == 0);
        EXPECT_EQ(pdf->allowExtractAll(), c.noCopy == 0);
    }
}

TEST_F(PostProcessTest, OwnerPasswordGivesFullAccessAndAWrongPasswordIsRefused) {
    JobValues v;
    v.owner = "owner-pw";
    v.user = "user-pw";
    v.noPrint = v.noChange = v.noCopy = 1;
    ASSERT_TRUE(Protect(*MakeJob(v), pdfPath_.string(), TOOLKIT_LIBRARY_PATH));

    EXPECT_TRUE(OpenPdf(pdfPath_, "owner-pw")->ownerPasswordMatched());
    for (const char* wrong : {"", "wrong", "USER-PW"}) {
        SCOPED_TRACE(std::string("password '") + wrong + "'");
        try {
            OpenPdf(pdfPath_, wrong);
            ADD_FAILURE() << "opened with a wrong password";
        } catch (const QPDFExc& e) {
            EXPECT_EQ(e.getErrorCode(), qpdf_e_password);
        }
    }
}

TEST_F(PostProcessTest, DefaultsStillEncryptWithEmptyPasswordsAndEveryPermission) {
    ASSERT_TRUE(Protect(*MakeJob({}), pdfPath_.string(), TOOLKIT_LIBRARY_PATH));
    auto pdf = OpenPdf(pdfPath_);
    int R = 0, P = 0;
    ASSERT_TRUE(pdf->isEncrypted(R, P));
    EXPECT_EQ(R, 6);
    EXPECT_TRUE(pdf->allowPrintHighRes());
    EXPECT_TRUE(pdf->allowModifyAll());
    EXPECT_TRUE(pdf->allowExtractAll());
    EXPECT_TRUE(pdf->allowAccessibility());
    EXPECT_EQ(InfoText(*pdf, "/Title"), "");
    EXPECT_EQ(InfoText(*pdf, "/Author"), "");
}

TEST_F(PostProcessTest, RewrittenInPlaceKeepingTheFileModeAndLeavingNoTemporaryFile) {
    ASSERT_EQ(chmod(pdfPath_.c_str(), 0640), 0);
    ASSERT_TRUE(Protect(*MakeJob({}), pdfPath_.string(), TOOLKIT_LIBRARY_PATH));
    EXPECT_EQ(fs::status(pdfPath_).permissions() & fs::perms::mask,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_.Path()), fs::directory_iterator()), 1);
}

TEST_F(PostProcessTest, AFailedSaveLeavesTheEnginesPdfByteIdentical) {
    {
        SCOPED_TRACE("writing the new PDF fails part way");
        const std::string before = ReadBytes(pdfPath_);
        {
            testing_support::ScopedFileSizeLimit limit(100);
            JobValues v;
            v.title = "never written";
            v.user = "x";
            std::string failure;
            EXPECT_FALSE(Protect(*MakeJob(v), pdfPath_.string(), TOOLKIT_LIBRARY_PATH, &failure));
            EXPECT_EQ(failure, LangText("JobFailure", "ToolkitSave"));
        }
        EXPECT_EQ(ReadBytes(pdfPath_), before);
        EXPECT_EQ(std::distance(fs::directory_iterator(folder_.Path()), fs::directory_iterator()),
                  1)
            << "a temporary file was left behind";
    }
    {
        SCOPED_TRACE("no temporary file can be made beside the PDF");
        // A name at the file system's limit leaves no room for the temporary file's suffix.
        const fs::path longPath = folder_.Path() / (std::string(251, 'n') + ".pdf");
        MakePdf(longPath.string());
        const std::string before = ReadBytes(longPath);
        JobValues v;
        v.user = "x";
        EXPECT_FALSE(Protect(*MakeJob(v), longPath.string(), TOOLKIT_LIBRARY_PATH));
        EXPECT_EQ(ReadBytes(longPath), before);
    }
}

TEST_F(PostProcessTest, AMissingOrIncompleteToolkitFailsAndLeavesThePdfAsItWas) {
    const std::string before = ReadBytes(pdfPath_);
    JobValues v;
    v.user = "x";
    for (const std::string& library :
         {(folder_.Path() / "absent.so").string(), std::string(FAKE_TOOLKIT_INCOMPLETE_PATH)}) {
        SCOPED_TRACE(library);
        CToolkitLibrary toolkit(library);
        EXPECT_TRUE(toolkit.Missing());
        EXPECT_EQ(toolkit.InstanceId(), 0);
        std::string failure;
        EXPECT_FALSE(Protect(*MakeJob(v), pdfPath_.string(), library, &failure));
        EXPECT_EQ(failure, LangText("JobFailure", "NoToolkit"));
        EXPECT_EQ(ReadBytes(pdfPath_), before);
    }
}

// The strengths below the strongest, through the library's own functions.
TEST(ToolkitLibraryTest, EachStrengthWritesItsEncryptionRevision) {
    TempFolder folder("tessaline-toolkit");
    const std::string source = (folder.Path() / "in.pdf").string();
    MakePdf(source);
    void* lib = dlopen(TOOLKIT_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto create = reinterpret_cast<int (*)()>(dlsym(lib, "QuickPDFCreateLibrary"));
    auto release = reinterpret_cast<int (*)(int)>(dlsym(lib, "QuickPDFReleaseLibrary"));
    auto load = reinterpret_cast<int (*)(int, const char*)>(dlsym(lib, "QuickPDFLoadFromFile"));
    auto encode = reinterpret_cast<int (*)(int, int, int, int, int, int, int, int, int)>(
        dlsym(lib, "QuickPDFEncodePermissions"));
    auto encrypt = reinterpret_cast<int (*)(int, const char*, const char*, int, int)>(
        dlsym(lib, "QuickPDFEncrypt"));
    auto save = reinterpret_cast<int (*)(int, const char*)>(dlsym(lib, "QuickPDFSaveToFile"));
    auto security = reinterpret_cast<int (*)(int, int)>(dlsym(lib, "QuickPDFSecurityInfo"));
    auto setInfo =
        reinterpret_cast<int (*)(int, int, const char*)>(dlsym(lib, "QuickPDFSetInformation"));

    const int id = create();
    ASSERT_GT(id, 0);
    EXPECT_EQ(security(id, 10), 12);
    EXPECT_EQ(StrengthFromSecurityInfo(security(id, 10)), 3);
    ASSERT_EQ(load(id, source.c_str()), 1);
    EXPECT_EQ(setInfo(id, 5, "no such key"), 0);
    EXPECT_EQ(encrypt(id, "o", "u", 4, 0), 0) << "an unknown strength is refused";
    EXPECT_EQ(load(id, (folder.Path() / "absent.pdf").c_str()), 0);
    const int revision[] = {2, 3, 4, 6};
    for (int strength = 0; strength <= 3; ++strength) {
        SCOPED_TRACE("strength " + std::to_string(strength));
        const std::string out =
            (folder.Path() / ("s" + std::to_string(strength) + ".pdf")).string();
        const int p = encode(id, 1, 0, 1, 1, 1, 1, 1, 1);
        ASSERT_EQ(encrypt(id, "o", "u", strength, p), 1);
        ASSERT_EQ(save(id, out.c_str()), 1);
        auto pdf = OpenPdf(out, "u");
        int R = 0, P = 0;
        ASSERT_TRUE(pdf->isEncrypted(R, P));
        EXPECT_EQ(R, revision[strength]);
        EXPECT_TRUE(pdf->allowPrintLowRes());
        EXPECT_FALSE(pdf->allowExtractAll());
    }
    EXPECT_EQ(release(id), 1);
    EXPECT_EQ(load(id, source.c_str()), 0) << "a released instance is gone";
    dlclose(lib);
}

// ---- The calls the post-processing makes, recorded by the fake toolkit.

namespace {

using Call = std::vector<std::string>;

std::vector<Call> ReadLog(const fs::path& path) {
    std::vector<Call> calls;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        Call call;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '|');) {
            call.push_back(field);
        }
        calls.push_back(call);
    }
    return calls;
}

// The calls other than buffer handling, with a buffer argument shown by its contents only.
std::vector<Call> MainCalls(const std::vector<Call>& calls) {
    std::vector<Call> main;
    for (Call call : calls) {
        if (call[0] == "CreateBuffer" || call[0] == "AddToBuffer" || call[0] == "ReleaseBuffer") {
            continue;
        }
        for (std::string& field : call) {
            if (field.rfind("#", 0) == 0) {
                const auto colon = field.find(':');
                field = colon == std::string::npos ? field : "'" + field.substr(colon + 1) + "'";
            }
        }
        main.push_back(call);
    }
    return main;
}

class RecordedPostProcessTest : public ::testing::Test {
  protected:
    std::vector<Call> Run(const JobValues& v, const std::string& securityAnswer = "12") {
        fs::remove(log_);
        ScopedEnvVar answer("FAKE_TOOLKIT_SECURITY_ANSWER", securityAnswer);
        EXPECT_TRUE(Protect(*MakeJob(v), pdfPath_, FAKE_TOOLKIT_PATH));
        return ReadLog(log_);
    }
    void SetUp() override { LoadEnglish(); }
    TempFolder folder_{"tessaline-recorded"};
    fs::path log_ = folder_.Path() / "calls.log";
    std::string pdfPath_ = (folder_.Path() / "doc.pdf").string();
    ScopedEnvVar logVar_{"FAKE_TOOLKIT_LOG", log_.string()};
};

}  // namespace

TEST_F(RecordedPostProcessTest, CallsInOrderWithEveryTextInABufferReleasedRightAfter) {
    JobValues v{"Ann", "A Title", "Subj", "k1 k2", "own", "usr", 0, 0, 0};
    v.title = std::string(300, 't');  // passed whole
    const auto calls = Run(v);

    const std::vector<Call> expected = {
        {"CreateLibrary", "7"},
        {"LoadFromFile", "7", "'" + pdfPath_ + "'"},
        {"SetInformation", "7", "1", "'Ann'"},
        {"SetInformation", "7", "2", "'" + std::string(300, 't') + "'"},
        {"SetInformation", "7", "3", "'Subj'"},
        {"SetInformation", "7", "4", "'k1 k2'"},
        {"SecurityInfo", "7", "10"},
        {"EncodePermissions", "7", "1", "1", "1", "1", "3", "3", "1", "1"},
        {"Encrypt", "7", "'own'", "'usr'", "3", "4242"},
        {"SaveToFile", "7", "'" + pdfPath_ + "'"},
        {"ReleaseLibrary", "7"},
    };
    EXPECT_EQ(MainCalls(calls), expected);

    // Each text argument was a live buffer made with the text's length, filled with exactly the
    // text, and released; the last release comes before the instance's.
    int open = 0;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const Call& c = calls[i];
        for (const std::string& field : c) {
            EXPECT_NE(field, "#?") << "call " << i << " " << c[0] << " used no live buffer";
        }
        if (c[0] == "CreateBuffer") {
            ++open;
            ASSERT_LT(i + 1, calls.size());
            const Call& add = calls[i + 1];
            ASSERT_EQ(add[0], "AddToBuffer");
            EXPECT_EQ(add[2], c[3]);
            EXPECT_EQ(add[4], c[2]) << "filled with another length than it was made for";
            EXPECT_EQ(std::to_string(add[3].size()), c[2]);
        } else if (c[0] == "ReleaseBuffer") {
            --open;
        } else if (c[0] == "ReleaseLibrary") {
            EXPECT_EQ(open, 0) << "buffers still held when the instance was released";
        }
    }
    EXPECT_EQ(open, 0);
    const auto made = std::count_if(calls.begin(), calls.end(),
                                    [](const Call& c) { return c[0] == "CreateBuffer"; });
    EXPECT_EQ(made, 8) << "path, four texts, two passwords, path";
}

TEST_F(RecordedPostProcessTest, PermissionArgumentsAndStrengthFollowTheFlagsAndTheAnswer) {
    struct Case {
        int noPrint, noChange, noCopy;
        std::string answer;
        Call permissions;
        std::string strength;
    };
    const Case cases[] = {
        {1, 0, 0, "12", {"0", "1", "1", "1", "3", "3", "0", "0"}, "3"},
        {1, 1, 1, "12", {"0", "0", "0", "1", "3", "3", "0", "0"}, "3"},
        {0, 1, 0, "12", {"1", "1", "0", "1", "3", "3", "1", "1"}, "3"},
        {0, 0, 1, "8", {"1", "0", "1", "1", "1", "1", "1", "1"}, "1"},
        {0, 0, 0, "7", {"1", "1", "1", "1", "0", "0", "1", "1"}, "0"},
        {0, 0, 0, "99", {"1", "1", "1", "1", "0", "0", "1", "1"}, "0"},
    };
    for (const Case& c : cases) {
        JobValues v;
        v.noPrint = c.noPrint;
        v.noChange = c.noChange;
        v.noCopy = c.noCopy;
        SCOPED_TRACE("flags " + std::to_string(c.noPrint) + std::to_string(c.noChange) +
                     std::to_string(c.noCopy) + " answer " + c.answer);
        const auto calls = MainCalls(Run(v, c.answer));
        ASSERT_EQ(calls.size(), 11u);
        Call expectedPermissions = {"EncodePermissions", "7"};
        expectedPermissions.insert(expectedPermissions.end(), c.permissions.begin(),
                                   c.permissions.end());
        EXPECT_EQ(calls[7], expectedPermissions);
        // Empty passwords are still passed, with the strength and the encoded permissions; a
        // restriction without an owner password gets a random one.
        const bool restricted = c.noPrint || c.noChange || c.noCopy;
        ASSERT_EQ(calls[8].size(), 6u);
        EXPECT_EQ(calls[8][0], "Encrypt");
        EXPECT_EQ(calls[8][2].size(), restricted ? 66u : 2u) << calls[8][2];
        EXPECT_EQ(calls[8][3], "''");
        EXPECT_EQ(calls[8][4], c.strength);
        EXPECT_EQ(calls[8][5], "4242");
    }
}

TEST_F(RecordedPostProcessTest, AFailedStepFailsTheRunWithItsReason) {
    JobValues v;
    v.user = "u";
    for (const auto& [call, reason] :
         std::vector<std::pair<std::string, std::string>>{{"LoadFromFile", "ToolkitLoad"},
                                                          {"SetInformation", "ToolkitInformation"},
                                                          {"Encrypt", "ToolkitEncrypt"},
                                                          {"SaveToFile", "ToolkitSave"}}) {
        SCOPED_TRACE(call);
        ScopedEnvVar failing("FAKE_TOOLKIT_FAIL", call);
        std::string failure;
        EXPECT_FALSE(Protect(*MakeJob(v), pdfPath_, FAKE_TOOLKIT_PATH, &failure));
        EXPECT_EQ(failure, LangText("JobFailure", reason.c_str()));
    }
}

// qpdf's own view: with restrictions and no owner password, the empty password is only the
// user's, so the restrictions hold; the owner password is new every time.
TEST_F(PostProcessTest, ARestrictionWithoutAnOwnerPasswordGetsARandomOne) {
    JobValues v;
    v.noPrint = 1;
    const auto job = MakeJob(v);
    const std::string first = EffectiveOwnerPassword(*job);
    EXPECT_EQ(first.size(), 64u);
    EXPECT_NE(first, EffectiveOwnerPassword(*job));
    EXPECT_EQ(EffectiveOwnerPassword(*MakeJob({})), "") << "no restriction: nothing to hold";

    ASSERT_TRUE(Protect(*job, pdfPath_.string(), TOOLKIT_LIBRARY_PATH));
    auto pdf = OpenPdf(pdfPath_);
    EXPECT_TRUE(pdf->userPasswordMatched());
    EXPECT_FALSE(pdf->ownerPasswordMatched()) << "the empty password gives every right";
    EXPECT_FALSE(pdf->allowPrintHighRes());
}
