#include "savedbreaks.h"

#include "zipfile.h"

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace quillivar::engine {

namespace {

constexpr std::string_view kSavedBreaks = "layout-cache";
constexpr std::string_view kFileNameField = "<text:file-name";

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

std::string CopyWithoutSavedBreaks(const std::string& path, const std::string& folder) {
    const Descriptor original(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (original.get() < 0 || fstat(original.get(), &info) != 0) return {};
    const auto directory = ReadZipDirectory(original.get(), info.st_size);
    if (!directory) return {};
    const ZipMember* savedBreaks = directory->Find(kSavedBreaks);
    if (!savedBreaks) return {};
    // Headers and footers are in the styles, the body in the content.
    for (const char* part : {"content.xml", "styles.xml"}) {
        const ZipMember* member = directory->Find(part);
        if (member && MemberHolds(original.get(), *member, {kFileNameField}) != false) return {};
    }

    std::string copyFolder = folder + "/document-XXXXXX";
    if (!mkdtemp(copyFolder.data())) return {};
    const std::string copyPath = copyFolder + "/" + path.substr(path.rfind('/') + 1);  // npos + 1 is 0
    bool copied = false;
    {
        // Left out rather than renamed: a package member its manifest does not list makes
        // LibreOffice 25.2 and later refuse the whole package, and one the manifest lists but
        // the package lacks is passed over by every version.
        const Descriptor target(open(copyPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        copied = target.get() >= 0 && CopyWithout(original.get(), *directory, info.st_size, *savedBreaks, target.get());
    }
    if (copied) return copyPath;
    unlink(copyPath.c_str());
    rmdir(copyFolder.c_str());
    return {};
}

}  // namespace quillivar::engine
