#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/TCom.h"
#include "platform/fake/FakePlatform.h"

using namespace prax::platform;
using prax::link::TCom;
using prax::platform::fake::FakePlatform;
using prax::platform::fake::kForever;
using Names = std::vector<std::string>;

namespace {

class TComTest : public ::testing::Test {
protected:
    void SetUp() override {
        prax::link::quietStall() = true;
        prax::link::currentDeviceName().clear();
    }
    FakePlatform host;
};

// Opens COM1 and gets one byte through: once a write has finished, a stall asks the operator
// (before that, it gives up without asking).
void OpenPastFirstWrite(TCom& com) {
    ASSERT_TRUE(com.Open(1));
    const std::uint8_t first = 0x55;
    com.Write(&first, 1);
}

constexpr std::uint64_t kAccess = 0xC0000000u;
constexpr std::uint64_t kShare = 3;

const std::string kStall = "Continue ? \r\n[Y] Continue \r\n[N] Stop";

}  // namespace

TEST_F(TComTest, Lpt1OpensSynchronouslyWithoutSerialSetUp) {
    TCom com(host);
    ASSERT_TRUE(com.Open(0));
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].name, "CreateFileA");
    EXPECT_EQ(host.calls[0].text, "LPT1");
    EXPECT_EQ(host.calls[0].args, (std::vector<std::uint64_t>{kAccess, kShare, 3, 0x80}));
    EXPECT_EQ(prax::link::currentDeviceName(), "LPT1");

    const std::uint8_t bytes[3] = {1, 2, 3};
    EXPECT_NE(com.Write(bytes, 3), 0);
    EXPECT_NE(com.Write(bytes, 0), 0);  // a zero-length write still goes to the device
    EXPECT_EQ(host.WriteLengths(), (std::vector<std::size_t>{3, 0}));
    EXPECT_EQ(host.calls.back().args, (std::vector<std::uint64_t>{0, 0}));  // no OVERLAPPED
    EXPECT_EQ(host.Count("CreateEventA"), 0u);
    com.Close();
    EXPECT_EQ(host.CallNames(), (Names{"CreateFileA", "WriteFile", "WriteFile", "CancelIo", "CloseHandle"}));
}

TEST_F(TComTest, ComPortIsSetUpInOrder) {
    TCom com(host);
    ASSERT_TRUE(com.Open(3));
    EXPECT_EQ(host.CallNames(), (Names{"CreateFileA", "GetCommState", "SetCommState", "GetCommTimeouts",
                                       "SetCommTimeouts", "SetCommMask"}));
    EXPECT_EQ(host.calls[0].text, "\\\\.\\COM3");
    EXPECT_EQ(host.calls[0].args, (std::vector<std::uint64_t>{kAccess, kShare, 3, 0x40000000u}));
    EXPECT_EQ(host.calls[1].args, (std::vector<std::uint64_t>{28}));
    EXPECT_EQ(host.calls[2].args, (std::vector<std::uint64_t>{115200, 8, 0, 0, 1}));
    EXPECT_EQ(host.calls[4].args, (std::vector<std::uint64_t>{200, 100, 200, 100, 200}));
    EXPECT_EQ(host.calls[5].args, (std::vector<std::uint64_t>{0x25E}));
    EXPECT_EQ(prax::link::currentDeviceName(), "COM3");
}

TEST_F(TComTest, PortCodesMapToNames) {
    struct Case {
        int code;
        const char* name;
        std::uint64_t flags;
    };
    for (const Case c : {Case{9, "\\\\.\\COM9", 0x40000000u}, Case{-1, "a", 0x40000000u},
                         Case{-77, "a", 0x40000000u}, Case{2147483647, "\\\\.\\COM2147483647", 0x40000000u}}) {
        FakePlatform h;
        TCom com(h);
        com.Open(c.code);
        ASSERT_GE(h.calls.size(), 1u) << c.code;
        EXPECT_EQ(h.calls[0].text, c.name);
        EXPECT_EQ(h.calls[0].args.back(), c.flags);
    }
}

