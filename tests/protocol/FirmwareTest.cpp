#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/NetSocket.h"
#include "link/TCom.h"
#include "platform/fake/FakePlatform.h"
#include "protocol/Firmware.h"
#include "protocol/RawFile.h"
#include "protocol/StreamPieces.h"
#include "tests/support/Recorder.h"

using namespace prax::protocol;
using prax::platform::IDYES_;
using prax::platform::fake::FakePlatform;
using prax::platform::fake::kForever;
using prax::testing::Recorder;
using Bytes = std::vector<std::uint8_t>;
using Writes = std::vector<Bytes>;

namespace {

Bytes Image(std::size_t size) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>((i * 31 + 7) ^ (i >> 8));
    return b;
}

std::string WriteTemp(const Bytes& bytes) {
    static int n = 0;
    // ctest runs each test in a process of its own, side by side: the name carries the process.
    const std::string path = ::testing::TempDir() + "fw-" + std::to_string(::getpid()) + "-" +
                             std::to_string(n++) + ".bin";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
}

void Singles(Writes& w, const Bytes& bytes) {
    for (std::uint8_t b : bytes) w.push_back({b});
}

std::uint16_t Crc(const Bytes& image) { return DataCrc(image.data(), image.size()); }

// The writes of a firmware download, built from the documented format.
Writes Expected(const Bytes& image, std::size_t chunk, bool firstChunkWhole) {
    Writes w;
    Singles(w, Bytes(20, CR));
    const std::string header = BuildFirmwareHeader(static_cast<std::int32_t>(image.size()));
    Singles(w, Bytes(header.begin(), header.end()));
    Singles(w, Bytes(2, CR));
    const std::size_t full = image.size() - image.size() % chunk;
    for (std::size_t at = 0; at < full; at += chunk) {
        Bytes piece(image.begin() + static_cast<long>(at), image.begin() + static_cast<long>(at + chunk));
        if (at == 0 && !firstChunkWhole) Singles(w, piece);
        else w.push_back(piece);
    }
    Singles(w, Bytes(image.begin() + static_cast<long>(full), image.end()));
    const auto t = ChecksumTrailer(Crc(image));
    Singles(w, Bytes(t.begin(), t.end()));
    Singles(w, Bytes(ClosingRamp().begin(), ClosingRamp().end()));
    return w;
}

Bytes Concat(const Writes& w) {
    Bytes all;
    for (const auto& piece : w) all.insert(all.end(), piece.begin(), piece.end());
    return all;
}

class FirmwareTest : public ::testing::Test {
protected:
    void SetUp() override { prax::link::quietStall() = true; }
    Context ctx() { return Context{host, ui, [this] { return port; }, status}; }
    Result Download(const Bytes& image, const std::string& packageSize = "512") {
        Context c = ctx();
        FirmwareRequest req;
        req.packageSizeText = packageSize;
        req.imagePath = WriteTemp(image);
        return DownloadFirmware(c, req);
    }
    FakePlatform host;
    Recorder ui;
    std::string status;
    int port = 2;
};

}  // namespace

TEST_F(FirmwareTest, WriteGroupingForEveryShapeOfImage) {
    for (std::size_t chunk : {512u, 4u}) {
        for (std::size_t size : {std::size_t{0}, std::size_t{1}, chunk - 1, chunk, chunk + 1, 3000 + chunk / 2}) {
            SCOPED_TRACE("chunk " + std::to_string(chunk) + " size " + std::to_string(size));
            FakePlatform h;
            Recorder r;
            std::string st = "7 Bytes";
            Context c{h, r, [] { return 1; }, st};
            FirmwareRequest req;
            req.packageSizeText = std::to_string(chunk);
            const Bytes image = Image(size);
            req.imagePath = WriteTemp(image);
            const Result res = DownloadFirmware(c, req);
            ASSERT_TRUE(res.ok()) << res.message;
            const Writes expected = Expected(image, chunk, false);
            EXPECT_EQ(h.writes, expected);
            EXPECT_EQ(h.delivered, Concat(expected));
            EXPECT_EQ(res.delivered, Concat(expected).size());
            const std::string count = size == 0 ? "7" : std::to_string(size);
            EXPECT_EQ(r.statuses.back(), count + " Bytes  CRC=" + RegisterHex(Crc(image)));
            EXPECT_EQ(st, count + " Bytes");  // the stored text has no checksum part
        }
    }
}

