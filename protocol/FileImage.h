// The bytes an operation sends from a file: read whole and checked before any link opens, and in a
// run to several printers read once and shared by every link.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace prax::protocol {

struct Context;

// Reads a whole file for sending. Refuses what is no regular file (a folder, a pipe, a device:
// a pipe with no writer would never end, /dev/zero neither, and a device has no size), files
// that can't be read, files of 2 GiB or more (the streams' 32-bit size fields can't carry them),
// and files that changed while they were read (size or modification time), which could go out
// torn with a checksum that matches. `whileReading` runs between the read and the second look.
// A file larger than `sizeLimit` is refused before it is read, with `tooLarge` set, so the caller
// can say so in its own words.
struct FileImage {
    std::string bytes;
    std::string error;  // empty when loaded
    bool tooLarge = false;
    bool ok() const { return error.empty(); }
    std::int32_t size() const { return static_cast<std::int32_t>(bytes.size()); }
    const std::uint8_t* data() const { return reinterpret_cast<const std::uint8_t*>(bytes.data()); }
};
FileImage LoadFileImage(const std::string& path, const std::function<void()>& whileReading = {},
                        std::int64_t sizeLimit = std::numeric_limits<std::int32_t>::max());

// The files the links of one run send, each read and checked once: a run to several printers
// reads its input before any link opens, and every link then sends the very same bytes, even if
// the file changes on disk meanwhile. Links on other threads read it at the same time.
class SharedInputs {
public:
    using Image = std::shared_ptr<const FileImage>;
    // The image of `path` read with `sizeLimit`, read now unless it was read before.
    Image Load(const std::string& path, std::int64_t sizeLimit);
    // Each file read, with its image, in the order first read.
    std::vector<std::pair<std::string, Image>> Files() const;
    // What `find` gives for `name`, asked once for all links: a font's file is looked up among
    // the installed fonts by the first link, not scanned for again by each.
    std::string Found(const std::string& name, const std::function<std::string()>& find);

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::string> found_;
    std::map<std::pair<std::string, std::int64_t>, Image> images_;
    std::vector<std::pair<std::string, Image>> order_;
};

// The file an operation sends, from the run's shared inputs when it has them, else read now.
SharedInputs::Image LoadInput(Context& ctx, const std::string& path,
                              std::int64_t sizeLimit = std::numeric_limits<std::int32_t>::max());

}  // namespace prax::protocol
