// An operator for tests: records what an operation showed, in order, answers the file dialog from
// a script, and holds the gauge in the same model the window paints.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "protocol/GaugeModel.h"
#include "protocol/Operator.h"

namespace prax::testing {

class Recorder : public protocol::Operator {
public:
    std::vector<std::string> log;        // "message: ...", "status: ...", "close: off", ...
    std::vector<std::string> messages;
    std::vector<std::string> statuses;
    std::vector<std::int32_t> positions;  // the gauge position after each set
    std::vector<protocol::FileDialogSetup> dialogs;
    std::deque<std::string> files;        // answers of the file dialog; empty: cancelled
    std::deque<protocol::FontChoice> fonts;  // answers of the font list; none left: no choice
    int eventsProcessed = 0;
    bool closeEnabled = true;
    bool progressVisible = false;
    protocol::GaugeModel gauge;
    std::function<void()> onProcessEvents;
    bool stopRequested = false;

    void ShowMessage(const std::string& text) override;
    std::string ChooseFile(const protocol::FileDialogSetup& setup) override;
    protocol::FontChoice ChooseFont() override;
    void ShowProgress() override;
    void HideProgress() override;
    void SetProgressColor(protocol::Rgb colour) override;
    void SetProgressMax(std::int32_t max) override;
    void SetProgressPosition(std::int32_t position) override;
    std::int32_t ProgressPosition() override { return gauge.Progress(); }
    void SetStatusText(const std::string& text) override;
    void ProcessEvents() override;
    void SetCloseEnabled(bool enabled) override;
    bool StopRequested() override { return stopRequested; }
    void StartCountdown() override { log.push_back("countdown"); }

    // The log without the per-chunk entries ("events", "position ..."), for checking the frame.
    std::vector<std::string> Frame() const;
};

}  // namespace prax::testing