TEST_F(FirmwareTest, GaugeRunsOneAheadUntilTheClampAndTheFrameIsInOrder) {
    const Bytes image = Image(1300);
    ASSERT_TRUE(Download(image).ok());
    EXPECT_EQ(ui.positions.front(), 0);
    // 512 → 513, 1024 → 1025, then tail bytes 1025..1299 → 1026..1300, the last ones clamped.
    std::vector<std::int32_t> expected = {0, 513, 1025};
    for (int sent = 1025; sent <= 1300; ++sent) expected.push_back(std::min(sent + 1, 1300));
    EXPECT_EQ(ui.positions, expected);
    EXPECT_EQ(ui.statuses[0], "513 Bytes");
    EXPECT_EQ(ui.Frame(), (std::vector<std::string>{"close: off", "progress: show",
                                                   "progress: colour 0,0,255", "progress: max 1300",
                                                   "progress: hide", "close: on"}));
    EXPECT_EQ(ui.eventsProcessed, static_cast<int>(expected.size()) - 1);
    EXPECT_TRUE(host.OpenHandles().empty());
    EXPECT_EQ(host.CallNames().back(), "CloseHandle");
}

TEST_F(FirmwareTest, CheckValueImageShowsItsRegister) {
    const std::string digits = "123456789";
    ASSERT_TRUE(Download(Bytes(digits.begin(), digits.end())).ok());
    EXPECT_EQ(ui.statuses.back(), "9 Bytes  CRC=374B");
    const Bytes& d = host.delivered;
    ASSERT_GE(d.size(), 130u);
    EXPECT_EQ(d[d.size() - 130], 0x37);
    EXPECT_EQ(d[d.size() - 129], 0x4B);
}

TEST_F(FirmwareTest, EmptyImageKeepsThePreviousCountAndShowsFFFF) {
    status = "4096 Bytes";
    ASSERT_TRUE(Download({}).ok());
    EXPECT_EQ(ui.statuses, (std::vector<std::string>{"4096 Bytes  CRC=FFFF"}));
    EXPECT_EQ(ui.gauge.MaxValue(), 100);  // a maximum of 0 is ignored
    EXPECT_NE(host.DeliveredText().find("D0,0\r\n\r\r"), std::string::npos);
}

TEST_F(FirmwareTest, PackageSizesThatAreNoIntegerOrOutOfRangeAreRefusedBeforeAnything) {
    for (const std::string text : {"abc", "", "12x", "0", "-4", "2049", "99999999999"}) {
        FakePlatform h;
        Recorder r;
        std::string st;
        Context c{h, r, [] { return 1; }, st};
        FirmwareRequest req;
        req.packageSizeText = text;
        const Result res = DownloadFirmware(c, req);
        EXPECT_EQ(res.outcome, Outcome::Refused) << text;
        EXPECT_TRUE(h.calls.empty()) << text;
        EXPECT_TRUE(r.dialogs.empty()) << text;
        ASSERT_EQ(r.messages.size(), 1u);
    }
    EXPECT_EQ(Download(Image(10), "abc").message, "'abc' is not a valid integer value");
    EXPECT_TRUE(Download(Image(10), " 2048 ").ok());
    EXPECT_TRUE(Download(Image(10), "1").ok());
}

TEST_F(FirmwareTest, DialogIsSetUpAndCancelEndsSilently) {
    Context c = ctx();
    FirmwareRequest req;
    req.programDirectory = "/opt/prax";
    const Result res = DownloadFirmware(c, req);
    EXPECT_EQ(res.outcome, Outcome::Cancelled);
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_EQ(ui.dialogs[0].filter, "*.bin (binary file)|*.bin|*.* |*.*");
    EXPECT_EQ(ui.dialogs[0].initialDirectory, "/opt/prax");
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(ui.log, (std::vector<std::string>{"choose file"}));
}

