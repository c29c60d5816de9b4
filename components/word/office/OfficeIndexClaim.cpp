#include "components/word/office/OfficeIndexClaim.h"

#include <fcntl.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <utility>

namespace word_component {
namespace {

std::mutex g_claimsMutex;
// The descriptors holding this module's claims, by root and index; kept open while claimed,
// since closing any descriptor of the file ends the process's lock on it.
std::map<std::pair<std::string, unsigned>, int> g_claims;

std::string LockFilePath(const std::string& root, unsigned index) {
    return root + "/office-" + std::to_string(index) + ".lock";
}

}  // namespace

bool ClaimOfficeIndex(const std::string& root, unsigned index) {
    std::lock_guard<std::mutex> lock(g_claimsMutex);
    if (g_claims.count({root, index}) != 0) {
        return false;
    }
    const int fd =
        ::open(LockFilePath(root, index).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return false;
    }
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    // A process-owned record lock (F_SETLK, not F_OFD_SETLK): held by another program, it fails;
    // this process holds no lock on the file then, so closing the descriptor costs nothing.
    if (::fcntl(fd, F_SETLK, &whole) != 0) {
        ::close(fd);
        return false;
    }
    g_claims[{root, index}] = fd;
    return true;
}

void ReleaseOfficeIndex(const std::string& root, unsigned index) {
    std::lock_guard<std::mutex> lock(g_claimsMutex);
    const auto claim = g_claims.find({root, index});
    if (claim != g_claims.end()) {
        ::close(claim->second);
        g_claims.erase(claim);
    }
}

}  // namespace word_component
