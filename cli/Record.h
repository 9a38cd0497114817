// The one step that writes a link's record to --log FILE, before its result is told anywhere: a
// result a script saw is always in the record.
#pragma once

#include <iosfwd>

#include "cli/Arguments.h"
#include "cli/Run.h"

namespace prax::cli {

class RunLog;

// The record of one link's run, appended to the log; false with a message on `err` when it fails,
// and a run that was done then fails with that message as its error.
bool Record(RunLog& log, const Invocation& inv, Prepared& prepared, const Target& target, Ending& e,
            std::ostream& err);

}  // namespace prax::cli
