// praxdl --json: one JSON object a line on standard output, for a factory line or a test rig to
// read, while the person-facing text goes to standard error.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/ProgressBar.h"
#include "protocol/Operator.h"

namespace prax::cli {

// One object, its members in the order they are added.
class JsonObject {
public:
    explicit JsonObject(std::string_view event) {
        Add("event", event);
        eventEnd_ = body_.size();
    }
    JsonObject& Add(std::string_view key, std::string_view text);
    JsonObject& Add(std::string_view key, const char* text) { return Add(key, std::string_view(text)); }
    JsonObject& Add(std::string_view key, std::int64_t number);
    // With `decimals` places: a rate needs one, a duration in seconds three.
    JsonObject& Add(std::string_view key, double number, int decimals = 1);
    JsonObject& Add(std::string_view key, bool value);
    // A member placed right after "event", so that every object of one printer starts alike.
    JsonObject& AddAfterEvent(std::string_view key, std::string_view text);
    // A recipe's step, {"index":3,"kind":"font"}, placed after "event" as AddAfterEvent places.
    JsonObject& AddStepAfterEvent(std::size_t index, std::string_view kind);
    JsonObject& Add(std::string_view key, const std::vector<std::string>& texts);
    // The object on one line, with its newline.
    std::string Line() const { return body_ + "}\n"; }

private:
    void Key(std::string_view key);
    std::string body_ = "{";
    std::size_t eventEnd_ = 0;
};

// `text` as a JSON string: quotes, backslashes and control characters escaped; bytes that are not
// UTF-8 become U+FFFD so a reader never chokes on a file name or a host's message.
std::string JsonString(std::string_view text);

// The operator praxdl shows to a person, with each event also written as a JSON line: the link
// opening, messages, and the body's progress (bytes sent, total, rate over the last seconds) at
// most five times a second and once when the body is through.
class JsonOperator final : public protocol::Operator {
public:
    using Clock = std::chrono::steady_clock;
    // `shownHint` tells what the person's side showed under its last message (the host's reason
    // after a failed open), so it is asked of the host once.
    JsonOperator(protocol::Operator& person, std::ostream& out, std::function<std::string()> shownHint,
                 std::function<JsonObject()> connection, std::function<Clock::time_point()> now = Clock::now)
        : person_(person), out_(out), shownHint_(std::move(shownHint)), connection_(std::move(connection)),
          now_(std::move(now)) {}

    void Emit(const JsonObject& object);
    // Where several printers are served at once: every object names the connection it is of.
    void SetConnectionLabel(std::string label) { label_ = std::move(label); }
    // In a recipe every object also names the step it is of (from 1; 0: none).
    void SetStep(std::size_t index, std::string kind) {
        step_ = index;
        stepKind_ = std::move(kind);
    }

    void ShowMessage(const std::string& text) override;
    std::string ChooseFile(const protocol::FileDialogSetup& setup) override { return person_.ChooseFile(setup); }
    protocol::FontChoice ChooseFont() override { return person_.ChooseFont(); }
    void ShowProgress() override;
    void HideProgress() override { person_.HideProgress(); }
    void SetProgressColor(protocol::Rgb colour) override { person_.SetProgressColor(colour); }
    void SetProgressMax(std::int32_t max) override;
    void SetProgressPosition(std::int32_t position) override { person_.SetProgressPosition(position); }
    std::int32_t ProgressPosition() override { return person_.ProgressPosition(); }
    void ConnectionOpened() override;
    void BodySent(std::int64_t sent) override;
    void SetStatusText(const std::string& text) override { person_.SetStatusText(text); }
    void ProcessEvents() override { person_.ProcessEvents(); }
    void SetCloseEnabled(bool enabled) override { person_.SetCloseEnabled(enabled); }
    void StartCountdown() override { person_.StartCountdown(); }
    bool StopRequested() override { return person_.StopRequested(); }

    // The last message shown and what the host said with it, for the result object.
    const std::string& lastMessage() const { return lastMessage_; }
    const std::string& lastHint() const { return lastHint_; }

    static constexpr std::chrono::milliseconds kProgressEvery{200};

private:
    protocol::Operator& person_;
    std::ostream& out_;
    std::function<std::string()> shownHint_;
    std::function<JsonObject()> connection_;
    std::function<Clock::time_point()> now_;
    std::string lastMessage_, lastHint_;
    std::string label_;
    std::size_t step_ = 0;
    std::string stepKind_;
    std::int64_t total_ = 0;
    RateMeter rate_;
    std::optional<Clock::time_point> lastProgress_;
};

}  // namespace prax::cli
