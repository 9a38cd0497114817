#include "cli/RunLog.h"

#if defined(_WIN32)
#include "platform/win32/WindowsApi.h"
#include "platform/win32/Win32Platform.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#endif

#include <cstdio>

#include "cli/Json.h"

namespace prax::cli {

namespace {

#if defined(_WIN32)
std::string LastError() { return platform::win32::SystemMessage(::GetLastError()); }
#else
std::string LastError() { return std::strerror(errno); }
#endif

}  // namespace

std::string Iso8601Utc(std::chrono::system_clock::time_point t) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(t);
    const auto day = floor<days>(ms);
    const year_month_day date{day};
    const hh_mm_ss time{ms - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return text;
}

std::string HostName() {
#if defined(_WIN32)
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!::GetComputerNameA(name, &size)) return "unknown";
    const std::string text(name, size);
#else
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "unknown";
    const std::string text(name);
#endif
    return text.empty() ? "unknown" : text;
}

std::unique_ptr<RunLog> RunLog::Open(const std::string& path, std::string& error) {
    std::unique_ptr<RunLog> log(new RunLog(path));
    const std::string cannot = "cannot open " + path + " for appending: ";
#if defined(_WIN32)
    // Appending only: each write goes to the end, whoever else has the file open. Others may read
    // it, append to it, or rename it away while praxdl runs (a collector rotating its logs).
    HANDLE handle = ::CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = cannot + LastError();
        return nullptr;
    }
    log->handle_ = handle;
    log->regular_ = ::GetFileType(handle) == FILE_TYPE_DISK;
#else
    // Without blocking: the open of a FIFO that no program reads would wait for a reader, and the
    // run with it, as a serial line's would wait for its carrier.
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        struct stat st {};
        const int why = errno;
        if (why == ENXIO && ::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode))
            error = cannot + "a FIFO that no program reads";
        else
            error = cannot + std::strerror(why);
        return nullptr;
    }
    log->fd_ = fd;
    struct stat st {};
    log->regular_ = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    // A reader that is slow for a moment must not lose a line: the writes wait for it.
    if (!log->regular_) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // A file just made is only there after a power cut once its folder is on the disk too.
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = ".";
    const int folderFd = log->regular_ ? ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
#endif
    log->host_ = HostName();
    return log;
}

RunLog::~RunLog() {
#if defined(_WIN32)
    ::CloseHandle(handle_);
#else
    ::close(fd_);
#endif
}

std::string RunLog::Line(const LogRecord& record, const std::string& hostName) {
    JsonObject object("record");
    object.Add("time", Iso8601Utc(record.time)).Add("host", hostName).Add("connection", record.connection);
    object.Add("device", record.device);
    if (!record.usbSerial.empty()) object.Add("usbSerial", record.usbSerial);
    object.Add("command", record.command);
    if (!record.inputName.empty()) {
        object.Add("input", record.inputName)
            .Add("inputSize", static_cast<std::int64_t>(record.inputSize))
            .Add("sha256", record.inputSha256);
    }
    if (!record.crc.empty()) object.Add("crc", record.crc);
    object.Add("outcome", record.outcome).Add("delivered", static_cast<std::int64_t>(record.delivered));
    if (record.printerMidImage) object.Add("printerMidImage", true);
    object.Add("seconds", record.seconds, 3);
    return object.Line();
}

bool RunLog::Append(const LogRecord& record, std::string& error) {
    const std::string line = Line(record, host_);
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t lead = torn_ ? 1 : 0;  // the newline that ends a torn line
    const std::string text = torn_ ? "\n" + line : line;
    // One write of the whole line: split in two, another program's line could land in between.
#if defined(_WIN32)
    DWORD written = 0;
    const bool wrote = ::WriteFile(handle_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    const std::size_t went = wrote ? written : 0;
#else
    ssize_t n;
    do {
        n = ::write(fd_, text.data(), text.size());
    } while (n < 0 && errno == EINTR);
    const bool wrote = n >= 0;
    const std::size_t went = wrote ? static_cast<std::size_t>(n) : 0;
#endif
    if (!wrote) {
        error = "cannot append to " + path_ + ": " + LastError();
        return false;
    }
    if (went != text.size()) {
        if (went > 0) torn_ = went > lead;
        error = "cannot append to " + path_ + ": only " + std::to_string(went) + " of " + std::to_string(text.size()) +
                " bytes written";
        return false;
    }
    torn_ = false;
    // A pipe, a FIFO or a terminal keeps nothing to put on a disk: the line has gone once it is
    // written. Only a file's flush that fails loses it.
#if defined(_WIN32)
    const bool synced = ::FlushFileBuffers(handle_) || !regular_;
#else
    int rc;
    do {
        rc = ::fsync(fd_);
    } while (rc != 0 && errno == EINTR);
    const bool synced = rc == 0 || (!regular_ && (errno == EINVAL || errno == EROFS || errno == ENOTSUP ||
                                                   errno == EOPNOTSUPP));
#endif
    if (!synced) {
        error = "cannot flush " + path_ + " to the disk: " + LastError();
        return false;
    }
    return true;
}

}  // namespace prax::cli
