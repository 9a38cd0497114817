#include "cli/ProgressBar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "platform/Console.h"

namespace prax::cli {

namespace {

// Samples closer together than this are merged, so a fast link that reports every few hundred
// bytes keeps the window to a few dozen samples.
constexpr RateMeter::Clock::duration kSampleStep = std::chrono::milliseconds(100);
// A rate from less than this is mostly noise (the first writes only fill the port's buffers).
constexpr RateMeter::Clock::duration kLeastSpan = std::chrono::milliseconds(500);
// The bar is not worth drawing narrower than this; the texts beside it go first.
constexpr int kLeastBar = 10;

// `value` in the largest binary unit that keeps it below 1024 as shown (one decimal).
std::string Scaled(double value, const char* suffix) {
    static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    value /= 1024.0;
    std::size_t unit = 0;
    while (value >= 1023.95 && unit + 1 < std::size(kUnits)) {
        value /= 1024.0;
        ++unit;
    }
    char text[48];
    std::snprintf(text, sizeof text, "%.1f %s%s", value, kUnits[unit], suffix);
    return text;
}

std::string PadLeft(std::string text, std::size_t width) {
    if (text.size() < width) text.insert(0, width - text.size(), ' ');
    return text;
}

}  // namespace

void RateMeter::Start(Clock::time_point now, std::int64_t position) {
    samples_.clear();
    samples_.push_back({now, position});
}

void RateMeter::Add(Clock::time_point now, std::int64_t position) {
    // Nothing to measure from, or a count that went back (a new transfer): begin again.
    if (samples_.empty() || position < samples_.back().position || now < samples_.back().at) {
        Start(now, position);
        return;
    }
    if (samples_.size() >= 2 && now - samples_[samples_.size() - 2].at < kSampleStep)
        samples_.back() = {now, position};
    else
        samples_.push_back({now, position});
    while (samples_.size() > 2 && samples_[1].at <= now - kWindow) samples_.pop_front();
}

double RateMeter::BytesPerSecond() const {
    if (samples_.size() < 2) return 0.0;
    const auto span = samples_.back().at - samples_.front().at;
    if (span < kLeastSpan) return 0.0;
    return static_cast<double>(samples_.back().position - samples_.front().position) /
           std::chrono::duration<double>(span).count();
}

std::string FormatBytes(std::int64_t bytes) {
    if (bytes < 1024) return std::to_string(std::max<std::int64_t>(bytes, 0)) + " B";
    return Scaled(static_cast<double>(bytes), "");
}

std::string FormatRate(double bytesPerSecond) {
    if (!std::isfinite(bytesPerSecond) || bytesPerSecond < 0) bytesPerSecond = 0;
    if (bytesPerSecond < 1023.5) return std::to_string(std::llround(bytesPerSecond)) + " B/s";
    return Scaled(bytesPerSecond, "/s");
}

std::string FormatDuration(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0 || seconds >= 100.0 * 3600) return "--:--";
    const long long s = std::llround(seconds);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

std::string BarLine(int width, std::int64_t sent, std::int64_t total, double rate) {
    const int room = width - 1;
    if (room <= 0) return {};
    if (total > 0) sent = std::clamp<std::int64_t>(sent, 0, total);
    const bool rateKnown = std::isfinite(rate) && rate > 0;
    const int percent = total > 0 ? static_cast<int>(static_cast<long double>(sent) * 100 / total) : 0;
    char percentText[8];
    std::snprintf(percentText, sizeof percentText, "%3d%%", percent);

    // The counts keep their widths as they grow, so the bar beside them doesn't jitter.
    const std::string totalText = FormatBytes(total);
    const std::string parts[] = {
        percentText,
        PadLeft(FormatBytes(sent), totalText.size()) + " of " + totalText,
        PadLeft(rateKnown ? FormatRate(rate) : "-- B/s", 10),
        PadLeft(rateKnown ? FormatDuration(static_cast<double>(total - sent) / rate) : "--:--", 5) + " left",
    };
    for (std::size_t count = std::size(parts); count > 0; --count) {
        std::string text = parts[0];
        for (std::size_t i = 1; i < count; ++i) text += "  " + parts[i];
        const int inner = room - 3 - static_cast<int>(text.size());
        if (inner < kLeastBar) continue;
        const auto filled = total > 0 ? static_cast<std::size_t>(static_cast<long double>(inner) * sent / total) : 0;
        return "[" + std::string(filled, '#') + std::string(static_cast<std::size_t>(inner) - filled, ' ') + "] " +
               text;
    }
    // Too narrow for any bar: the percentage alone, without its padding when that is too much.
    std::string alone = percentText;
    if (static_cast<int>(alone.size()) > room) alone.erase(0, alone.find_first_not_of(' '));
    return static_cast<int>(alone.size()) <= room ? alone : std::string();
}

int TerminalWidth(int fd) {
    const int columns = platform::ConsoleColumns(fd);
    return columns > 0 ? columns : 80;
}

}  // namespace prax::cli
