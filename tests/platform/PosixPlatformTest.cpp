#include <gtest/gtest.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <thread>

#include "link/TCom.h"
#include "platform/posix/PosixPlatform.h"
#include "tests/support/Pty.h"

using namespace prax::platform;
using prax::platform::posix::PosixPlatform;
using prax::testing::Pty;

namespace {
constexpr std::uint32_t kAccess = GENERIC_READ_ | GENERIC_WRITE_;
constexpr std::uint32_t kShare = FILE_SHARE_READ_ | FILE_SHARE_WRITE_;
}  // namespace

TEST(PosixPlatform, SerialSetUpIsRawWithXonXoffOnOutputOnly) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    PosixPlatform host;
    host.MapDevice("\\\\.\\COM2", pty.path());
    prax::link::TCom com(host);
    ASSERT_TRUE(com.Open(2));  // a pty has no modem lines: CTS counts as on
    struct termios t {};
    ASSERT_EQ(tcgetattr(pty.holder(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B115200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_NE(t.c_iflag & IXON, 0u);
    EXPECT_EQ(t.c_iflag & (IXANY | IXOFF), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    Dcb dcb;
    ASSERT_TRUE(host.GetCommState(com.handle, dcb));
    EXPECT_EQ(dcb.BaudRate, 115200u);
    EXPECT_TRUE(dcb.fOutX);
}

TEST(PosixPlatform, APortHeldByAnotherOpenerFailsAsBusy) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    PosixPlatform host;
    const Handle first = host.CreateFileA(pty.path(), kAccess, kShare, OPEN_EXISTING_, FILE_FLAG_OVERLAPPED_);
    ASSERT_NE(first, kInvalidHandle);
    EXPECT_EQ(host.CreateFileA(pty.path(), kAccess, kShare, OPEN_EXISTING_, 0), kInvalidHandle);
    EXPECT_EQ(host.LastHostReason(), HostReason::Busy);
    EXPECT_EQ(host.GetLastError(), ERROR_SHARING_VIOLATION_);
    ASSERT_TRUE(host.CloseHandle(first));
    const Handle again = host.CreateFileA(pty.path(), kAccess, kShare, OPEN_EXISTING_, 0);
    EXPECT_NE(again, kInvalidHandle);  // closing gave the port back
    host.CloseHandle(again);
}

// Another program's TIOCEXCL keeps us out even as root (whom the kernel lets past it), and our
// refused open leaves that program's exclusive mode as it was.
TEST(PosixPlatform, APortAnotherProgramMadeExclusiveIsBusyAndStaysExclusive) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    const int holder = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);
    PosixPlatform host;
    EXPECT_EQ(host.CreateFileA(pty.path(), kAccess, kShare, OPEN_EXISTING_, FILE_FLAG_OVERLAPPED_), kInvalidHandle);
    EXPECT_EQ(host.LastHostReason(), HostReason::Busy);
    int exclusive = 0;
    ASSERT_EQ(ioctl(holder, TIOCGEXCL, &exclusive), 0);
    EXPECT_NE(exclusive, 0);
    ::close(holder);
}

TEST(PosixPlatform, MissingDeviceReportsAbsent) {
    PosixPlatform host;
    EXPECT_EQ(host.CreateFileA("/nonexistent/ttyX", kAccess, kShare, OPEN_EXISTING_, 0), kInvalidHandle);
    EXPECT_EQ(host.LastHostReason(), HostReason::Absent);
    EXPECT_EQ(host.GetLastError(), ERROR_FILE_NOT_FOUND_);
}

TEST(PosixPlatform, LargeOverlappedWriteProgressesWhileTheLinkWaits) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    PosixPlatform host;
    host.MapDevice("\\\\.\\COM1", pty.path());
    prax::link::TCom com(host);
    ASSERT_TRUE(com.Open(1));
    std::string data(1 << 20, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 13);
    std::string got;
    std::thread reader([&] { got = pty.Read(data.size()); });
    EXPECT_EQ(com.Write(data), static_cast<int>(data.size()));
    reader.join();
    EXPECT_EQ(got, data);
}

TEST(PosixPlatform, CancelStopsAPendingWriteAndReportsItsCount) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    PosixPlatform host;
    const Handle h = host.CreateFileA(pty.path(), kAccess, kShare, OPEN_EXISTING_, FILE_FLAG_OVERLAPPED_);
    ASSERT_NE(h, kInvalidHandle);
    std::vector<std::uint8_t> data(1 << 20, 0x5A);  // far more than a pty buffers
    Overlapped ov;
    ov.hEvent = host.CreateEventA(false, false, "write_event");
    std::uint32_t written = 0;
    ASSERT_FALSE(host.WriteFile(h, data.data(), static_cast<std::uint32_t>(data.size()), &written, &ov));
    ASSERT_EQ(host.GetLastError(), ERROR_IO_PENDING_);
    EXPECT_EQ(host.WaitForSingleObject(ov.hEvent, 20), WAIT_TIMEOUT_);
    std::uint32_t count = 0;
    EXPECT_FALSE(host.GetOverlappedResult(h, ov, count, false));
    EXPECT_EQ(host.GetLastError(), ERROR_IO_INCOMPLETE_);
    EXPECT_LT(count, data.size());
    ASSERT_TRUE(host.CancelIo(h));
    std::uint32_t settled = 0;
    EXPECT_FALSE(host.GetOverlappedResult(h, ov, settled, true));
    EXPECT_EQ(host.GetLastError(), ERROR_OPERATION_ABORTED_);
    const std::string arrived = pty.Drain();
    EXPECT_EQ(arrived.size(), settled);  // nothing of the cancelled rest goes out later
    EXPECT_TRUE(host.CloseHandle(ov.hEvent));
    EXPECT_TRUE(host.CloseHandle(h));
}

