#include "protocol/Transfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#include "platform/win32/WindowsApi.h"
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

#include "protocol/StreamPieces.h"

namespace prax::protocol {

bool Transfer::Proceed() {
    if (stopped()) return false;
    if (ctx_.ui.StopRequested()) {
        reason_ = StopReason::Interrupted;
        com_.DiscardQueuedOutput();
        return false;
    }
    return true;
}

bool Transfer::Check() {
    if (com_.LastWriteDelivered()) return true;
    reason_ = ShortfallReason(com_.LastWriteLost());
    return false;
}

StopReason Transfer::ShortfallReason(bool lost) {
    // A write the operator's stop cut short counts as the stop, not as a printer fault.
    if (ctx_.ui.StopRequested()) return StopReason::Interrupted;
    if (!lost) return StopReason::PrinterStopped;
    return ctx_.host.LastHostReason() == platform::HostReason::DiskFull ? StopReason::DiskFull
                                                                        : StopReason::ConnectionLost;
}

bool Transfer::Send(const std::uint8_t* data, int length) {
    if (!Proceed()) return false;
    com_.Write(data, length);
    return Check();
}

bool Transfer::Finish() {
    if (com_.Close()) return true;
    if (!stopped()) reason_ = ShortfallReason(true);
    return false;
}

bool Transfer::SendEachByte(const std::uint8_t* data, int length) {
    for (int i = 0; i < length; ++i) {
        if (!Proceed()) return false;
        com_.WriteByte(data[i]);
        if (!Check()) return false;
    }
    return !stopped();
}

bool Transfer::SendRun(std::uint8_t value, int count) {
    for (int i = 0; i < count; ++i) {
        if (!SendEachByte(&value, 1)) return false;
    }
    return !stopped();
}

std::string Transfer::StoppedMessage(const std::string& howFar) const {
    switch (reason_) {
        case StopReason::DiskFull:
            return "The disk is full: " + howFar + ". The transfer was ended.";
        case StopReason::ConnectionLost:
            return "The connection to the printer was lost: " + howFar + ". The transfer was ended.";
        case StopReason::Interrupted:
            return "Interrupted: " + howFar + ". The transfer was ended.";
        case StopReason::PrinterStopped:
        case StopReason::None:
            break;
    }
    return "The printer stopped taking data: " + howFar + ". The transfer was ended.";
}

Result Refuse(Context& ctx, const std::string& text) {
    ctx.ui.ShowMessage(text);
    return Result{Outcome::Refused, 0, text};
}

Result OpenFailed(Context& ctx, const char* text) {
    ctx.ui.ShowMessage(text);
    return Result{Outcome::OpenFailed, 0, text};
}

void ReportProgress(Context& ctx, std::int64_t sent) {
    const std::int64_t next = sent + 1;
    const auto position = next > std::numeric_limits<std::int32_t>::max()
                              ? std::numeric_limits<std::int32_t>::max()
                              : static_cast<std::int32_t>(next);
    ctx.ui.BodySent(sent);
    ctx.ui.SetProgressPosition(position);
    ctx.statusText = std::to_string(ctx.ui.ProgressPosition()) + " Bytes";
    ctx.ui.SetStatusText(ctx.statusText);
    ctx.ui.ProcessEvents();
}

bool SendBody(Context& ctx, Transfer& tx, const FileImage& image, const BodyGrouping& grouping,
              std::uint16_t* reg) {
    const std::int64_t size = image.size();
    const int chunk = grouping.chunk;
    const std::uint8_t* data = image.data();
    const std::int64_t full = size - size % chunk;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(chunk));
    std::int64_t sent = 0;
    while (sent < size) {
        bool ok;
        bool events = grouping.events == ExtraEvents::AfterEachWrite;
        if (sent >= full) {
            if (reg) *reg = DataCrcUpdate(*reg, data[sent]);
            ok = tx.SendEachByte(data + sent, 1);
            sent += 1;
        } else {
            std::memcpy(buffer.data(), data + sent, static_cast<std::size_t>(chunk));
            if (reg) *reg = DataCrc(buffer.data(), buffer.size(), *reg);
            sent += chunk;
            ok = sent == chunk && grouping.firstChunkByteByByte ? tx.SendEachByte(buffer.data(), chunk)
                                                                : tx.Send(buffer.data(), chunk);
            events = events || grouping.events == ExtraEvents::AfterWholeChunks;
        }
        if (!ok) return false;
        if (events) ctx.ui.ProcessEvents();
        ReportProgress(ctx, sent);
    }
    return true;
}

std::string ChoosePath(Context& ctx, const FileSource& source, const char* filter) {
    return source.imagePath ? *source.imagePath : ctx.ui.ChooseFile({filter, source.programDirectory});
}

std::string PrinterMidImageText(const char* what) {
    return std::string("The printer is still waiting for the rest of the ") + what +
           " and takes the next download as that rest: restart it (switch it off and on) before "
           "the next download.";
}

