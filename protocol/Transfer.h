// The link as a transfer sees it: every write goes through here, and once one write has given up
// (the printer stopped taking data) nothing more is sent, so a dead printer can't keep a transfer
// going one time-out per write, and the operation knows how far it got.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include "link/TCom.h"
#include "protocol/Context.h"
#include "protocol/FileImage.h"

namespace prax::protocol {

// Why a transfer ended early.
enum class StopReason {
    None,
    PrinterStopped,  // the printer stopped taking data (a stall given up)
    ConnectionLost,  // the host reported an error: the device is gone or failed
    DiskFull,        // output to a file met a full disk: the operator has to free space
    Interrupted,     // the operator asked the operation to stop
};

class Transfer {
public:
    explicit Transfer(Context& ctx) : ctx_(ctx), com_(ctx.host) { com_.usbPrinter = ctx.usbPrinter; }

    link::TCom& com() { return com_; }
    bool Open() {
        const bool opened = ctx_.network ? com_.OpenNetwork(*ctx_.network) : com_.Open(ctx_.portCode());
        if (opened) ctx_.ui.ConnectionOpened();
        return opened;
    }

    // One Write of all the bytes; false once any write of this transfer fell short.
    bool Send(const std::uint8_t* data, int length);
    bool Send(const std::string& text) {
        return Send(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<int>(text.size()));
    }
    // One WriteByte per byte.
    bool SendEachByte(const std::uint8_t* data, int length);
    bool SendEachByte(const std::string& text) {
        return SendEachByte(reinterpret_cast<const std::uint8_t*>(text.data()),
                            static_cast<int>(text.size()));
    }
    bool SendRun(std::uint8_t value, int count);  // `count` WriteByte calls of one value
    // Closes the link once the whole stream is written. False, with the transfer ended as lost
    // (or interrupted, when the operator asked for that meanwhile), when the close could not hand
    // the printer what was still queued: a stream the host threw away is no stream delivered.
    bool Finish();

    bool stopped() const { return reason_ != StopReason::None; }
    std::uint64_t delivered() const { return com_.DeliveredBytes(); }

    // The operator-facing text for a transfer that ended early; `howFar` is e.g. "12 bytes were
    // delivered", counting what the status line counts, where there is one.
    std::string StoppedMessage(const std::string& howFar) const;
    std::string StoppedMessage() const {
        return StoppedMessage(std::to_string(delivered()) + " bytes were delivered");
    }
    // How an operation that stopped early ends: Interrupted or Stopped.
    Outcome StoppedOutcome() const {
        return reason_ == StopReason::Interrupted ? Outcome::Interrupted : Outcome::Stopped;
    }

private:
    // Before each write: false, with nothing sent, once the transfer has stopped or the operator
    // asks it to stop. A stop request also discards what is still queued for the port.
    bool Proceed();
    // After each write: the reason it fell short, if it did.
    bool Check();
    // Why a write or the close fell short: the operator's stop, a host error (`lost`; a full
    // disk is told apart), or else the printer not taking data.
    StopReason ShortfallReason(bool lost);

    Context& ctx_;
    link::TCom com_;
    StopReason reason_ = StopReason::None;
};

// Input refused before anything was opened: the message shown, nothing sent.
Result Refuse(Context& ctx, const std::string& text);
// An open that failed: the message shown, nothing sent.
Result OpenFailed(Context& ctx, const char* text);

// The gauge step after each block: position sent + 1 (the gauge clamps it), the status line
// shows the clamped position, and pending events run once.
void ReportProgress(Context& ctx, std::int64_t sent);

// The file an operation sends: named in advance (a command line), or chosen by the operator in
// the file dialog, which starts in `programDirectory`.
struct FileSource {
    std::optional<std::string> imagePath;
    std::string programDirectory;
};
// The path to send; empty when the operator cancelled the dialog.
std::string ChoosePath(Context& ctx, const FileSource& source, const char* filter);

// Where pending events run besides the progress step that follows every write.
enum class ExtraEvents {
    None,
    AfterEachWrite,   // right after every write, whole chunks and tail bytes alike
    AfterWholeChunks, // right after every whole chunk's write only
};

// How a data body is cut into writes: whole chunks of `chunk` bytes (the first one byte by byte
// where the printer wants it so), then the tail one byte per write.
struct BodyGrouping {
    int chunk = 512;
    bool firstChunkByteByByte = false;
    ExtraEvents events = ExtraEvents::None;
};

// Sends the body and reports progress after every step. Each byte goes through the checksum
// register `reg`, when there is one, as it is copied to the chunk buffer. False once a write
// fell short.
bool SendBody(Context& ctx, Transfer& tx, const FileImage& image, const BodyGrouping& grouping,
              std::uint16_t* reg);

// The end of a body transfer that was cut short: the link is closed (what was still queued is
// already discarded) and the dialog hidden. The status line and the message count the same
// thing, the body bytes the printer took (`what` names the body: "image", "file"); a stop before
// the body leaves the status line as it was. A stop the operator asked for shows nothing.
// A stream with a header (`bodyStart` > 0) announces its size; ended after the header and before
// the body and its `trailerSize` bytes were all through, it leaves the printer waiting for the
// rest, which the message says and the result carries (never when the stream goes to a file).
Result EndStopped(Context& ctx, Transfer& tx, std::optional<ProgressShown>& progress,
                  std::uint64_t bodyStart, std::int32_t size, const char* what,
                  std::uint64_t trailerSize = 0);
// What the operator is told when the printer is left waiting for the rest of `what`.
std::string PrinterMidImageText(const char* what);

// How a check-only run ends once everything is checked.
inline Result InputChecked() { return Result{Outcome::Checked, 0, {}}; }

}  // namespace prax::protocol
