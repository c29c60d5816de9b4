// PDF post-processing: after the PDF engine has saved a job's PDF, the PDF toolkit writes the
// job's document information into it, encrypts it with the job's passwords and permissions, and
// saves it over the same file. The toolkit is a library beside the program, loaded at run time
// and called through its exported functions.
#pragma once

#include <string>

#include "convert/WordRecord.h"

// The toolkit's file name in the program folder.
inline constexpr const char kToolkitLibraryName[] = "libQuickPDFDLL0717.so";

// The toolkit's path: the program folder followed by kToolkitLibraryName.
std::string DefaultToolkitLibraryPath();

// The toolkit library for one post-processing run: loaded and bound on construction, with an
// instance created; the instance released and the library unloaded on destruction.
class CToolkitLibrary {
  public:
    // Loads the library at `libraryPath` and looks up the functions by their exported names. When
    // the library cannot be loaded or a function is missing, Missing() is true and no instance
    // is created; the calls below then do nothing and return 0.
    explicit CToolkitLibrary(const std::string& libraryPath);
    CToolkitLibrary(const CToolkitLibrary&) = delete;
    CToolkitLibrary& operator=(const CToolkitLibrary&) = delete;
    ~CToolkitLibrary();

    bool Missing() const { return m_bMissing; }
    int InstanceId() const { return m_nInstanceId; }
    // Loaded, bound and with an instance: the calls reach the toolkit.
    bool Usable() const { return !m_bMissing && m_nInstanceId > 0; }

    // Texts go to the toolkit through a toolkit buffer made, filled and released around the call.
    int LoadFromFile(const std::string& fileName);
    int SetInformation(int key, const std::string& text);
    int SecurityInfo(int item);
    int EncodePermissions(int canPrint, int canCopy, int canChange, int canAddNotes,
                          int canFillForms, int canCopyForAccessibility, int canAssemble,
                          int canPrintHighQuality);
    int Encrypt(const std::string& ownerPassword, const std::string& userPassword, int strength,
                int permissions);
    int SaveToFile(const std::string& fileName);

  private:
    using CreateLibraryFn = int (*)();
    using ReleaseLibraryFn = int (*)(int);
    using TextFn = int (*)(int, const char*);
    using SetInformationFn = int (*)(int, int, const char*);
    using SecurityInfoFn = int (*)(int, int);
    using EncodePermissionsFn = int (*)(int, int, int, int, int, int, int, int, int);
    using EncryptFn = int (*)(int, const char*, const char*, int, int);
    using CreateBufferFn = char* (*)(int, int);
    using AddToBufferFn = int (*)(int, char*, const char*, int);
    using ReleaseBufferFn = int (*)(int, char*);

    // Hands `text` to `call` in a toolkit buffer; returns what `call` returned.
    template <typename Call>
    int WithBuffer(const std::string& text, Call call);
    template <typename Fn>
    void Bind(Fn& slot, const char* name);

    void* m_hLibrary = nullptr;
    int m_nInstanceId = 0;
    bool m_bMissing = false;

    CreateLibraryFn m_pCreateLibrary = nullptr;
    ReleaseLibraryFn m_pReleaseLibrary = nullptr;
    TextFn m_pLoadFromFile = nullptr;
    SetInformationFn m_pSetInformation = nullptr;
    SecurityInfoFn m_pSecurityInfo = nullptr;
    EncodePermissionsFn m_pEncodePermissions = nullptr;
    EncryptFn m_pEncrypt = nullptr;
    TextFn m_pSaveToFile = nullptr;
    CreateBufferFn m_pCreateBuffer = nullptr;
    AddToBufferFn m_pAddToBuffer = nullptr;
    ReleaseBufferFn m_pReleaseBuffer = nullptr;
};

// Document information keys of the toolkit.
inline constexpr int kInfoAuthor = 1;
inline constexpr int kInfoTitle = 2;
inline constexpr int kInfoSubject = 3;
inline constexpr int kInfoKeywords = 4;

// Security item whose answer selects the encryption strength, and the mapping of its answer.
inline constexpr int kSecurityItemStrength = 10;
int StrengthFromSecurityInfo(int answer);

// Whether the job's options ask for anything the post-processing writes: passwords, a permission
// restriction or document information.
bool AsksForProtectionOrInformation(const CWordRecord& job);

// The owner password the PDF gets: the job's own, or, when the job restricts permissions without
// one, a random password of full strength that is never stored or shown. An empty owner password
// would open the PDF with every right, so the restrictions would hold for nobody. Empty when no
// random password could be made.
std::string EffectiveOwnerPassword(const CWordRecord& job);

// Writes the job's document information and encryption into the PDF at `pdfPath`, in place,
// with the toolkit in the program folder. True when the toolkit did all of it; false with the
// reason in *failure when the toolkit is missing or incomplete or any step of it failed. A failed
// run leaves the file at `pdfPath` as the engine saved it.
bool PostProcessPdf(const CWordRecord& job, const std::string& pdfPath, std::string* failure);
// The same with the toolkit at `libraryPath`.
bool PostProcessPdf(const CWordRecord& job, const std::string& pdfPath,
                    const std::string& libraryPath, std::string* failure);
