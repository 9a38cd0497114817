#include "cli/Record.h"

#include <chrono>
#include <limits>
#include <ostream>

#include "cli/Recipe.h"
#include "cli/Result.h"
#include "cli/RunLog.h"
#include "cli/Sha256.h"
#include "protocol/Transfer.h"

namespace prax::cli {

const std::string& Prepared::InputDigest() {
    const std::lock_guard<std::mutex> lock(digestMutex_);
    if (!digested_) {
        const auto files = inputs.Files();
        if (!files.empty() && files.front().second->ok()) digest_ = Sha256Hex(files.front().second->bytes);
        digested_ = true;
    }
    return digest_;
}

bool Record(RunLog& log, const Invocation& inv, Prepared& prepared, const Target& target, Ending& e,
            std::ostream& err, const Recipe* recipe, std::size_t step) {
    LogRecord record;
    record.time = std::chrono::system_clock::now();
    record.connection = target.Label();
    record.device = e.device;
    record.usbSerial = e.usbSerial;
    record.command = inv.command;
    // A raw file is read once its link is open, so a link that failed to open has read nothing;
    // its record still names what it was to send, read and checked as a sending run reads it.
    if (inv.command == "raw" && prepared.inputs.Files().empty())
        prepared.inputs.Load(inv.operand, std::numeric_limits<std::int32_t>::max());
    if (const auto files = prepared.inputs.Files(); !files.empty() && files.front().second->ok()) {
        record.inputName = files.front().first;
        record.inputSize = files.front().second->bytes.size();
        record.inputSha256 = prepared.InputDigest();
    }
    if (recipe) {
        record.recipe = recipe->name;
        record.recipeSha256 = recipe->sha256;
        record.step = step;
        if (step == 0) {
            record.inputName = recipe->path;
            record.inputSize = recipe->size;
            record.inputSha256 = recipe->sha256;
            record.steps = e.steps;
            record.stepsDone = e.stepsDone;
            record.failedStep = e.failedStep;
        }
    }
    record.crc = ChecksumOf(e.status);
    record.outcome = OutcomeWord(e.outcome);
    record.delivered = e.delivered;
    record.printerMidImage = e.printerMidImage;
    record.seconds = e.seconds;
    std::string error;
    if (log.Append(record, error)) return true;
    err << "praxdl: " << error << '\n' << std::flush;
    // A run that did its work but left no record is no success, and its result says why.
    if (e.exitCode == kExitDone) {
        e.exitCode = kExitFailed;
        if (e.error.empty()) e.error = error;
    }
    return false;
}

}  // namespace prax::cli