Result EndStopped(Context& ctx, Transfer& tx, std::optional<ProgressShown>& progress,
                  std::uint64_t bodyStart, std::int32_t size, const char* what,
                  std::uint64_t trailerSize) {
    const std::uint64_t delivered = tx.delivered();
    std::uint64_t body = delivered > bodyStart ? delivered - bodyStart : 0;
    if (body > static_cast<std::uint64_t>(size)) body = static_cast<std::uint64_t>(size);
    tx.com().Close();
    if (progress) progress->Hide();
    if (delivered > bodyStart) {
        ctx.statusText = std::to_string(body) + " Bytes";
        ctx.ui.SetStatusText(ctx.statusText);
    }
    Result result{tx.StoppedOutcome(), delivered,
                  tx.StoppedMessage(std::to_string(body) + " of the " + what + "'s " +
                                    std::to_string(size) + " bytes were delivered")};
    const std::uint64_t imageEnd = bodyStart + static_cast<std::uint64_t>(size) + trailerSize;
    result.printerMidImage = !ctx.toFile && bodyStart > 0 && delivered >= bodyStart && delivered < imageEnd;
    if (result.printerMidImage) result.message += "\n" + PrinterMidImageText(what);
    if (result.outcome == Outcome::Stopped) {
        ctx.ui.ShowMessage(result.message);
        result.shown = true;
    }
    return result;
}

namespace {

// What the loader asks of an open file: its kind, its size and when it was last written.
struct FileLook {
    bool folder = false;
    bool regular = false;
    std::int64_t size = 0;
    std::int64_t writtenNs = 0;
};

bool Look(int fd, FileLook& look) {
#if defined(_WIN32)
    // The C library's stat has whole seconds and, in 32 bits, no size past 2 GiB.
    BY_HANDLE_FILE_INFORMATION info;
    const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
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
#else
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    look.folder = S_ISDIR(st.st_mode);
    look.regular = S_ISREG(st.st_mode);
    look.size = st.st_size;
    look.writtenNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#endif
    return true;
}

// Whether a file changed between two looks: its size or its modification time moved.
bool Changed(const FileLook& before, const FileLook& after) {
    return before.size != after.size || before.writtenNs != after.writtenNs;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

SharedInputs::Image SharedInputs::Load(const std::string& path, std::int64_t sizeLimit) {
    // One lock around the read too: two links asking at once must not read the file twice.
    const std::lock_guard<std::mutex> lock(mutex_);
    Image& image = images_[{path, sizeLimit}];
    if (!image) {
        image = std::make_shared<const FileImage>(LoadFileImage(path, {}, sizeLimit));
        order_.emplace_back(path, image);
    }
    return image;
}

std::vector<std::pair<std::string, SharedInputs::Image>> SharedInputs::Files() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return order_;
}

std::string SharedInputs::Found(const std::string& name, const std::function<std::string()>& find) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = found_.find(name);
    return it != found_.end() ? it->second : found_[name] = find();
}

SharedInputs::Image LoadInput(Context& ctx, const std::string& path, std::int64_t sizeLimit) {
    if (ctx.inputs) return ctx.inputs->Load(path, sizeLimit);
    return std::make_shared<const FileImage>(LoadFileImage(path, {}, sizeLimit));
}

FileImage LoadFileImage(const std::string& path, const std::function<void()>& whileReading,
                        std::int64_t sizeLimit) {
    FileImage image;
    auto refuse = [&](const std::string& why) {
        image.bytes.clear();
        image.error = why;
        return image;
    };
    // Opened without blocking, so a pipe with no writer can't hold the open; whether it is a
    // regular file is then asked of what was opened, not of the name.
#if defined(_WIN32)
    // Binary: text mode would turn every CR LF of an image into LF.
    FileDescriptor fd(::_open(path.c_str(), _O_RDONLY | _O_BINARY));
#else
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
#endif
    if (fd.get() < 0) return refuse("Cannot open file " + Quoted(path) + ". " + std::strerror(errno) + ".");
    FileLook st;
    if (!Look(fd.get(), st)) return refuse("Cannot read file " + Quoted(path) + ".");
    if (st.folder) return refuse("Cannot open file " + Quoted(path) + ". It is a folder.");
    if (!st.regular)
        return refuse("Cannot send " + Quoted(path) + ": it is not a regular file (a device, a pipe or a socket).");
    // A caller's own limit comes first: an image far over it gets the caller's words, not the
    // streams' general bound.
    if (st.size > sizeLimit) {
        image.tooLarge = true;
        return refuse("File " + Quoted(path) + " is too large: at most " + std::to_string(sizeLimit) +
                      " bytes can be sent this way.");
    }
    if (st.size > std::numeric_limits<std::int32_t>::max())
        return refuse("File " + Quoted(path) + " is too large: images must be smaller than 2 GiB.");
    const auto size = static_cast<std::size_t>(st.size);

    // One byte more than the size asks for, so a file that grew while it was read shows.
    image.bytes.resize(size + 1);
    std::size_t got = 0;
    while (got < image.bytes.size()) {
        // In steps of at most 1 GiB: Windows' read takes no count past INT_MAX.
        const std::size_t step = std::min<std::size_t>(image.bytes.size() - got, std::size_t{1} << 30);
        const auto n = ::read(fd.get(), image.bytes.data() + got, static_cast<unsigned>(step));
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return refuse("Cannot read file " + Quoted(path) + ". " + std::strerror(errno) + ".");
        }
        got += static_cast<std::size_t>(n);
    }
    if (whileReading) whileReading();
    FileLook after;
    if (got != size || !Look(fd.get(), after) || Changed(st, after))
        return refuse("File " + Quoted(path) + " changed while it was read. Nothing was sent; try again once it is written.");
    image.bytes.resize(got);
    return image;
}

}  // namespace prax::protocol
