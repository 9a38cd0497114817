// The one step that writes a link's record to --log FILE, before its result is told anywhere: a
// result a script saw is always in the record.
#pragma once

#include <cstddef>
#include <iosfwd>

#include "cli/Arguments.h"
#include "cli/Run.h"

namespace prax::cli {

class RunLog;
struct Recipe;

// The record of one link's run, appended to the log; false with a message on `err` when it fails,
// and a run that was done then fails with that message as its error. A recipe's step (from 1) is
// recorded with the recipe's name and digest; the whole recipe's run (`step` 0) with its file as
// the input.
bool Record(RunLog& log, const Invocation& inv, Prepared& prepared, const Target& target, Ending& e,
            std::ostream& err, const Recipe* recipe = nullptr, std::size_t step = 0);

}  // namespace prax::cli
