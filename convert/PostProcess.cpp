#include "convert/PostProcess.h"

#include <dlfcn.h>
#include <sys/random.h>

#include <cerrno>
#include <utility>

#include "convert/JobFailure.h"
#include "lang/LanguageProvider.h"
#include "platform/program_folder.h"
#include "platform/text.h"

namespace {

// Texts reach the toolkit as UTF-8, converted from the ANSI code page through UTF-16. The whole
// text is passed, however long.
std::string ToToolkitText(const std::string& ansi) {
    return platform::Utf16ToUtf8(platform::Utf8ToUtf16(ansi));
}

}  // namespace

std::string DefaultToolkitLibraryPath() {
    return GetProgramFolder() + kToolkitLibraryName;
}

template <typename Fn>
void CToolkitLibrary::Bind(Fn& slot, const char* name) {
    slot = reinterpret_cast<Fn>(dlsym(m_hLibrary, name));
    if (slot == nullptr) {
        m_bMissing = true;
    }
}

CToolkitLibrary::CToolkitLibrary(const std::string& libraryPath) {
    m_hLibrary = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_hLibrary == nullptr) {
        m_bMissing = true;
        return;
    }
    Bind(m_pAddToBuffer, "QuickPDFAddToBuffer");
    Bind(m_pCreateBuffer, "QuickPDFCreateBuffer");
    Bind(m_pCreateLibrary, "QuickPDFCreateLibrary");
    Bind(m_pEncodePermissions, "QuickPDFEncodePermissions");
    Bind(m_pEncrypt, "QuickPDFEncrypt");
    Bind(m_pLoadFromFile, "QuickPDFLoadFromFile");
    Bind(m_pReleaseBuffer, "QuickPDFReleaseBuffer");
    Bind(m_pReleaseLibrary, "QuickPDFReleaseLibrary");
    Bind(m_pSaveToFile, "QuickPDFSaveToFile");
    Bind(m_pSecurityInfo, "QuickPDFSecurityInfo");
    Bind(m_pSetInformation, "QuickPDFSetInformation");
    if (!m_bMissing) {
        m_nInstanceId = m_pCreateLibrary();
    }
}

CToolkitLibrary::~CToolkitLibrary() {
    if (m_nInstanceId > 0 && m_pReleaseLibrary != nullptr) {
        m_pReleaseLibrary(m_nInstanceId);
    }
    if (m_hLibrary != nullptr) {
        dlclose(m_hLibrary);
    }
}

template <typename Call>
int CToolkitLibrary::WithBuffer(const std::string& text, Call call) {
    const int length = static_cast<int>(text.size());
    char* buffer = m_pCreateBuffer(m_nInstanceId, length);
    if (buffer == nullptr) {
        return 0;
    }
    m_pAddToBuffer(m_nInstanceId, buffer, text.data(), length);
    const int result = call(buffer);
    m_pReleaseBuffer(m_nInstanceId, buffer);
    return result;
}

int CToolkitLibrary::LoadFromFile(const std::string& fileName) {
    if (!Usable()) {
        return 0;
    }
    return WithBuffer(fileName, [&](char* b) { return m_pLoadFromFile(m_nInstanceId, b); });
}

int CToolkitLibrary::SetInformation(int key, const std::string& text) {
    if (!Usable()) {
        return 0;
    }
    return WithBuffer(text, [&](char* b) { return m_pSetInformation(m_nInstanceId, key, b); });
}

int CToolkitLibrary::SecurityInfo(int item) {
    return Usable() ? m_pSecurityInfo(m_nInstanceId, item) : 0;
}

int CToolkitLibrary::EncodePermissions(int canPrint, int canCopy, int canChange, int canAddNotes,
                                       int canFillForms, int canCopyForAccessibility,
                                       int canAssemble, int canPrintHighQuality) {
    if (!Usable()) {
        return 0;
    }
    return m_pEncodePermissions(m_nInstanceId, canPrint, canCopy, canChange, canAddNotes,
                                canFillForms, canCopyForAccessibility, canAssemble,
                                canPrintHighQuality);
}

