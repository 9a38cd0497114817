// A pseudo-terminal standing in for a serial port: the program opens the device end through
// PRAX_COMn, the test reads what arrives on the other end.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0 && slave_ >= 0; }
    const std::string& devicePath() const { return path_; }

    // Collects everything that arrives, on a thread of its own, so a transfer larger than the
    // pty's buffer never waits for the test to come round to reading.
    void StartReading();
    // What has arrived so far.
    std::string Received();
    // Waits until at least `count` bytes have arrived or `timeoutMs` has passed; what arrived.
    std::string WaitFor(std::size_t count, int timeoutMs);
    void StopReading();

private:
    int master_ = -1;
    int slave_ = -1;  // kept open so the pty lives between the program's opens
    std::string path_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::string received_;
};
