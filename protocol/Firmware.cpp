#include "protocol/Firmware.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <optional>

#include "protocol/Commands.h"
#include "protocol/StreamPieces.h"
#include "protocol/Transfer.h"

namespace prax::protocol {

namespace {

constexpr int kMaxPackageSize = 2048;  // twice the largest size the list offers
constexpr int kContinueChunk = 64;
constexpr std::uint32_t kContinueHeaderPauseMs = 50;
constexpr std::uint32_t kContinuePassPauseMs = 3000;
constexpr int kDownloadModeChunk = 512;
constexpr int kDownloadModeFirstRun = 5;    // CR bytes before the progress dialog shows
constexpr int kDownloadModeSecondRun = 20;  // CR bytes after the pause
constexpr std::uint32_t kDownloadModePauseMs = 50;

// The integer in a text, as the framework's conversion reads it: blanks around it, a sign, digits.
bool ParseInteger(const std::string& text, long long& value) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    std::size_t end = text.size();
    while (end > i && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == end) return false;
    long long v = 0;
    for (; i < end; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        v = v * 10 + (text[i] - '0');
        if (v > INT_MAX) return false;
    }
    value = negative ? -v : v;
    return true;
}

void ShowBlueGauge(Context& ctx, std::optional<ProgressShown>& progress, std::int32_t size) {
    progress.emplace(ctx.ui);
    ctx.ui.SetProgressColor(kBlue);
    ctx.ui.SetProgressMax(size);
    ctx.ui.SetProgressPosition(0);
}

// Wake-up run, header and header end, one write per byte.
bool SendFirmwareHeader(Transfer& tx, const std::string& header) {
    return tx.SendRun(CR, kFirmwareWakeUpRun) && tx.SendEachByte(header) &&
           tx.SendRun(CR, kHeaderEnd);
}

bool SendTrailerAndRamp(Transfer& tx, std::uint16_t reg) {
    const auto trailer = ChecksumTrailer(reg);
    return tx.SendEachByte(trailer.data(), 2) && tx.SendEachByte(ClosingRamp().data(), kRampLength);
}

}  // namespace

std::string FirmwareStatusLine(const std::string& statusText, std::uint16_t reg) {
    return statusText + "  CRC=" + RegisterHex(reg);
}

PackageSize ParsePackageSize(const std::string& text) {
    long long value = 0;
    if (!ParseInteger(text, value)) return {0, "'" + text + "' is not a valid integer value"};
    if (value < 1 || value > kMaxPackageSize)
        return {0, "Package size " + std::to_string(value) +
                       " is not possible: choose a size from 1 to 2048 bytes."};
    return {static_cast<int>(value), {}};
}

Result DownloadFirmware(Context& ctx, const FirmwareRequest& request) {
    const PackageSize packageSize = ParsePackageSize(request.packageSizeText);
    if (!packageSize.ok()) return Refuse(ctx, packageSize.error);
    const int chunk = packageSize.value;

    const std::string path = ChoosePath(ctx, request, kFirmwareFilter);
    if (path.empty()) return Result{Outcome::Cancelled, 0, {}};

    // The image is read before the connection is opened, so a file that can't be sent is refused
    // with nothing opened and nothing sent.
    const auto loaded = LoadInput(ctx, path);
    const FileImage& image = *loaded;
    if (!image.ok()) return Refuse(ctx, image.error);
    if (ctx.checkOnly) return InputChecked();

    Transfer tx(ctx);
    if (!tx.Open()) return OpenFailed(ctx, kOpenPortFailed);
    CloseCommandGreyed closeGreyed(ctx.ui);

    const std::int32_t size = image.size();
    const std::string header = BuildFirmwareHeader(size);
    const std::uint64_t bodyStart = kFirmwareWakeUpRun + header.size() + kHeaderEnd;
    std::optional<ProgressShown> progress;
    auto stopped = [&] { return EndStopped(ctx, tx, progress, bodyStart, size, "image", kTrailerSize); };
    if (!SendFirmwareHeader(tx, header)) return stopped();

    ShowBlueGauge(ctx, progress, size);

    // The printer takes the first chunk of this stream byte by byte; every later one goes whole.
    std::uint16_t reg = kCrcStart;
    if (!SendBody(ctx, tx, image, {chunk, true, ExtraEvents::None}, &reg)) return stopped();

    const auto trailer = ChecksumTrailer(reg);
    if (!tx.SendEachByte(trailer.data(), 2)) return stopped();
    ctx.ui.SetStatusText(FirmwareStatusLine(ctx.statusText, reg));
    if (!tx.SendEachByte(ClosingRamp().data(), kRampLength)) return stopped();

    if (!tx.Finish()) return stopped();
    progress->Hide();
    return Result{Outcome::Done, tx.delivered(), FirmwareStatusLine(ctx.statusText, reg)};
}

