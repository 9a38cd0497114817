// What a front end asks of the machine and its processes.
#pragma once

#include <string>

namespace prax::platform {

// This machine's name; empty when the host can't tell it.
std::string ComputerName();

// Whether no process `pid` runs any more (one that runs but isn't ours to look at still runs).
bool ProcessGone(int pid);

}  // namespace prax::platform
