// The one run loop, for one printer or many: each link runs the same operation, its record is
// written before its result is told, and one reporter tells it all. A single printer is a line of
// one; the station mode serves USB printers as they are plugged in.
#pragma once

#include <vector>

#include "cli/Arguments.h"
#include "cli/Run.h"

namespace prax::cli {

class RunLog;

// The command on `targets`, one link each. `here` is the run's own host: the input is checked and
// the printers looked for through it, and a single printer is served through it. Each link of a
// line gets a host of its own on its thread, unless `shared` says they all go through `here` one
// after another (a test's fake host).
int RunPrinters(const Invocation& inv, const std::vector<Target>& targets, Prepared& prepared, Streams& io,
                Host& here, bool shared, RunLog* log);
// --watch: each USB printer of an accepted make as it is plugged in, until --count were served or
// the run is interrupted.
int RunStation(const Invocation& inv, Prepared& prepared, Streams& io, Host& here, bool shared, RunLog* log);

}  // namespace prax::cli
