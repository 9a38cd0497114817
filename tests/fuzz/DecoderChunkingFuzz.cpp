// The virtual printer's decoder must not care how the bytes were cut into reads: feeding an
// input whole and feeding it in pieces gives the same report lines, with the same item ends, and
// the same payloads. Item ends never go back and never pass the bytes taken so far.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/virtual-printer/Decoder.h"

namespace {

using prax::vprinter::Decoder;

struct Record final : prax::vprinter::PayloadSink {
    std::vector<std::string> lines;  // report lines and payload events in one order
    void Begin(std::string_view kind) override { lines.push_back("begin " + std::string(kind)); }
    void Data(const std::uint8_t* data, std::size_t length) override {
        lines.back().append(reinterpret_cast<const char*>(data), length);
    }
    void End() override { lines.push_back("end"); }
};

// Feeds `bytes`, calling Idle() at each position in `idles` (ascending); between them the bytes
// go in pieces of at most `maxPiece`, or whole when it is 0.
std::vector<std::string> Decode(const std::vector<std::uint8_t>& bytes,
                                const std::vector<std::size_t>& idles, std::size_t maxPiece,
                                std::uint32_t seed) {
    Record record;
    Decoder* self = nullptr;
    std::uint64_t lastEnd = 0;
    Decoder decoder(
        [&](const std::string& line) {
            const std::uint64_t end = self->ItemEnd();
            if (end < lastEnd || end > self->BytesFed()) std::abort();
            lastEnd = end;
            record.lines.push_back(line + " @ " + std::to_string(end));
        },
        &record);
    self = &decoder;
    std::size_t at = 0;
    std::size_t nextIdle = 0;
    while (at < bytes.size() || nextIdle < idles.size()) {
        if (nextIdle < idles.size() && idles[nextIdle] == at) {
            decoder.Idle();
            ++nextIdle;
            continue;
        }
        std::size_t end = nextIdle < idles.size() ? idles[nextIdle] : bytes.size();
        if (maxPiece > 0) {
            seed = seed * 1103515245u + 12345u;
            end = std::min(end, at + 1 + (seed >> 16) % maxPiece);
        }
        decoder.Feed(bytes.data() + at, end - at);
        at = end;
    }
    decoder.Finish();
    if (decoder.BytesFed() != bytes.size()) std::abort();
    return record.lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    // The cutting comes from the input's end, so the stream itself mutates freely.
    const std::size_t maxPiece = input.ConsumeIntegralInRange<std::size_t>(1, 64);
    const std::uint32_t seed = input.ConsumeIntegral<std::uint32_t>();
    const std::size_t idleCount = input.ConsumeIntegralInRange<std::size_t>(0, 3);
    std::vector<std::size_t> idleFractions;
    for (std::size_t i = 0; i < idleCount; ++i) idleFractions.push_back(input.ConsumeIntegral<std::uint8_t>());
    const std::vector<std::uint8_t> bytes = input.ConsumeRemainingBytes<std::uint8_t>();

    std::vector<std::size_t> idles;
    for (std::size_t f : idleFractions) idles.push_back(bytes.size() * f / 255);
    std::sort(idles.begin(), idles.end());

    const auto whole = Decode(bytes, idles, 0, seed);
    const auto pieces = Decode(bytes, idles, maxPiece, seed);
    if (whole != pieces) std::abort();
    return 0;
}
