// The PDF toolkit on qpdf: instances, document loading, document information, encryption and
// saving, with the toolkit's buffers for texts. Only the functions of QuickPdfToolkit.h leave the
// library (quickpdftoolkit.map); qpdf's exceptions never cross the C boundary.
#include "components/pdftoolkit/QuickPdfToolkit.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>

#include "platform/atomic_file.h"

namespace {

// Security item 10 answers this: AES 256-bit is the strongest encryption written here.
constexpr int kSecurityItemStrongest = 10;
constexpr int kStrongestCodeAes256 = 12;

constexpr int kStrengthRc4_40 = 0;
constexpr int kStrengthRc4_128 = 1;
constexpr int kStrengthAes128 = 2;
constexpr int kStrengthAes256 = 3;

// Permission word bits (PDF's P value, bit n is 1 << (n - 1)).
constexpr unsigned kPermPrint = 1u << 2;
constexpr unsigned kPermModify = 1u << 3;
constexpr unsigned kPermCopy = 1u << 4;
constexpr unsigned kPermAnnotate = 1u << 5;
constexpr unsigned kPermFillForms = 1u << 8;
constexpr unsigned kPermAccessibility = 1u << 9;
constexpr unsigned kPermAssemble = 1u << 10;
constexpr unsigned kPermPrintHigh = 1u << 11;
// Bits 7, 8 and 13 to 32 are reserved and must be 1; bits 1 and 2 must be 0.
constexpr unsigned kPermReserved = 0xFFFFF0C0u;

struct ToolkitBuffer {
    std::unique_ptr<char[]> data;
    size_t capacity = 0;
    size_t used = 0;
};

struct Encryption {
    std::string ownerPassword;
    std::string userPassword;
    int strength = kStrengthAes256;
    unsigned permissions = kPermReserved;
};

struct Instance {
    std::unique_ptr<QPDF> pdf;
    std::optional<Encryption> encryption;
    std::map<char*, ToolkitBuffer> buffers;
};

// All instances; every call holds the lock for its whole run (one document at a time per
// process is the toolkit's use).
std::mutex g_mutex;
std::map<int, std::unique_ptr<Instance>> g_instances;
int g_lastInstanceId = 0;

Instance* Find(int instanceId) {
    auto it = g_instances.find(instanceId);
    return it == g_instances.end() ? nullptr : it->second.get();
}

const char* InfoKeyName(int key) {
    switch (key) {
        case 1:
            return "/Author";
        case 2:
            return "/Title";
        case 3:
            return "/Subject";
        case 4:
            return "/Keywords";
        default:
            return nullptr;
    }
}

bool Allowed(unsigned permissions, unsigned bit) {
    return (permissions & bit) != 0;
}

void ApplyEncryption(QPDFWriter& writer, const Encryption& e) {
    const unsigned p = e.permissions;
    const char* user = e.userPassword.c_str();
    const char* owner = e.ownerPassword.c_str();
    qpdf_r3_print_e print = qpdf_r3p_none;
    if (Allowed(p, kPermPrint)) {
        print = Allowed(p, kPermPrintHigh) ? qpdf_r3p_full : qpdf_r3p_low;
    }
    const bool accessibility = Allowed(p, kPermAccessibility);
    const bool extract = Allowed(p, kPermCopy);
    const bool assemble = Allowed(p, kPermAssemble);
    const bool annotate = Allowed(p, kPermAnnotate);
    const bool fillForms = Allowed(p, kPermFillForms);
    const bool modify = Allowed(p, kPermModify);
    switch (e.strength) {
        case kStrengthRc4_40:
            writer.setR2EncryptionParametersInsecure(user, owner, Allowed(p, kPermPrint), modify,
                                                     extract, annotate);
            break;
        case kStrengthRc4_128:
            writer.setR3EncryptionParametersInsecure(user, owner, accessibility, extract, assemble,
                                                     annotate, fillForms, modify, print);
            break;
        case kStrengthAes128:
            writer.setR4EncryptionParametersInsecure(user, owner, accessibility, extract, assemble,
                                                     annotate, fillForms, modify, print, true,
                                                     true);
            break;
        default:
            writer.setR6EncryptionParameters(user, owner, accessibility, extract, assemble,
                                             annotate, fillForms, modify, print, true);
            break;
    }
}

// Writes the document to a temporary file beside `target` and renames it over `target`. The new
// file keeps the mode of the file it replaces, or gets the usual mode of a new file.
bool SaveReplacing(QPDF& pdf, const std::optional<Encryption>& encryption,
                   const std::string& target) {
    platform::FileReplacement file;
    if (!file.Begin(target, platform::FileReplacement::Permissions::kLikeReplaced)) {
        return false;
    }
    try {
        QPDFWriter writer(pdf);
        writer.setOutputFile(file.TemporaryPath().c_str(), file.Stream(), false);
        if (encryption) {
            ApplyEncryption(writer, *encryption);
        }
        writer.write();
    } catch (const std::exception&) {
        return false;
    }
    return file.Commit();
}

}  // namespace

#define TOOLKIT_EXPORT __attribute__((visibility("default")))