Result DownloadModeFirmware(Context& ctx, const FileSource& source) {
    const std::string path = ChoosePath(ctx, source, kDownloadModeFilter);
    if (path.empty()) return Result{Outcome::Cancelled, 0, {}};
    // Too large an image is refused before a byte of it is read, and before anything is opened.
    const auto loaded = LoadInput(ctx, path, kDownloadModeMaxSize);
    const FileImage& image = *loaded;
    if (image.tooLarge) return Refuse(ctx, kDownloadModeTooLarge);
    if (!image.ok()) return Refuse(ctx, image.error);
    if (ctx.checkOnly) return InputChecked();

    Transfer tx(ctx);
    if (!tx.Open()) return OpenFailed(ctx, kCantOpenPort);
    CloseCommandGreyed closeGreyed(ctx.ui);

    const std::int32_t size = image.size();
    const std::string command = BuildDownloadModeCommand(size);
    const std::uint64_t bodyStart = kDownloadModeFirstRun + kDownloadModeSecondRun + command.size();
    std::optional<ProgressShown> progress;
    auto stopped = [&] { return EndStopped(ctx, tx, progress, bodyStart, size, "image", kTrailerSize); };
    if (!tx.Send(std::string(kDownloadModeFirstRun, '\r'))) return stopped();
    ShowBlueGauge(ctx, progress, size);
    ctx.host.Sleep(kDownloadModePauseMs);
    if (!tx.Send(std::string(kDownloadModeSecondRun, '\r')) || !tx.Send(command)) return stopped();

    std::uint16_t reg = kCrcStart;
    if (!SendBody(ctx, tx, image, {kDownloadModeChunk, false, ExtraEvents::AfterEachWrite}, &reg))
        return stopped();
    const auto trailer = ChecksumTrailer(reg);
    if (!tx.Send(trailer.data(), 2) || !tx.Send(ClosingRamp().data(), kRampLength)) return stopped();

    if (!tx.Finish()) return stopped();
    // The dialog turns into the countdown and stays after the link is closed.
    ctx.ui.StartCountdown();
    progress->LeaveShown();
    return Result{Outcome::Done, tx.delivered(), ctx.statusText};
}

Result ContinueSeries(Context& ctx, const std::string& programDirectory,
                      const std::function<void(const std::string&)>& setCaption) {
    const std::string path = ChoosePath(ctx, {std::nullopt, programDirectory}, kFirmwareFilter);
    if (path.empty()) return Result{Outcome::Cancelled, 0, {}};

    Transfer tx(ctx);
    std::uint64_t delivered = 0;
    for (int pass = 1;; ++pass) {
        // A stop asked for between passes starts no further printer.
        if (ctx.ui.StopRequested()) return Result{Outcome::Interrupted, delivered, {}};
        setCaption("Continue " + std::to_string(pass + 1));
        if (!tx.Open()) break;
        const FileImage image = LoadFileImage(path);
        if (!image.ok()) {
            tx.com().Close();
            return Refuse(ctx, image.error);
        }
        const std::int32_t size = image.size();
        const std::string header = BuildFirmwareHeader(size);
        const std::uint64_t bodyStart = kFirmwareWakeUpRun + header.size() + kHeaderEnd;
        std::optional<ProgressShown> progress;
        auto stopped = [&] { return EndStopped(ctx, tx, progress, bodyStart, size, "image", kTrailerSize); };
        ctx.host.Sleep(kContinueHeaderPauseMs);
        if (!SendFirmwareHeader(tx, header)) return stopped();

        ShowBlueGauge(ctx, progress, size);
        std::uint16_t reg = kCrcStart;
        if (!SendBody(ctx, tx, image, {kContinueChunk, false, ExtraEvents::AfterEachWrite}, &reg))
            return stopped();
        if (!SendTrailerAndRamp(tx, reg)) return stopped();
        if (!tx.Finish()) return stopped();
        delivered += tx.delivered();
        progress->Hide();
        ctx.host.Sleep(kContinuePassPauseMs);
    }
    ctx.ui.ShowMessage(kOpenPortFailed);
    return Result{Outcome::OpenFailed, delivered, kOpenPortFailed};
}

}  // namespace prax::protocol
