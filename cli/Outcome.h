// How the run of one printer ended, as the result object, the log record and the table say it.
#pragma once

#include "protocol/Context.h"

namespace prax::cli {

enum class Outcome {
    Done,         // the operation delivered everything
    Cancelled,    // the operation did nothing
    Refused,      // the input was refused before anything was opened
    OpenFailed,   // the connection could not be opened; nothing was sent
    Stopped,      // a write gave up or failed; the transfer ended early
    Interrupted,  // a signal stopped the run
    Checked,      // only the input was read and checked; nothing was opened
    Failed,       // praxdl's own part failed: the input could not be read, the stream not named
    Usage,        // the command line was refused before anything opened
};

// The operation's outcome, as praxdl tells it.
Outcome OutcomeOf(protocol::Outcome outcome);

// The word for `outcome` ("done", "open-failed", ...): the one spelling of every outcome.
const char* OutcomeWord(Outcome outcome);

}  // namespace prax::cli
