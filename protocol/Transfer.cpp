#include "protocol/Transfer.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
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
    // A write the operator's stop cut short counts as the stop, not as a printer fault.
    reason_ = ctx_.ui.StopRequested() ? StopReason::Interrupted
              : com_.LastWriteLost()  ? StopReason::ConnectionLost
                                      : StopReason::PrinterStopped;
    return false;
}

bool Transfer::Send(const std::uint8_t* data, int length) {
    if (!Proceed()) return false;
    com_.Write(data, length);
    return Check();
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

void ReportProgress(Context& ctx, std::int64_t sent) {
    const std::int64_t next = sent + 1;
    const auto position = next > std::numeric_limits<std::int32_t>::max()
                              ? std::numeric_limits<std::int32_t>::max()
                              : static_cast<std::int32_t>(next);
    ctx.ui.SetProgressPosition(position);
    ctx.statusText = std::to_string(ctx.ui.ProgressPosition()) + " Bytes";
    ctx.ui.SetStatusText(ctx.statusText);
    ctx.ui.ProcessEvents();
}

bool SendBody(Context& ctx, Transfer& tx, const FileImage& image, const BodyGrouping& grouping,
              std::uint16_t& reg) {
    const std::int64_t size = image.size();
    const int chunk = grouping.chunk;
    const std::uint8_t* data = image.data();
    const std::int64_t full = size - size % chunk;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(chunk));
    std::int64_t sent = 0;
    while (sent < size) {
        bool ok;
        if (sent >= full) {
            reg = DataCrcUpdate(reg, data[sent]);
            ok = tx.SendEachByte(data + sent, 1);
            sent += 1;
        } else {
            for (int i = 0; i < chunk; ++i) {
                buffer[static_cast<std::size_t>(i)] = data[sent + i];
                reg = DataCrcUpdate(reg, data[sent + i]);
            }
            sent += chunk;
            ok = sent == chunk && grouping.firstChunkByteByByte ? tx.SendEachByte(buffer.data(), chunk)
                                                                : tx.Send(buffer.data(), chunk);
        }
        if (!ok) return false;
        if (grouping.eventsAfterEachWrite) ctx.ui.ProcessEvents();
        ReportProgress(ctx, sent);
    }
    return true;
}

FileImage LoadFileImage(const std::string& path) {
    FileImage image;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        image.error = "Cannot open file \"" + path + "\". It is a folder.";
        return image;
    }
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        image.error = "Cannot open file \"" + path + "\". " + std::strerror(errno) + ".";
        return image;
    }
    const std::streamoff size = in.tellg();
    if (size < 0) {
        image.error = "Cannot read file \"" + path + "\".";
        return image;
    }
    if (size > std::numeric_limits<std::int32_t>::max()) {
        image.error = "File \"" + path + "\" is too large: images must be smaller than 2 GiB.";
        return image;
    }
    image.bytes.resize(static_cast<std::size_t>(size));
    in.seekg(0);
    if (size > 0 && !in.read(image.bytes.data(), size)) {
        image.bytes.clear();
        image.error = "Cannot read file \"" + path + "\".";
    }
    return image;
}

}  // namespace prax::protocol
