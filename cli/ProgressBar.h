// The terminal progress line and what goes into it, as plain functions of numbers, so every
// width and unit can be checked without a terminal; and the transfer rate over a moving window.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

namespace prax::cli {

// Bytes per second over the last few seconds of samples, so a printer that slows down (or a
// pty's buffer that filled) shows its present rate, not the average since the start.
class RateMeter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kWindow = std::chrono::seconds(3);

    void Start(Clock::time_point now, std::int64_t position);
    void Add(Clock::time_point now, std::int64_t position);
    double BytesPerSecond() const;  // over the moving window; 0 until it spans some time

private:
    struct Sample {
        Clock::time_point at;
        std::int64_t position;
    };
    // Oldest first. The first one is the newest that lies a whole window back (once there is
    // one), so the rate always covers a full window.
    std::deque<Sample> samples_;
};

// "512 B", "1.2 KiB", "32.0 MiB", "1.5 GiB".
std::string FormatBytes(std::int64_t bytes);
// "512 B/s", "11.3 KiB/s", "1.1 MiB/s".
std::string FormatRate(double bytesPerSecond);
// "0:42", "12:05", "1:02:03"; "--:--" for a time not known (negative, not finite, or too long
// to mean anything).
std::string FormatDuration(double seconds);

// One progress line of at most width - 1 columns (a character in the last column would leave
// the cursor waiting to wrap, and some terminals then wrap or erase it):
//   [#######          ]  42%  1.2 MiB of 32.0 MiB  11.3 KiB/s  0:42 left
// As the width shrinks, the bar shrinks to its least, then the time left goes, then the rate,
// then the byte counts, then the bar itself; the percentage goes last. A rate of 0 is not yet
// known: the time left then shows "--:--".
std::string BarLine(int width, std::int64_t sent, std::int64_t total, double rate);

// The columns of the terminal on `fd`; 80 when it can't be told.
int TerminalWidth(int fd);

}  // namespace prax::cli