TEST_F(TComTest, UsbWithoutAPrinterFailsWithoutOpeningAnything) {
    TCom com(host);
    EXPECT_FALSE(com.Open(300));
    EXPECT_EQ(host.Count("CreateFileA"), 0u);
    EXPECT_TRUE(host.questions.empty());
}

TEST_F(TComTest, FailedOpenLeavesNullHandleAndWritesFailQuietly) {
    host.failAllOpens = true;
    TCom com(host);
    EXPECT_FALSE(com.Open(4));
    EXPECT_FALSE(com.IsOpen());
    const std::uint8_t b = 0x41;
    EXPECT_EQ(com.Write(&b, 1), 0);
    EXPECT_EQ(host.Count("WriteFile"), 0u);
    EXPECT_FALSE(com.Open(0));
    EXPECT_EQ(com.Write(&b, 1), 0);  // the LPT1 path reaches the device call, which fails
    EXPECT_EQ(host.Count("WriteFile"), 1u);
    EXPECT_FALSE(com.LastWriteDelivered());
}

TEST_F(TComTest, OnlyALeadingLpt1TakesTheSynchronousPath) {
    TCom com(host);
    ASSERT_TRUE(com.OpenDevice("xLPT1"));
    const std::uint8_t b = 0x41;
    EXPECT_EQ(com.Write(&b, 1), 1);
    EXPECT_EQ(host.Count("CreateEventA"), 1u);
}

TEST_F(TComTest, CtsOffAsksAfterTwoWholeSecondsAndYesRestartsTheWindow) {
    const std::int64_t start = host.now;
    host.ctsOnFromMs = start + 5000;
    std::vector<std::int64_t> askedAt;
    host.onQuestion = [&](const std::string&) {
        askedAt.push_back(host.now);
        return IDYES_;
    };
    TCom com(host);
    EXPECT_TRUE(com.Open(2));
    ASSERT_EQ(askedAt.size(), 2u);
    EXPECT_EQ(host.questions[0], "Retry again?");
    EXPECT_EQ(host.captions[0], "Time-out");
    EXPECT_EQ(host.calls[host.calls.size() - 2].args, (std::vector<std::uint64_t>{0x34}));
    // 1999 ms is still "1 whole second": the question comes at the 2000th.
    EXPECT_EQ(askedAt[0] - start, 2000);
    EXPECT_EQ(askedAt[1] - askedAt[0], 2000);
}

TEST_F(TComTest, CtsNoAnswerFailsTheOpenAndKeepsTheHandleUntilClose) {
    host.ctsOnFromMs = kForever;
    TCom com(host);
    EXPECT_FALSE(com.Open(5));
    EXPECT_EQ(host.questions, (std::vector<std::string>{"Retry again?"}));
    EXPECT_TRUE(com.IsOpen());
    EXPECT_EQ(host.OpenHandles().size(), 1u);
    com.Close();
    EXPECT_TRUE(host.OpenHandles().empty());
}

TEST_F(TComTest, FailingModemStatusCountsAsCtsOff) {
    host.modemStatusFails = true;
    TCom com(host);
    EXPECT_FALSE(com.Open(1));
    EXPECT_EQ(host.questions.size(), 1u);
}

TEST_F(TComTest, OverlappedWriteUsesItsOwnEventAndReturnsTheCount) {
    TCom com(host);
    ASSERT_TRUE(com.Open(-1));
    host.calls.clear();
    const std::uint8_t bytes[4] = {9, 8, 7, 6};
    EXPECT_EQ(com.Write(bytes, 4), 4);
    EXPECT_EQ(host.CallNames(), (Names{"CreateEventA", "WriteFile", "CloseHandle"}));
    EXPECT_EQ(host.calls[0].text, "write_event");
    EXPECT_EQ(host.calls[0].args, (std::vector<std::uint64_t>{0, 0}));
    EXPECT_EQ(host.calls[1].args, (std::vector<std::uint64_t>{4, 1}));
    EXPECT_EQ(com.writeEvent, kNullHandle);
    EXPECT_FALSE(prax::link::quietStall());
}

