#include "cli/TerminalOperator.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iostream>

#include "cli/Interrupt.h"
#include "protocol/Commands.h"

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
    EndLine();
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
    EndLine();
    err_ << text << '\n';
    lastHint_ = protocol::IsOpenFailureMessage(text) && openHint_ ? openHint_() : std::string();
    if (!lastHint_.empty()) err_ << "  " << lastHint_ << '\n';
    err_.flush();
}

void TerminalOperator::ShowProgress() {
    visible_ = true;
    bodySent_ = 0;
    meter_.Start(clock_(), gauge_.Progress());
    columns_ = 0;
    lastDraw_ = {};
    lastPercent_ = -1;
    lastLineTenth_ = -1;
}

void TerminalOperator::HideProgress() {
    if (visible_) EndLine();
    visible_ = false;
}

void TerminalOperator::SetProgressMax(std::int32_t max) { gauge_.SetMaxValue(max); }

void TerminalOperator::SetProgressPosition(std::int32_t position) {
    gauge_.SetProgress(position);
    if (!visible_) return;
    // The bytes that went, as the plain lines count them.
    if (report_) report_(std::min<std::int64_t>(bodySent_, gauge_.MaxValue()), gauge_.MaxValue());
    const auto now = clock_();
    meter_.Add(now, gauge_.Progress());
    Draw(false, now);
}

void TerminalOperator::EndLine() {
    if (!lineOpen_) return;
    if (gauge_.Progress() != drawnPosition_)
        Draw(true, clock_(), "\n");
    else
        err_ << '\n' << std::flush;
    lineOpen_ = false;
    // The next position starts the bar again on the new line, however soon it comes.
    lastPercent_ = -1;
}

void TerminalOperator::Draw(bool final, Clock::time_point now, const char* end) {
    if (style_ == ProgressStyle::None) return;
    const int percent = gauge_.Percent();
    if (style_ == ProgressStyle::Lines) {
        // The count and its percentage are of the bytes that went, so 100% comes with the last.
        const std::int64_t max = gauge_.MaxValue();
        const std::int64_t went = max > 0 && bodySent_ > max ? max : bodySent_;
        const auto wentPercent = static_cast<int>(max > 0 ? went * 100 / max : percent);
        const int tenth = wentPercent / 10;
        if (tenth == lastLineTenth_) return;
        lastLineTenth_ = tenth;
        err_ << went << " of " << max << " bytes (" << wentPercent << "%)\n";
        err_.flush();
        return;
    }
    const bool resized = gWindowResized != 0;
    if (resized || columns_ == 0) {
        gWindowResized = 0;
        columns_ = width_ ? width_() : TerminalWidth(STDERR_FILENO);
        if (columns_ <= 0) columns_ = 80;
    }
    // Redraw when the percentage moved, a fifth of a second passed or the width changed, not on
    // every block.
    if (!final && !resized && percent == lastPercent_ && now - lastDraw_ < milliseconds(200)) return;
    lastPercent_ = percent;
    lastDraw_ = now;
    drawnPosition_ = gauge_.Progress();
    // From the start of the line, and clear what a longer line before left behind; in one write,
    // so the terminal never shows half a line.
    err_ << "\r" + BarLine(columns_, gauge_.Progress(), gauge_.MaxValue(), meter_.BytesPerSecond()) + "\x1b[K" +
                end
         << std::flush;
    lineOpen_ = true;
}

}  // namespace prax::cli
