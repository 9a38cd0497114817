// The operation of the command line on one connection: the link set up as the target names it,
// the operator that speaks for it, the command run, and how it ended.
#pragma once

#include "cli/Arguments.h"
#include "cli/Run.h"

namespace prax::cli {

// The operation of the command line on one target through `host`. With `checkOnly` only the input
// is read and checked: Outcome Checked, or the refusal.
Ending RunLink(const Invocation& inv, const Target& target, Prepared& prepared, Host& host, LinkOutput& out,
               bool checkOnly = false);

}  // namespace prax::cli