TEST_F(FirmwareTest, UnreadableImageIsRefusedWithNothingOpened) {
    Context c = ctx();
    FirmwareRequest req;
    req.imagePath = "/nonexistent/image.bin";
    EXPECT_EQ(DownloadFirmware(c, req).outcome, Outcome::Refused);
    req.imagePath = ::testing::TempDir();
    EXPECT_EQ(DownloadFirmware(c, req).outcome, Outcome::Refused);
    EXPECT_TRUE(host.calls.empty());
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_NE(ui.messages[0].find("/nonexistent/image.bin"), std::string::npos);
    EXPECT_TRUE(ui.closeEnabled);
}

TEST_F(FirmwareTest, OpenFailureShowsItsMessageAndLeavesTheCloseCommandAlone) {
    host.failAllOpens = true;
    const Result res = Download(Image(100));
    EXPECT_EQ(res.outcome, Outcome::OpenFailed);
    EXPECT_EQ(ui.log, (std::vector<std::string>{"message: Open port failed"}));
    EXPECT_TRUE(host.writes.empty());
}

TEST_F(FirmwareTest, FirstStallAfterOpeningEndsTheTransferSilentlyAndClosesEverything) {
    host.stalls = {{0, kForever}};
    const Result res = Download(Image(2000));
    EXPECT_EQ(res.outcome, Outcome::Stopped);
    EXPECT_EQ(host.writes.size(), 1u);  // nothing after the write that gave up
    EXPECT_TRUE(host.questions.empty());
    EXPECT_TRUE(host.OpenHandles().empty());
    EXPECT_TRUE(ui.closeEnabled);
    EXPECT_FALSE(ui.progressVisible);
    // No image byte went: the status line keeps what it had, and the message says so.
    EXPECT_TRUE(ui.statuses.empty());
    EXPECT_EQ(ui.messages, (std::vector<std::string>{
                               "The printer stopped taking data: 0 of the image's 2000 bytes were "
                               "delivered. The transfer was ended."}));
}

TEST_F(FirmwareTest, StallMidBodyAnsweredNoEndsWithTheCountReached) {
    const std::uint64_t header = 20 + BuildFirmwareHeader(4000).size() + 2;
    host.stalls = {{header + 1500, kForever}};
    const Result res = Download(Image(4000));
    EXPECT_EQ(res.outcome, Outcome::Stopped);
    EXPECT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(res.delivered, header + 1500);
    EXPECT_EQ(ui.statuses.back(), "1500 Bytes");
    EXPECT_TRUE(host.OpenHandles().empty());
    EXPECT_TRUE(ui.closeEnabled);
    EXPECT_FALSE(ui.progressVisible);
    // The message counts what the status line counts.
    EXPECT_EQ(res.message, "The printer stopped taking data: 1500 of the image's 4000 bytes were "
                           "delivered. The transfer was ended.\n" + PrinterMidImageText("image"));
    EXPECT_TRUE(res.shown);
}

TEST_F(FirmwareTest, StallMidBodyAnsweredYesGoesOnWhenTheReaderResumes) {
    const std::uint64_t header = 20 + BuildFirmwareHeader(4000).size() + 2;
    host.stalls = {{header + 1500, kForever}};
    host.onQuestion = [&](const std::string&) {
        host.ResumeDevice();
        return IDYES_;
    };
    const Bytes image = Image(4000);
    const Result res = Download(image);
    EXPECT_TRUE(res.ok());
    EXPECT_EQ(host.delivered, Concat(Expected(image, 512, false)));
    EXPECT_EQ(ui.statuses.back(), "4000 Bytes  CRC=" + RegisterHex(Crc(image)));
}

