#include "protocol/FileImage.h"

#include <cerrno>
#include <cstring>

#include "platform/Files.h"
#include "protocol/Context.h"

namespace prax::protocol {

namespace {

using platform::FileLook;

// Whether a file changed between two looks: its size or its modification time moved.
bool Changed(const FileLook& before, const FileLook& after) {
    return before.size != after.size || before.writtenNs != after.writtenNs;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

SharedInputs::Image SharedInputs::Load(const std::string& path, std::int64_t sizeLimit) {
    // One lock around the read too: two links asking at once must not read the file twice.
    const std::lock_guard<std::mutex> lock(mutex_);
    Image& image = images_[{path, sizeLimit}];
    if (!image) {
        image = std::make_shared<const FileImage>(LoadFileImage(path, {}, sizeLimit));
        order_.emplace_back(path, image);
    }
    return image;
}

std::vector<std::pair<std::string, SharedInputs::Image>> SharedInputs::Files() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return order_;
}

std::string SharedInputs::Found(const std::string& name, const std::function<std::string()>& find) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = found_.find(name);
    return it != found_.end() ? it->second : found_[name] = find();
}

SharedInputs::Image LoadInput(Context& ctx, const std::string& path, std::int64_t sizeLimit) {
    if (ctx.inputs) return ctx.inputs->Load(path, sizeLimit);
    return std::make_shared<const FileImage>(LoadFileImage(path, {}, sizeLimit));
}

FileImage LoadFileImage(const std::string& path, const std::function<void()>& whileReading,
                        std::int64_t sizeLimit) {
    FileImage image;
    auto refuse = [&](const std::string& why) {
        image.bytes.clear();
        image.error = why;
        return image;
    };
    // Whether it is a regular file is asked of what was opened, not of the name.
    platform::InputFile file(path);
    if (!file.open()) return refuse("Cannot open file " + Quoted(path) + ". " + std::strerror(errno) + ".");
    FileLook st;
    if (!file.Look(st)) return refuse("Cannot read file " + Quoted(path) + ".");
    if (st.folder) return refuse("Cannot open file " + Quoted(path) + ". It is a folder.");
    if (!st.regular)
        return refuse("Cannot send " + Quoted(path) + ": it is not a regular file (a device, a pipe or a socket).");
    // A caller's own limit comes first: an image far over it gets the caller's words, not the
    // streams' general bound.
    if (st.size > sizeLimit) {
        image.tooLarge = true;
        return refuse("File " + Quoted(path) + " is too large: at most " + std::to_string(sizeLimit) +
                      " bytes can be sent this way.");
    }
    if (st.size > std::numeric_limits<std::int32_t>::max())
        return refuse("File " + Quoted(path) + " is too large: images must be smaller than 2 GiB.");
    const auto size = static_cast<std::size_t>(st.size);

    // One byte more than the size asks for, so a file that grew while it was read shows.
    image.bytes.resize(size + 1);
    std::size_t got = 0;
    while (got < image.bytes.size()) {
        const auto n = file.Read(image.bytes.data() + got, image.bytes.size() - got);
        if (n == 0) break;
        if (n < 0) return refuse("Cannot read file " + Quoted(path) + ". " + std::strerror(errno) + ".");
        got += static_cast<std::size_t>(n);
    }
    if (whileReading) whileReading();
    FileLook after;
    if (got != size || !file.Look(after) || Changed(st, after))
        return refuse("File " + Quoted(path) + " changed while it was read. Nothing was sent; try again once it is written.");
    image.bytes.resize(got);
    return image;
}

}  // namespace prax::protocol
