#include "platform/Files.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>

#include "platform/win32/Win32Platform.h"
#include "platform/win32/WindowsApi.h"

namespace prax::platform {

namespace {

// The C library's read takes no count past INT_MAX.
constexpr std::size_t kMostReadAtOnce = std::size_t{1} << 30;

std::string LastError() { return win32::SystemMessage(::GetLastError()); }

HANDLE HandleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

// Binary: text mode would turn every CR LF of an image into LF. A pipe with no writer doesn't
// hold the open here, so nothing more is asked of it.
InputFile::InputFile(const std::string& path) : fd_(::_open(path.c_str(), _O_RDONLY | _O_BINARY)) {}

InputFile::~InputFile() {
    if (fd_ >= 0) ::_close(fd_);
}

bool InputFile::Look(FileLook& look) const {
    // The C library's stat has whole seconds and, in 32 bits, no size past 2 GiB.
    BY_HANDLE_FILE_INFORMATION info;
    const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
    if (h == INVALID_HANDLE_VALUE) return false;
    // A device (NUL, CON, a port) or a pipe is no file, whatever else it answers.
    if (GetFileType(h) != FILE_TYPE_DISK) return true;
    if (!GetFileInformationByHandle(h, &info)) return false;
    look.folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    look.regular = !look.folder;
    look.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    look.writtenNs = static_cast<std::int64_t>(
        ((static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
         info.ftLastWriteTime.dwLowDateTime) * 100);
    return true;
}

long long InputFile::Read(char* into, std::size_t count) {
    return ::_read(fd_, into, static_cast<unsigned>(std::min(count, kMostReadAtOnce)));
}

std::unique_ptr<AppendFile> AppendFile::Open(const std::string& path, std::string& why) {
    // Appending only: each write goes to the end, whoever else has the file open. Others may read
    // it, append to it, or rename it away while praxdl runs (a collector rotating its logs).
    HANDLE handle = ::CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        why = LastError();
        return nullptr;
    }
    std::unique_ptr<AppendFile> file(new AppendFile);
    file->handle_ = reinterpret_cast<std::intptr_t>(handle);
    file->regular_ = ::GetFileType(handle) == FILE_TYPE_DISK;
    return file;
}

AppendFile::~AppendFile() { ::CloseHandle(HandleOf(handle_)); }

bool AppendFile::Write(const std::string& text, std::size_t& went, std::string& why) {
    DWORD written = 0;
    const bool wrote = ::WriteFile(HandleOf(handle_), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    went = wrote ? written : 0;
    if (!wrote) why = LastError();
    return wrote;
}

bool AppendFile::Flush(std::string& why) {
    const bool synced = ::FlushFileBuffers(HandleOf(handle_)) || !regular_;
    if (!synced) why = LastError();
    return synced;
}

}  // namespace prax::platform