// A stop asked for while the transfer runs (the window closing, praxdl interrupted) ends it
// right there: nothing more is written, what is queued is discarded, everything is put back,
// and no message comes up. In a Continue series no further printer is started.
TEST_F(FirmwareTest, AStopRequestEndsTheTransferAndTheSeriesWithoutAMessage) {
    const Bytes image = Image(3000);
    for (const bool series : {false, true}) {
        for (const int atEvent : {1, 3, 50}) {
            SCOPED_TRACE(std::string(series ? "series" : "single") + " at event " + std::to_string(atEvent));
            FakePlatform h;
            Recorder r;
            std::string st;
            Context c{h, r, [] { return 1; }, st};
            r.onProcessEvents = [&] { r.stopRequested = r.stopRequested || r.eventsProcessed == atEvent; };
            std::vector<std::string> captions;
            Result res;
            if (series) {
                r.files.push_back(WriteTemp(image));
                res = ContinueSeries(c, "", [&](const std::string& t) { captions.push_back(t); });
            } else {
                FirmwareRequest req;
                req.imagePath = WriteTemp(image);
                res = DownloadFirmware(c, req);
            }
            EXPECT_EQ(res.outcome, Outcome::Interrupted);
            EXPECT_TRUE(r.messages.empty());
            EXPECT_FALSE(res.shown);
            EXPECT_EQ(h.Count("PurgeComm"), 1u);
            EXPECT_LT(h.delivered.size(), 3000u);
            EXPECT_EQ(h.Count("CreateFileA"), 1u);
            if (series) {
                EXPECT_EQ(captions, (std::vector<std::string>{"Continue 2"}));
            }
            EXPECT_TRUE(h.OpenHandles().empty());
            EXPECT_FALSE(r.progressVisible);
            EXPECT_TRUE(r.closeEnabled);
        }
    }
}

TEST_F(FirmwareTest, AnExceptionMidTransferStillHidesTheDialogAndEnablesClose) {
    ui.onProcessEvents = [] { throw std::runtime_error("out of memory"); };
    EXPECT_THROW(Download(Image(3000)), std::runtime_error);
    EXPECT_FALSE(ui.progressVisible);
    EXPECT_TRUE(ui.closeEnabled);
    EXPECT_TRUE(host.OpenHandles().empty());
}

TEST_F(FirmwareTest, ContinueSeriesRepeatsUntilAnOpenFails) {
    host.opensBeforeFailing = 2;
    const Bytes image = Image(200);
    ui.files.push_back(WriteTemp(image));
    Context c = ctx();
    std::vector<std::string> captions;
    const Result res = ContinueSeries(c, "/opt/prax", [&](const std::string& t) { captions.push_back(t); });
    EXPECT_EQ(res.outcome, Outcome::OpenFailed);
    EXPECT_EQ(captions, (std::vector<std::string>{"Continue 2", "Continue 3", "Continue 4"}));
    Writes one = Expected(image, 64, true);
    Writes both = one;
    both.insert(both.end(), one.begin(), one.end());
    EXPECT_EQ(host.writes, both);
    EXPECT_EQ(host.sleeps, (std::vector<std::uint32_t>{50, 3000, 50, 3000}));
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Open port failed"}));
    EXPECT_EQ(ui.statuses.back(), "200 Bytes");
    EXPECT_EQ(std::count(ui.log.begin(), ui.log.end(), "close: off"), 0);
    EXPECT_TRUE(host.OpenHandles().empty());
}

TEST_F(FirmwareTest, ContinueWithThePrinterUnpluggedFailsAtOnce) {
    host.failAllOpens = true;
    ui.files.push_back(WriteTemp(Image(10)));
    Context c = ctx();
    std::vector<std::string> captions;
    ContinueSeries(c, "", [&](const std::string& t) { captions.push_back(t); });
    EXPECT_EQ(captions, (std::vector<std::string>{"Continue 2"}));
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Open port failed"}));
    EXPECT_TRUE(host.writes.empty());
}

TEST_F(FirmwareTest, ContinueWriteGroupingForEveryShapeOfImage) {
    for (std::size_t size : {0u, 1u, 63u, 64u, 65u, 3000u}) {
        SCOPED_TRACE("size " + std::to_string(size));
        FakePlatform h;
        h.opensBeforeFailing = 1;
        Recorder r;
        std::string st;
        Context c{h, r, [] { return 4; }, st};
        const Bytes image = Image(size);
        r.files.push_back(WriteTemp(image));
        ContinueSeries(c, "", [](const std::string&) {});
        EXPECT_EQ(h.writes, Expected(image, 64, true));
        const int steps = static_cast<int>(size / 64 + size % 64);
        EXPECT_EQ(r.eventsProcessed, 2 * steps);  // after every write and once more per step
        if (size > 0) {
            EXPECT_EQ(r.statuses.back(), std::to_string(size) + " Bytes");
        }
    }
}

