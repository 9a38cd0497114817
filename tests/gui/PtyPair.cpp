#include "tests/gui/PtyPair.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {
void MakeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return;
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
}
}  // namespace

PtyPair::PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) return;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    const char* name = ptsname(master_);
    if (name == nullptr) return;
    path_ = name;
    slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY);
    if (slave_ < 0) return;
    MakeRaw(master_);
    MakeRaw(slave_);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    StopReading();
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
}

void PtyPair::StartReading() {
    stop_ = false;
    reader_ = std::thread([this] {
        char buffer[4096];
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n > 0) {
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    received_.append(buffer, static_cast<std::size_t>(n));
                }
                arrived_.notify_all();
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return;
            }
        }
    });
}

std::string PtyPair::Received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

std::string PtyPair::WaitFor(std::size_t count, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_until(lock, deadline, [&] { return received_.size() >= count; });
    return received_;
}

void PtyPair::StopReading() {
    stop_ = true;
    if (reader_.joinable()) reader_.join();
}
