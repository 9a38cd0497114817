#include "cli/TerminalOperator.h"

#include <cstdio>
#include <fstream>
#include <iostream>

namespace prax::cli {

using namespace std::chrono;

void TerminalOperator::SetAnswers(std::optional<bool> preset, bool ask) {
    preset_ = preset;
    ask_ = ask;
}

int TerminalOperator::Ask(const std::string& text, const std::string& caption, std::uint32_t type) {
    if (!(type & platform::MB_YESNO_)) {
        ShowMessage(text);
        return 1;
    }
    // The question on one line: its line breaks and the blanks around them become one blank.
    std::string oneLine;
    for (char c : text) {
        const bool blank = c == '\r' || c == '\n' || c == ' ';
        if (blank && (oneLine.empty() || oneLine.back() == ' ')) continue;
        oneLine += blank ? ' ' : c;
    }
    while (!oneLine.empty() && oneLine.back() == ' ') oneLine.pop_back();
    if (lineOpen_) {
        err_ << '\n';
        lineOpen_ = false;
    }
    bool yes = false;
    if (StopRequested()) {
        err_ << caption << ": " << oneLine << " -> No (interrupted)\n";
        answeredBy_ = "interrupted";
    } else if (preset_) {
        yes = *preset_ && presetYesInARow_ < kMaxPresetYes;
        presetYesInARow_ = yes ? presetYesInARow_ + 1 : 0;
        answeredBy_ = *preset_ && !yes ? "limit" : "option";
        err_ << caption << ": " << oneLine << " -> " << (yes ? "Yes" : "No")
                 << (*preset_ && !yes ? " (asked too often)" : "") << '\n';
    } else if (ask_) {
        err_ << caption << ": " << oneLine << " [y/N] " << std::flush;
        answeredBy_ = "terminal";
        std::ifstream tty("/dev/tty");
        std::string answer;
        if (tty && std::getline(tty, answer))
            yes = !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
    } else {
        err_ << caption << ": " << oneLine << " -> No (nobody to ask)\n";
        answeredBy_ = "nobody";
    }
    err_.flush();
    return yes ? platform::IDYES_ : platform::IDNO_;
}

void TerminalOperator::ShowMessage(const std::string& text) {
    if (lineOpen_) {
        err_ << '\n';
        lineOpen_ = false;
    }
    err_ << text << '\n';
    if ((text == "Open port failed" || text == "Can't open port") && openHint_) {
        const std::string hint = openHint_();
        if (!hint.empty()) err_ << "  " << hint << '\n';
    }
    err_.flush();
}

void TerminalOperator::ShowProgress() {
    visible_ = true;
    started_ = steady_clock::now();
    lastDraw_ = {};
    lastPercent_ = -1;
    lastLineTenth_ = -1;
}

void TerminalOperator::HideProgress() {
    if (visible_ && style_ == ProgressStyle::Bar && lineOpen_) {
        Draw(true);
        err_ << '\n';
        err_.flush();
        lineOpen_ = false;
    }
    visible_ = false;
}

void TerminalOperator::SetProgressMax(std::int32_t max) { gauge_.SetMaxValue(max); }

void TerminalOperator::SetProgressPosition(std::int32_t position) {
    gauge_.SetProgress(position);
    if (visible_) Draw(false);
}

void TerminalOperator::Draw(bool final) {
    if (style_ == ProgressStyle::None) return;
    const int percent = gauge_.Percent();
    const auto now = steady_clock::now();
    if (style_ == ProgressStyle::Lines) {
        const int tenth = percent / 10;
        if (tenth == lastLineTenth_) return;
        lastLineTenth_ = tenth;
        err_ << gauge_.Progress() << " of " << gauge_.MaxValue() << " bytes (" << percent << "%)\n";
        err_.flush();
        return;
    }
    // Redraw when the percentage moved or a fifth of a second passed, not on every block.
    if (!final && percent == lastPercent_ && now - lastDraw_ < milliseconds(200)) return;
    lastPercent_ = percent;
    lastDraw_ = now;
    const double seconds = duration<double>(now - started_).count();
    const double rate = seconds > 0 ? gauge_.Progress() / seconds / 1024.0 : 0.0;
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    char line[160];
    std::snprintf(line, sizeof line, "\r[%-*s] %3d%%  %d of %d bytes  %.1f KiB/s", kWidth,
                  std::string(static_cast<std::size_t>(filled), '#').c_str(), percent,
                  gauge_.Progress(), gauge_.MaxValue(), rate);
    err_ << line << std::flush;
    lineOpen_ = true;
}

}  // namespace prax::cli