// --- download-mode firmware and the raw file download -----------------------------------------

namespace {

Bytes Bytes_(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The writes of a download-mode transfer, from the documented format: every piece whole but the
// tail.
Writes ExpectedDownloadMode(const Bytes& image) {
    Writes w = {Bytes(5, CR), Bytes(20, CR), Bytes_(BuildDownloadModeCommand(static_cast<std::int32_t>(image.size())))};
    const std::size_t full = image.size() - image.size() % 512;
    for (std::size_t at = 0; at < full; at += 512)
        w.push_back(Bytes(image.begin() + static_cast<long>(at), image.begin() + static_cast<long>(at + 512)));
    Singles(w, Bytes(image.begin() + static_cast<long>(full), image.end()));
    const auto t = ChecksumTrailer(Crc(image));
    w.push_back(Bytes(t.begin(), t.end()));
    w.push_back(Bytes(ClosingRamp().begin(), ClosingRamp().end()));
    return w;
}

// Where the host slept, counted in writes made before each sleep.
std::vector<std::pair<std::size_t, std::uint64_t>> SleepsAfterWrites(const FakePlatform& h) {
    std::vector<std::pair<std::size_t, std::uint64_t>> at;
    std::size_t writes = 0;
    for (const auto& call : h.calls) {
        if (call.name == "WriteFile") ++writes;
        if (call.name == "Sleep") at.emplace_back(writes, call.args[0]);
    }
    return at;
}

}  // namespace

TEST_F(FirmwareTest, DownloadModeWritesEveryPieceWholeAndEndsInTheCountdown) {
    for (std::size_t size : {std::size_t{0}, std::size_t{1000}, std::size_t{131072}}) {
        SCOPED_TRACE(size);
        FakePlatform h;
        Recorder r;
        std::string st = "7 Bytes";
        Context c{h, r, [] { return 1; }, st};
        const Bytes image = Image(size);
        r.files = {WriteTemp(image)};
        const Result res = DownloadModeFirmware(c, {std::nullopt, "/opt/prax"});
        ASSERT_TRUE(res.ok()) << res.message;
        EXPECT_EQ(r.dialogs.at(0).filter, "*.* |*.*|");
        EXPECT_EQ(h.writes, ExpectedDownloadMode(image));
        EXPECT_EQ(h.delivered, Concat(h.writes));
        // The 50 ms pause falls between the two CR runs, and it is the only one.
        EXPECT_EQ(SleepsAfterWrites(h), (std::vector<std::pair<std::size_t, std::uint64_t>>{{1, 50}}));
        EXPECT_EQ(r.Frame(), (std::vector<std::string>{"choose file", "close: off", "progress: show",
                                                       "progress: colour 0,0,255",
                                                       "progress: max " + std::to_string(size), "countdown",
                                                       "close: on"}));
        EXPECT_TRUE(r.progressVisible) << "the countdown keeps the dialog";
        const std::string count = size == 0 ? "7 Bytes" : std::to_string(size) + " Bytes";
        EXPECT_EQ(r.statuses.empty() ? st : r.statuses.back(), count) << "no checksum in the status line";
        EXPECT_TRUE(h.OpenHandles().empty());
    }
    EXPECT_EQ(BuildDownloadModeCommand(131072), "\r\n~~INTERNALCOMMANDU,UPDATADLMODE,131072\r");
}

TEST_F(FirmwareTest, DownloadModeRefusesWhatItCannotSendBeforeOpening) {
    struct Case {
        std::string path;
        bool openFails;
        std::string message;
        Outcome outcome;
    };
    const std::string missing = ::testing::TempDir() + "no-such-image.bin";
    // Far past every bound, and sparse: nothing of it is on the disk, nor ever read.
    const std::string huge = WriteTemp(Image(1));
    std::filesystem::resize_file(huge, 3ull << 30);
    for (const Case& c : {Case{WriteTemp(Image(131073)), false, kDownloadModeTooLarge, Outcome::Refused},
                          Case{huge, false, kDownloadModeTooLarge, Outcome::Refused},
                          Case{missing, false, "Cannot open file \"" + missing + "\". No such file or directory.",
                               Outcome::Refused},
                          Case{WriteTemp(Image(10)), true, "Can't open port", Outcome::OpenFailed}}) {
        FakePlatform h;
        h.failAllOpens = c.openFails;
        Recorder r;
        std::string st;
        Context cx{h, r, [] { return 1; }, st};
        EXPECT_EQ(DownloadModeFirmware(cx, {c.path, {}}).outcome, c.outcome);
        EXPECT_EQ(r.messages, std::vector<std::string>{c.message});
        EXPECT_EQ(h.Count("CreateFileA"), c.openFails ? 1u : 0u);
        EXPECT_TRUE(h.writes.empty());
        EXPECT_TRUE(r.closeEnabled);
    }
    std::filesystem::remove(huge);
}

TEST_F(FirmwareTest, DownloadModeStallEndsWithoutCountdown) {
    host.stalls = {{5 + 20 + 39 + 300, kForever}};  // inside the first chunk
    Context c = ctx();
    const Result r = DownloadModeFirmware(c, {WriteTemp(Image(1000)), {}});
    EXPECT_EQ(r.outcome, Outcome::Stopped);
    EXPECT_EQ(r.message, "The printer stopped taking data: 300 of the image's 1000 bytes were delivered. "
                         "The transfer was ended.\n" + PrinterMidImageText("image"));
    EXPECT_FALSE(ui.progressVisible);
    EXPECT_EQ(std::count(ui.log.begin(), ui.log.end(), "countdown"), 0);
    EXPECT_TRUE(ui.closeEnabled);
}

TEST_F(FirmwareTest, RawFileGoesOutAsStoredInKilobyteBlocksWithItsTailByteByByte) {
    struct Case {
        std::size_t size;
        std::vector<std::string> statuses;
    };
    auto counts = [](int from, int to) {
        std::vector<std::string> s;
        for (int i = from; i <= to; ++i) s.push_back(std::to_string(i) + " Bytes");
        return s;
    };
    std::vector<std::string> s1030 = {"1025 Bytes"};
    for (const auto& s : counts(1026, 1030)) s1030.push_back(s);
    s1030.push_back("1030 Bytes");  // the last step would be 1031; the gauge holds it at the size
    std::vector<std::string> s5 = counts(2, 5);
    s5.push_back("5 Bytes");
    for (const Case& c : {Case{0, {}}, Case{5, s5}, Case{1030, s1030}, Case{2048, {"1025 Bytes", "2048 Bytes"}}}) {
        SCOPED_TRACE(c.size);
        FakePlatform h;
        Recorder r;
        r.gauge.SetForeColor(prax::protocol::kRed);
        r.gauge.SetMaxValue(5);
        r.gauge.SetProgress(3);  // what a countdown left
        std::string st = "earlier";
        Context cx{h, r, [] { return 1; }, st};
        const Bytes file = Image(c.size);
        r.files = {WriteTemp(file)};
        const Result res = DownloadRawFile(cx, {std::nullopt, "/opt/prax"});
        ASSERT_TRUE(res.ok()) << res.message;
        EXPECT_EQ(r.dialogs.at(0).filter, "*.* |*.*");
        Writes expected;
        const std::size_t full = c.size - c.size % 1024;
        for (std::size_t at = 0; at < full; at += 1024)
            expected.push_back(Bytes(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at + 1024)));
        Singles(expected, Bytes(file.begin() + static_cast<long>(full), file.end()));
        EXPECT_EQ(h.writes, expected);
        EXPECT_EQ(h.delivered, file);
        EXPECT_EQ(r.statuses, c.statuses);
        EXPECT_EQ(r.Frame(), (std::vector<std::string>{"choose file", "close: off", "message: ok", "progress: show",
                                                       "progress: max " + std::to_string(c.size), "close: on",
                                                       "progress: hide"}));
        EXPECT_EQ(r.gauge.ForeColor(), prax::protocol::kRed) << "the colour is left as it was";
        EXPECT_EQ(st, c.size == 0 ? "earlier" : std::to_string(c.size) + " Bytes");
        EXPECT_TRUE(h.OpenHandles().empty());
    }
}

