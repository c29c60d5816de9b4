#include "components/word/office/LoadedDocument.h"

#include <sys/stat.h>
#include <unistd.h>

#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include "components/word/office/HiddenFrame.h"
#include "components/word/office/Office.h"

namespace word_component {

using namespace std::chrono_literals;

bool FileStamp::operator==(const FileStamp& other) const {
    return size == other.size && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec && device == other.device &&
           inode == other.inode;
}

bool ReadFileStamp(const std::string& path, FileStamp* stamp) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    stamp->size = info.st_size;
    stamp->modified = info.st_mtim;
    stamp->device = info.st_dev;
    stamp->inode = info.st_ino;
    return true;
}

LoadedDocument::~LoadedDocument() {
    Office& holder = Holder();
    if (model.is()) {
        Office::Watch watch(10s, holder);
        try {
            css::uno::Reference<css::util::XCloseable> closeable(model, css::uno::UNO_QUERY);
            if (closeable.is()) {
                closeable->close(true);
            } else {
                css::uno::Reference<css::lang::XComponent>(model, css::uno::UNO_QUERY_THROW)
                    ->dispose();
            }
        } catch (...) {
            // Gone with its office, or refused: either way it is no longer ours.
        }
        model.clear();
    }
    if (frame.is()) {
        Office::Watch watch(10s, holder);
        CloseFrameQuietly(frame);
        frame.clear();
    }
    if (!pdfPath.empty()) {
        ::unlink(pdfPath.c_str());
    }
}

bool LoadedDocument::Reusable() const {
    return model.is() && !modifiedAtLoad;
}

Office& LoadedDocument::Holder() const {
    return office != nullptr ? *office : Office::Get();
}

}  // namespace word_component
