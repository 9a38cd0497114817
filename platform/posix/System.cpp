#include "platform/System.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace prax::platform {

std::string ComputerName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

bool ProcessGone(int pid) { return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH; }

}  // namespace prax::platform
