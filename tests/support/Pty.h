// A pty pair for tests: the device end is what the program opens, the master end is the printer.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace prax::testing {

class Pty {
public:
    Pty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        path_ = ptsname(master_);
        // Hold the device end open ourselves, so the master never sees a hang-up between the
        // program's opens, and make it raw so bytes pass untranslated.
        holder_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        struct termios t {};
        tcgetattr(holder_, &t);
        cfmakeraw(&t);
        tcsetattr(holder_, TCSANOW, &t);
        tcgetattr(master_, &t);
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() {
        StopReading();
        if (holder_ >= 0) ::close(holder_);
        if (master_ >= 0) ::close(master_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return master_ >= 0 && holder_ >= 0; }
    // The printer goes away: the master end closes, the device end hangs up.
    void Vanish() {
        StopReading();
        if (holder_ >= 0) ::close(holder_);
        if (master_ >= 0) ::close(master_);
        holder_ = master_ = -1;
    }
    const std::string& path() const { return path_; }
    int master() const { return master_; }
    int holder() const { return holder_; }

    // Reads until `count` bytes arrived or `timeoutMs` passed without any byte.
    std::string Read(std::size_t count, int timeoutMs = 5000) {
        std::string got;
        char buf[65536];
        while (got.size() < count) {
            struct pollfd p {master_, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0) break;
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0) got.append(buf, static_cast<std::size_t>(n));
            else if (n < 0 && errno != EAGAIN && errno != EINTR) break;
        }
        return got;
    }
    // What is there now, waiting at most `timeoutMs` for the first byte.
    std::string Drain(int timeoutMs = 200) { return Read(static_cast<std::size_t>(-1), timeoutMs); }

    // Collects everything that arrives on a thread of its own, for tests whose own thread is
    // busy running the program (a window's handler, say) while the bytes come.
    void StartReading() {
        stop_ = false;
        reader_ = std::thread([this] {
            char buf[4096];
            while (!stop_) {
                struct pollfd p {master_, POLLIN, 0};
                if (::poll(&p, 1, 20) <= 0) continue;
                const ssize_t n = ::read(master_, buf, sizeof buf);
                if (n > 0) {
                    {
                        std::lock_guard<std::mutex> lock(mutex_);
                        received_.append(buf, static_cast<std::size_t>(n));
                    }
                    arrived_.notify_all();
                } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    return;
                }
            }
        });
    }
    std::string Received() {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }
    // Waits until at least `count` bytes have arrived or `timeoutMs` has passed; what arrived.
    std::string WaitFor(std::size_t count, int timeoutMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [&] { return received_.size() >= count; });
        return received_;
    }
    void StopReading() {
        stop_ = true;
        if (reader_.joinable()) reader_.join();
    }

private:
    int master_ = -1;
    int holder_ = -1;
    std::string path_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::string received_;
};

}  // namespace prax::testing
