#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace prax::platform {

namespace {

constexpr std::size_t kMostReadAtOnce = std::size_t{1} << 30;

}  // namespace

InputFile::InputFile(const std::string& path)
    : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)) {}

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool InputFile::Look(FileLook& look) const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return false;
    look.folder = S_ISDIR(st.st_mode);
    look.regular = S_ISREG(st.st_mode);
    look.size = st.st_size;
    look.writtenNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

long long InputFile::Read(char* into, std::size_t count) {
    for (;;) {
        const auto n = ::read(fd_, into, std::min(count, kMostReadAtOnce));
        if (n >= 0 || errno != EINTR) return n;
    }
}

std::unique_ptr<AppendFile> AppendFile::Open(const std::string& path, std::string& why) {
    // Without blocking: the open of a FIFO that no program reads would wait for a reader, and the
    // run with it, as a serial line's would wait for its carrier.
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        struct stat st {};
        const int error = errno;
        if (error == ENXIO && ::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode))
            why = "a FIFO that no program reads";
        else
            why = std::strerror(error);
        return nullptr;
    }
    std::unique_ptr<AppendFile> file(new AppendFile);
    file->handle_ = fd;
    struct stat st {};
    file->regular_ = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    // A reader that is slow for a moment must not lose a line: the writes wait for it.
    if (!file->regular_) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // A file just made is only there after a power cut once its folder is on the disk too.
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = ".";
    const int folderFd = file->regular_ ? ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return file;
}

AppendFile::~AppendFile() { ::close(static_cast<int>(handle_)); }

bool AppendFile::Write(const std::string& text, std::size_t& went, std::string& why) {
    ssize_t n;
    do {
        n = ::write(static_cast<int>(handle_), text.data(), text.size());
    } while (n < 0 && errno == EINTR);
    went = n >= 0 ? static_cast<std::size_t>(n) : 0;
    if (n < 0) why = std::strerror(errno);
    return n >= 0;
}

bool AppendFile::Flush(std::string& why) {
    int rc;
    do {
        rc = ::fsync(static_cast<int>(handle_));
    } while (rc != 0 && errno == EINTR);
    // What has no disk answers that it can't be flushed, in one of these words.
    const bool synced = rc == 0 || (!regular_ && (errno == EINVAL || errno == EROFS || errno == ENOTSUP ||
                                                   errno == EOPNOTSUPP));
    if (!synced) why = std::strerror(errno);
    return synced;
}

}  // namespace prax::platform
