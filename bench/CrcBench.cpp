// Throughput of the data checksum beside a plain bitwise CRC-16/MODBUS, and their ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <vector>

#include "protocol/StreamPieces.h"

namespace {

std::vector<std::uint8_t> Data() {
    std::vector<std::uint8_t> d(1 << 20);
    unsigned x = 7;
    for (auto& b : d) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return d;
}

std::uint16_t BitwiseModbus(const std::uint8_t* p, std::size_t n) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

void BM_DataCrcUpdate(benchmark::State& state) {
    const auto d = Data();
    for (auto _ : state) {
        std::uint16_t reg = prax::protocol::kCrcStart;
        for (std::uint8_t b : d) reg = prax::protocol::DataCrcUpdate(reg, b);
        benchmark::DoNotOptimize(reg);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(d.size()));
}
BENCHMARK(BM_DataCrcUpdate);

// What the image downloads run: the whole buffer in 512-byte chunks, eight bytes at a step.
void BM_DataCrc(benchmark::State& state) {
    const auto d = Data();
    for (auto _ : state) {
        std::uint16_t reg = prax::protocol::kCrcStart;
        for (std::size_t at = 0; at < d.size(); at += 512) reg = prax::protocol::DataCrc(d.data() + at, 512, reg);
        benchmark::DoNotOptimize(reg);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(d.size()));
}
BENCHMARK(BM_DataCrc);

void BM_BitwiseModbus(benchmark::State& state) {
    const auto d = Data();
    for (auto _ : state) benchmark::DoNotOptimize(BitwiseModbus(d.data(), d.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(d.size()));
}
BENCHMARK(BM_BitwiseModbus);

// Keeps each benchmark's time per iteration so the ratio can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> perIteration;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) perIteration[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double table = reporter.perIteration["BM_DataCrcUpdate"];
    const double bitwise = reporter.perIteration["BM_BitwiseModbus"];
    const double sliced = reporter.perIteration["BM_DataCrc"];
    if (table > 0 && bitwise > 0 && sliced > 0) {
        std::printf("DataCrcUpdate: %.0f MiB/s; bitwise CRC-16/MODBUS: %.0f MiB/s; table is %.2fx faster\n",
                    1e9 / table, 1e9 / bitwise, bitwise / table);
        std::printf("DataCrc (8 bytes a step, 512-byte chunks): %.0f MiB/s, %.2fx the byte-wise table\n",
                    1e9 / sliced, table / sliced);
    }
    benchmark::Shutdown();
    return 0;
}