TEST_F(TComTest, PendingWriteWaitsThenFinishes) {
    host.writesPending = true;
    TCom com(host);
    ASSERT_TRUE(com.Open(-1));
    host.calls.clear();
    const std::uint8_t bytes[2] = {1, 2};
    EXPECT_EQ(com.Write(bytes, 2), 2);
    EXPECT_EQ(host.CallNames(), (Names{"CreateEventA", "WriteFile", "WaitForSingleObject",
                                       "GetOverlappedResult", "CloseHandle"}));
    EXPECT_EQ(host.calls[2].args, (std::vector<std::uint64_t>{10000}));
}

TEST_F(TComTest, ZeroLengthWriteOnADeviceHandleMakesNoCall) {
    TCom com(host);
    ASSERT_TRUE(com.Open(1));
    host.calls.clear();
    const std::uint8_t b = 0;
    EXPECT_EQ(com.Write(&b, 0), 0);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(TComTest, FirstStallAfterOpenGivesUpSilentlyAfterOneCycle) {
    host.stalls = {{0, kForever}};
    TCom com(host);
    ASSERT_TRUE(com.Open(1));
    const std::int64_t start = host.now;
    const std::uint8_t bytes[3] = {1, 2, 3};
    EXPECT_EQ(com.Write(bytes, 3), 0);
    EXPECT_TRUE(host.questions.empty());
    EXPECT_EQ(host.now - start, 20000);
    EXPECT_EQ(host.sleeps, (std::vector<std::uint32_t>(10, 1000)));
    EXPECT_FALSE(com.LastWriteDelivered());
    EXPECT_EQ(com.writeEvent, kNullHandle);
    // Given up means cancelled: nothing of that buffer is left to go out later.
    EXPECT_EQ(host.Count("CancelIo"), 1u);
    EXPECT_EQ(host.Count("CreateEventA"), host.Count("CloseHandle"));
}

TEST_F(TComTest, StallAfterAFinishedWriteAsksAndYesGoesOnWhenTheReaderResumes) {
    host.stalls = {{1, kForever}};
    host.onQuestion = [&](const std::string& text) {
        if (text == kStall && host.questions.size() == 2) host.ResumeDevice();
        return IDYES_;
    };
    TCom com(host);
    ASSERT_TRUE(com.Open(1));
    const std::uint8_t first = 0x55;
    EXPECT_EQ(com.Write(&first, 1), 1);
    const std::uint8_t bytes[4] = {1, 2, 3, 4};
    EXPECT_EQ(com.Write(bytes, 4), 4);
    EXPECT_EQ(host.questions, (std::vector<std::string>{kStall, kStall}));
    EXPECT_EQ(host.captions[0], "IO Error (ERROR_IO_PENDING)");
    EXPECT_EQ(host.delivered, (std::vector<std::uint8_t>{0x55, 1, 2, 3, 4}));
    EXPECT_TRUE(com.LastWriteDelivered());
}

TEST_F(TComTest, NoToTheStallQuestionReturnsThePartialCount) {
    host.stalls = {{1, 0}, {3, kForever}};
    TCom com(host);
    ASSERT_NO_FATAL_FAILURE(OpenPastFirstWrite(com));
    const std::uint8_t bytes[4] = {1, 2, 3, 4};
    EXPECT_EQ(com.Write(bytes, 4), 2);
    EXPECT_EQ(host.questions.size(), 1u);
    EXPECT_FALSE(com.LastWriteDelivered());
    EXPECT_EQ(com.DeliveredBytes(), 3u);
    EXPECT_EQ(host.Count("CancelIo"), 1u);
}

TEST_F(TComTest, ProgressInACycleStartsAnotherOneWithoutAsking) {
    // Byte 2 goes during the first cycle's sleeps, byte 3 in the second cycle's wait.
    host.stalls = {{1, 0}, {2, 15000}, {3, 12000}};
    TCom com(host);
    ASSERT_NO_FATAL_FAILURE(OpenPastFirstWrite(com));
    const std::uint8_t bytes[3] = {1, 2, 3};
    EXPECT_EQ(com.Write(bytes, 3), 3);
    EXPECT_TRUE(host.questions.empty());
}

TEST_F(TComTest, WriteFailingAtOnceReturnsZeroAndSignalsTheEvent) {
    host.writeFailsAtOnce = true;
    TCom com(host);
    ASSERT_TRUE(com.Open(1));
    host.calls.clear();
    const std::uint8_t b = 1;
    EXPECT_EQ(com.Write(&b, 1), 0);
    EXPECT_EQ(host.CallNames(), (Names{"CreateEventA", "WriteFile", "SetEvent", "CloseHandle",
                                       "ClearCommError", "PurgeComm"}));
    EXPECT_TRUE(com.LastWriteLost());
}

// A device that goes away while a write is pending ends that write at once, without a question
// and without sitting out the rest of the cycle: in the wait, or within one of its sleeps.
TEST_F(TComTest, ADeviceGoneDuringAPendingWriteEndsItAtOnce) {
    struct Case {
        std::int64_t goneAfterMs;   // after the write started
        std::int64_t endsWithinMs;  // the write has returned by then
    } cases[] = {{1, 1}, {4000, 4000}, {13500, 14000}, {19999, 20000}};
    for (const Case& c : cases) {
        FakePlatform h;
        h.stalls = {{1, 0}, {2, kForever}};
        h.outQueue = 1;
        TCom com(h);
        ASSERT_NO_FATAL_FAILURE(OpenPastFirstWrite(com));
        const std::uint8_t bytes[3] = {1, 2, 3};
        const std::int64_t start = h.now;
        h.goneFromMs = start + c.goneAfterMs;
        EXPECT_EQ(com.Write(bytes, 3), 0) << c.goneAfterMs;
        EXPECT_LE(h.now - start, c.endsWithinMs) << c.goneAfterMs;
        EXPECT_TRUE(h.questions.empty()) << c.goneAfterMs;
        EXPECT_TRUE(com.LastWriteLost());
        EXPECT_FALSE(com.LastWriteDelivered());
        // Byte 1 was taken, but still sat in the queue: it never reaches the printer, nor counts.
        EXPECT_EQ(h.delivered, (std::vector<std::uint8_t>{0x55}));
        EXPECT_EQ(com.DeliveredBytes(), 1u);
        const Names names = h.CallNames();
        const auto cancel = std::find(names.begin(), names.end(), "CancelIo");
        ASSERT_NE(cancel, names.end());
        EXPECT_EQ(*(cancel + 1), "GetOverlappedResult");
        EXPECT_EQ(h.calls[static_cast<std::size_t>(cancel + 1 - names.begin())].args[0], 1u);
        EXPECT_EQ(h.Count("PurgeComm"), 1u);
        EXPECT_EQ(com.writeEvent, kNullHandle);
        EXPECT_EQ(h.Count("CreateEventA") + 1, h.Count("CloseHandle") + 1);
    }
}

TEST_F(TComTest, AGiveUpDiscardsWhatIsStillQueuedAndCountsOnlyWhatLeft) {
    host.stalls = {{3, kForever}};
    host.outQueue = 2;
    TCom com(host);
    ASSERT_TRUE(com.Open(1));
    const std::uint8_t bytes[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(com.Write(bytes, 5), 0);  // the first stall gives up silently
    EXPECT_FALSE(com.LastWriteLost());
    EXPECT_EQ(host.delivered, (std::vector<std::uint8_t>{1}));
    EXPECT_EQ(com.DeliveredBytes(), 1u);
    const auto purge = std::find_if(host.calls.begin(), host.calls.end(),
                                    [](const auto& c) { return c.name == "PurgeComm"; });
    ASSERT_NE(purge, host.calls.end());
    EXPECT_EQ(purge->args[0], PURGE_TXABORT_ | PURGE_TXCLEAR_);
    // A write that went whole discards nothing.
    host.calls.clear();
    host.ResumeDevice();
    EXPECT_EQ(com.Write(bytes, 5), 5);
    EXPECT_EQ(host.Count("PurgeComm"), 0u);
}

TEST_F(TComTest, ANegativeLengthNeverReachesTheHost) {
    for (const int code : {1, 0}) {
        FakePlatform h;
        TCom com(h);
        ASSERT_TRUE(com.Open(code));
        h.calls.clear();
        const std::uint8_t b = 1;
        EXPECT_EQ(com.Write(&b, -5), 0);
        EXPECT_EQ(h.Count("WriteFile"), 0u) << code;
    }
}

// A question hook that throws leaves the write as any give-up does: the transfer cancelled and
// settled, the event closed.
TEST_F(TComTest, AnExceptionInTheStallQuestionReleasesTheTransferAndTheEvent) {
    host.stalls = {{1, 0}, {2, kForever}};
    host.onQuestion = [](const std::string&) -> int { throw std::runtime_error("no screen"); };
    TCom com(host);
    ASSERT_NO_FATAL_FAILURE(OpenPastFirstWrite(com));
    const std::uint8_t bytes[3] = {1, 2, 3};
    EXPECT_EQ(com.Write(bytes, 3), 0);
    EXPECT_EQ(com.writeEvent, kNullHandle);
    const Names names = host.CallNames();
    const auto ask = std::find(names.begin(), names.end(), "MessageBoxA");
    ASSERT_NE(ask, names.end());
    EXPECT_EQ(Names(ask + 1, ask + 4), (Names{"CancelIo", "GetOverlappedResult", "CloseHandle"}));
    EXPECT_EQ(host.Count("CreateEventA"), host.Count("CloseHandle"));
}

TEST_F(TComTest, CloseTwiceAndCloseUnopenedAreHarmless) {
    {
        TCom never(host);
        never.Close();
        never.Close();
    }
    EXPECT_TRUE(host.calls.empty());
    TCom com(host);
    ASSERT_TRUE(com.Open(0));
    com.Close();
    com.Close();
    EXPECT_EQ(host.Count("CloseHandle"), 1u);
    EXPECT_TRUE(host.OpenHandles().empty());
}

TEST_F(TComTest, OpenOnAnOpenLinkClosesTheOldHandleAndDestructorClosesTheNew) {
    {
        TCom com(host);
        ASSERT_TRUE(com.Open(0));
        ASSERT_TRUE(com.Open(0));
        EXPECT_EQ(host.OpenHandles().size(), 1u);
    }
    EXPECT_TRUE(host.OpenHandles().empty());
}

TEST_F(TComTest, ALongSerialNameIsOpenedWholeNeverCut) {
    const std::string name = "COM" + std::string(40, '7');
    TCom com(host);
    com.OpenDevice(name);
    ASSERT_GE(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].text, "\\\\.\\" + name);
    EXPECT_EQ(prax::link::currentDeviceName(), name);
}

// A spooler printer takes a byte a time, each tried twice before the write fails; its close ends
// the document before the printer. Nothing opens one: the test sets the link's kind itself.
TEST_F(TComTest, SpoolerKindWritesByteByByteWithOneRetryAndEndsTheDocumentOnClose) {
    using prax::link::TransportKind;
    const std::uint8_t data[] = {'a', 'b', 'c'};
    struct Case {
        const char* what;
        std::deque<bool> results;
        int length;
        int result;
        std::string delivered;
        std::size_t calls;
    } cases[] = {
        {"all taken", {}, 3, 1, "abc", 3},
        {"a refusal then the retry", {true, false, true, true}, 3, 1, "abc", 4},
        {"refused twice", {true, false, false}, 3, 0, "a", 3},
        {"nothing to write", {}, 0, 1, "", 0},
        {"a negative length", {}, -5, 1, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform spool;
        spool.printerWriteResults = c.results;
        {
            TCom com(spool);
            com.kind = TransportKind::Spooler;
            com.handle = 42;
            EXPECT_EQ(com.Write(data, c.length), c.result);
            EXPECT_EQ(spool.DeliveredText(), c.delivered);
            EXPECT_EQ(spool.Count("WritePrinter"), c.calls);
            for (const auto& w : spool.writes) EXPECT_EQ(w.size(), 1u);
        }
        const auto names = spool.CallNames();
        ASSERT_GE(names.size(), 2u);
        EXPECT_EQ(std::vector<std::string>(names.end() - 2, names.end()),
                  (std::vector<std::string>{"EndDocPrinter", "ClosePrinter"}));
    }
}