// A pending write whose device hangs up, or that an interrupt aborts, ends at once with an
// error other than "still in progress", so the link stops waiting for it: in the write cycle's
// wait and in its sleeps alike. A port hung up after its last write was taken did not deliver
// the stream either: its close says so.
TEST(PosixPlatform, AHungUpDeviceOrAnAbortEndsAPendingWriteAtOnce) {
    enum class When { Wait, Sleep, Abort, Close };
    for (const When when : {When::Wait, When::Sleep, When::Abort, When::Close}) {
        SCOPED_TRACE(static_cast<int>(when));
        Pty pty;
        ASSERT_TRUE(pty.ok());
        PosixPlatform host;
        volatile std::sig_atomic_t abort = 0;
        host.SetAbortFlag(&abort);
        const Handle h = host.CreateFileA(pty.path(), kAccess, kShare, OPEN_EXISTING_, FILE_FLAG_OVERLAPPED_);
        ASSERT_NE(h, kInvalidHandle);
        std::vector<std::uint8_t> data(when == When::Close ? 100 : 1 << 20, 0x5A);
        Overlapped ov;
        ov.hEvent = host.CreateEventA(false, false, "write_event");
        std::uint32_t written = 0;
        const bool whole = host.WriteFile(h, data.data(), static_cast<std::uint32_t>(data.size()), &written, &ov);
        ASSERT_EQ(whole, when == When::Close);
        if (when == When::Abort) abort = SIGINT;
        else pty.Vanish();
        const auto start = std::chrono::steady_clock::now();
        if (when == When::Close) {
            EXPECT_FALSE(host.CloseHandle(h));
            EXPECT_EQ(host.LastHostReason(), HostReason::Io);
            host.CloseHandle(ov.hEvent);
            continue;
        }
        if (when != When::Sleep) host.WaitForSingleObject(ov.hEvent, 10000);
        if (when != When::Wait) host.Sleep(10000);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
        std::uint32_t count = 0;
        EXPECT_FALSE(host.GetOverlappedResult(h, ov, count, false));
        EXPECT_NE(host.GetLastError(), ERROR_IO_INCOMPLETE_);
        EXPECT_LT(count, data.size());
        host.CloseHandle(ov.hEvent);
        host.CloseHandle(h);
    }
}

TEST(PosixPlatform, PlainFileIsWrittenAsADevice) {
    const std::string path = ::testing::TempDir() + "posix-plain.bin";
    std::ofstream(path).put('\0');
    std::ofstream(path, std::ios::trunc).close();
    PosixPlatform host;
    prax::link::TCom com(host);
    ASSERT_TRUE(com.OpenDevice(path));
    EXPECT_EQ(com.Write(std::string("abc\r\n")), 5);
    com.Close();
    std::ifstream in(path, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "abc\r\n");
}

TEST(PosixPlatform, SleepAndWaitKeepAFailedDeviceFromHanging) {
    PosixPlatform host;
    const Handle ev = host.CreateEventA(false, true, "e");
    EXPECT_EQ(host.WaitForSingleObject(ev, 10000), WAIT_OBJECT_0_);  // already signalled: no wait
    EXPECT_EQ(host.WaitForSingleObject(ev, 0), WAIT_TIMEOUT_);        // automatic reset
    EXPECT_TRUE(host.SetEvent(ev));
    EXPECT_EQ(host.WaitForSingleObject(ev, 10000), WAIT_OBJECT_0_);
    host.CloseHandle(ev);
}

// A signal that only asks to be noticed (a terminal resize) must not cut short the wait for a USB
// printer's last bytes before the close, which would cancel them.
TEST(PosixPlatform, ASignalDoesNotCutShortTheWaitForAUsbPrintersLastBytes) {
    const std::string fifo = ::testing::TempDir() + "usb-printer-fifo";
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int printer = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // open, never reading
    PosixPlatform host;
    host.SetDrainLimitMs(300);
    host.MapDevice("\\\\?\\usb#prax", fifo);
    const Handle h =
        host.CreateFileA("\\\\?\\usb#prax", GENERIC_WRITE_, kShare, OPEN_EXISTING_, FILE_FLAG_OVERLAPPED_);
    ASSERT_NE(h, kInvalidHandle);
    std::vector<std::uint8_t> data(1 << 20, 0x5A);  // more than the pipe holds: it stays full
    Overlapped ov;
    ov.hEvent = host.CreateEventA(false, false, "write_event");
    std::uint32_t written = 0;
    ASSERT_FALSE(host.WriteFile(h, data.data(), static_cast<std::uint32_t>(data.size()), &written, &ov));
    struct sigaction noticed {}, before {};
    noticed.sa_handler = [](int) {};
    sigaction(SIGWINCH, &noticed, &before);
    std::atomic<bool> closing{true};
    std::thread resizer([&, self = pthread_self()] {
        for (; closing; std::this_thread::sleep_for(std::chrono::milliseconds(5))) pthread_kill(self, SIGWINCH);
    });
    const auto start = std::chrono::steady_clock::now();
    // The write never finished: the close gives it up and says so.
    EXPECT_FALSE(host.CloseHandle(h));
    EXPECT_EQ(host.GetLastError(), ERROR_SEM_TIMEOUT_);
    // About the whole limit (the pipe never empties), not the few milliseconds to the first signal.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    closing = false;
    resizer.join();
    sigaction(SIGWINCH, &before, nullptr);
    ::close(printer);
}
