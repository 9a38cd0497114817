#include "protocol/FontList.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "platform/Names.h"
#include "protocol/Fonts.h"

namespace prax::protocol {

namespace {

using namespace platform;

const char* const kFontKeys[] = {
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Fonts",
};
// Windows 10 and later keep a font installed for one user alone here, its full path as the value.
const char* const kUserFontKey = kFontKeys[0];

bool Ok(long rc) { return rc == static_cast<long>(ERROR_SUCCESS_); }

char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Letter case ignored, ties by the exact bytes: every front end lists in the same order, and
// the same names always come out in the same order.
bool CaseInsensitiveLess(const std::string& a, const std::string& b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(FoldAscii(a[i]));
        const auto y = static_cast<unsigned char>(FoldAscii(b[i]));
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

std::string FontsFolder(Platform& host) { return host.GetWindowsDirectoryA() + "\\Fonts\\"; }

// The key is released on every way out, the failed reads included.
class OpenKey {
public:
    OpenKey(Platform& host, HKey key) : host_(host), key_(key) {}
    ~OpenKey() { host_.RegCloseKey(key_); }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKey get() const { return key_; }

private:
    Platform& host_;
    HKey key_;
};

std::string ReadText(Platform& host, HKey key, const std::string& name) {
    std::uint32_t type = REG_NONE_;
    std::string data;
    // A value that vanished since it was listed reads as empty text, and is then not listed.
    if (!Ok(host.RegQueryValueExA(key, name, type, data))) return {};
    if (type != REG_SZ_ && type != REG_EXPAND_SZ_)
        throw std::runtime_error("Invalid data type for '" + name + "'");
    // Stored text may carry its terminating zero; the name ends there.
    if (const auto zero = data.find('\0'); zero != std::string::npos) data.resize(zero);
    return data;
}

// The length of the regular file at `path`, or -1. Anything else (a folder, a pipe that would
// never end, a device) counts as a file that can't be opened.
std::int64_t FileSize(const std::string& path) {
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec)) return -1;
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) return -1;
    const auto end = file.tellg();
    return end < 0 ? -1 : static_cast<std::int64_t>(end);
}

bool Listed(const std::string& name, const std::string& file) {
    // Only TrueType files in the fonts folder itself: the download names the file by its bare
    // name there. A slash is a folder part as much as a backslash.
    return name.find("TrueType") != std::string::npos &&
           UpperAscii(file).find("TTF") != std::string::npos &&
           file.find_first_of("\\:/") == std::string::npos;
}

// A drive's path (C:\Users\...), a share's (\\server\share\...) or, on a host with POSIX
// paths, one from the root (/home/...).
bool IsFullPath(const std::string& file) {
    const bool drive = file.size() > 2 && ((file[0] >= 'A' && file[0] <= 'Z') || (file[0] >= 'a' && file[0] <= 'z')) &&
                       file[1] == ':' && (file[2] == '\\' || file[2] == '/');
    return drive || file.rfind("\\\\", 0) == 0 || file.rfind('/', 0) == 0;
}

bool ListedForUser(const std::string& name, const std::string& file) {
    // A user's font has no place but its path: a bare name would be looked for in the wrong
    // folder, so only full paths are taken.
    return name.find("TrueType") != std::string::npos && UpperAscii(file).find("TTF") != std::string::npos &&
           IsFullPath(file);
}

// The value names of an open key, in the list's order.
std::vector<std::string> SortedNames(Platform& host, HKey key) {
    std::vector<std::string> names;
    std::string name;
    for (std::uint32_t i = 0; Ok(host.RegEnumValueA(key, i, name)); ++i) names.push_back(name);
    std::sort(names.begin(), names.end(), CaseInsensitiveLess);
    return names;
}

// The user's key is read after the machine's, and more leniently: a value that is not text is
// left out rather than ending the list the machine's fonts made.
void AddUserFonts(Platform& host, FontList& list) {
    HKey handle = 0;
    if (!Ok(host.RegOpenKeyExA(HKEY_CURRENT_USER_, kUserFontKey, KEY_READ_, handle))) return;
    OpenKey key(host, handle);
    for (const std::string& name : SortedNames(host, key.get())) {
        std::string file;
        try {
            file = ReadText(host, key.get(), name);
        } catch (const std::runtime_error&) {
            continue;
        }
        if (!ListedForUser(name, file)) continue;
        list.rows.push_back(FontRow{name, file, FileSize(host.HostFilePath(file)), HeaderNameProblem(name, "font")});
    }
}

std::string Place(Platform& host, HKey root, const char* path) {
    std::string place = host.RegistryKeyPlace(root, path);
    if (!place.empty()) return place;
    return std::string(root == HKEY_CURRENT_USER_ ? "HKEY_CURRENT_USER\\" : "HKEY_LOCAL_MACHINE\\") + path;
}

}  // namespace

FontList ReadInstalledFonts(Platform& host) {
    const std::string folder = FontsFolder(host);
    FontList list;
    HKey handle = 0;
    const char* machineKey = kFontKeys[0];
    for (const char* path : kFontKeys) {
        if (Ok(host.RegOpenKeyExA(HKEY_LOCAL_MACHINE_, path, KEY_READ_, handle))) {
            list.opened = true;
            machineKey = path;
            break;
        }
    }
    list.places = {Place(host, HKEY_LOCAL_MACHINE_, machineKey), Place(host, HKEY_CURRENT_USER_, kUserFontKey)};
    if (!list.opened) return list;

    std::vector<std::string> names;
    std::vector<std::string> files;
    {
        OpenKey key(host, handle);
        names = SortedNames(host, key.get());
        files.reserve(names.size());
        for (const auto& n : names) files.push_back(ReadText(host, key.get(), n));
    }

    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!Listed(names[i], files[i])) continue;
        const std::string path = host.HostFilePath(folder + files[i]);
        list.rows.push_back(FontRow{names[i], files[i], FileSize(path), HeaderNameProblem(names[i], "font")});
    }
    AddUserFonts(host, list);
    return list;
}

std::string FontFilePath(Platform& host, const std::string& file) {
    // Only a user's font is listed with a full path; the machine's are bare names.
    if (IsFullPath(file)) return host.HostFilePath(file);
    return host.HostFilePath(FontsFolder(host) + file);
}

std::string SizeText(std::int64_t size) { return std::to_string(size) + " Bytes"; }

FontPreview PreviewOf(const std::string& entryName) {
    constexpr std::size_t kMaxFace = 31;
    FontPreview preview;
    const auto at = entryName.find("(TrueType)");
    if (at == std::string::npos) return preview;
    // "Arial (TrueType)": the caption keeps the blank before the mark, the face drops it.
    preview.caption = entryName.substr(0, at);
    if (at >= 2) {
        std::size_t length = std::min(at - 1, kMaxFace);
        // A face cut short must not end in half a UTF-8 character.
        if (length < at - 1)
            while (length > 0 && (static_cast<unsigned char>(entryName[length]) & 0xC0) == 0x80)
                --length;
        preview.face = entryName.substr(0, length);
    }
    return preview;
}

}  // namespace prax::protocol
