// A folder of the fuzzer's own under $TMPDIR, made on first use and removed at exit, so a target
// that reads or names files never touches anything outside it.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace prax::fuzz {

inline const std::string& ScratchFolder() {
    // Never destroyed: the exit handler below still needs it after static objects are gone.
    static const std::string& folder = *new std::string([] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/prax-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(ScratchFolder(), ec);
        });
        return pattern;
    }());
    return folder;
}

}  // namespace prax::fuzz