TEST_F(FirmwareTest, RawFileThatCannotBeReadEndsBeforeAnyWriteAndAFailedOpenReadsNothing) {
    const std::string missing = ::testing::TempDir() + "no-such-raw.bin";
    Context c = ctx();
    EXPECT_EQ(DownloadRawFile(c, {missing, {}}).outcome, Outcome::Refused);
    EXPECT_EQ(ui.Frame(), (std::vector<std::string>{"close: off",
                                                    "message: Cannot open file \"" + missing +
                                                        "\". No such file or directory.",
                                                    "close: on"}));
    EXPECT_TRUE(host.writes.empty());
    EXPECT_TRUE(host.OpenHandles().empty());

    FakePlatform h;
    h.failAllOpens = true;
    Recorder r;
    std::string st;
    Context cx{h, r, [] { return 1; }, st};
    EXPECT_EQ(DownloadRawFile(cx, {missing, {}}).outcome, Outcome::OpenFailed);
    EXPECT_EQ(r.log, std::vector<std::string>{"message: Open port failed"});
}

TEST_F(FirmwareTest, RawFileToAVanishedPrinterEndsAtOnceAndSaysHowFar) {
    host.goneFromMs = host.now;
    Context c = ctx();
    const Result r = DownloadRawFile(c, {WriteTemp(Image(5000)), {}});
    EXPECT_EQ(r.outcome, Outcome::Stopped);
    EXPECT_EQ(host.writes.size(), 1u);
    EXPECT_EQ(r.message, "The connection to the printer was lost: 0 of the file's 5000 bytes were delivered. "
                         "The transfer was ended.");
    EXPECT_FALSE(ui.progressVisible);
    EXPECT_TRUE(ui.closeEnabled);
}

