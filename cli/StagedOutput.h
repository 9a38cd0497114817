// The byte stream of --output goes to a file of its own next to FILE and takes FILE's name only
// once the operation has delivered all of it, so an interrupted or failed run never leaves a
// FILE that looks complete, and a refused input (nothing opened) leaves FILE as it was. A FILE
// that is no regular file (a terminal, a pipe, /dev/null) is written directly.
#pragma once

#include <filesystem>
#include <string>

namespace prax::cli {

class StagedOutput {
public:
    explicit StagedOutput(const std::string& path);
    ~StagedOutput();
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    // What the link opens.
    const std::string& OpenPath() const { return temp_.empty() ? path_ : temp_; }
    // Gives the finished stream FILE's name. False, with `error` set, when that fails.
    bool Commit(std::string& error);

private:
    // What a run that was killed outright left of its stream for this FILE: its process is gone.
    static void RemoveLeftovers(const std::filesystem::path& folder, const std::string& prefix);

    std::string path_;
    std::string temp_;
};

}  // namespace prax::cli
