// The host's files as the front ends use them beyond the link's devices: an input file read whole
// and looked at as what was opened, a log file appended to a line at a time and put on the disk,
// and how this host spells a path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace prax::platform {

#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// What a reader asks of an open file: its kind, its size and when it was last written.
struct FileLook {
    bool folder = false;
    bool regular = false;        // a file on a disk: no device, pipe or socket
    std::int64_t size = 0;
    std::int64_t writtenNs = 0;  // the last write, in nanoseconds of the host's file clock
};

// A file opened to be read as it is, closed again when this goes.
class InputFile {
public:
    // Opened for reading, without blocking, so a pipe with no writer can't hold the open, and as
    // bytes, never as text. When it did not open, errno says why.
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool open() const { return fd_ >= 0; }
    // What was opened, not what the name means now; false when the host can't tell.
    bool Look(FileLook& look) const;
    // Up to `count` bytes; 0 at the end of the file, -1 with errno set when the read failed. A
    // call reads at most 1 GiB, so a count that no host call takes in one piece is never asked.
    long long Read(char* into, std::size_t count);

private:
    int fd_ = -1;
};

// A file that lines are appended to, each in one write that goes to its end whoever else has it
// open, so lines from other programs appending to it stay whole. Others may read it, append to it
// or rename it away meanwhile. A pipe, a FIFO or a terminal takes the lines as well.
class AppendFile {
public:
    // `path` opened for appending, created (0644) when absent; null with `why` set when it can't
    // be. A FIFO that no program reads is refused at once, never waited for. A file just made is
    // put on the disk with its folder, so it is still there after a power cut.
    static std::unique_ptr<AppendFile> Open(const std::string& path, std::string& why);
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // A file on a disk, which Flush puts the lines on.
    bool regular() const { return regular_; }
    // `text` in one write; `went` is how much of it was written. False with `why` set when the
    // write failed; one that fell short is no failure here (`went` tells).
    bool Write(const std::string& text, std::size_t& went, std::string& why);
    // What was written, put on the disk. What has no disk (a pipe, a FIFO, a terminal) keeps
    // nothing to put there, and its flush never fails.
    bool Flush(std::string& why);

private:
    AppendFile() = default;

    std::intptr_t handle_ = -1;
    bool regular_ = false;
};

}  // namespace prax::platform
