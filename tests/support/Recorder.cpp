#include "tests/support/Recorder.h"

namespace prax::testing {

void Recorder::ShowMessage(const std::string& text) {
    messages.push_back(text);
    log.push_back("message: " + text);
}

std::string Recorder::ChooseFile(const protocol::FileDialogSetup& setup) {
    dialogs.push_back(setup);
    log.push_back("choose file");
    if (files.empty()) return {};
    std::string f = files.front();
    files.pop_front();
    return f;
}

protocol::FontChoice Recorder::ChooseFont() {
    log.push_back("choose font");
    if (fonts.empty()) return {};
    protocol::FontChoice f = fonts.front();
    fonts.pop_front();
    return f;
}

void Recorder::ShowProgress() {
    progressVisible = true;
    log.push_back("progress: show");
}

void Recorder::HideProgress() {
    progressVisible = false;
    log.push_back("progress: hide");
}

void Recorder::SetProgressColor(protocol::Rgb c) {
    gauge.SetForeColor(c);
    log.push_back("progress: colour " + std::to_string(c.r) + "," + std::to_string(c.g) + "," +
                  std::to_string(c.b));
}

void Recorder::SetProgressMax(std::int32_t max) {
    gauge.SetMaxValue(max);
    log.push_back("progress: max " + std::to_string(max));
}

void Recorder::SetProgressPosition(std::int32_t position) {
    gauge.SetProgress(position);
    positions.push_back(gauge.Progress());
    log.push_back("position " + std::to_string(position));
}

void Recorder::SetStatusText(const std::string& text) {
    statuses.push_back(text);
    log.push_back("status: " + text);
}

void Recorder::ProcessEvents() {
    ++eventsProcessed;
    log.push_back("events");
    if (onProcessEvents) onProcessEvents();
}

void Recorder::SetCloseEnabled(bool enabled) {
    closeEnabled = enabled;
    log.push_back(enabled ? "close: on" : "close: off");
}

std::vector<std::string> Recorder::Frame() const {
    std::vector<std::string> frame;
    for (const auto& entry : log) {
        if (entry == "events" || entry.rfind("position ", 0) == 0 || entry.rfind("status: ", 0) == 0)
            continue;
        frame.push_back(entry);
    }
    return frame;
}

}  // namespace prax::testing
