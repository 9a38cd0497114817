#include "cli/Outcome.h"

namespace prax::cli {

Outcome OutcomeOf(protocol::Outcome outcome) {
    switch (outcome) {
        case protocol::Outcome::Done: return Outcome::Done;
        case protocol::Outcome::Cancelled: return Outcome::Cancelled;
        case protocol::Outcome::Refused: return Outcome::Refused;
        case protocol::Outcome::OpenFailed: return Outcome::OpenFailed;
        case protocol::Outcome::Stopped: return Outcome::Stopped;
        case protocol::Outcome::Interrupted: return Outcome::Interrupted;
        case protocol::Outcome::Checked: return Outcome::Checked;
    }
    return Outcome::Failed;
}

const char* OutcomeWord(Outcome outcome) {
    switch (outcome) {
        case Outcome::Done: return "done";
        case Outcome::Cancelled: return "cancelled";
        case Outcome::Refused: return "refused";
        case Outcome::OpenFailed: return "open-failed";
        case Outcome::Stopped: return "stopped";
        case Outcome::Interrupted: return "interrupted";
        case Outcome::Checked: return "checked";
        case Outcome::Failed: return "failed";
        case Outcome::Usage: return "usage";
    }
    return "failed";
}

}  // namespace prax::cli
