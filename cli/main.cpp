#include <unistd.h>

#include <iostream>

#include "cli/Interrupt.h"
#include "cli/Praxdl.h"

int main(int argc, char** argv) {
    prax::cli::InstallInterruptHandlers();
    std::vector<std::string> args(argv + 1, argv + argc);
    prax::cli::Streams io{std::cin, std::cout, std::cerr, isatty(STDERR_FILENO) == 1,
                          isatty(STDIN_FILENO) == 1};
    return prax::cli::RunPraxdl(args, io);
}
