#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#if !defined(_WIN32)
#include <poll.h>
#endif

#include <iostream>

#if defined(_WIN32)
#include "platform/win32/WindowsApi.h"
#endif

#include "cli/Interrupt.h"
#include "cli/Praxdl.h"

namespace {

// Whether the progress bar can be drawn on standard error: a terminal that understands the
// line-clearing sequence. A Windows console does once asked to; one that can't gets plain lines.
bool ErrorIsTerminal() {
    if (isatty(STDERR_FILENO) != 1) return false;
#if defined(_WIN32)
    const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(console, &mode)) return false;
    return SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
    return true;
#endif
}

// Whether `fd` is a pipe whose reading end is closed.
bool ReaderGone(int fd) {
#if defined(_WIN32)
    (void)fd;
    return false;
#else
    struct pollfd p {fd, POLLOUT, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLERR) != 0;
#endif
}

// Why standard input can't be read as text, or nothing: the stream library would take a closed
// input or a folder for an empty one.
std::string StandardInputProblem() {
    struct stat st {};
    if (::fstat(STDIN_FILENO, &st) != 0) return std::string("cannot read standard input: ") + std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "cannot read standard input: it is a folder";
    return {};
}

// Where the whole manual is. On Windows that is doc\praxdl.html beside the bin folder that holds
// praxdl.exe, as the packages install it; run from elsewhere (a build folder), the page is named
// all the same, so the user knows what to look for. Elsewhere it is the man page.
std::string ManualPage() {
#if defined(_WIN32)
    char path[4 * MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length < sizeof path ? length : 0);
    for (int up = 0; up < 2 && !folder.empty(); ++up) {  // praxdl.exe, then bin
        const std::size_t slash = folder.find_last_of("\\/");
        folder.resize(slash == std::string::npos ? 0 : slash);
    }
    const std::string page = folder + "\\doc\\praxdl.html";
    if (!folder.empty() && GetFileAttributesA(page.c_str()) != INVALID_FILE_ATTRIBUTES) return page;
    return "praxdl.html in the doc folder of the installed tool";
#else
    return {};
#endif
}

// The help speaks of COM ports and of the console's Ctrl+C, Ctrl+Break and closing on Windows.
prax::cli::HostSystem HelpSystem() {
#if defined(_WIN32)
    return prax::cli::HostSystem::Windows;
#else
    return prax::cli::HostSystem::Posix;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    const std::string inProblem = StandardInputProblem();
    prax::cli::InstallInterruptHandlers();
    std::vector<std::string> args(argv + 1, argv + argc);
    prax::cli::Streams io{std::cin, std::cout, std::cerr, ErrorIsTerminal(), isatty(STDIN_FILENO) == 1, inProblem,
                          ManualPage(), HelpSystem()};
    const int code = prax::cli::RunPraxdl(args, io);
    // What a script reads (the status line, the lists, the JSON lines) must have reached it: a
    // full disk or a closed pipe is no success.
    // A reader that went away on purpose (`| head -1`) took what it wanted: the exit status is
    // still the transfer's.
    if (!std::cout.flush() && code == prax::cli::kExitDone && !ReaderGone(STDOUT_FILENO)) {
        std::cerr << "praxdl: cannot write to standard output\n";
        return prax::cli::kExitFailed;
    }
    return code;
}