extern "C" {

TOOLKIT_EXPORT int QuickPDFCreateLibrary(void) {
    try {
        std::lock_guard lock(g_mutex);
        do {
            g_lastInstanceId = g_lastInstanceId >= 0x7FFFFFFF ? 1 : g_lastInstanceId + 1;
        } while (g_instances.count(g_lastInstanceId) != 0);
        g_instances[g_lastInstanceId] = std::make_unique<Instance>();
        return g_lastInstanceId;
    } catch (const std::exception&) {
        return 0;
    }
}

TOOLKIT_EXPORT int QuickPDFReleaseLibrary(int instanceId) {
    std::lock_guard lock(g_mutex);
    return g_instances.erase(instanceId) == 1 ? 1 : 0;
}

TOOLKIT_EXPORT int QuickPDFLoadFromFile(int instanceId, const char* fileName) {
    std::lock_guard lock(g_mutex);
    Instance* instance = Find(instanceId);
    if (instance == nullptr || fileName == nullptr) {
        return 0;
    }
    try {
        auto pdf = std::make_unique<QPDF>();
        pdf->setSuppressWarnings(true);
        pdf->processFile(fileName);
        instance->pdf = std::move(pdf);
        instance->encryption.reset();
        return 1;
    } catch (const std::exception&) {
        return 0;
    }
}

TOOLKIT_EXPORT int QuickPDFSetInformation(int instanceId, int key, const char* text) {
    std::lock_guard lock(g_mutex);
    Instance* instance = Find(instanceId);
    const char* name = InfoKeyName(key);
    if (instance == nullptr || !instance->pdf || name == nullptr || text == nullptr) {
        return 0;
    }
    try {
        QPDFObjectHandle trailer = instance->pdf->getTrailer();
        QPDFObjectHandle info = trailer.getKey("/Info");
        if (!info.isDictionary()) {
            info = instance->pdf->makeIndirectObject(QPDFObjectHandle::newDictionary());
            trailer.replaceKey("/Info", info);
        }
        info.replaceKey(name, QPDFObjectHandle::newUnicodeString(text));
        return 1;
    } catch (const std::exception&) {
        return 0;
    }
}

TOOLKIT_EXPORT int QuickPDFSecurityInfo(int instanceId, int item) {
    std::lock_guard lock(g_mutex);
    if (Find(instanceId) == nullptr) {
        return 0;
    }
    return item == kSecurityItemStrongest ? kStrongestCodeAes256 : 0;
}

TOOLKIT_EXPORT int QuickPDFEncodePermissions(int instanceId, int canPrint, int canCopy,
                                             int canChange, int canAddNotes, int canFillForms,
                                             int canCopyForAccessibility, int canAssemble,
                                             int canPrintHighQuality) {
    std::lock_guard lock(g_mutex);
    if (Find(instanceId) == nullptr) {
        return 0;
    }
    unsigned p = kPermReserved;
    p |= canPrint ? kPermPrint : 0;
    p |= canCopy ? kPermCopy : 0;
    p |= canChange ? kPermModify : 0;
    p |= canAddNotes ? kPermAnnotate : 0;
    p |= canFillForms ? kPermFillForms : 0;
    p |= canCopyForAccessibility ? kPermAccessibility : 0;
    p |= canAssemble ? kPermAssemble : 0;
    p |= canPrintHighQuality ? kPermPrintHigh : 0;
    return static_cast<int>(p);
}

TOOLKIT_EXPORT int QuickPDFEncrypt(int instanceId, const char* ownerPassword,
                                   const char* userPassword, int strength, int permissions) {
    std::lock_guard lock(g_mutex);
    Instance* instance = Find(instanceId);
    if (instance == nullptr || !instance->pdf || ownerPassword == nullptr ||
        userPassword == nullptr || strength < kStrengthRc4_40 || strength > kStrengthAes256) {
        return 0;
    }
    try {
        instance->encryption =
            Encryption{ownerPassword, userPassword, strength, static_cast<unsigned>(permissions)};
        return 1;
    } catch (const std::exception&) {
        return 0;
    }
}

TOOLKIT_EXPORT int QuickPDFSaveToFile(int instanceId, const char* fileName) {
    std::lock_guard lock(g_mutex);
    Instance* instance = Find(instanceId);
    if (instance == nullptr || !instance->pdf || fileName == nullptr || *fileName == '\0') {
        return 0;
    }
    try {
        return SaveReplacing(*instance->pdf, instance->encryption, fileName) ? 1 : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

TOOLKIT_EXPORT char* QuickPDFCreateBuffer(int instanceId, int length) {
    std::lock_guard lock(g_mutex);
    Instance* instance = Find(instanceId);
    if (instance == nullptr || length < 0) {
        return nullptr;
    }
    try {
        ToolkitBuffer buffer;
        buffer.capacity = static_cast<size_t>(length);
        buffer.data = std::make_unique<char[]>(buffer.capacity + 1);  // zero-filled
        char* id = buffer.data.get();
        instance->buffers.emplace(id, std::move(buffer));
        return id;
    } catch (const std::exception&) {
        return nullptr;
    }
}

TOOLKIT_EXPORT int QuickPDFAddToBuffer(int instanceId, char* buffer, const char* data, int length) {
    std::lock_guard lock(g_mutex);
    Instance* instance = Find(instanceId);
    if (instance == nullptr || length < 0 || (data == nullptr && length > 0)) {
        return 0;
    }
    auto it = instance->buffers.find(buffer);
    if (it == instance->buffers.end()) {
        return 0;
    }
    ToolkitBuffer& b = it->second;
    const auto count = static_cast<size_t>(length);
    if (count > b.capacity - b.used) {
        return 0;  // never past the length the buffer was made for
    }
    if (count > 0) {
        std::memcpy(b.data.get() + b.used, data, count);
    }
    b.used += count;
    b.data[b.used] = '\0';
    return 1;
}

TOOLKIT_EXPORT int QuickPDFReleaseBuffer(int instanceId, char* buffer) {
    std::lock_guard lock(g_mutex);
    Instance* instance = Find(instanceId);
    if (instance == nullptr) {
        return 0;
    }
    return instance->buffers.erase(buffer) == 1 ? 1 : 0;
}

}  // extern "C"
