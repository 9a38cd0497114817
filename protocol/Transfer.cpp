#include "protocol/Transfer.h"

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

}  // namespace prax::protocol
