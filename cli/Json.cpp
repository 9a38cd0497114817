#include "cli/Json.h"

#include <cmath>
#include <cstdio>
#include <ostream>

#include "protocol/HostText.h"

namespace prax::cli {

std::string JsonString(std::string_view text) {
    std::string s = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const std::size_t n = protocol::Utf8SequenceLength(text, i);
        if (n == 0) {
            s += "\\ufffd";
            ++i;
            continue;
        }
        if (n > 1) {
            s.append(text.substr(i, n));
        } else if (c == '"' || c == '\\') {
            s += '\\';
            s += c;
        } else if (c == '\n') {
            s += "\\n";
        } else if (c == '\r') {
            s += "\\r";
        } else if (c == '\t') {
            s += "\\t";
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
            s += escaped;
        } else {
            s += c;
        }
        i += n;
    }
    return s + '"';
}

void JsonObject::Key(std::string_view key) {
    if (body_.size() > 1) body_ += ',';
    body_ += JsonString(key);
    body_ += ':';
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view text) {
    Key(key);
    body_ += JsonString(text);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, std::int64_t number) {
    Key(key);
    body_ += std::to_string(number);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, double number, int decimals) {
    Key(key);
    char text[48];
    // JSON has no infinities; a rate is never negative.
    std::snprintf(text, sizeof text, "%.*f", decimals, std::isfinite(number) ? number : 0.0);
    body_ += text;
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, bool value) {
    Key(key);
    body_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::AddAfterEvent(std::string_view key, std::string_view text) {
    const std::string member = "," + JsonString(key) + ":" + JsonString(text);
    body_.insert(eventEnd_, member);
    eventEnd_ += member.size();
    return *this;
}

JsonObject& JsonObject::AddStepAfterEvent(std::size_t index, std::string_view kind) {
    const std::string member = ",\"step\":{\"index\":" + std::to_string(index) + ",\"kind\":" + JsonString(kind) + "}";
    body_.insert(eventEnd_, member);
    eventEnd_ += member.size();
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const std::vector<std::string>& texts) {
    Key(key);
    body_ += '[';
    for (std::size_t i = 0; i < texts.size(); ++i) body_ += (i ? "," : "") + JsonString(texts[i]);
    body_ += ']';
    return *this;
}

void JsonOperator::Emit(const JsonObject& object) {
    if (label_.empty() && step_ == 0) {
        out_ << object.Line();
    } else {
        JsonObject named = object;
        if (!label_.empty()) named.AddAfterEvent("connection", label_);
        if (step_ != 0) named.AddStepAfterEvent(step_, stepKind_);
        out_ << named.Line();
    }
    out_.flush();
}

void JsonOperator::ShowMessage(const std::string& text) {
    person_.ShowMessage(text);
    lastMessage_ = text;
    lastHint_ = shownHint_ ? shownHint_() : std::string();
    JsonObject object("message");
    object.Add("text", text);
    if (!lastHint_.empty()) object.Add("hint", lastHint_);
    Emit(object);
}

void JsonOperator::ShowProgress() {
    person_.ShowProgress();
    rate_.Start(now_(), 0);
    lastProgress_.reset();
}

void JsonOperator::SetProgressMax(std::int32_t max) {
    person_.SetProgressMax(max);
    total_ = max;
}

void JsonOperator::ConnectionOpened() {
    person_.ConnectionOpened();
    Emit(connection_());
}

void JsonOperator::BodySent(std::int64_t sent) {
    person_.BodySent(sent);
    const Clock::time_point now = now_();
    rate_.Add(now, sent);
    const bool through = sent >= total_;
    if (!through && lastProgress_ && now - *lastProgress_ < kProgressEvery) return;
    lastProgress_ = now;
    const std::int64_t percent = total_ > 0 ? std::min<std::int64_t>(sent * 100 / total_, 100) : 100;
    Emit(JsonObject("progress")
             .Add("sent", sent)
             .Add("total", total_)
             .Add("percent", percent)
             .Add("rate", rate_.BytesPerSecond()));
}

}  // namespace prax::cli
