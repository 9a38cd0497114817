// A line of printers: one command to several connections at once, and the station mode that
// serves USB printers as they are plugged in.
#pragma once

#include <vector>

#include "cli/Arguments.h"
#include "cli/Run.h"

namespace prax::cli {

class RunLog;

// The run to several targets at once, and the station mode that serves USB printers as they come.
// `here` is the run's own host: the input is checked and the printers looked for through it. Each
// link gets a host of its own on its thread, unless `shared` says they all go through `here` one
// after another (a test's fake host).
int RunLine(const Invocation& inv, const std::vector<Target>& targets, Prepared& prepared, Streams& io,
            Host& here, bool shared, RunLog* log);
int RunStation(const Invocation& inv, Prepared& prepared, Streams& io, Host& here, bool shared, RunLog* log);

}  // namespace prax::cli