// Every write went, but the close had to give up what was still queued: that is no delivered
// stream. The operation ends as lost, counting only what left the queue, and the download-mode
// countdown (which tells the operator the printer is busy with the image) never starts.
TEST_F(FirmwareTest, AStreamTheCloseCouldNotHandOverIsLostAndCountsOnlyWhatLeft) {
    const std::string image = WriteTemp(Image(5000));
    const auto firmware = [&](Context& c) {
        FirmwareRequest req;
        req.imagePath = image;
        return DownloadFirmware(c, req);
    };
    struct Case {
        const char* what;
        std::function<Result(Context&)> run;
        const char* said;
        bool network = false;
    } cases[] = {
        {"raw file", [&](Context& c) { return DownloadRawFile(c, {image, {}}); }, "4000 of the file's 5000"},
        {"download mode", [&](Context& c) { return DownloadModeFirmware(c, {image, {}}); }, "of the image's 5000"},
        {"firmware", firmware, "of the image's 5000"},
        {"firmware over the network", firmware, "of the image's 5000", true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        FakePlatform h;
        h.closeFails = true;
        h.closeDiscards = 1000;
        prax::link::NetSocket net(h);
        const prax::link::NetworkTarget target{"printer"};
        Recorder r;
        std::string st;
        Context cx{h, r, [] { return 2; }, st, k.network ? &target : nullptr};
        const Result res = k.run(cx);
        EXPECT_EQ(h.Count("closesocket"), k.network ? 1u : 0u);
        EXPECT_EQ(res.outcome, Outcome::Stopped);
        EXPECT_EQ(res.delivered, h.delivered.size() - 1000);
        EXPECT_EQ(res.message.rfind("The connection to the printer was lost: ", 0), 0u) << res.message;
        EXPECT_NE(res.message.find(k.said), std::string::npos) << res.message;
        EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "countdown"), 0);
        EXPECT_FALSE(r.progressVisible);
    }
}

