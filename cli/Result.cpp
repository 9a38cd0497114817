#include "cli/Result.h"

#include <ostream>

#include "cli/Json.h"

namespace prax::cli {

std::string ChecksumOf(const std::string& status) {
    const std::size_t crc = status.rfind("CRC=");
    if (crc == std::string::npos) return {};
    const std::string digits = status.substr(crc + 4);
    return std::string(digits.size() < 4 ? 4 - digits.size() : 0, '0') + digits;
}

JsonObject ResultObject(const std::string& operation, const Ending& e, const char* event) {
    JsonObject result(event);
    if (!e.connection.empty()) result.Add("connection", e.connection);
    result.Add("operation", operation).Add("outcome", OutcomeWord(e.outcome)).Add("exit", std::int64_t{e.exitCode});
    result.Add("delivered", static_cast<std::int64_t>(e.delivered));
    if (!e.status.empty()) result.Add("status", e.status);
    // The status line shows the register as the window does ("CRC=84"); a script gets all four
    // hex digits.
    if (const std::string checksum = ChecksumOf(e.status); !checksum.empty()) result.Add("checksum", checksum);
    if (!e.error.empty()) result.Add("error", e.error);
    if (!e.reason.empty()) result.Add("reason", e.reason);
    // Every transfer that ended early says whether the printer is left inside an image.
    if (e.outcome == Outcome::Stopped || e.outcome == Outcome::Interrupted)
        result.Add("printerMidImage", e.printerMidImage);
    // A recipe's run tells how far it got.
    if (e.steps > 0) {
        result.Add("steps", static_cast<std::int64_t>(e.steps)).Add("stepsDone", static_cast<std::int64_t>(e.stepsDone));
        if (!e.failedStep.empty()) result.Add("failedStep", e.failedStep);
    }
    // A row of a run to several printers also says what it opened and how long it took.
    if (!e.connection.empty()) {
        if (!e.device.empty()) result.Add("opens", e.device);
        result.Add("seconds", e.seconds, 3);
    }
    return result;
}

void WriteResult(std::ostream& out, const std::string& operation, const Ending& e) {
    out << ResultObject(operation, e).Line() << std::flush;
}

}  // namespace prax::cli
