#include "PostProcess.h"

#include <dlfcn.h>

#include "ProgramFolder.h"
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

int PostProcessPdf(const CWordRecord& job, const std::string& pdfPath) {
    return PostProcessPdf(job, pdfPath, DefaultToolkitLibraryPath());
}

int PostProcessPdf(const CWordRecord& job, const std::string& pdfPath,
                   const std::string& libraryPath) {
    CToolkitLibrary toolkit(libraryPath);
    if (!toolkit.Usable()) {
        return 0;  // no toolkit: the engine's PDF stays as it is
    }
    const std::string path = ToToolkitText(pdfPath);
    toolkit.LoadFromFile(path);

    toolkit.SetInformation(kInfoAuthor, ToToolkitText(job.m_strAuthor));
    toolkit.SetInformation(kInfoTitle, ToToolkitText(job.m_strTitle));
    toolkit.SetInformation(kInfoSubject, ToToolkitText(job.m_strSubject));
    toolkit.SetInformation(kInfoKeywords, ToToolkitText(job.m_strKeywords));

    const int strength = StrengthFromSecurityInfo(toolkit.SecurityInfo(kSecurityItemStrength));
    const int canPrint = job.m_bNoPrint ? 0 : 1;
    const int canCopy = job.m_bNoCopy ? 0 : 1;
    const int canChange = job.m_bNoChange ? 0 : 1;
    const int permissions = toolkit.EncodePermissions(canPrint, canCopy, canChange, 1, strength,
                                                      strength, canPrint, canPrint);

    // Passwords go as their bytes, unconverted; also when both are empty.
    toolkit.Encrypt(job.m_strOwnerPassword, job.m_strUserPassword, strength, permissions);
    toolkit.SaveToFile(path);
    return 1;
}