int CToolkitLibrary::Encrypt(const std::string& ownerPassword, const std::string& userPassword,
                             int strength, int permissions) {
    if (!Usable()) {
        return 0;
    }
    return WithBuffer(ownerPassword, [&](char* owner) {
        return WithBuffer(userPassword, [&](char* user) {
            return m_pEncrypt(m_nInstanceId, owner, user, strength, permissions);
        });
    });
}

int CToolkitLibrary::SaveToFile(const std::string& fileName) {
    if (!Usable()) {
        return 0;
    }
    return WithBuffer(fileName, [&](char* b) { return m_pSaveToFile(m_nInstanceId, b); });
}

int StrengthFromSecurityInfo(int answer) {
    switch (answer) {
        case 8:
            return 1;
        case 12:
            return 3;
        default:  // 7 and anything unknown: the basic strength
            return 0;
    }
}

bool AsksForProtectionOrInformation(const CWordRecord& job) {
    return !job.m_strOwnerPassword.empty() || !job.m_strUserPassword.empty() || job.m_bNoPrint ||
           job.m_bNoChange || job.m_bNoCopy || !job.m_strTitle.empty() ||
           !job.m_strSubject.empty() || !job.m_strAuthor.empty() || !job.m_strKeywords.empty();
}

std::string EffectiveOwnerPassword(const CWordRecord& job) {
    const bool restricted = job.m_bNoPrint || job.m_bNoChange || job.m_bNoCopy;
    if (!restricted || !job.m_strOwnerPassword.empty()) {
        return job.m_strOwnerPassword;
    }
    // 256 random bits, as hexadecimal digits: within the 127 bytes a password may have.
    unsigned char bytes[32];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return {};
        }
        got += static_cast<std::size_t>(n);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string password;
    for (unsigned char byte : bytes) {
        password += kHex[byte >> 4];
        password += kHex[byte & 0xF];
    }
    return password;
}

bool PostProcessPdf(const CWordRecord& job, const std::string& pdfPath, std::string* failure) {
    return PostProcessPdf(job, pdfPath, DefaultToolkitLibraryPath(), failure);
}

bool PostProcessPdf(const CWordRecord& job, const std::string& pdfPath,
                    const std::string& libraryPath, std::string* failure) {
    CToolkitLibrary toolkit(libraryPath);
    if (!toolkit.Usable()) {
        *failure = LangText(kJobFailure, "NoToolkit");
        return false;
    }
    // Every step is checked: a PDF that lacks the passwords or permissions asked for must not
    // pass for a protected one.
    const auto failed = [failure](const char* step) {
        *failure = LangText(kJobFailure, step);
        return false;
    };
    const std::string path = ToToolkitText(pdfPath);
    if (toolkit.LoadFromFile(path) != 1) {
        return failed("ToolkitLoad");
    }
    const std::pair<int, const std::string*> information[] = {{kInfoAuthor, &job.m_strAuthor},
                                                              {kInfoTitle, &job.m_strTitle},
                                                              {kInfoSubject, &job.m_strSubject},
                                                              {kInfoKeywords, &job.m_strKeywords}};
    for (const auto& [key, text] : information) {
        if (toolkit.SetInformation(key, ToToolkitText(*text)) != 1) {
            return failed("ToolkitInformation");
        }
    }

    const int strength = StrengthFromSecurityInfo(toolkit.SecurityInfo(kSecurityItemStrength));
    const int canPrint = job.m_bNoPrint ? 0 : 1;
    const int canCopy = job.m_bNoCopy ? 0 : 1;
    const int canChange = job.m_bNoChange ? 0 : 1;
    const int permissions = toolkit.EncodePermissions(canPrint, canCopy, canChange, 1, strength,
                                                      strength, canPrint, canPrint);

    // Passwords go as their bytes, unconverted; also when both are empty.
    const std::string owner = EffectiveOwnerPassword(job);
    if ((job.m_bNoPrint || job.m_bNoChange || job.m_bNoCopy) && owner.empty()) {
        return failed("ToolkitEncrypt");  // no random owner password could be made
    }
    if (toolkit.Encrypt(owner, job.m_strUserPassword, strength, permissions) != 1) {
        return failed("ToolkitEncrypt");
    }
    if (toolkit.SaveToFile(path) != 1) {
        return failed("ToolkitSave");
    }
    return true;
}
