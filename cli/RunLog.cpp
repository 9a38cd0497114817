#include "cli/RunLog.h"

#include <cstdio>

#include "cli/Json.h"
#include "platform/System.h"

namespace prax::cli {

std::string Iso8601Utc(std::chrono::system_clock::time_point t) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(t);
    const auto day = floor<days>(ms);
    const year_month_day date{day};
    const hh_mm_ss time{ms - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return text;
}

std::string HostName() {
    const std::string name = platform::ComputerName();
    return name.empty() ? "unknown" : name;
}

std::unique_ptr<RunLog> RunLog::Open(const std::string& path, std::string& error) {
    std::unique_ptr<RunLog> log(new RunLog(path));
    const std::string cannot = "cannot open " + path + " for appending: ";
    std::string why;
    log->file_ = platform::AppendFile::Open(path, why);
    if (!log->file_) {
        error = cannot + why;
        return nullptr;
    }
    log->host_ = HostName();
    return log;
}

RunLog::~RunLog() = default;

std::string RunLog::Line(const LogRecord& record, const std::string& hostName) {
    JsonObject object("record");
    object.Add("time", Iso8601Utc(record.time)).Add("host", hostName).Add("connection", record.connection);
    object.Add("device", record.device);
    if (!record.usbSerial.empty()) object.Add("usbSerial", record.usbSerial);
    object.Add("command", record.command);
    if (!record.recipe.empty()) {
        object.Add("recipe", record.recipe).Add("recipeSha256", record.recipeSha256);
        if (record.step > 0) object.Add("step", static_cast<std::int64_t>(record.step));
        else object.Add("steps", static_cast<std::int64_t>(record.steps)).Add("stepsDone", static_cast<std::int64_t>(record.stepsDone));
        if (!record.failedStep.empty()) object.Add("failedStep", record.failedStep);
    }
    if (!record.inputName.empty()) {
        object.Add("input", record.inputName)
            .Add("inputSize", static_cast<std::int64_t>(record.inputSize))
            .Add("sha256", record.inputSha256);
    }
    if (!record.crc.empty()) object.Add("crc", record.crc);
    object.Add("outcome", record.outcome).Add("delivered", static_cast<std::int64_t>(record.delivered));
    if (record.printerMidImage) object.Add("printerMidImage", true);
    object.Add("seconds", record.seconds, 3);
    return object.Line();
}

bool RunLog::Append(const LogRecord& record, std::string& error) {
    const std::string line = Line(record, host_);
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t lead = torn_ ? 1 : 0;  // the newline that ends a torn line
    const std::string text = torn_ ? "\n" + line : line;
    // One write of the whole line: split in two, another program's line could land in between.
    std::size_t went = 0;
    std::string why;
    if (!file_->Write(text, went, why)) {
        error = "cannot append to " + path_ + ": " + why;
        return false;
    }
    if (went != text.size()) {
        if (went > 0) torn_ = went > lead;
        error = "cannot append to " + path_ + ": only " + std::to_string(went) + " of " + std::to_string(text.size()) +
                " bytes written";
        return false;
    }
    torn_ = false;
    // A pipe, a FIFO or a terminal keeps nothing to put on a disk: the line has gone once it is
    // written. Only a file's flush that fails loses it.
    if (!file_->Flush(why)) {
        error = "cannot flush " + path_ + " to the disk: " + why;
        return false;
    }
    return true;
}

}  // namespace prax::cli
