#include "platform/posix/InstalledFonts.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <memory>
#include <set>

#include "platform/Names.h"

namespace prax::platform::posix {

namespace {

std::string BareName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The suffix Windows gives a font by its outlines; empty for fonts it would not list this way.
const char* KindSuffix(const std::string& format) {
    if (format == "TrueType") return " (TrueType)";
    if (format == "CFF") return " (OpenType)";
    return nullptr;
}

bool IsEnglish(const char* lang) {
    return lang != nullptr && lang[0] == 'e' && lang[1] == 'n' &&
           (lang[2] == '\0' || lang[2] == '-' || lang[2] == '_');
}

// The English one of a name that fontconfig keeps in several languages, else the first.
std::string EnglishString(FcPattern* pattern, const char* object, const char* langObject) {
    FcChar8* first = nullptr;
    FcChar8* value = nullptr;
    for (int i = 0; FcPatternGetString(pattern, object, i, &value) == FcResultMatch; ++i) {
        if (i == 0) first = value;
        FcChar8* lang = nullptr;
        if (FcPatternGetString(pattern, langObject, i, &lang) == FcResultMatch &&
            IsEnglish(reinterpret_cast<const char*>(lang)))
            return reinterpret_cast<const char*>(value);
    }
    return first ? reinterpret_cast<const char*>(first) : std::string();
}

std::string FullNameOf(FcPattern* pattern) {
    std::string name = EnglishString(pattern, FC_FULLNAME, FC_FULLNAMELANG);
    if (!name.empty()) return name;
    // Fonts without a full name: the family, with the style unless it is the plain one.
    name = EnglishString(pattern, FC_FAMILY, FC_FAMILYLANG);
    const std::string style = EnglishString(pattern, FC_STYLE, FC_STYLELANG);
    static const std::set<std::string> plain = {"Regular", "Normal", "Book", "Roman", ""};
    if (!name.empty() && !plain.count(style)) name += " " + style;
    return name;
}

}  // namespace

FontView ViewOfFaces(std::vector<FontFace> faces, const std::string& userFolder) {
    std::string below = userFolder;
    while (!below.empty() && below.back() == '/') below.pop_back();
    below += '/';
    const auto isUsers = [&](const std::string& file) { return below.size() > 1 && file.rfind(below, 0) == 0; };
    // fontconfig lists in no particular order; path order makes "the first" the same every time.
    std::sort(faces.begin(), faces.end(), [](const FontFace& a, const FontFace& b) {
        return a.file != b.file ? a.file < b.file : a.index < b.index;
    });
    FontView view;
    std::set<std::string> names;      // upper-cased entry names taken
    std::set<std::string> userNames;  // the same among the user's own
    for (std::size_t i = 0; i < faces.size();) {
        std::size_t end = i;
        while (end < faces.size() && faces[end].file == faces[i].file) ++end;
        std::string joined;
        const char* suffix = nullptr;
        std::vector<std::string> seen;
        for (std::size_t f = i; f < end; ++f) {
            const FontFace& face = faces[f];
            // Named instances of a variable font share the file of the font itself.
            if ((face.index >> 16) != 0 || !face.scalable || face.fullName.empty()) continue;
            const char* kind = KindSuffix(face.format);
            if (kind == nullptr) continue;
            if (suffix == nullptr) suffix = kind;
            if (std::find(seen.begin(), seen.end(), face.fullName) != seen.end()) continue;
            seen.push_back(face.fullName);
            if (!joined.empty()) joined += " & ";
            joined += face.fullName;
        }
        const std::string file = faces[i].file;
        i = end;
        if (suffix == nullptr) continue;
        const std::string name = joined + suffix;
        if (isUsers(file)) {
            // Sent from its own path: only the entry name must not repeat.
            if (userNames.insert(UpperAscii(name)).second) view.userEntries.emplace_back(name, file);
            continue;
        }
        const std::string bare = BareName(file);
        // A second file of the same bare name would be sent in place of the first one: it
        // is not listed at all.
        if (bare.empty() || view.paths.count(UpperAscii(bare)) || names.count(UpperAscii(name))) continue;
        names.insert(UpperAscii(name));
        view.paths[UpperAscii(bare)] = file;
        view.entries.emplace_back(name, bare);
    }
    return view;
}

bool InstalledFaces(std::vector<FontFace>& faces) {
    faces.clear();
    const std::unique_ptr<FcConfig, decltype(&FcConfigDestroy)> config(FcInitLoadConfigAndFonts(),
                                                                       &FcConfigDestroy);
    if (!config) return false;
    const std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> all(FcPatternCreate(),
                                                                      &FcPatternDestroy);
    const std::unique_ptr<FcObjectSet, decltype(&FcObjectSetDestroy)> objects(
        FcObjectSetBuild(FC_FILE, FC_INDEX, FC_FULLNAME, FC_FULLNAMELANG, FC_FAMILY,
                         FC_FAMILYLANG, FC_STYLE, FC_STYLELANG, FC_FONTFORMAT, FC_SCALABLE,
                         FC_OUTLINE, static_cast<char*>(nullptr)),
        &FcObjectSetDestroy);
    if (!all || !objects) return false;
    const std::unique_ptr<FcFontSet, decltype(&FcFontSetDestroy)> set(
        FcFontList(config.get(), all.get(), objects.get()), &FcFontSetDestroy);
    if (!set) return false;
    for (int i = 0; i < set->nfont; ++i) {
        FcPattern* p = set->fonts[i];
        FcChar8* file = nullptr;
        if (FcPatternGetString(p, FC_FILE, 0, &file) != FcResultMatch) continue;
        FontFace face;
        face.file = reinterpret_cast<const char*>(file);
        FcPatternGetInteger(p, FC_INDEX, 0, &face.index);
        face.fullName = FullNameOf(p);
        FcChar8* format = nullptr;
        if (FcPatternGetString(p, FC_FONTFORMAT, 0, &format) == FcResultMatch)
            face.format = reinterpret_cast<const char*>(format);
        FcBool scalable = FcFalse;
        FcBool outline = FcFalse;
        FcPatternGetBool(p, FC_SCALABLE, 0, &scalable);
        FcPatternGetBool(p, FC_OUTLINE, 0, &outline);
        face.scalable = scalable == FcTrue && outline == FcTrue;
        faces.push_back(std::move(face));
    }
    return true;
}

}  // namespace prax::platform::posix
