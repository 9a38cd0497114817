// Every stream the tool builds, decoded by the virtual printer: a firmware download of a random
// image in random package sizes, a Continue series, the download-mode frame, the fixed command lines and typed lines
// come back as exactly the items that were sent.
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "link/TCom.h"
#include "platform/fake/FakePlatform.h"
#include "protocol/Commands.h"
#include "protocol/Firmware.h"
#include "protocol/StreamPieces.h"
#include "tests/fuzz/Scratch.h"
#include "tests/support/Recorder.h"
#include "tools/virtual-printer/Decoder.h"

namespace {

using namespace prax::protocol;
using Lines = std::vector<std::string>;

Lines Decode(const std::vector<std::uint8_t>& bytes) {
    Lines lines;
    prax::vprinter::Decoder decoder([&](const std::string& line) { lines.push_back(line); });
    decoder.Feed(bytes.data(), bytes.size());
    decoder.Finish();
    return lines;
}

void Expect(const Lines& got, const Lines& expected) {
    if (got == expected) return;
    std::fprintf(stderr, "decoded:\n");
    for (const auto& l : got) std::fprintf(stderr, "  %s\n", l.c_str());
    std::fprintf(stderr, "expected:\n");
    for (const auto& l : expected) std::fprintf(stderr, "  %s\n", l.c_str());
    std::abort();
}

std::string Hex4(std::uint16_t reg) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", reg);
    return text;
}

// Runs an operation on a fresh fake printer that lets `opens` connections open, and returns the
// bytes it took.
template <typename Operation>
std::vector<std::uint8_t> Delivered(Operation operation, Outcome expected = Outcome::Done, int opens = -1) {
    prax::platform::fake::FakePlatform host;
    host.opensBeforeFailing = opens;
    prax::testing::Recorder ui;
    std::string status;
    Context ctx{host, ui, [] { return 1; }, status};
    if (operation(ctx, ui).outcome != expected) std::abort();
    return host.delivered;
}

std::string WriteImage(const std::string& image) {
    const std::string path = prax::fuzz::ScratchFolder() + "/image.bin";
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(image.data(), static_cast<std::streamsize>(image.size()));
    return path;
}

Lines FirmwareItems(const std::string& image, const std::string& frame) {
    const std::string size = std::to_string(image.size());
    const std::uint16_t reg = DataCrc(reinterpret_cast<const std::uint8_t*>(image.data()), image.size());
    return {frame + " image: size " + size + ", received " + size + ", CRC " + Hex4(reg) + " matches",
            "closing ramp: 128 bytes"};
}

void FirmwareDownload(const std::string& image, int packageSize) {
    FirmwareRequest request;
    request.packageSizeText = std::to_string(packageSize);
    request.imagePath = WriteImage(image);
    const auto bytes = Delivered([&](Context& ctx, auto&) { return DownloadFirmware(ctx, request); });
    Lines expected = {"wake-up run: 20 CR"};
    for (auto& line : FirmwareItems(image, "firmware")) expected.push_back(line);
    Expect(Decode(bytes), expected);
}

// Two printers, then the third connection fails to open and the series ends.
void ContinueTwice(const std::string& image) {
    const std::string path = WriteImage(image);
    const auto bytes = Delivered(
        [&](Context& ctx, prax::testing::Recorder& ui) {
            ui.files.push_back(path);
            return ContinueSeries(ctx, {}, [](const std::string&) {});
        },
        Outcome::OpenFailed, 2);
    Lines expected;
    for (int pass = 0; pass < 2; ++pass) {
        expected.push_back("wake-up run: 20 CR");
        for (auto& line : FirmwareItems(image, "firmware")) expected.push_back(line);
    }
    Expect(Decode(bytes), expected);
}

void DownloadModeFrame(const std::string& image) {
    std::string stream = BuildDownloadModeCommand(static_cast<std::int32_t>(image.size())) + image;
    const std::uint16_t reg = DataCrc(reinterpret_cast<const std::uint8_t*>(image.data()), image.size());
    for (std::uint8_t b : ChecksumTrailer(reg)) stream += static_cast<char>(b);
    for (std::uint8_t b : ClosingRamp()) stream += static_cast<char>(b);
    Expect(Decode({stream.begin(), stream.end()}), FirmwareItems(image, "download-mode"));
}

// Typed lines of letters, digits and blanks (anything else may legitimately read as a header or
// as noise), then the three fixed command lines.
void CommandLines(const std::vector<std::string>& typed) {
    const auto bytes = Delivered([&](Context& ctx, auto&) {
        Result r = SendLines(ctx, LineSource::Of(typed));
        for (auto command : {PrinterCommand::InitializePrinter, PrinterCommand::InitializeCutter,
                             PrinterCommand::ChangeMode})
            if (r.ok()) r = SendPrinterCommand(ctx, command);
        return r;
    });
    Lines expected;
    for (const auto& line : typed) expected.push_back("command: " + line);
    expected.insert(expected.end(), {"command: ^default", "command: ^D1,5", "command: ~~INTERNALCOMMANDCA"});
    Expect(Decode(bytes), expected);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    prax::link::quietStall() = true;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const int packageSize = input.ConsumeIntegralInRange(1, 2048);
    std::vector<std::string> typed;
    for (int n = input.ConsumeIntegralInRange(0, 3); n > 0; --n) {
        std::string line;
        for (char c : input.ConsumeRandomLengthString(40))
            if (std::isalnum(static_cast<unsigned char>(c)) || c == ' ') line += c;
        typed.push_back(line);
    }
    const std::string image = input.ConsumeRemainingBytesAsString();
    FirmwareDownload(image, packageSize);
    ContinueTwice(image);
    DownloadModeFrame(image);
    CommandLines(typed);
    return 0;
}
