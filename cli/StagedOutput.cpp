#include "cli/StagedOutput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/System.h"

namespace prax::cli {

StagedOutput::StagedOutput(const std::string& path) : path_(path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return;
    std::error_code ec;
    // Onto a symbolic link: the file it points to gets the stream, and the link stays.
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) {
        const auto target = std::filesystem::weakly_canonical(path, ec);
        if (!ec) path_ = target.string();
    }
    const std::filesystem::path p(path_);
    std::string prefix = ".";
    prefix += p.filename().string() + ".praxdl-";
    RemoveLeftovers(p.parent_path(), prefix);
    temp_ = (p.parent_path() / (prefix + std::to_string(::getpid()) + ".part")).string();
}

StagedOutput::~StagedOutput() {
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

bool StagedOutput::Commit(std::string& error) {
    if (temp_.empty()) return true;
    struct stat st {};
    if (::stat(temp_.c_str(), &st) != 0) return true;  // never opened: nothing to give
    // Over a FILE that is there already, on Windows too.
    std::error_code ec;
    std::filesystem::rename(temp_, path_, ec);
    if (ec) {
        error = "cannot rename " + temp_ + " to " + path_ + ": " + ec.message();
        return false;
    }
    temp_.clear();
    return true;
}

void StagedOutput::RemoveLeftovers(const std::filesystem::path& folder, const std::string& prefix) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() + 5 || name.rfind(prefix, 0) != 0 ||
            name.compare(name.size() - 5, 5, ".part") != 0)
            continue;
        const std::string pid = name.substr(prefix.size(), name.size() - prefix.size() - 5);
        if (pid.empty() || pid.size() > 9 || !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
        if (platform::ProcessGone(std::stoi(pid))) {
            std::error_code ignored;
            std::filesystem::remove(it->path(), ignored);
        }
    }
}

}  // namespace prax::cli