// A run to several printers checks its input once and then sends every printer the bytes that
// check read: a check-only run of each file operation opens nothing and ends as Checked, and a
// link that follows sends the image as first read, even after the file changed on disk.
TEST_F(FirmwareTest, ACheckOnlyRunOpensNothingAndTheLinksSendWhatItRead) {
    const Bytes image = Image(1300);
    const std::string path = WriteTemp(image);
    struct Case {
        const char* what;
        std::function<Result(Context&)> run;
    };
    const std::vector<Case> cases = {
        {"firmware", [&](Context& c) { FirmwareRequest r; r.imagePath = path; return DownloadFirmware(c, r); }},
        {"download mode", [&](Context& c) { return DownloadModeFirmware(c, {path, {}}); }},
        {"raw", [&](Context& c) { return DownloadRawFile(c, {path, {}}); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), 1300);
        SharedInputs inputs;
        FakePlatform checkHost, linkHost;
        Recorder checkUi, linkUi;
        std::string checkStatus, linkStatus;
        Context check{checkHost, checkUi, [] { return 2; }, checkStatus};
        check.inputs = &inputs;
        check.checkOnly = true;
        EXPECT_EQ(c.run(check).outcome, Outcome::Checked);
        EXPECT_EQ(checkHost.Count("CreateFileA"), 0u);
        EXPECT_TRUE(checkHost.writes.empty());

        std::ofstream(path, std::ios::binary) << "changed on disk";
        Context link{linkHost, linkUi, [] { return 2; }, linkStatus};
        link.inputs = &inputs;
        ASSERT_TRUE(c.run(link).ok());
        const Bytes sent = linkHost.delivered;
        EXPECT_NE(std::search(sent.begin(), sent.end(), image.begin(), image.end()), sent.end());
        ASSERT_EQ(inputs.Files().size(), 1u);
    }
    // A refusal is the same in a check-only run: the message, nothing opened.
    SharedInputs inputs;
    Context check = ctx();
    check.inputs = &inputs;
    check.checkOnly = true;
    EXPECT_EQ(DownloadModeFirmware(check, {WriteTemp(Image(kDownloadModeMaxSize + 1)), {}}).outcome, Outcome::Refused);
    EXPECT_EQ(ui.messages, std::vector<std::string>{kDownloadModeTooLarge});
    EXPECT_EQ(host.Count("CreateFileA"), 0u);
}

// The printer counts the size a header announced: a stream that ends after the header and
// before the image's last byte leaves it waiting for the rest. Each case stops the stream once
// `at` bytes have gone (where the writes allow it) and says whether it did.
TEST_F(FirmwareTest, AStreamCutBetweenHeaderAndImageEndLeavesThePrinterMidImage) {
    class StopAt : public Recorder {
    public:
        StopAt(FakePlatform& h, std::size_t at) : h_(h), at_(at) {}
        bool StopRequested() override { return h_.delivered.size() >= at_; }

    private:
        FakePlatform& h_;
        std::size_t at_;
    };
    enum Kind { Fw, Dl, Raw };
    const Bytes image = Image(600);
    const std::size_t fwBody = 20 + BuildFirmwareHeader(600).size() + 2;
    const std::size_t dlBody = 25 + BuildDownloadModeCommand(600).size();
    struct Case {
        Kind kind;
        std::size_t at;
        bool mid;
    };
    for (const Case& k : {Case{Fw, 10, false}, Case{Fw, fwBody - 2, false}, Case{Fw, fwBody, true},
                          Case{Fw, fwBody + 599, true}, Case{Fw, fwBody + 601, true},
                          Case{Fw, fwBody + 602, false}, Case{Dl, 25, false}, Case{Dl, dlBody, true},
                          Case{Dl, dlBody + 600, true}, Case{Dl, dlBody + 602, false}, Case{Raw, 512, false}}) {
        SCOPED_TRACE(std::to_string(k.kind) + " at " + std::to_string(k.at));
        FakePlatform h;
        StopAt r(h, k.at);
        std::string st;
        Context c{h, r, [] { return 1; }, st};
        const FileSource source{WriteTemp(image), ""};
        const Result res = k.kind == Fw   ? DownloadFirmware(c, FirmwareRequest{source, "512"})
                           : k.kind == Dl ? DownloadModeFirmware(c, source)
                                          : DownloadRawFile(c, source);
        ASSERT_EQ(res.outcome, Outcome::Interrupted);
        EXPECT_EQ(h.delivered.size(), k.at);
        EXPECT_EQ(res.printerMidImage, k.mid);
        const std::string warning = "\n" + PrinterMidImageText(k.kind == Raw ? "file" : "image");
        EXPECT_EQ(res.message.find(warning) != std::string::npos, k.mid) << res.message;
    }
}
