#include <unistd.h>

#include <iostream>

#include "cli/Interrupt.h"
#include "cli/Praxdl.h"

int main(int argc, char** argv) {
    prax::cli::InstallInterruptHandlers();
    std::vector<std::string> args(argv + 1, argv + argc);
    prax::cli::Streams io{std::cin, std::cout, std::cerr, isatty(STDERR_FILENO) == 1,
                          isatty(STDIN_FILENO) == 1};
    const int code = prax::cli::RunPraxdl(args, io);
    // What a script reads (the status line, the lists, the JSON lines) must have reached it: a
    // full disk or a closed pipe is no success.
    if (!std::cout.flush() && code == prax::cli::kExitDone) {
        std::cerr << "praxdl: cannot write to standard output\n";
        return prax::cli::kExitFailed;
    }
    return code;
}
