#include "cli/Json.h"

#include <cmath>
#include <cstdio>
#include <ostream>


namespace prax::cli {

namespace {

// The length of the UTF-8 sequence starting at `text[i]`, 0 when it is not a valid one.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b = byte(i);
    std::size_t n = 0;
    unsigned min = 0;
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF) n = 2, min = 0x80;
    else if (b >= 0xE0 && b <= 0xEF) n = 3, min = 0x800;
    else if (b >= 0xF0 && b <= 0xF4) n = 4, min = 0x10000;
    else return 0;
    if (i + n > text.size()) return 0;
    unsigned code = b & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(i + k) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return n;
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string s = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const std::size_t n = Utf8Length(text, i);
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

JsonObject& JsonObject::Add(std::string_view key, double number) {
    Key(key);
    char text[32];
    // JSON has no infinities; a rate is never negative.
    std::snprintf(text, sizeof text, "%.1f", std::isfinite(number) ? number : 0.0);
    body_ += text;
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, bool value) {
    Key(key);
    body_ += value ? "true" : "false";
    return *this;
}

void JsonOperator::Emit(const JsonObject& object) {
    out_ << object.Line();
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
