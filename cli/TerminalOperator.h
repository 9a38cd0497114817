// The operator on a terminal: messages on standard error, progress as a bar or plain lines,
// questions answered by the person at the terminal, by --yes/--no, or No when nobody can answer.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "cli/ProgressBar.h"
#include "platform/Platform.h"
#include "protocol/GaugeModel.h"
#include "protocol/Operator.h"

namespace prax::cli {

enum class ProgressStyle { None, Bar, Lines };

class TerminalOperator : public protocol::Operator {
public:
    using Clock = std::chrono::steady_clock;

    TerminalOperator(std::ostream& err, ProgressStyle style) : err_(err), style_(style) {}

    // Where the time and the terminal's width come from: the steady clock and standard error's
    // terminal unless set (tests set their own). The width is asked again at the first draw of
    // each progress and after the terminal was resized.
    void SetClock(std::function<Clock::time_point()> clock) { clock_ = std::move(clock); }
    void SetWidth(std::function<int()> width) { width_ = std::move(width); }

    // --yes / --no, or nothing (ask when `ask` is set, else No). Questions and their answers
    // are shown even with --quiet: they say why a run took long or ended early.
    void SetAnswers(std::optional<bool> preset, bool ask);
    int Ask(const std::string& text, const std::string& caption, std::uint32_t type);
    // Who gave the last answer: "option" (--yes/--no), "terminal", "nobody" (No: nobody to ask),
    // "interrupted" (No after a stop request) or "limit" (--yes asked too often turns to No).
    const char* answeredBy() const { return answeredBy_; }
    // Under the window's message, what the host said about the last failed open.
    void SetOpenHint(std::function<std::string()> hint) { openHint_ = std::move(hint); }
    // Told the moment a transfer's link has opened.
    void SetOnOpened(std::function<void()> opened) { onOpened_ = std::move(opened); }
    void ConnectionOpened() override {
        if (onOpened_) onOpened_();
    }
    // The hint shown under the last message; empty when there was none.
    const std::string& lastHint() const { return lastHint_; }
    // Told the gauge's position and maximum at each step while the progress is shown, for a
    // display of its own (a row among several printers' rows).
    void SetProgressReport(std::function<void(std::int64_t position, std::int64_t max)> report) {
        report_ = std::move(report);
    }

    void ShowMessage(const std::string& text) override;
    std::string ChooseFile(const protocol::FileDialogSetup&) override { return {}; }
    void ShowProgress() override;
    void HideProgress() override;
    void SetProgressColor(protocol::Rgb colour) override { gauge_.SetForeColor(colour); }
    void SetProgressMax(std::int32_t max) override;
    void SetProgressPosition(std::int32_t position) override;
    std::int32_t ProgressPosition() override { return gauge_.Progress(); }
    // Plain lines count the bytes that went; the gauge shows one more.
    void BodySent(std::int64_t sent) override { bodySent_ = sent; }
    void SetStatusText(const std::string& text) override { status_ = text; }
    void ProcessEvents() override {}
    void SetCloseEnabled(bool) override {}
    // A signal asked praxdl to stop: the operation ends and every question is answered No.
    void SetStopFlag(const volatile std::sig_atomic_t* flag) { stop_ = flag; }
    bool StopRequested() override { return stop_ != nullptr && *stop_ != 0; }

    const std::string& status() const { return status_; }

    // Questions answered Yes in a row with --yes before the answer turns to No, so a printer
    // that is gone for good still ends the run.
    static constexpr int kMaxPresetYes = 30;

private:
    // `end` follows the line in the same write.
    void Draw(bool final, Clock::time_point now, const char* end = "");
    // Ends an open bar line, showing the position reached, so what follows starts a line.
    void EndLine();

    std::ostream& err_;
    ProgressStyle style_;
    protocol::GaugeModel gauge_;
    std::string status_;
    std::function<std::string()> openHint_;
    std::function<void()> onOpened_;
    std::function<void(std::int64_t, std::int64_t)> report_;
    std::string lastHint_;
    const volatile std::sig_atomic_t* stop_ = nullptr;
    std::optional<bool> preset_;
    bool ask_ = false;
    int presetYesInARow_ = 0;
    const char* answeredBy_ = "nobody";
    bool visible_ = false;
    bool lineOpen_ = false;
    int lastPercent_ = -1;
    std::int64_t bodySent_ = 0;
    std::int32_t drawnPosition_ = -1;
    int lastLineTenth_ = -1;
    std::function<Clock::time_point()> clock_ = [] { return Clock::now(); };
    std::function<int()> width_;
    int columns_ = 0;  // 0: to be asked
    RateMeter meter_;
    Clock::time_point lastDraw_;
};

}  // namespace prax::cli
