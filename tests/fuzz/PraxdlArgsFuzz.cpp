// praxdl's command line, in process, against a fake host: whatever the arguments, the exit status
// is 0, 1 or 2, and a usage error (2) sends nothing.
//
// The arguments are the input split at NUL bytes; the last piece is standard input. praxdl still
// looks at paths itself (whether a --device is a terminal, the firmware image, the file that
// stages --output), so the fuzzer runs in a scratch folder of its own and drops any argument that
// could reach outside it: absolute paths, "..", "~". Give it absolute corpus and artifact paths.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Praxdl.h"
#include "link/TCom.h"
#include "platform/fake/FakePlatform.h"
#include "tests/fuzz/Scratch.h"

namespace {

class FakeHost final : public prax::cli::Host {
public:
    prax::platform::fake::FakePlatform fake;
    std::vector<std::string> mapped;
    prax::platform::Platform& platform() override { return fake; }
    void MapDevice(const std::string& name, const std::string& path) override {
        mapped.push_back("device " + name + " " + path);
    }
    void MapOutputFile(const std::string& name, const std::string& path, bool) override {
        mapped.push_back("output " + name + " " + path);
    }
    std::string DevicePath(const std::string& name) override { return name; }
    bool DevicePresent(const std::string&) override { return false; }
};

bool Safe(const std::string& arg) {
    return arg.find('/') != 0 && arg.find("..") == std::string::npos && arg.find('~') != 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    prax::link::quietStall() = true;
    if (::chdir(prax::fuzz::ScratchFolder().c_str()) != 0) std::abort();
    // Something for `firmware IMAGE` and `--device` to find.
    std::ofstream("fw.bin", std::ios::binary) << std::string(700, '\x5A');
    std::ofstream("empty.bin", std::ios::binary);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) args.emplace_back();
        else args.back() += static_cast<char>(data[i]);
    }
    std::istringstream in(args.back());
    args.pop_back();
    if (args.size() > 32) return -1;
    for (const auto& a : args)
        if (!Safe(a)) return -1;  // not worth keeping in the corpus

    FakeHost host;
    std::ostringstream out, err;
    prax::cli::Streams io{in, out, err, false, false};
    const int status = prax::cli::RunPraxdl(args, io, &host);
    if (status != 0 && status != 1 && status != 2) std::abort();
    if (status == 2 && (host.fake.Count("CreateFileA") != 0 || !host.fake.delivered.empty())) std::abort();
    return 0;
}
